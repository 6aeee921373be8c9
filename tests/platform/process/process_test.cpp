#include "platform/process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;
using namespace platform::process;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Value of a "Name:\tvalue" line of /proc/<pid>/status, empty when absent.
std::string statusField(int pid, const std::string& field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0) {
            const auto start = line.find_first_not_of(" \t", field.size() + 1);
            return start == std::string::npos ? std::string() : line.substr(start);
        }
    return {};
}

template <class Pred> bool waitFor(Pred pred, int ms = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pred();
}

// Gone, or a zombie waiting for someone other than us.
bool endedAndNotOurs(int pid)
{
    const std::string state = statusField(pid, "State");
    return state.empty() || (state[0] == 'Z' && statusField(pid, "PPid") != std::to_string(getpid()));
}

bool listed(int pid, const std::string& name)
{
    std::vector<ProcessInfo> list;
    if (!listProcesses(list))
        return false;
    for (const auto& p : list)
        if (p.pid == pid && p.exeName == name)
            return true;
    return false;
}

class ProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        dir_ = fs::path(tmp ? tmp : "/tmp") / ("process-test-" + std::to_string(getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        for (int pid : started_)
            killProcess(pid); // leftovers, by recorded pid only
        unsetenv("ZAVMO_PROC_ROOT");
        fs::remove_all(dir_);
    }
    // A copy of a system binary under our own name.
    std::string copyBinary(const std::string& from, const std::string& name)
    {
        const fs::path to = dir_ / name;
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        fs::permissions(to, fs::perms::owner_all);
        return to.string();
    }
    int start(const std::string& program, const std::vector<std::string>& args, const std::string& workDir = {})
    {
        int pid = -1;
        EXPECT_TRUE(startDetached(program, args, workDir, &pid)) << program;
        EXPECT_GT(pid, 0);
        if (pid > 0)
            started_.push_back(pid);
        return pid;
    }

    fs::path dir_;
    std::vector<int> started_;
};

} // namespace

TEST_F(ProcessTest, LongExecutableNameIsListedAndKilledByPid)
{
    const std::string exe = copyBinary("/bin/sleep", "LiveCodeModule.exe");
    const int pid = start(exe, {"30"});
    ASSERT_TRUE(waitFor([&] { return listed(pid, "LiveCodeModule.exe"); }));
    // The exe link changes early in execve, the argument area only later: wait for both.
    const std::string cmdline = "/proc/" + std::to_string(pid) + "/cmdline";
    waitFor([&] { return !readFile(cmdline).empty(); });
    EXPECT_EQ(readFile(cmdline), exe + '\0' + "30" + '\0');

    EXPECT_TRUE(killProcess(pid));
    EXPECT_TRUE(waitFor([&] { return endedAndNotOurs(pid); }));
    EXPECT_FALSE(listed(pid, "LiveCodeModule.exe"));
}

TEST_F(ProcessTest, FailedScanIsToldApartFromEmptyList)
{
    std::vector<ProcessInfo> list{{1, "stale"}};
    setenv("ZAVMO_PROC_ROOT", (dir_ / "missing").c_str(), 1);
    EXPECT_FALSE(listProcesses(list));
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(listProcesses().empty());

    fs::create_directories(dir_ / "empty");
    setenv("ZAVMO_PROC_ROOT", (dir_ / "empty").c_str(), 1);
    EXPECT_TRUE(listProcesses(list));
    EXPECT_TRUE(list.empty());
}

