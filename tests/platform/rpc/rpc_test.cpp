#include "platform/rpc.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform::rpc;

namespace {

Json::Value list(std::initializer_list<Json::Value> items)
{
    Json::Value value(Json::arrayValue);
    for (const Json::Value& item : items)
        value.append(item);
    return value;
}

// Connects fd (a socket of the caller's) to the service's socket.
bool connectTo(int fd, const std::string& service)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, Service::socketPath(service).c_str());
    return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// Reads from fd until it has `lines` lines (2 s at most).
std::string readLines(int fd, long lines)
{
    std::string replies;
    char chunk[512];
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    while (std::count(replies.begin(), replies.end(), '\n') < lines) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        replies.append(chunk, static_cast<size_t>(n));
    }
    return replies;
}

} // namespace

TEST(Rpc, CallsReachTheirProceduresWithCheckedArguments)
{
    std::atomic<int> connected{0}, handled{0};
    Service service([&](int status) { connected += status == 1; });
    ASSERT_TRUE(service.registerProcedure("echo", "O", [&](const Json::Value& args, const CallHandle& call) {
        ++handled;
        EXPECT_TRUE(complete(call, args[0]));
        EXPECT_FALSE(complete(call)); // answered once only
    }));
    ASSERT_TRUE(
        service.registerProcedure("none", "", [](const Json::Value&, const CallHandle& call) { complete(call); }));
    EXPECT_FALSE(service.registerProcedure("bad", "X", [](const Json::Value&, const CallHandle&) {}));
    ASSERT_TRUE(service.start("TestService"));
    EXPECT_FALSE(service.registerProcedure("late", "", [](const Json::Value&, const CallHandle&) {}));

    const std::string path = Service::socketPath("TestService");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    Client client;
    ASSERT_TRUE(client.connect("TestService", 2000));
    Json::Value result;
    std::string error;
    ASSERT_TRUE(client.call("echo", list({list({"rtmp://a", "码"})}), &result, &error, 2000)) << error;
    EXPECT_EQ(result, list({"rtmp://a", "码"}));
    ASSERT_TRUE(client.call("none", Json::Value(Json::arrayValue), &result, &error, 2000)) << error;
    EXPECT_TRUE(result.isNull());

    EXPECT_FALSE(client.call("echo", list({"not a list"}), &result, &error, 2000));
    EXPECT_NE(error.find("arguments"), std::string::npos);
    EXPECT_FALSE(client.call("echo", list({list({}), list({})}), &result, &error, 2000));
    EXPECT_FALSE(client.call("none", list({1}), &result, &error, 2000));
    EXPECT_FALSE(client.call("missing", Json::Value(Json::arrayValue), &result, &error, 2000));
    EXPECT_EQ(error, "unknown procedure");
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(connected, 1);
}

TEST(Rpc, AnswersMayComeLaterFromAnotherThread)
{
    // The handler runs on the service thread and hands its worker over; a
    // call that timed out may return before the handler has even run.
    std::mutex mutex;
    std::condition_variable started;
    std::thread worker;
    const auto joinWorker = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(started.wait_for(lock, std::chrono::seconds(5), [&] { return worker.joinable(); }));
        worker.join();
    };
    Service service;
    ASSERT_TRUE(service.registerProcedure("slow", "SI", [&](const Json::Value& args, const CallHandle& call) {
        std::lock_guard<std::mutex> lock(mutex);
        worker = std::thread([call, args] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            complete(call, args[0].asString() + std::to_string(args[1].asInt()));
        });
        started.notify_all();
    }));
    ASSERT_TRUE(service.registerProcedure("dropped", "", [](const Json::Value&, const CallHandle&) {}));
    ASSERT_TRUE(service.start("AsyncService"));
    Client client;
    ASSERT_TRUE(client.connect("AsyncService", 2000));
    Json::Value result;
    std::string error;
    ASSERT_TRUE(client.call("slow", list({"n", 7}), &result, &error, 2000)) << error;
    EXPECT_EQ(result.asString(), "n7");
    EXPECT_FALSE(client.call("dropped", Json::Value(Json::arrayValue), &result, &error, 2000));
    EXPECT_EQ(error, "not answered");
    joinWorker();

    // The answer to a call that timed out comes ahead of the next call's own.
    EXPECT_FALSE(client.call("slow", list({"late", 1}), &result, &error, 10));
    EXPECT_EQ(error, "no reply in time");
    joinWorker();
    ASSERT_TRUE(client.call("slow", list({"own", 2}), &result, &error, 2000)) << error;
    EXPECT_EQ(result.asString(), "own2");
    joinWorker();
}

