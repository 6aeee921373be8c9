#include "faultmail/ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

// Offsets and sizes are 32-bit fields; 0xFFFFFFFF already means "see the
// Zip64 record", which this writer does not write.
const uint64_t kLimit = 0xFFFFFFFFu;
const size_t kInternalBufferSize = 16384;
const size_t kCrcPatchOffset = 14; // CRC, then both sizes, in a local header

void put16(std::string& out, uint16_t v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}

void put32(std::string& out, uint32_t v)
{
    put16(out, uint16_t(v & 0xFFFF));
    put16(out, uint16_t(v >> 16));
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// Entry name of a path: the file name, or with fullPath the path without
// drive letter and leading separators.
std::string entryName(const std::string& path, bool fullPath)
{
    if (!fullPath) {
        const size_t sep = path.find_last_of("/\\");
        return sep == std::string::npos ? path : path.substr(sep + 1);
    }
    size_t start = (path.size() >= 2 && path[1] == ':') ? 2 : 0;
    while (start < path.size() && isSeparator(path[start]))
        ++start;
    return path.substr(start);
}

} // namespace

// ---------------------------------------------------------------- buffers

void CZipAutoBuffer::Allocate(size_t size, bool zeroMemory)
{
    if (!m_data || m_size != size) {
        m_data.reset(new char[size]);
        m_size = size;
    }
    if (zeroMemory)
        std::memset(m_data.get(), 0, size);
}

void CZipAutoBuffer::Release()
{
    m_data.reset();
    m_size = 0;
}

// ---------------------------------------------------------------- headers

void CZipFileHeader::SetTime(time_t t)
{
    tm local{};
    if (!localtime_r(&t, &local)) {
        m_uModTime = m_uModDate = 0;
        return;
    }
    const int year = std::clamp(local.tm_year + 1900 - 1980, 0, 127);
    m_uModDate = uint16_t(local.tm_mday + ((local.tm_mon + 1) << 5) + (year << 9));
    m_uModTime = uint16_t((local.tm_sec >> 1) + (local.tm_min << 5) + (local.tm_hour << 11));
}

// The fields local header and central record share, from "version needed"
// to the uncompressed size, then the three lengths after them.
void CZipFileHeader::AppendSharedFields(std::string& r, const std::string& name) const
{
    put16(r, m_uVersionNeeded);
    put16(r, m_uFlag);
    put16(r, m_uMethod);
    put16(r, m_uModTime);
    put16(r, m_uModDate);
    put32(r, m_uCrc32);
    put32(r, m_uComprSize);
    put32(r, m_uUncomprSize);
    put16(r, uint16_t(name.size()));
    put16(r, uint16_t(m_pExtraField.size()));
}

std::string CZipFileHeader::LocalRecord(const std::string& name) const
{
    std::string r;
    r.reserve(localSize + name.size() + m_pExtraField.size());
    put32(r, m_gszLocalSignature);
    AppendSharedFields(r, name);
    return r + name + m_pExtraField;
}

std::string CZipFileHeader::CentralRecord(const std::string& name) const
{
    std::string r;
    r.reserve(centralSize + name.size());
    put32(r, m_gszSignature);
    put16(r, m_uVersionMadeBy);
    AppendSharedFields(r, name);
    put16(r, uint16_t(m_pszComment.size()));
    put16(r, m_uDiskStart);
    put16(r, m_uInternalAttr);
    put32(r, m_uExternalAttr);
    put32(r, m_uOffset);
    return r + name + m_pExtraField + m_pszComment;
}

uint32_t zipWindowsAttributes(mode_t mode)
{
    const uint32_t archive = 0x20, readOnly = 0x01;
    return archive | ((mode & 0222) == 0 ? readOnly : 0);
}

// ---------------------------------------------------------------- storage

void CZipStorage::Open(CZipWriter& writer, std::unique_ptr<CZipWriter> owned)
{
    m_writer = &writer;
    m_owned = std::move(owned);
    m_buffer.Allocate(bufferSize);
    m_bytesInBuffer = 0;
    m_end = m_writer->Position();
    m_iCurrentDisk = 0;
}

void CZipStorage::Write(const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (m_bytesInBuffer == 0 && size >= bufferSize) {
            // Nothing to gather: hand large blocks straight to the file.
            m_writer->Write(p, size);
            size = 0;
            break;
        }
        const size_t n = std::min(size, bufferSize - m_bytesInBuffer);
        std::memcpy(m_buffer.GetBuffer() + m_bytesInBuffer, p, n);
        m_bytesInBuffer += n;
        p += n;
        size -= n;
        if (m_bytesInBuffer == bufferSize)
            Flush();
    }
    m_end = std::max(m_end, GetPosition());
}

