#pragma once
// The crash archive writer: a plain (single-volume, unencrypted) zip archive
// written entry by entry with zlib's raw deflate and CRC-32.
//
// Only the writing path exists: create an archive, add whole files from disk
// under their bare names, close. Each entry's local header is written with
// CRC and sizes 0 and patched at header + 14 when the entry ends; no data
// descriptor, extra field or comment is written. Entry names are stored in
// the OEM code page (CP936, as the ANSI one) with "/" separators; version
// made by and needed are both 20 (format 2.0, MS-DOS host) and the external
// attributes are the Windows attributes synthesised from the file's mode.
//
// Failures of the file system throw CFileException, archive failures
// (zlib, over-long names, an archive that would reach 4 GiB) CZipException;
// after either, abandon the archive with CloseArchive(true).

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "faultmail/ZipException.h"
#include "faultmail/ZipWriter.h"

// An owned byte block; reallocating the same size keeps the block.
class CZipAutoBuffer
{
public:
    void Allocate(size_t size, bool zeroMemory = false);
    void Release();
    char* GetBuffer() { return m_data.get(); }
    size_t GetSize() const { return m_size; }
    bool IsAllocated() const { return m_data != nullptr; }

private:
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0;
};

class CZipFileHeader
{
public:
    static const uint32_t m_gszSignature = 0x02014b50;
    static const uint32_t m_gszLocalSignature = 0x04034b50;
    static const size_t localSize = 30;   // fixed part of a local header
    static const size_t centralSize = 46; // fixed part of a central record

    uint16_t m_uVersionMadeBy = 0x0014;
    uint16_t m_uVersionNeeded = 0x0014;
    uint16_t m_uFlag = 0;
    uint16_t m_uMethod = 8;
    uint16_t m_uModTime = 0;
    uint16_t m_uModDate = 0;
    uint32_t m_uCrc32 = 0;
    uint32_t m_uComprSize = 0;
    uint32_t m_uUncomprSize = 0;
    uint16_t m_uDiskStart = 0;
    uint16_t m_uInternalAttr = 0;
    uint32_t m_uExternalAttr = 32;
    uint32_t m_uOffset = 0;
    std::string m_pExtraField;
    std::string m_pszFileName; // ANSI (CP936) while in memory; OEM in the archive
    std::string m_pszComment;

    // MS-DOS time and date of a time stamp, in local time. Years before 1980
    // give year field 0, years after 2107 the field's maximum 127.
    void SetTime(time_t t);

    // The records as they go into the archive; `name` is the converted name.
    std::string LocalRecord(const std::string& name) const;
    std::string CentralRecord(const std::string& name) const;

private:
    void AppendSharedFields(std::string& record, const std::string& name) const;
};

// The archive file behind a write buffer of 65535 bytes.
class CZipStorage
{
public:
    static const size_t bufferSize = 65535;

    // Writes through `writer`, owning it when `owned` is given.
    void Open(CZipWriter& writer, std::unique_ptr<CZipWriter> owned = nullptr);
    bool IsOpen() const { return m_writer != nullptr; }
    void Write(const void* data, size_t size);
    void Flush();
    // Flushes, then moves. SeekToEnd moves past the last byte written.
    void Seek(uint64_t position);
    void SeekToEnd() { Seek(m_end); }
    // Where the next byte goes: the file position plus what waits in the buffer.
    uint64_t GetPosition() const { return m_writer->Position() + m_bytesInBuffer; }
    // Flushes (unless abandoning) and closes. Abandoning drops what waits in
    // the buffer and reports nothing.
    void Close(bool abandon);
    const std::string& GetName() const;

    int m_iCurrentDisk = -1; // -1 while closed, 0 for a created plain archive

private:
    CZipWriter* m_writer = nullptr;
    std::unique_ptr<CZipWriter> m_owned;
    CZipAutoBuffer m_buffer;
    size_t m_bytesInBuffer = 0;
    uint64_t m_end = 0;
};

// The headers written so far and the end-of-central-directory values.
class CZipCentralDir
{
public:
    // Entry name for the archive: ANSI to OEM (both CP936 here, so the bytes
    // stay), then "\" to "/" outside double-byte characters (a GBK trail byte
    // may be 0x5C).
    static std::string ConvertFileName(const std::string& ansiName);