TEST(Rpc, OneLiveServicePerNameAndStaleSocketsReplaced)
{
    EXPECT_EQ(Service::socketPath("a/b"), "");
    Service invalid;
    EXPECT_FALSE(invalid.start("../x"));

    // A socket file left by a service that died.
    const std::string path = Service::socketPath("Stale");
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    Service first;
    ASSERT_TRUE(first.start("Stale"));
    Service second;
    EXPECT_FALSE(second.start("Stale"));

    Client client;
    ASSERT_TRUE(client.connect("Stale", 2000));
    first.stop();
    first.stop();
    Json::Value result;
    std::string error;
    EXPECT_FALSE(client.call("any", Json::Value(Json::arrayValue), &result, &error, 2000));
    EXPECT_EQ(::access(path.c_str(), F_OK), -1);
    EXPECT_TRUE(second.start("Stale"));
}

TEST(Rpc, GarbageFromACallerIsAnsweredAndTheServiceGoesOn)
{
    Service service;
    ASSERT_TRUE(service.registerProcedure("ping", "",
                                          [](const Json::Value&, const CallHandle& call) { complete(call, "pong"); }));
    ASSERT_TRUE(service.start("GarbageService"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_TRUE(connectTo(fd, "GarbageService"));
    // The last line nests deeper than the JSON reader goes: none of it counts.
    const std::string garbage = "not json\n[1,2]\n{\"procedure\":5}\n{\"id\":1,\"procedure\":\"ping\",\"args\":7}\n"
                                "{\"procedure\":\"ping\",\"deep\":" +
                                std::string(1001, '[') + "\n";
    ASSERT_EQ(::send(fd, garbage.data(), garbage.size(), 0), static_cast<ssize_t>(garbage.size()));
    const std::string replies = readLines(fd, 5);
    ::close(fd);
    EXPECT_EQ(std::count(replies.begin(), replies.end(), '\n'), 5) << replies;
    EXPECT_NE(replies.find("bad request"), std::string::npos);
    EXPECT_NE(replies.find("arguments do not match"), std::string::npos);
    EXPECT_EQ(replies.find("pong"), std::string::npos) << replies;

    Client client;
    ASSERT_TRUE(client.connect("GarbageService", 2000));
    Json::Value result;
    std::string error;
    ASSERT_TRUE(client.call("ping", Json::Value(Json::arrayValue), &result, &error, 2000)) << error;
    EXPECT_EQ(result.asString(), "pong");
}

TEST(Rpc, OutOfDescriptorsAcceptingPausesAndIsReportedOnce)
{
    std::atomic<int> failures{0};
    Service service([&](int status) { failures += status == 0; });
    ASSERT_TRUE(service.registerProcedure("ping", "",
                                          [](const Json::Value&, const CallHandle& call) { complete(call, "pong"); }));
    ASSERT_TRUE(service.start("BusyService"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> filler;
    for (int d; (d = ::dup(fd)) >= 0;)
        filler.push_back(d);
    ASSERT_TRUE(connectTo(fd, "BusyService")); // queued; the service cannot take it
    timespec before{}, after{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    for (int d : filler)
        ::close(d);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    const double cpu = double(after.tv_sec - before.tv_sec) + double(after.tv_nsec - before.tv_nsec) / 1e9;
    EXPECT_LT(cpu, 0.2);
    EXPECT_EQ(failures, 1);
    // Descriptors free again: the waiting caller is taken and answered.
    const std::string ping = "{\"id\":1,\"procedure\":\"ping\"}\n";
    ASSERT_EQ(::send(fd, ping.data(), ping.size(), 0), static_cast<ssize_t>(ping.size()));
    EXPECT_NE(readLines(fd, 1).find("pong"), std::string::npos);
    ::close(fd);
}
