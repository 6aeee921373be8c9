#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/fileio.h"

extern char** environ;

namespace platform::process {

namespace {

std::string procRoot()
{
    const char* root = std::getenv("ZAVMO_PROC_ROOT");
    return (root && *root) ? std::string(root) : std::string("/proc");
}

std::string baseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readLink(const std::string& path, std::string& out)
{
    std::string buf(PATH_MAX, '\0');
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
        if (n < 0)
            return false;
        if (static_cast<size_t>(n) < buf.size()) {
            out.assign(buf.data(), static_cast<size_t>(n));
            return true;
        }
        buf.resize(buf.size() * 2); // possibly truncated: retry larger
    }
}

// First NUL-terminated field of cmdline (argv[0]); empty for kernel threads.
std::string readArgv0(const std::string& path)
{
    const platform::fileio::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return {};
    std::string out;
    char buf[512];
    for (ssize_t n; (n = platform::fileio::readSome(fd.get(), buf, sizeof buf)) > 0;) {
        const void* nul = std::memchr(buf, '\0', static_cast<size_t>(n));
        if (nul) {
            out.append(buf, static_cast<const char*>(nul) - buf);
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

std::string exeNameOf(const std::string& pidDir)
{
    std::string target;
    if (readLink(pidDir + "/exe", target) && !target.empty()) {
        static const std::string kDeleted = " (deleted)";
        if (target.size() > kDeleted.size() &&
            target.compare(target.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
            target.resize(target.size() - kDeleted.size());
        std::string name = baseName(target);
        if (!name.empty())
            return name;
    }
    return baseName(readArgv0(pidDir + "/cmdline"));
}

bool parsePid(const char* text, int& pid)
{
    if (!*text)
        return false;
    long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + (*p - '0');
        if (value > INT_MAX)
            return false;
    }
    pid = static_cast<int>(value);
    return pid > 0;
}

// Result the intermediate child reports back through the pipe.
struct SpawnReport
{
    int error;
    pid_t pid;
};

} // namespace

bool listProcesses(std::vector<ProcessInfo>& out)
{
    out.clear();
    const std::string root = procRoot();
    DIR* dir = ::opendir(root.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir)) {
        int pid = 0;
        if (!parsePid(entry->d_name, pid))
            continue;
        const std::string pidDir = root + "/" + entry->d_name;
        struct stat st
        {
        };
        if (::stat(pidDir.c_str(), &st) != 0)
            continue; // vanished meanwhile
        std::string name = exeNameOf(pidDir);
        if (name.empty())
            continue; // vanished meanwhile, or a kernel thread
        out.push_back({pid, std::move(name), st.st_uid});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
    return true;
}

std::vector<ProcessInfo> listProcesses()
{
    std::vector<ProcessInfo> out;
    listProcesses(out);
    return out;
}

bool killProcess(int pid)
{
    if (pid <= 0)
        return false; // 0 and negatives address process groups
    if (::kill(pid, SIGKILL) == 0)
        return true;
    return errno == ESRCH;
}

bool startDetached(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                   int* pid)
{
    if (pid)
        *pid = 0;
    if (program.empty())
        return false;

    // The chdir file action runs before exec, so a relative program path would
    // be looked up in workDir; resolve it against our own folder first.
    std::string path = program;
    if (path[0] != '/' && !workDir.empty()) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return false;
        path = std::string(cwd) + "/" + path;
    }

    // Everything that allocates happens before fork: only async-signal-safe
    // work may follow it in a multi-threaded process.
    std::vector<std::string> argvStore;
    argvStore.reserve(args.size() + 1);
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argvStore.size() + 1);
    for (auto& a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return false;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    bool ready = true;
    if (!workDir.empty())
        ready = ready && posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str()) == 0;
    ready = ready && posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;

    // A clean signal state and its own session: the caller's blocked signals
    // and terminal must not reach the detached program.
    sigset_t empty, all;
    sigemptyset(&empty);
    sigfillset(&all);
    ready = ready && posix_spawnattr_setsigmask(&attr, &empty) == 0;
    ready = ready && posix_spawnattr_setsigdefault(&attr, &all) == 0;
    ready = ready &&
            posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID) == 0;
    int fds[2] = {-1, -1};
    ready = ready && ::pipe2(fds, O_CLOEXEC) == 0;

    bool ok = false;
    if (ready) {
        // Double spawn: the intermediate starts the program and exits at once,
        // so the program is re-parented and never becomes our zombie.
        const pid_t middle = ::fork();
        if (middle == 0) {
            ::close(fds[0]);
            SpawnReport report{0, 0};
            report.error = posix_spawn(&report.pid, path.c_str(), &actions, &attr, argv.data(), environ);
            platform::fileio::writeAll(fds[1], &report, sizeof report);
            ::_exit(0);
        }
        ::close(fds[1]);
        if (middle > 0) {
            SpawnReport report{-1, 0};
            const bool got = platform::fileio::readAll(fds[0], &report, sizeof report);
            while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
            }
            if (got && report.error == 0 && report.pid > 0) {
                ok = true;
                if (pid)
                    *pid = report.pid;
            }
        }
        ::close(fds[0]);
    } else {
        if (fds[0] >= 0)
            ::close(fds[0]);
        if (fds[1] >= 0)
            ::close(fds[1]);
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return ok;
}

std::vector<std::string> splitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> out;
    const std::string& s = commandLine;
    const size_t n = s.size();
    size_t i = 0;
    for (;;) {
        while (i < n && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            const char c = s[i];
            if (!quoted && (c == ' ' || c == '\t'))
                break;
            if (c == '\\') {
                size_t count = 0;
                while (i < n && s[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < n && s[i] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg += '"'; // escaped quote
                        ++i;
                    } // even run: the quote is handled as a quote next
                } else {
                    arg.append(count, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && s[i + 1] == '"') {
                    arg += '"'; // "" inside quotes: literal quote, still quoted
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += c;
                ++i;
            }
        }
        out.push_back(std::move(arg));
    }
    return out;
}

} // namespace platform::process
