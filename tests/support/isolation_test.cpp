// run-isolated.sh gives each test, where that is permitted, a network
// namespace with loopback alone (nothing but 127.0.0.1 can be reached) and a
// PID namespace with its own /proc (no process of another test or of the
// machine can be seen, however it is named).

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

bool flagSet(const char* name)
{
    const char* flag = std::getenv(name);
    return flag && std::string(flag) == "1";
}

// Whether `setUp` succeeds in a child (exit code 0).
bool childSucceeds(bool (*setUp)())
{
    const pid_t child = fork();
    if (child == 0)
        _exit(setUp() ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Whether this process could have a network namespace of its own.
bool netNamespacePermitted()
{
    return childSucceeds([] { return unshare(CLONE_NEWNET) == 0; });
}

// Whether this process could have a PID namespace with its own /proc mounted.
bool pidNamespacePermitted()
{
    return childSucceeds([] {
        if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return false;
        return childSucceeds(
            [] { return mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) == 0; });
    });
}

// The pids /proc lists.
std::set<pid_t> listedPids()
{
    std::set<pid_t> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos)
            pids.insert(std::stoi(name));
    }
    return pids;
}

// Parent pid from /proc/<pid>/stat (the fields after the parenthesised name), -1 if unreadable.
pid_t parentOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    pid_t parent = -1;
    rest >> state >> parent;
    return rest ? parent : -1;
}

// errno of a UDP connect() to address:port (0 when it succeeds).
int connectError(const char* address, int port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &to.sin_addr);
    const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const int error = rc == 0 ? 0 : errno;
    close(fd);
    return error;
}

} // namespace

TEST(NetworkIsolation, OnlyLoopbackIsUpAndReachable)
{
    if (!flagSet("ZAVMO_NET_ISOLATED")) {
        ASSERT_FALSE(netNamespacePermitted()) << "a network namespace was permitted but not used";
        GTEST_SKIP() << "no network namespace of its own here (needs root)";
    }

    ifaddrs* list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    std::set<std::string> up;
    for (const ifaddrs* a = list; a; a = a->ifa_next)
        if (a->ifa_flags & IFF_UP)
            up.insert(a->ifa_name);
    freeifaddrs(list);
    EXPECT_EQ(up, std::set<std::string>{"lo"});

    EXPECT_EQ(connectError("127.0.0.1", 9), 0);
    EXPECT_EQ(connectError("192.0.2.1", 9), ENETUNREACH); // TEST-NET-1, never routed
    EXPECT_EQ(connectError("1.1.1.1", 53), ENETUNREACH);

    // The compiled-in host names resolve nowhere.
    addrinfo* found = nullptr;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    const int rc = getaddrinfo("www.zavmo.example", "443", &hints, &found);
    if (rc == 0)
        freeaddrinfo(found);
    EXPECT_NE(rc, 0);
}

TEST(ProcessIsolation, OnlyTheTestsOwnProcessesAreVisible)
{
    if (!flagSet("ZAVMO_PID_ISOLATED")) {
        ASSERT_FALSE(flagSet("ZAVMO_NET_ISOLATED") && pidNamespacePermitted())
            << "a PID namespace was permitted but not used";
        GTEST_SKIP() << "no PID namespace of its own here (needs root)";
    }

    // /proc is the namespace's own: it names this process by its pid here.
    std::error_code ec;
    EXPECT_EQ(std::filesystem::read_symlink("/proc/self", ec).string(), std::to_string(getpid()));

    // Nothing but this test and its ancestors up to the namespace's init (the
    // isolating shell, not the machine's init) is listed: no process of a
    // parallel test or of the machine, whatever its name.
    std::set<pid_t> lineage;
    for (pid_t pid = getpid(); pid > 0 && lineage.insert(pid).second;)
        pid = pid == 1 ? 0 : parentOf(pid);
    ASSERT_EQ(lineage.count(1), 1u) << "pid 1 is not an ancestor";
    std::ifstream initCmdline("/proc/1/cmdline");
    const std::string init((std::istreambuf_iterator<char>(initCmdline)), std::istreambuf_iterator<char>());
    EXPECT_NE(init.find("run-isolated.sh"), std::string::npos) << init;
    EXPECT_EQ(listedPids(), lineage);

    // A child of the test is seen, and gone once reaped.
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    std::set<pid_t> withChild = lineage;
    withChild.insert(child);
    EXPECT_EQ(listedPids(), withChild);
    kill(child, SIGKILL);
    EXPECT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_EQ(listedPids(), lineage);
}

// The isolating shell is the namespace's init: what a test leaves running ends
// with it, so nothing holds ctest's output pipe open, and the test's exit code
// comes through.
TEST(ProcessIsolation, LeftoversEndWithTheTestAndItsExitCodeComesThrough)
{
    if (!flagSet("ZAVMO_PID_ISOLATED"))
        GTEST_SKIP() << "no PID namespace of its own here (needs root)";
    const char* source = std::getenv("ZAVMO_SOURCE_DIR");
    ASSERT_TRUE(source && *source);
    const std::string script = std::string(source) + "/tests/support/run-isolated.sh";

    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        // A nested run, isolated afresh: a daemon that keeps the output open
        // for longer than the wait below, and exit code 5.
        unsetenv("ZAVMO_NET_ISOLATED");
        unsetenv("ZAVMO_PID_ISOLATED");
        execl(script.c_str(), script.c_str(), "--in-place", "/bin/sh", "-c", "setsid sleep 20 & echo started; exit 5",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    ASSERT_GT(child, 0);

    std::string output;
    bool ended = false;
    for (int waited = 0; waited < 100 && !ended; ++waited) { // 10 s at most
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0)
            output.append(buffer, static_cast<size_t>(n));
        ended = n == 0;
    }
    close(out[0]);
    int status = 0;
    if (!ended)
        kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(ended) << "a leftover process held the output open";
    EXPECT_EQ(output, "started\n");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5);
}