TEST_F(ProcessTest, NamesComeFromExeLinkThenArgv0)
{
    const fs::path root = dir_ / "proc";
    auto entry = [&](const std::string& pid) { return fs::create_directories(root / pid), root / pid; };
    fs::create_symlink("/opt/tools/Replaced Tool.exe (deleted)", entry("1000") / "exe");
    fs::create_symlink("/usr/bin/AVeryLongProgramName.exe", entry("99") / "exe");
    std::ofstream(entry("99") / "cmdline") << std::string("ignored\0", 8);
    std::ofstream(entry("200") / "cmdline") << std::string("/usr/lib/x/other-daemon\0--flag\0", 31);
    std::ofstream(entry("300") / "cmdline"); // kernel thread: neither source
    std::ofstream(entry("400") / "cmdline") << std::string("bare-argv0", 10);
    entry("self");
    entry("12ab");

    setenv("ZAVMO_PROC_ROOT", root.c_str(), 1);
    std::vector<ProcessInfo> list;
    ASSERT_TRUE(listProcesses(list));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].pid, 99);
    EXPECT_EQ(list[0].exeName, "AVeryLongProgramName.exe");
    EXPECT_EQ(list[0].owner, ::geteuid()); // the owner of its folder
    EXPECT_EQ(list[1].pid, 200);
    EXPECT_EQ(list[1].exeName, "other-daemon");
    EXPECT_EQ(list[2].pid, 400);
    EXPECT_EQ(list[2].exeName, "bare-argv0");
    EXPECT_EQ(list[3].pid, 1000);
    EXPECT_EQ(list[3].exeName, "Replaced Tool.exe");
}

namespace {

// Runs `check` in a child alone in its own process group (and, where
// permitted, as the only process of a PID namespace of its own), so that a
// broken guard signals nothing but the child. The child's exit code: 0 passed,
// 1 failed, 2 could not be set up; killed by a signal: the guard let it through.
int inLoneChild(bool ownPidNamespace, bool (*check)())
{
    const pid_t child = fork();
    if (child == 0) {
        if (setpgid(0, 0) != 0)
            _exit(2);
        if (!ownPidNamespace)
            _exit(check() ? 0 : 1);
        if (unshare(CLONE_NEWPID) != 0)
            _exit(2);
        const pid_t inner = fork(); // pid 1 of the new namespace, alone in it
        if (inner == 0)
            _exit(check() ? 0 : 1);
        int status = 0;
        if (inner < 0 || waitpid(inner, &status, 0) != inner)
            _exit(2);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 3);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return 2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

} // namespace

TEST_F(ProcessTest, KillRefusesGroupsAndAcceptsGoneProcess)
{
    EXPECT_EQ(inLoneChild(false, [] { return !killProcess(0); }), 0);
    const int everyone = inLoneChild(true, [] { return !killProcess(-1); });
    if (everyone == 2)
        std::cout << "no PID namespace here: killProcess(-1) left unchecked\n";
    else
        EXPECT_EQ(everyone, 0);
    const int pidMax = std::stoi(readFile("/proc/sys/kernel/pid_max"));
    EXPECT_TRUE(killProcess(pidMax + 1)); // no such process: nothing left to end
}

TEST_F(ProcessTest, StartFailsForBadProgramOrFolder)
{
    const std::string sleeper = copyBinary("/bin/sleep", "sleeper");
    const fs::path plain = dir_ / "not-executable";
    std::ofstream(plain) << "data";
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    int pid = -1;
    EXPECT_FALSE(startDetached("", {}, {}, &pid));
    EXPECT_FALSE(startDetached((dir_ / "missing").string(), {}, {}, &pid));
    EXPECT_FALSE(startDetached(plain.string(), {}, {}, &pid));
    EXPECT_FALSE(startDetached(dir_.string(), {}, {}, &pid));
    EXPECT_FALSE(startDetached(sleeper, {"30"}, (dir_ / "no-folder").string(), &pid));
    EXPECT_FALSE(startDetached(sleeper, {"30"}, plain.string(), &pid));
    EXPECT_EQ(pid, 0);
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD); // the intermediates were all reaped
}

