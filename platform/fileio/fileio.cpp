#include "platform/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

const std::string kTempMark = ".tmp.";
// The most digits a pid can have.
constexpr size_t kPidDigits = 10;

// True when a temporary's name could carry the whole file name for this pid
// length; otherwise shortStem names it.
bool fitsWhole(const std::string& name, size_t pidLength)
{
    return name.size() + kTempMark.size() + pidLength <= NAME_MAX;
}

// The stem of the temporaries of a name too long for ".tmp.<pid>" (a profile
// name makes such a file name): the name cut at a UTF-8 character boundary
// and followed by a hash of the whole, so that it stays this file's own.
std::string shortStem(const std::string& name)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    size_t cut = NAME_MAX - kTempMark.size() - kPidDigits - 1 - 16;
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut) + "~" + hex;
}

std::string temporaryName(const std::string& name, pid_t pid)
{
    const std::string suffix = kTempMark + std::to_string(pid);
    return (fitsWhole(name, suffix.size() - kTempMark.size()) ? name : shortStem(name)) + suffix;
}

// The pid of a temporary "<prefix><digits>"; false for any other name.
bool temporaryPid(const std::string& candidate, const std::string& prefix, long long& pid)
{
    if (candidate.size() <= prefix.size() || candidate.size() > prefix.size() + kPidDigits ||
        candidate.compare(0, prefix.size(), prefix) != 0 ||
        candidate.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
        return false;
    pid = std::stoll(candidate.substr(prefix.size()));
    return true;
}

// A save of that pid may still be running: its temporary must stay. One of
// our own pid is an earlier process's, as we save one file at a time.
bool mayBeSaving(long long pid)
{
    if (pid <= 0 || pid > INT_MAX || pid == ::getpid())
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Removes the temporaries of this name (files "<name>.tmp.<digits>", or the
// short form) whose process has ended: left by saves that were killed.
void removeStaleTemporaries(const std::string& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> prefixes{name + kTempMark};
    if (!fitsWhole(name, kPidDigits))
        prefixes.push_back(shortStem(name) + kTempMark);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string candidate = entry->d_name;
        for (const std::string& prefix : prefixes) {
            long long pid = 0;
            if (temporaryPid(candidate, prefix, pid)) {
                if (!mayBeSaving(pid))
                    ::unlinkat(::dirfd(dir), candidate.c_str(), 0); // folders stay
                break;
            }
        }
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
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    removeStaleTemporaries(folder, name);

    const std::string temp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
                             temporaryName(name, ::getpid());
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
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT)
        return false;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace platform::fileio
