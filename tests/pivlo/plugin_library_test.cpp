// The built plug-in as an installer drives it: loaded by the test host, its
// exports called in an installer's order.
#include "plugin.h"

#include "pivlotest.h"
#include "simulator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <set>

extern char** environ;

namespace pivlo {
namespace {

using test::readFile;
using test::records;

struct HostRun
{
    int status = -1; // exit status; -1 when it did not end in time
    std::string output;
    std::chrono::milliseconds took{0};
};

// Runs a program with its standard output captured, killed after timeoutMs.
HostRun run(const std::vector<std::string>& args, int timeoutMs = 20000)
{
    HostRun r;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return r;
    }
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        r.output.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < stop)
            ::usleep(10000);
        if (::kill(pid, 0) == 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            r.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            return r;
        }
    }
    r.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::vector<std::string> host(std::vector<std::string> steps)
{
    steps.insert(steps.begin(), {NSIS_HOST, PIVLO_LIBRARY});
    return steps;
}

// The steps of a script line "pivlo::RecordPoint action version channel".
std::vector<std::string> recordPoint(const std::string& action, const std::string& version, const std::string& channel)
{
    return {"push=" + channel, "push=" + version, "push=" + action, "call=RecordPoint"};
}

TEST(PivloLibrary, ExportsTheThreeAndNothingElse)
{
    const HostRun nm = run({"/usr/bin/nm", "-D", "--defined-only", PIVLO_LIBRARY});
    ASSERT_EQ(nm.status, 0) << nm.output;
    std::set<std::string> defined;
    std::istringstream lines(nm.output);
    std::string address, type, name;
    while (lines >> address >> type >> name)
        defined.insert(name);
    EXPECT_EQ(defined, (std::set<std::string>{"Init", "RecordPoint", "Destory"})) << nm.output;
}

class PivloInstallerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(TemporaryFolder() + "/ZavmoToolNew");
        sim_.setEnvironment();
    }
    void TearDown() override { ::unsetenv("ZAVMO_PIVLO_TIMEOUT_MS"); }
    zavmo::test::Simulator sim_;
};

TEST_F(PivloInstallerTest, AnInstallRecordsItsEventsAndItsLog)
{
    constexpr int kSteps = 25;
    std::vector<std::string> steps = {"threads", "call=Init"};
    for (int i = 0; i < kSteps; ++i)
        for (const std::string& s : recordPoint("step" + std::to_string(i), "2.3.4", "web_olvane"))
            steps.push_back(s);
    for (const char* s : {"push=web_nlive", "call=RecordPoint", "call=Destory", "threads"})
        steps.push_back(s);
    const HostRun r = run(host(steps));
    ASSERT_EQ(r.status, 0) << r.output;

    // Every pop took its item; no thread is left after Destory.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, std::regex(R"(^threads=(\d+)\n)"))) << r.output;
    const std::string before = m[1];
    EXPECT_NE(r.output.find("called Destory depth=0\nthreads=" + before + "\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("depth=1"), std::string::npos) << r.output;

    const auto events = sim_.requests("pelk2");
    ASSERT_EQ(events.size(), static_cast<size_t>(kSteps + 1));
    std::set<std::string> actions;
    for (const Json::Value& e : events) {
        EXPECT_EQ(e["scheme"], "http");
        EXPECT_EQ(e["headers"]["user-agent"], "User-Agent");
        const Json::Value& d = e["decoded"];
        EXPECT_EQ(d["av"], "2.3.4");
        EXPECT_EQ(d["pro"], "host_site");
        EXPECT_EQ(d["pc"], "com_module");
        EXPECT_EQ(d["e"]["pc_os"], "Windows 10");
        EXPECT_TRUE(d["pt"].isInt());
        actions.insert(d["ac"].asString() + "|" + d["ct"].asString());
    }
    EXPECT_EQ(actions.size(), static_cast<size_t>(kSteps + 1));
    // One pop only: action; version and channel as before.
    EXPECT_EQ(actions.count("web_nlive|web_olvane"), 1u);

    const auto log = records(readFile(test::datedLog(InstallLogFolder())));
    EXPECT_EQ(log.size(), 2u * (kSteps + 1));
}

TEST_F(PivloInstallerTest, AStalledCollectorDoesNotHangTheInstaller)
{
    sim_.setMode("pelk2", "stall");
    ::setenv("ZAVMO_PIVLO_TIMEOUT_MS", "600", 1);
    std::vector<std::string> steps = {"call=Init"};
    for (int i = 0; i < 4; ++i)
        for (const std::string& s : recordPoint("stalled", "1", "c"))
            steps.push_back(s);
    steps.push_back("call=Destory");
    const HostRun r = run(host(steps));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_LT(r.took, std::chrono::milliseconds(4000));
    EXPECT_EQ(sim_.requests("pelk2").size(), 4u);
    EXPECT_EQ(records(readFile(test::datedLog(InstallLogFolder()))).size(), 4u);
    sim_.reset();
}

TEST_F(PivloInstallerTest, UnloadWithoutDestoryStillEndsCleanly)
{
    std::vector<std::string> steps = {"call=Init"};
    for (const std::string& s : recordPoint("unloaded", "1", "c"))
        steps.push_back(s);
    steps.push_back("unload");
    const HostRun r = run(host(steps));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("unloaded\n"), std::string::npos) << r.output;
    EXPECT_EQ(sim_.waitForRequests("pelk2", 1, 5000).size(), 1u);
    EXPECT_EQ(records(readFile(test::datedLog(InstallLogFolder()))).size(), 2u);

    // A missing export and a missing library are the host's errors.
    EXPECT_EQ(run(host({"call=Destroy"})).status, 2);
    EXPECT_EQ(run({NSIS_HOST, "/nonexistent/libpivlo.so"}).status, 2);
}

} // namespace
} // namespace pivlo