void CZipStorage::Flush()
{
    if (m_bytesInBuffer == 0)
        return;
    const size_t n = m_bytesInBuffer;
    m_bytesInBuffer = 0;
    m_writer->Write(m_buffer.GetBuffer(), n);
}

void CZipStorage::Seek(uint64_t position)
{
    Flush();
    m_writer->Seek(position);
}

void CZipStorage::Close(bool abandon)
{
    if (!m_writer)
        return;
    CZipWriter* writer = m_writer;
    std::unique_ptr<CZipWriter> owned = std::move(m_owned);
    m_writer = nullptr;
    m_iCurrentDisk = -1;
    const size_t n = m_bytesInBuffer;
    m_bytesInBuffer = 0;
    if (abandon) {
        m_buffer.Release();
        try {
            writer->Close();
        } catch (const CException&) {
            // Abandoned after an error: the first error is the one to report.
        }
        return;
    }
    try {
        if (n > 0)
            writer->Write(m_buffer.GetBuffer(), n);
    } catch (const CException&) {
        // Closed all the same; the write's failure is the one reported.
        m_buffer.Release();
        try {
            writer->Close();
        } catch (const CException&) {
        }
        throw;
    }
    m_buffer.Release();
    writer->Close();
}

const std::string& CZipStorage::GetName() const
{
    static const std::string none;
    return m_writer ? m_writer->Name() : none;
}

// ---------------------------------------------------------------- central directory

std::string CZipCentralDir::ConvertFileName(const std::string& ansiName)
{
    std::string name = ansiName;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < name.size())
            ++i; // lead byte: its trail byte is part of the character
        else if (c == '\\')
            name[i] = '/';
    }
    return name;
}

CZipFileHeader* CZipCentralDir::AddNewFile(const CZipFileHeader& header)
{
    m_headers.push_back(std::make_unique<CZipFileHeader>(header));
    return m_headers.back().get();
}

void CZipCentralDir::Write(CZipStorage& storage)
{
    storage.SeekToEnd();
    const uint64_t offset = storage.GetPosition() - m_uBytesBeforeZip;
    m_uThisDisk = m_uDiskWithCD = uint16_t(storage.m_iCurrentDisk);
    m_uDiskEntriesNo = m_uEntriesNumber = 0;
    uint64_t size = 0;
    for (const auto& header : m_headers) {
        const std::string record = header->CentralRecord(ConvertFileName(header->m_pszFileName));
        storage.Write(record.data(), record.size());
        size += record.size();
        ++m_uDiskEntriesNo;
        ++m_uEntriesNumber;
    }
    if (offset + size >= kLimit)
        throw CZipException(CZipException::generic, storage.GetName(), "the archive would reach 4 GiB");
    m_uOffset = uint32_t(offset);
    m_uSize = uint32_t(size);

    std::string end;
    put32(end, 0x06054b50);
    put16(end, m_uThisDisk);
    put16(end, m_uDiskWithCD);
    put16(end, m_uDiskEntriesNo);
    put16(end, m_uEntriesNumber);
    put32(end, m_uSize);
    put32(end, m_uOffset);
    put16(end, 0); // no comment
    storage.Write(end.data(), end.size());
}

void CZipCentralDir::Clear()
{
    m_headers.clear();
    m_pOpenedFile = nullptr;
}

// ---------------------------------------------------------------- archive

// The zlib stream outlives its entry: the next entry of the same level
// resets it instead of allocating a new one (some 300 KiB, page-faulted in
// afresh each time, which costs more than deflating a small file).
struct CZipArchive::Deflater
{
    z_stream stream{};
    bool active = false;
    int level = 0;
    ~Deflater()
    {
        if (active)
            deflateEnd(&stream);
    }
};

CZipArchive::CZipArchive() = default;

CZipArchive::~CZipArchive()
{
    CloseArchive(true);
}

void CZipArchive::OpenArchive(const std::string& path, int mode, int volumeSize)
{
    if (!IsClosed())
        return;
    if (mode != zipCreate || volumeSize != 0)
        throw CZipException(CZipException::generic, path, "only new single-volume archives are written");
    auto file = std::make_unique<CZipFileWriter>(path);
    CZipWriter& writer = *file;
    m_iFileOpened = 0;
    m_storage.Open(writer, std::move(file));
    m_centralDir.Clear();
}

void CZipArchive::OpenArchive(CZipWriter& writer)
{
    if (!IsClosed())
        return;
    m_iFileOpened = 0;
    m_storage.Open(writer);
    m_centralDir.Clear();
}

