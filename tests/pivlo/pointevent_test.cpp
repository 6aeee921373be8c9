// The install event: its text, its body, what the collector receives, and how
// the reply and a stalled collector are handled.
#include "pointevent.h"

#include "fakeroot.h"
#include "pivlotest.h"
#include "simulator.h"

#include <platform/codepage.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

namespace pivlo {
namespace {

using test::parseJson;
using test::readFile;
using test::records;

std::string base64(const std::string& in)
{
    std::string out;
    Base64Encode(in, out);
    return out;
}

TEST(PointEvent, Base64PadsToWholeGroups)
{
    EXPECT_EQ(base64(""), "");
    EXPECT_EQ(base64("abc"), "YWJj");
    EXPECT_EQ(base64("abcd"), "YWJjZA==");
    EXPECT_EQ(base64("abcde"), "YWJjZGU=");
    EXPECT_EQ(base64("\xfb\xff\xbf"), "+/+/");
    EXPECT_EQ(base64(std::string("\0\0\0\0", 4)), "AAAAAA==");
}

TEST(PointEvent, OsDisplayNames)
{
    // The kernel's answer comes first: a server 10.0 is "Windows 10" too.
    EXPECT_EQ(OsDisplayName(10, 0, false, true), "Windows 10");
    EXPECT_EQ(OsDisplayName(6, 3, false, true), "Windows 8.1");
    EXPECT_EQ(OsDisplayName(6, 1, true, false), "Windows 7");
    EXPECT_EQ(OsDisplayName(6, 1, false, true), "Windows Server 2008 R2");
    EXPECT_EQ(OsDisplayName(5, 2, true, true), "Windows XP Professional x64 Edition");
    EXPECT_EQ(OsDisplayName(5, 2, true, false), "Windows Server 2003");
    EXPECT_EQ(OsDisplayName(0, 0, true, true), "unknown OperatingSystem.");
    EXPECT_EQ(OsDisplayName(11, 0, true, true), "unknown OperatingSystem.");

    ::setenv("ZAVMO_OS_VERSION", "6.1", 1);
    EXPECT_EQ(GetOsDisplayName(), "Windows 7");
    ::setenv("ZAVMO_OS_VERSION", "nonsense", 1);
    EXPECT_EQ(GetOsDisplayName(), "unknown OperatingSystem.");
    ::unsetenv("ZAVMO_OS_VERSION");
    EXPECT_EQ(GetOsDisplayName(), "Windows 10");
}

TEST(PointEvent, TextHasEveryKeyInByteOrderAndEndsWithTwoNewlines)
{
    zavmo::test::FakeRoot root;
    root.netInterface("enp3s0", 2, "3c:7c:3f:1e:a0:0b", true);
    Json::Value event;
    BuildPointEvent(EventParameters(), event);
    const std::string text = PointEventText(event);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        text, m,
        std::regex(R"re(\{"ac":"install","av":"0","ct":"web_olvane","d":"3c:7c:3f:1e:a0:0b:","dur":0,)re"
                   R"re("e":\{"pc_os":"Windows 10"\},"i":0,"oct":(\d+),"pc":"com_module","pro":"host_site",)re"
                   R"re("pt":(\d+),"rid":0,"rpc":"com_module"\}\n\n)re")))
        << text;
    const long long pt = std::stoll(m[2]), oct = std::stoll(m[1]);
    EXPECT_LE(pt, oct);
    EXPECT_LE(oct - pt, 1);
    EXPECT_LE(std::abs(pt - static_cast<long long>(std::time(nullptr))), 5);
    EXPECT_TRUE(event["pt"].isInt());

    // No adapter address, an empty action, ANSI text as its bytes.
    root.write("sys/class/net/enp3s0/address", "00:00:00:00:00:00\n");
    EventParameters p;
    p.action = "";
    p.channel = platform::codepage::utf8ToAnsi("渠道\"x\"");
    BuildPointEvent(p, event);
    EXPECT_EQ(event["d"], "");
    EXPECT_EQ(event["ac"], "");
    const std::string gbk = PointEventText(event);
    EXPECT_NE(gbk.find("\"ct\":\"" + platform::codepage::utf8ToAnsi("渠道") + "\\\"x\\\"\""), std::string::npos) << gbk;
    EXPECT_EQ(gbk.find("\\u"), std::string::npos) << gbk;
}

