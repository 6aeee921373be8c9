#include "platform/fileio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform::fileio {

FileDescriptor::~FileDescriptor()
{
    close();
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release() noexcept
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool FileDescriptor::close() noexcept
{
    if (fd_ < 0)
        return true;
    // Never retried: on Linux the descriptor is released even when close()
    // is interrupted, and it may already belong to another thread's open().
    const int r = ::close(release());
    return r == 0 || errno == EINTR;
}

ssize_t readSome(int fd, void* data, size_t size) noexcept
{
    ssize_t n;
    do {
        n = ::read(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool readAll(int fd, void* data, size_t size) noexcept
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = readSome(fd, p, size);
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t size) noexcept
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool readToEnd(int fd, std::string& out)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = readSome(fd, buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buffer, size_t(n));
    }
}

bool makeFolders(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (errno != ENOENT)
        return false;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace platform::fileio