bool CZipArchive::AddFileFromDisk(const std::string& path, int level, bool fullPath, ZipCallback callback,
                                  void* userData, size_t bufferSize)
{
    if (bufferSize == 0 || IsClosed() || m_iFileOpened != 0 || GetCount() >= maxEntries)
        return false;
    CZipFileHeader header;
    header.m_pszFileName = platform::codepage::utf8ToAnsi(entryName(path, fullPath));
    if (header.m_pszFileName.empty())
        return false;

    // Opened first and checked through the descriptor: a FIFO opened without
    // O_NONBLOCK would block here, and a device would never end.
    const platform::fileio::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st
    {
    };
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (uint64_t(st.st_size) >= kLimit)
        throw CZipException(CZipException::generic, m_storage.GetName(), "\"" + path + "\" is 4 GiB or larger");

    if (!BeginEntry(header, level, &st))
        return false;
    std::vector<char>& buffer = m_readBuffer;
    buffer.resize(bufferSize);
    uint64_t done = 0;
    for (;;) {
        const ssize_t n = platform::fileio::readSome(file.get(), buffer.data(), buffer.size());
        if (n < 0)
            throw CFileException(errno, path, "read");
        if (n == 0)
            break;
        WriteEntryData(buffer.data(), size_t(n));
        done += uint64_t(n);
        if (callback && !callback(uint64_t(st.st_size), done, userData))
            break;
    }
    EndEntry();
    return true;
}