    CZipFileHeader* AddNewFile(const CZipFileHeader& header);
    // Writes the central records and the end record at the end of the file.
    void Write(CZipStorage& storage);
    void Clear();
    size_t GetCount() const { return m_headers.size(); }
    const CZipFileHeader& Get(size_t index) const { return *m_headers[index]; }

    CZipFileHeader* m_pOpenedFile = nullptr;
    bool m_bConvertAfterOpen = true;
    uint16_t m_uThisDisk = 0, m_uDiskWithCD = 0, m_uDiskEntriesNo = 0, m_uEntriesNumber = 0;
    uint32_t m_uSize = 0, m_uOffset = 0;
    uint32_t m_uBytesBeforeZip = 0;

private:
    std::vector<std::unique_ptr<CZipFileHeader>> m_headers;
};

class CZipArchive
{
public:
    enum OpenMode {
        zipCreate = 2, // the only mode: a new plain archive
    };
    static const size_t maxEntries = 65535;

    // Progress while adding a file: total length, bytes read so far, user
    // data. Returning false stops reading (the entry ends with what was read).
    typedef bool (*ZipCallback)(uint64_t total, uint64_t done, void* userData);

    CZipArchive();
    ~CZipArchive(); // abandons an open archive (writes nothing more)
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    // Creates the archive file (truncating an existing one). Does nothing when
    // an archive is open. Throws CFileException when the file cannot be
    // created; any mode but zipCreate and any volume size but 0 throw
    // CZipException (multi-volume archives are not written here).
    void OpenArchive(const std::string& path, int mode = zipCreate, int volumeSize = 0);
    // The same over any writer (tests write to memory); the writer must
    // outlive the open archive.
    void OpenArchive(CZipWriter& writer);

    // Adds the regular file at `path` (UTF-8) with deflate `level` (0 stores).
    // The entry is named by the file name alone ("/" and "\" both separate),
    // or with fullPath by the whole path without drive and leading
    // separators, in the ANSI code page. Returns false, writing nothing, when
    // the archive is closed or full, an entry is open, the read-buffer size
    // is 0, the name is empty, or the file is missing, unreadable or not a
    // regular file (a FIFO would block). A file of 4 GiB or more throws
    // CZipException; read errors throw CFileException.
    bool AddFileFromDisk(const std::string& path, int level = -1, bool fullPath = false, ZipCallback callback = nullptr,
                         void* userData = nullptr, size_t bufferSize = 65535);

    // The steps of AddFileFromDisk. `source` (may be null) gives the time
    // and attributes of the entry.
    bool BeginEntry(const CZipFileHeader& header, int level, const struct stat* source);
    bool WriteEntryData(const void* data, size_t size);
    bool EndEntry();

    // afterException false: ends an open entry, writes the central directory
    // and the end record and closes the file. true: drops everything not yet
    // written and closes. Does nothing when closed.
    void CloseArchive(bool afterException = false);

    bool IsClosed() const { return !m_storage.IsOpen(); }
    size_t GetCount() const { return m_centralDir.GetCount(); }

private:
    struct Deflater;

    void ThrowIfZlibError(int result);
    void CheckLimit(uint64_t value, const char* what);
    void FlushInternalBuffer();
    void ReleaseEntry();

    CZipStorage m_storage;
    CZipCentralDir m_centralDir;
    int m_iFileOpened = 0; // 0 none, 1 an entry open for writing
    // The open entry's zlib stream, its output buffer and the bytes in it.
    std::unique_ptr<Deflater> m_deflater;
    CZipAutoBuffer m_internalBuffer;
    size_t m_bytesInInternal = 0;
    uint64_t m_entryIn = 0, m_entryOut = 0; // 64-bit running sizes of the entry
    std::vector<char> m_readBuffer;         // AddFileFromDisk's, kept between files
};

// Windows file attributes for a file's mode: archive, plus read-only when no
// one may write it.
uint32_t zipWindowsAttributes(mode_t mode);
