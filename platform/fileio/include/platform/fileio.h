#pragma once
// Descriptor-level file I/O shared by the non-Qt code: one owner of a file
// descriptor and the read and write loops that survive interrupted calls
// (EINTR) and short transfers. Every call is async-signal-safe except
// readToEnd and replaceFile (they allocate), so a forked child may use them.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform::fileio {

// Owns a descriptor (-1: none) and closes it when it goes. Movable, not
// copyable.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() noexcept;
    // Closes now. False, with errno set, when close() reports an error (some
    // file systems report a failed write-back only here); the descriptor is
    // gone either way. True when there was none.
    bool close() noexcept;

private:
    int fd_;
};

// One read(), repeated while it is interrupted: what read() returns.
ssize_t readSome(int fd, void* data, size_t size) noexcept;

// Reads exactly `size` bytes. False on an error (errno set) or when the end
// of the file comes first (errno 0).
bool readAll(int fd, void* data, size_t size) noexcept;

// Writes all `size` bytes. False on an error, with errno set (EIO when
// write() stops writing without one).
bool writeAll(int fd, const void* data, size_t size) noexcept;

// Appends everything up to the end of the file to `out`. False on a read
// error (errno set); what was read stays in `out`.
bool readToEnd(int fd, std::string& out);

// Replaces the file's content atomically: writes "<path>.tmp.<pid>" (created
// 0600, never through a symbolic link), syncs it and renames it over path, so
// a reader or a kill at any moment sees the old content or the new, and the
// data is never readable by others on the way. An existing file keeps its
// mode (a link to one is written through to its target); a new one is 0600.
// Where "<name>.tmp.<pid>" would be longer than NAME_MAX, the temporary is the
// name cut, "~" and a hash of the name, then ".tmp.<pid>". Temporaries of
// this file left by saves that were killed (no process of their pid exists)
// are removed first; another process's save keeps its own. False, with errno
// set and path unchanged, on any failure.
bool replaceFile(const std::string& path, const std::string& content);

// Creates the folder `path` and every missing parent, each new one 0700
// (owner only). True when `path` is a folder in the end; otherwise false
// with errno set by the call that failed (ENOTDIR for a file in the way).
bool makeFolders(const std::string& path);

} // namespace platform::fileio
