#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>

#include "faultmail/QuvCurLib.h"
#include "ftp_server.h"
#include "zip_check.h"

using namespace faultmailtest;
using zavmo::test::FtpServer;

namespace {

const char kName[] = "Olvane_2026-1209-0731-45_V2.5.1.dmp.zip";
const int kTimeout = 10; // seconds; every wait of these tests is far shorter

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Each test uploads into a folder named after it, so that the tests that
// need a plain server can share one.
class FtpUploadTest : public ::testing::Test
{
protected:
    static void TearDownTestSuite() { sharedServer.reset(); }

    static const FtpServer& plainServer()
    {
        if (!sharedServer)
            sharedServer = std::make_unique<FtpServer>();
        return *sharedServer;
    }

    void SetUp() override
    {
        folder = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dir = makeTempFolder("ftp-local");
        local = dir + "/" + kName;
        content = testData(1500000, 11);
        writeFile(local, content);
    }

    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string url() const { return "ftp://127.0.0.1//" + folder + "///" + kName; }

    int upload(const FtpServer& server, int tries = 3, const std::string& credential = std::string(),
               int timeout = kTimeout)
    {
        return CQuvCurLib::GetInstance()->FtpUpload(url().c_str(), local.c_str(),
                                                    (credential.empty() ? server.credential() : credential).c_str(),
                                                    server.port(), timeout, tries);
    }

    std::string remote(const FtpServer& server) const { return server.root() + "/" + folder + "/" + kName; }

    static std::unique_ptr<FtpServer> sharedServer;
    std::string folder, dir, local, content;
};

std::unique_ptr<FtpServer> FtpUploadTest::sharedServer;

} // namespace

TEST(FtpHeader, ContentLengthIsSixtyFourBit)
{
    CQuvCurLib::RemoteSize size;
    char big[] = "Content-Length: 5000000123\r\n";
    EXPECT_EQ(CQuvCurLib::OnFtpHeader(big, 1, sizeof big - 1, &size), sizeof big - 1);
    EXPECT_TRUE(size.known);
    EXPECT_EQ(size.value, 5000000123ll);

    CQuvCurLib::RemoteSize none;
    for (char* line : {const_cast<char*>("Accept-ranges: bytes\r\n"), const_cast<char*>("Content-Length: x\r\n"),
                       const_cast<char*>("Content-Length: 99999999999999999999\r\n")})
        EXPECT_EQ(CQuvCurLib::OnFtpHeader(line, 1, strlen(line), &none), strlen(line));
    EXPECT_FALSE(none.known);
}

TEST_F(FtpUploadTest, FreshUploadCreatesTheFolders)
{
    const FtpServer& server = plainServer();
    EXPECT_EQ(upload(server), 0);
    EXPECT_TRUE(readFile(remote(server)) == content);
    EXPECT_EQ(count(server.log(), "STOR " + server.root() + "/" + folder + "/"), 1u) << server.log();
    EXPECT_EQ(count(server.log(), "APPE " + server.root() + "/" + folder + "/"), 0u);
}

TEST_F(FtpUploadTest, CutOnceArrivesByteIdentical)
{
    FtpServer::Options options;
    options.cutAfter = 300000;
    FtpServer server(options);
    EXPECT_EQ(upload(server), 0);
    EXPECT_TRUE(readFile(remote(server)) == content);
    const std::string log = server.log();
    // The first STOR was cut at 300000 bytes, the rest appended.
    EXPECT_NE(log.find("completed=0 bytes=300000"), std::string::npos) << log;
    EXPECT_NE(log.find("APPE"), std::string::npos) << log;
    EXPECT_NE(log.find("bytes=" + std::to_string(content.size() - 300000)), std::string::npos) << log;
}

TEST_F(FtpUploadTest, AStoredPartIsNoUploadAndIsResumed)
{
    // The server reports the transfer complete but kept only part of it.
    FtpServer::Options options;
    options.keepOnly = 400000;
    FtpServer server(options);
    EXPECT_EQ(upload(server), 0);
    EXPECT_TRUE(readFile(remote(server)) == content);
    EXPECT_EQ(count(server.log(), " APPE "), 1u) << server.log();
}