TEST(PointEvent, BodyIsRawBase64OfTheLoggedText)
{
    const std::string folder = test::tempFolder("body");
    SetTextLogDirectory(folder);
    Json::Value event;
    BuildPointEvent(EventParameters(), event);
    // Values chosen so that the Base64 text holds "+" and "/".
    for (int i = 0; i < 3; ++i) {
        event["av"] = std::string(static_cast<size_t>(i), 'a') + "???~~~";
        if (base64(PointEventText(event)).find_first_of("+") != std::string::npos &&
            base64(PointEventText(event)).find_first_of("/") != std::string::npos)
            break;
    }
    std::string body;
    EncodePointBody(event, body);
    DestroyTextLog();
    const std::string text = PointEventText(event);
    EXPECT_EQ(body, "multi=" + base64(text) + "&v=1.0");
    EXPECT_NE(body.find('+'), std::string::npos) << body;
    EXPECT_NE(body.find('/'), std::string::npos) << body;
    EXPECT_EQ(records(readFile(test::datedLog(folder))), std::vector<std::string>{text});
}

class PostFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder_ = test::tempFolder("post");
        SetTextLogDirectory(folder_);
    }
    void TearDown() override { DestroyTextLog(); }
    std::vector<std::string> logged()
    {
        DestroyTextLog();
        return records(readFile(test::datedLog(folder_)));
    }
    std::string folder_;
};

TEST_F(PostFormTest, GoesToPortEightyOfTheCollectorHostAndLogsTheReply)
{
    EXPECT_EQ(CollectorUrl(), u"https://collect.zavmo.example/deliver/pelk2");
    zavmo::test::Simulator sim;
    sim.setEnvironment(); // the collector's host is 127.0.0.1; port 80 goes to the simulator
    const std::u16string url = CollectorUrl();
    Json::Value event;
    BuildPointEvent(EventParameters(), event);
    std::string body;
    EncodePointBody(event, body);
    PostForm(url, body.c_str());
    const auto requests = sim.waitForRequests("pelk2", 1, 5000);
    ASSERT_EQ(requests.size(), 1u);
    const Json::Value& r = requests[0];
    EXPECT_EQ(r["scheme"], "http");
    EXPECT_EQ(r["method"], "POST");
    EXPECT_EQ(r["path"], "/deliver/pelk2");
    EXPECT_EQ(r["headers"]["user-agent"], "User-Agent");
    EXPECT_EQ(r["headers"]["content-type"], "application/x-www-form-urlencoded");
    EXPECT_EQ(r["headers"]["content-length"], std::to_string(body.size()));
    EXPECT_FALSE(r["headers"].isMember("accept"));
    EXPECT_EQ(r["body"], body);
    EXPECT_EQ(r["v"], "1.0");
    EXPECT_EQ(r["decoded"], event);

    // Whatever the status, the reply is logged; a refused collector logs
    // nothing more.
    sim.setMode("pelk2", "http500");
    PostForm(url, body.c_str());
    ASSERT_EQ(sim.waitForRequests("pelk2", 2, 5000).size(), 2u);
    PostForm(u"https://collect.zavmo.example/deliver/pelk2 bad", body.c_str());
    PostForm(u"no scheme", body.c_str());
    const auto log = logged();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], PointEventText(event));
    EXPECT_EQ(parseJson(log[1])["msg"], "ok");
    EXPECT_EQ(sim.requests("pelk2").size(), 2u);
}

// A collector of our own that answers in two pieces, breaks off after the
// first, does not answer at all, or sends a byte every 100 ms (for five
// seconds at most).
class RawCollector
{
public:
    enum class Reply { TwoPieces, BreakOff, None, Trickle };