bool CZipArchive::BeginEntry(const CZipFileHeader& source, int level, const struct stat* status)
{
    if (IsClosed() || m_iFileOpened != 0 || GetCount() >= maxEntries)
        return false;
    CZipFileHeader header = source;
    if (status) {
        header.SetTime(status->st_mtime);
        header.m_uExternalAttr = zipWindowsAttributes(status->st_mode);
    }
    if (header.m_pszFileName.empty())
        header.m_pszFileName = "file" + std::to_string(GetCount() + 1);
    const std::string name = CZipCentralDir::ConvertFileName(header.m_pszFileName);

    header.m_uVersionMadeBy = header.m_uVersionNeeded = 0x0014;
    header.m_uFlag = 0;
    header.m_uCrc32 = header.m_uComprSize = header.m_uUncomprSize = 0;
    header.m_uInternalAttr = 0;
    if (level == 0)
        header.m_uMethod = 0;
    else if (header.m_uMethod != 0)
        header.m_uMethod = 8;
    if (header.m_uMethod == 8) {
        // The format's deflate option bits: 3 superfast, 2 fast, 1 maximum.
        if (level == 1)
            header.m_uFlag |= 6;
        else if (level == 2)
            header.m_uFlag |= 4;
        else if (level == 8 || level == 9)
            header.m_uFlag |= 2;
    }
    // Checked before the entry joins the directory, so that after the
    // exception the archive still closes into a valid one.
    if (name.size() > 0xFFFF || header.m_pExtraField.size() > 0xFFFF || header.m_pszComment.size() > 0xFFFF)
        throw CZipException(CZipException::tooLongFileName, m_storage.GetName());
    m_storage.SeekToEnd();
    const uint64_t offset = m_storage.GetPosition() - m_centralDir.m_uBytesBeforeZip;
    CheckLimit(offset, "the archive would reach 4 GiB");
    header.m_uOffset = uint32_t(offset);

    m_internalBuffer.Allocate(kInternalBufferSize);
    m_bytesInInternal = 0;
    CZipFileHeader* entry = m_centralDir.AddNewFile(header);
    m_centralDir.m_pOpenedFile = entry;
    entry->m_uDiskStart = uint16_t(m_storage.m_iCurrentDisk);
    const std::string local = entry->LocalRecord(name);
    m_storage.Write(local.data(), local.size());
    entry->m_pExtraField.clear(); // the central record carries none

    m_entryIn = m_entryOut = 0;
    if (entry->m_uMethod == 8) {
        if (m_deflater && m_deflater->level == level) {
            ThrowIfZlibError(deflateReset(&m_deflater->stream));
        } else {
            m_deflater = std::make_unique<Deflater>();
            const int r = deflateInit2(&m_deflater->stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
            ThrowIfZlibError(r);
            m_deflater->active = true;
            m_deflater->level = level;
        }
    }
    m_iFileOpened = 1;
    return true;
}

bool CZipArchive::WriteEntryData(const void* data, size_t size)
{
    if (m_iFileOpened != 1)
        return false;
    CZipFileHeader& entry = *m_centralDir.m_pOpenedFile;
    m_entryIn += size;
    CheckLimit(m_entryIn, "an entry would reach 4 GiB");

    const Bytef* p = static_cast<const Bytef*>(data);
    while (size > 0) {
        const uInt chunk = uInt(std::min<size_t>(size, UINT_MAX));
        entry.m_uCrc32 = uint32_t(crc32(entry.m_uCrc32, p, chunk));
        if (entry.m_uMethod == 8) {
            z_stream& z = m_deflater->stream;
            z.next_in = const_cast<Bytef*>(p);
            z.avail_in = chunk;
            while (z.avail_in > 0) {
                if (m_bytesInInternal == m_internalBuffer.GetSize())
                    FlushInternalBuffer();
                const uInt room = uInt(m_internalBuffer.GetSize() - m_bytesInInternal);
                z.next_out = reinterpret_cast<Bytef*>(m_internalBuffer.GetBuffer() + m_bytesInInternal);
                z.avail_out = room;
                ThrowIfZlibError(deflate(&z, Z_NO_FLUSH));
                m_bytesInInternal += room - z.avail_out;
                m_entryOut += room - z.avail_out;
            }
        } else {
            size_t left = chunk;
            const Bytef* q = p;
            while (left > 0) {
                if (m_bytesInInternal == m_internalBuffer.GetSize())
                    FlushInternalBuffer();
                const size_t n = std::min(left, m_internalBuffer.GetSize() - m_bytesInInternal);
                std::memcpy(m_internalBuffer.GetBuffer() + m_bytesInInternal, q, n);
                m_bytesInInternal += n;
                m_entryOut += n;
                q += n;
                left -= n;
            }
        }
        CheckLimit(m_entryOut, "an entry would reach 4 GiB");
        p += chunk;
        size -= chunk;
    }
    return true;
}

bool CZipArchive::EndEntry()
{
    if (m_iFileOpened != 1)
        return false;
    CZipFileHeader& entry = *m_centralDir.m_pOpenedFile;
    if (entry.m_uMethod == 8) {
        z_stream& z = m_deflater->stream;
        z.next_in = nullptr;
        z.avail_in = 0;
        for (;;) {
            if (m_bytesInInternal == m_internalBuffer.GetSize())
                FlushInternalBuffer();
            const uInt room = uInt(m_internalBuffer.GetSize() - m_bytesInInternal);
            z.next_out = reinterpret_cast<Bytef*>(m_internalBuffer.GetBuffer() + m_bytesInInternal);
            z.avail_out = room;
            const int r = deflate(&z, Z_FINISH);
            m_bytesInInternal += room - z.avail_out;
            m_entryOut += room - z.avail_out;
            if (r == Z_STREAM_END)
                break;
            ThrowIfZlibError(r);
        }
        CheckLimit(m_entryOut, "an entry would reach 4 GiB");
    }
    FlushInternalBuffer();
    entry.m_uComprSize += uint32_t(m_entryOut);
    entry.m_uUncomprSize = uint32_t(m_entryIn);

    // Patch CRC and sizes into the local header.
    std::string patch;
    put32(patch, entry.m_uCrc32);
    put32(patch, entry.m_uComprSize);
    put32(patch, entry.m_uUncomprSize);
    m_storage.Flush();
    m_storage.Seek(uint64_t(entry.m_uOffset) + m_centralDir.m_uBytesBeforeZip + kCrcPatchOffset);
    m_storage.Write(patch.data(), patch.size());
    m_storage.Flush();

    ReleaseEntry();
    return true;
}

void CZipArchive::CloseArchive(bool afterException)
{
    if (IsClosed())
        return;
    if (afterException) {
        ReleaseEntry();
        m_deflater.reset();
        m_centralDir.Clear();
        m_storage.Close(true);
        return;
    }
    if (m_iFileOpened == 1)
        EndEntry();
    m_deflater.reset();
    m_centralDir.Write(m_storage);
    m_centralDir.Clear();
    m_storage.Close(false);
}

void CZipArchive::ReleaseEntry()
{
    m_internalBuffer.Release();
    m_bytesInInternal = 0;
    m_centralDir.m_pOpenedFile = nullptr;
    m_iFileOpened = 0;
}

void CZipArchive::FlushInternalBuffer()
{
    if (m_bytesInInternal == 0)
        return;
    m_storage.Write(m_internalBuffer.GetBuffer(), m_bytesInInternal);
    m_bytesInInternal = 0;
}

void CZipArchive::ThrowIfZlibError(int result)
{
    if (result != Z_OK && result != Z_NEED_DICT)
        throw CZipException(CZipException::ZlibErrToZip(result), m_storage.GetName(), "zlib");
}

void CZipArchive::CheckLimit(uint64_t value, const char* what)
{
    if (value >= kLimit)
        throw CZipException(CZipException::generic, m_storage.GetName(), what);
}
