// How the simulator starts and ends: every way out must leave no process and,
// once the support object is gone, no folder.

#include "simulator.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

extern char** environ;

namespace zavmo::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool endsWithin(Simulator& sim, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (sim.running()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

size_t simFoldersInTmp()
{
    const char* tmp = std::getenv("TMPDIR");
    size_t n = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(tmp && *tmp ? tmp : "/tmp", ec))
        if (entry.path().filename().string().rfind("zavmo-sim.", 0) == 0)
            ++n;
    return n;
}

TEST(SimLifecycle, ShutdownRequestEndsItAndDestructionRemovesTheFolder)
{
    auto sim = std::make_unique<Simulator>();
    const std::string folder = sim->folder();
    const pid_t pid = sim->pid();
    EXPECT_TRUE(sim->running());
    EXPECT_TRUE(sim->shutdown());
    EXPECT_FALSE(sim->running());
    EXPECT_NE(::kill(pid, 0), 0); // reaped, not a zombie
    EXPECT_TRUE(fs::exists(folder + "/requests.jsonl"));
    EXPECT_FALSE(fs::exists(folder + "/ready.json"));
    EXPECT_TRUE(sim->requests().empty());
    sim.reset();
    EXPECT_FALSE(fs::exists(folder));
}

TEST(SimLifecycle, DestructorStopsARunningSimulator)
{
    pid_t pid;
    std::string folder;
    {
        Simulator sim;
        sim.setEnvironment();
        pid = sim.pid();
        folder = sim.folder();
    }
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(std::getenv("ZAVMO_HOSTS"), nullptr);
    EXPECT_EQ(std::getenv("ZAVMO_CA_BUNDLE"), nullptr);
}

TEST(SimLifecycle, EndsOnSigterm)
{
    Simulator sim;
    ASSERT_EQ(::kill(sim.pid(), SIGTERM), 0);
    EXPECT_TRUE(endsWithin(sim, std::chrono::seconds(5)));
}

TEST(SimLifecycle, EndsAfterItsMaximumLifetime)
{
    Simulator::Options options;
    options.maxSeconds = 1;
    Simulator sim(options);
    const auto start = Clock::now();
    EXPECT_TRUE(endsWithin(sim, std::chrono::seconds(5)));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(500));
}

// The parent is a stand-in process killed under the simulator; it is checked
// both while it is an unreaped zombie and once it is gone.
TEST(SimLifecycle, EndsWhenItsParentEnds)
{
    for (bool reapParent : {false, true}) {
        SCOPED_TRACE(reapParent ? "parent reaped" : "parent a zombie");
        pid_t parent = -1;
        char sleepArg0[] = "sleep", sleepArg1[] = "60";
        char* argv[] = {sleepArg0, sleepArg1, nullptr};
        ASSERT_EQ(posix_spawnp(&parent, "sleep", nullptr, nullptr, argv, environ), 0);

        Simulator::Options options;
        options.parentPid = parent;
        Simulator sim(options);
        EXPECT_TRUE(sim.running());
        ::kill(parent, SIGKILL);
        if (reapParent)
            ::waitpid(parent, nullptr, 0);
        EXPECT_TRUE(endsWithin(sim, std::chrono::seconds(5)));
        if (!reapParent)
            ::waitpid(parent, nullptr, 0);
    }
}

TEST(SimLifecycle, ShutdownIsPromptWhileAReplyStalls)
{
    Simulator sim;
    sim.setMode("pelk2", "stall");
    // A raw request whose reply never comes; the client side stays open.
    std::thread client([&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(sim.httpPort()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const timeval timeout{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            const std::string request = "POST /deliver/pelk2 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                        "Content-Type: application/x-www-form-urlencoded\r\n"
                                        "Content-Length: 5\r\n\r\nv=1.0";
            (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            char buffer[256];
            (void)!::recv(fd, buffer, sizeof buffer, 0);
        }
        ::close(fd);
    });
    ASSERT_EQ(sim.waitForRequests("pelk2", 1, 5000).size(), 1u);
    const auto start = Clock::now();
    EXPECT_TRUE(sim.shutdown(5000));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    client.join();
}

TEST(SimLifecycle, IdleKeepAliveConnectionsDoNotHoldTheShutdown)
{
    Simulator sim;
    // One idle connection on each listener, as a client's connection pool
    // keeps them after a reply; the server's keep-alive time-out is 2 s.
    std::vector<std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>> clients;
    for (const std::string& origin : {sim.httpOrigin(), sim.httpsOrigin()}) {
        clients.emplace_back(curl_easy_init(), &curl_easy_cleanup);
        CURL* curl = clients.back().get();
        ASSERT_NE(curl, nullptr);
        const std::string url = origin + "/talven/release/pc/checkPackage?appCode=ZVTool";
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CAINFO, sim.caFile().c_str());
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(
            curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
        ASSERT_EQ(curl_easy_perform(curl), CURLE_OK) << url;
    }
    ASSERT_EQ(sim.requests("checkPackage").size(), 2u);

    const auto start = Clock::now();
    EXPECT_TRUE(sim.shutdown(5000));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 1500);
}

TEST(SimLifecycle, FailsClearlyWhenTheProgramCannotStart)
{
    const size_t before = simFoldersInTmp();
    Simulator::Options missing;
    missing.program = "/nonexistent/zavmo-sim";
    EXPECT_THROW(Simulator{missing}, std::runtime_error);

    // /bin/false runs and ends at once: reported at once, not after the time-out.
    Simulator::Options quits;
    quits.program = "/bin/false";
    quits.readyTimeoutMs = 20000;
    const auto start = Clock::now();
    try {
        Simulator sim(quits);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("ended before it was ready"), std::string::npos) << e.what();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(simFoldersInTmp(), before);
}

} // namespace
} // namespace zavmo::test