    explicit RawCollector(Reply reply) : reply_(reply)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd_, 4) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("no listening socket");
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
        ::setenv("ZAVMO_CONNECT_TO", ("::127.0.0.1:" + std::to_string(port_)).c_str(), 1);
    }
    ~RawCollector()
    {
        ::unsetenv("ZAVMO_CONNECT_TO");
        stop();
        ::close(fd_);
    }

    // The request as it came over the wire; stops serving first.
    const std::string& received()
    {
        stop();
        return received_;
    }

private:
    void stop()
    {
        ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
    }
    void serve()
    {
        const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        timeval tv{2, 0};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::string request;
        char buf[4096];
        ssize_t n;
        while (request.find("&v=1.0") == std::string::npos && (n = ::recv(c, buf, sizeof buf, 0)) > 0)
            request.append(buf, static_cast<size_t>(n));
        received_ = request;
        if (reply_ == Reply::TwoPieces || reply_ == Reply::BreakOff) {
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nfirst";
            ::send(c, head.data(), head.size(), MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (reply_ == Reply::TwoPieces)
                ::send(c, "again", 5, MSG_NOSIGNAL);
        } else if (reply_ == Reply::Trickle) {
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
            bool open = ::send(c, head.data(), head.size(), MSG_NOSIGNAL) > 0;
            for (int i = 0; open && i < 50; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                open = ::send(c, "x", 1, MSG_NOSIGNAL) == 1;
            }
        } else {
            ::recv(c, buf, sizeof buf, 0); // holds the connection until the client gives up
        }
        ::close(c);
    }

    Reply reply_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::string received_;
};

TEST_F(PostFormTest, EachPieceOfTheReplyIsOneRecord)
{
    RawCollector collector(RawCollector::Reply::TwoPieces);
    PostForm(u"https://collector.example/deliver/pelk2", "multi=e30K&v=1.0");
    EXPECT_EQ(logged(), (std::vector<std::string>{"first", "again"}));
    // The header lines as written, name case included.
    const std::string& request = collector.received();
    EXPECT_EQ(request.rfind("POST /deliver/pelk2 HTTP/1.1\r\n", 0), 0u) << request;
    for (const char* line : {"\r\nHost: collector.example\r\n", "\r\nUser-Agent: User-Agent\r\n",
                             "\r\nContent-type: application/x-www-form-urlencoded\r\n", "\r\nContent-Length: 16\r\n"})
        EXPECT_NE(request.find(line), std::string::npos) << line << request;
}

TEST_F(PostFormTest, AReplyThatBreaksOffEndsTheLogWithTheReadError)
{
    RawCollector collector(RawCollector::Reply::BreakOff);
    ::testing::internal::CaptureStdout();
    PostForm(u"https://collector.example/deliver/pelk2", "multi=e30K&v=1.0");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error 12030 in WinHttpQueryDataAvailable.\n");
    EXPECT_EQ(logged(), (std::vector<std::string>{"first", "Error 12030 in WinHttpReadData.\n"}));
}

TEST_F(PostFormTest, AStalledCollectorIsLeftWithinTheLimits)
{
    RawCollector collector(RawCollector::Reply::None);
    PostLimits limits;
    limits.idleMs = 400;
    limits.totalMs = 1500;
    const auto start = std::chrono::steady_clock::now();
    PostForm(u"https://collector.example/deliver/pelk2", "multi=e30K&v=1.0", limits);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(1400));
    EXPECT_GE(took, std::chrono::milliseconds(350));
    EXPECT_TRUE(logged().empty());
}

TEST_F(PostFormTest, ACollectorThatKeepsTricklingIsLeftAtThePostsLimit)
{
    RawCollector collector(RawCollector::Reply::Trickle);
    PostLimits limits;
    limits.idleMs = 400;
    limits.totalMs = 1000;
    const auto start = std::chrono::steady_clock::now();
    PostForm(u"https://collector.example/deliver/pelk2", "multi=e30K&v=1.0", limits);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
}

} // namespace
} // namespace pivlo
