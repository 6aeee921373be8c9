#include "platform/shell.h"

#include "platform/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::shell {

namespace {

// One write() on an O_APPEND descriptor keeps lines of parallel writers whole.
bool appendRecord(const char* file, const std::string& line)
{
    const int fd = ::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ssize_t n;
    do {
        n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    const bool ok = n == static_cast<ssize_t>(line.size());
    return ::close(fd) == 0 && ok;
}

// posix_spawn does no PATH search, so find xdg-open ourselves.
std::string findXdgOpen()
{
    const char* pathEnv = std::getenv("PATH");
    std::string path = (pathEnv && *pathEnv) ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? end : end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/xdg-open";
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

bool isExecutableFile(const std::string& file)
{
    struct stat st
    {
    };
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0 &&
           ::access(file.c_str(), X_OK) == 0;
}

} // namespace

bool openExternal(const std::string& target)
{
    if (target.empty())
        return false;
    const char* record = std::getenv("ZAVMO_SHELL_RECORD");
    if (record && *record)
        return appendRecord(record, "open " + target + "\n");

    const std::string xdgOpen = findXdgOpen();
    if (xdgOpen.empty())
        return false;
    // A relative path starting with '-' would read as an option of xdg-open.
    const std::string argument = target[0] == '-' ? "./" + target : target;
    return process::startDetached(xdgOpen, {argument}, std::string());
}

bool shellExecute(const std::string& file, const std::string& parameters, const std::string& workDir)
{
    if (file.empty())
        return false;
    if (isExecutableFile(file))
        return process::startDetached(file, process::splitCommandLine(parameters), workDir);
    return openExternal(file);
}

} // namespace platform::shell
