#include "faultmail/ZipWriter.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "faultmail/ZipException.h"
#include "platform/fileio.h"

CZipFileWriter::CZipFileWriter(const std::string& path) : m_path(path)
{
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (m_fd < 0)
        throw CFileException(errno, m_path, "create");
    // An existing file keeps its mode through O_TRUNC; the crash data must not
    // (devices such as /dev/full are left alone).
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(m_fd, 0600);
}

CZipFileWriter::~CZipFileWriter()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CZipFileWriter::Write(const void* data, size_t size)
{
    if (m_fd < 0)
        throw CFileException(EBADF, m_path, "write");
    if (!platform::fileio::writeAll(m_fd, data, size))
        throw CFileException(errno, m_path, "write");
    m_position += size;
}

void CZipFileWriter::Seek(uint64_t position)
{
    if (m_fd < 0 || ::lseek(m_fd, off_t(position), SEEK_SET) < 0)
        throw CFileException(m_fd < 0 ? EBADF : errno, m_path, "seek in");
    m_position = position;
}

void CZipFileWriter::Close()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    // close() is where some file systems report a failed write-back.
    if (::close(fd) != 0 && errno != EINTR)
        throw CFileException(errno, m_path, "close");
}

void CZipMemoryWriter::Write(const void* data, size_t size)
{
    if (m_closed)
        throw CFileException(EBADF, m_name, "write");
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const size_t overlap = std::min(size, m_bytes.size() - m_position);
    // An empty vector's data() may be null, which memcpy may not be given.
    if (overlap > 0)
        std::memcpy(m_bytes.data() + m_position, p, overlap);
    m_bytes.insert(m_bytes.end(), p + overlap, p + size);
    m_position += size;
}

void CZipMemoryWriter::Seek(uint64_t position)
{
    if (position < m_base || position - m_base > m_bytes.size())
        throw CFileException(EINVAL, m_name, "seek in");
    m_position = size_t(position - m_base);
}