TEST_F(ProcessTest, ChildIsDetachedWithCleanState)
{
    // State a Qt program may have that the child must not inherit.
    const int leaked = open(dir_.c_str(), O_RDONLY); // no O_CLOEXEC on purpose
    ASSERT_GE(leaked, 3);
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    struct sigaction ignore
    {
    }, oldHup{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &oldHup);

    const int pid = start(copyBinary("/bin/sleep", "detached-sleeper"), {"30"});

    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    sigaction(SIGHUP, &oldHup, nullptr);
    close(leaked);
    ASSERT_GT(pid, 0);

    // The program may open files of its own while starting (locale data).
    const auto onlyStandardFds = [&] {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
            if (std::stoi(e.path().filename().string()) > 2)
                return false;
        return !ec;
    };
    EXPECT_TRUE(waitFor(onlyStandardFds, 2000));
    // Standard signals only: the C library keeps its own real-time ones.
    const auto standard = [&](const char* field) {
        return std::stoull(statusField(pid, field), nullptr, 16) & 0x7fffffffull;
    };
    EXPECT_EQ(standard("SigBlk"), 0u);
    EXPECT_EQ(standard("SigIgn"), 0u);
    EXPECT_NE(statusField(pid, "PPid"), std::to_string(getpid()));
    errno = 0;
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessTest, ShortLivedChildIsNeverOurZombie)
{
    const int pid = start("/bin/true", {});
    EXPECT_TRUE(waitFor([&] { return endedAndNotOurs(pid); }));
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessTest, ArgumentsAndWorkingFolderReachTheChild)
{
    const fs::path work = dir_ / "work";
    fs::create_directories(work / "bin");
    copyBinary("/bin/touch", "work/bin/Toucher");
    const fs::path oldCwd = fs::current_path();
    fs::current_path(work);
    // Relative program path: resolved against our folder, not the child's.
    fs::create_directories(dir_ / "elsewhere");
    const int pid = start("bin/Toucher", {"made here"}, (dir_ / "elsewhere").string());
    fs::current_path(oldCwd);
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(waitFor([&] { return fs::exists(dir_ / "elsewhere" / "made here"); }));
}

TEST(SplitCommandLine, WindowsRules)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(splitCommandLine(""), V{});
    EXPECT_EQ(splitCommandLine(" \t "), V{});
    EXPECT_EQ(splitCommandLine("a b\tc"), (V{"a", "b", "c"}));
    EXPECT_EQ(splitCommandLine("  lead   trail  "), (V{"lead", "trail"}));
    EXPECT_EQ(splitCommandLine("\"a b\" c"), (V{"a b", "c"}));
    EXPECT_EQ(splitCommandLine("x\"a b\"y z"), (V{"xa by", "z"}));
    EXPECT_EQ(splitCommandLine("a \"\" b"), (V{"a", "", "b"}));
    EXPECT_EQ(splitCommandLine("\"\""), V{""});
    EXPECT_EQ(splitCommandLine("\"a\tb\""), V{"a\tb"});
    // Backslashes: literal unless they precede a quote.
    EXPECT_EQ(splitCommandLine("C:\\dir\\file.exe"), V{"C:\\dir\\file.exe"});
    EXPECT_EQ(splitCommandLine("a\\\\b"), V{"a\\\\b"});
    EXPECT_EQ(splitCommandLine("a\\\"b"), V{"a\"b"});         // 1 + quote: literal quote
    EXPECT_EQ(splitCommandLine("a\\\\\"b c\""), V{"a\\b c"}); // 2 + quote: toggles
    EXPECT_EQ(splitCommandLine("a\\\\\\\"b"), V{"a\\\"b"});   // 3 + quote
    EXPECT_EQ(splitCommandLine("\"C:\\dir\\\\\" next"), (V{"C:\\dir\\", "next"}));
    // "" inside a quoted run is a literal quote and the run goes on.
    EXPECT_EQ(splitCommandLine("\"a\"\"b c\""), V{"a\"b c"});
    EXPECT_EQ(splitCommandLine("\"\"\""), V{"\""});
    EXPECT_EQ(splitCommandLine("\"unterminated arg"), V{"unterminated arg"});
    EXPECT_EQ(splitCommandLine("/D=C:\\Program Files\\OBS"), (V{"/D=C:\\Program", "Files\\OBS"}));
}
