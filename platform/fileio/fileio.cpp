#include "platform/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

namespace {

// Removes "<name>.tmp.<digits>" files of the folder (folders are left alone).
void removeStaleTemporaries(const std::string& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::string prefix = name + ".tmp.";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string candidate = entry->d_name;
        if (candidate.size() <= prefix.size() || candidate.compare(0, prefix.size(), prefix) != 0 ||
            candidate.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            continue;
        ::unlinkat(::dirfd(dir), candidate.c_str(), 0);
    }
    ::closedir(dir);
}

} // namespace

bool replaceFile(const std::string& path, const std::string& content)
{
    std::string target = path;
    struct stat old
    {
    };
    if (::lstat(path.c_str(), &old) == 0 && S_ISLNK(old.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const bool existed = ::stat(target.c_str(), &old) == 0;

    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    removeStaleTemporaries(folder, target.substr(slash + 1));

    const std::string temp = target + ".tmp." + std::to_string(::getpid());
    FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid())
        return false;
    const bool ok = (!existed || ::fchmod(fd.get(), old.st_mode & 07777) == 0) &&
                    writeAll(fd.get(), content.data(), content.size()) && ::fsync(fd.get()) == 0 && fd.close() &&
                    ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
    }
    return ok;
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
