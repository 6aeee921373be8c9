#pragma once
// A full disk for a stretch of a test: while it lives, no file that this
// process or a program it starts writes may grow past the limit. Such writes
// fail with EFBIG (SIGXFSZ is ignored, here and in the programs started).
// Start servers that write files before it.

#include <signal.h>
#include <sys/resource.h>

namespace zavmo::test {

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool set() const { return set_; }

private:
    rlimit saved_{};
    bool set_ = false;
};

} // namespace zavmo::test