TEST_F(FtpUploadTest, StalledTransferTimesOutAndIsResumed)
{
    FtpServer::Options options;
    options.stallAfter = 200000;
    FtpServer server(options);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(upload(server, 2, std::string(), 2), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(readFile(remote(server)) == content);
    EXPECT_EQ(count(server.log(), " APPE "), 1u) << server.log();
}

TEST_F(FtpUploadTest, WithoutSizeTheFileIsSentAfresh)
{
    // Neither "no such command" nor "no such file" may lead to appending at a
    // guessed position.
    for (int code : {502, 550}) {
        FtpServer::Options options;
        options.cutAfter = 200000;
        options.sizeError = code;
        FtpServer server(options);
        EXPECT_EQ(upload(server), 0) << code;
        EXPECT_TRUE(readFile(remote(server)) == content) << code;
        const std::string log = server.log();
        EXPECT_EQ(count(log, " STOR "), 2u) << log;
        EXPECT_EQ(count(log, " APPE "), 0u) << log;
    }
}

TEST_F(FtpUploadTest, FailureBeforeStorNeverProbesOrAppends)
{
    const FtpServer& server = plainServer();
    // A stale file of that name from an earlier run must not be resumed.
    ::mkdir((server.root() + "/" + folder).c_str(), 0755);
    writeFile(remote(server), content.substr(0, 1000));
    const auto start = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    const int result = upload(server, 3, "crashup:wrong");
    const std::string verbose = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 67); // CURLE_LOGIN_DENIED
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(count(verbose, "> USER "), 3u) << verbose;
    EXPECT_EQ(count(verbose, "> SIZE "), 0u) << verbose;
    EXPECT_EQ(count(verbose, "wrong"), 0u); // the password is masked
    EXPECT_TRUE(readFile(remote(server)) == content.substr(0, 1000));
}

TEST_F(FtpUploadTest, RefusedStorIsNoUploadToResume)
{
    // The server refused the first STOR: a stale file of that name is not
    // ours, and appending to it would give a corrupt file of the right size.
    FtpServer::Options options;
    options.refuseStor = 1;
    FtpServer server(options);
    ::mkdir((server.root() + "/" + folder).c_str(), 0755);
    writeFile(remote(server), std::string(1000, 'S'));
    EXPECT_EQ(upload(server), 0);
    EXPECT_TRUE(readFile(remote(server)) == content);
    const std::string log = server.log();
    EXPECT_EQ(count(log, " APPE "), 0u) << log;
}

TEST_F(FtpUploadTest, StaleRemoteFileIsReplaced)
{
    const FtpServer& server = plainServer();
    ::mkdir((server.root() + "/" + folder).c_str(), 0755);
    writeFile(remote(server), std::string(3000000, 'S'));
    EXPECT_EQ(upload(server), 0);
    EXPECT_TRUE(readFile(remote(server)) == content);
}

TEST_F(FtpUploadTest, ZeroTriesSendNothing)
{
    const FtpServer& server = plainServer();
    EXPECT_EQ(upload(server, 0), 52); // CURLE_GOT_NOTHING
    writeFile(local, "");
    EXPECT_EQ(upload(server, 0), 0); // nothing to send: the sizes agree
    EXPECT_FALSE(exists(server.root() + "/" + folder));
}

TEST_F(FtpUploadTest, SetupAndConnectionFailures)
{
    const FtpServer& server = plainServer();
    const std::string url = "ftp://127.0.0.1/x.zip";
    EXPECT_EQ(CQuvCurLib::GetInstance()->FtpUpload(url.c_str(), (dir + "/missing.zip").c_str(),
                                                   server.credential().c_str(), server.port(), kTimeout, 3),
              -1);
    // Only FTP: a URL from the command line cannot write local files.
    EXPECT_EQ(CQuvCurLib::GetInstance()->FtpUpload(("file://" + dir + "/copy.zip").c_str(), local.c_str(), "a:b", 0,
                                                   kTimeout, 1),
              1); // CURLE_UNSUPPORTED_PROTOCOL
    EXPECT_FALSE(exists(dir + "/copy.zip"));
    // A port nobody listens on: refused at once, every try.
    const int closed = [] {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(s);
        return int(ntohs(a.sin_port));
    }();
    EXPECT_EQ(CQuvCurLib::GetInstance()->FtpUpload(url.c_str(), local.c_str(), "a:b", closed, kTimeout, 3),
              7); // CURLE_COULDNT_CONNECT
    // A port out of range is refused by libcurl while setting up.
    EXPECT_EQ(CQuvCurLib::GetInstance()->FtpUpload(url.c_str(), local.c_str(), "a:b", 70000, kTimeout, 3), -1);
}
