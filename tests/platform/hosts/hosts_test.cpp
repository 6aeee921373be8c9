#include "platform/hosts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace hosts = platform::hosts;
using hosts::Kind;

namespace {

class HostsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        file_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/hosts-test.ini";
        ::unsetenv("ZAVMO_HOSTS");
        ::unsetenv("ZAVMO_CONNECT_TO");
        ::unsetenv("ZAVMO_CA_BUNDLE");
    }
    void TearDown() override { std::remove(file_.c_str()); }
    void write(const std::string& text)
    {
        std::ofstream(file_, std::ios::binary) << text;
        ::setenv("ZAVMO_HOSTS", file_.c_str(), 1);
    }
    std::string file_;
};

TEST_F(HostsTest, CompiledInHostsWithoutAFile)
{
    EXPECT_EQ(hosts::origin(Kind::Release, 0, true), "https://release.zavmo.example");
    EXPECT_EQ(hosts::origin(Kind::Passport, 2, false), "http://passport.env2.zavmo.example");
    // Slots outside 0-2 read slot 0.
    EXPECT_EQ(hosts::hostPort(Kind::Passport, 3, true), "passport.zavmo.example");
    EXPECT_EQ(hosts::hostPort(Kind::Passport, -1, true), "passport.zavmo.example");
    EXPECT_EQ(hosts::crashFtpHost(), "crashftp.zavmo.example");
    ::setenv("ZAVMO_HOSTS", (file_ + ".missing").c_str(), 1);
    EXPECT_EQ(hosts::host(Kind::Analytics, 0, true), "collect.zavmo.example");
}

TEST_F(HostsTest, FileOverridesPerKindSlotAndScheme)
{
    write("; test hosts\r\n"
          "[Release]\r\n"
          "  ENV0.https = 127.0.0.1:4443 \r\n"
          "env0.http=127.0.0.1:8080\r\n"
          "env1.https=\r\n"
          "env0.https=ignored:1\r\n"
          "[analytics]\n"
          "env0.https=collector.test:443\n"
          "env0.http=[::1]:8080\n"
          "[crash_ftp]\n"
          "host=127.0.0.1\n");
    EXPECT_EQ(hosts::hostPort(Kind::Release, 0, true), "127.0.0.1:4443");
    EXPECT_EQ(hosts::host(Kind::Release, 0, true), "127.0.0.1");
    EXPECT_EQ(hosts::origin(Kind::Release, 0, false), "http://127.0.0.1:8080");
    // An empty value keeps the compiled-in host.
    EXPECT_EQ(hosts::hostPort(Kind::Release, 1, true), "release.zavmo.example");
    // The default port is left out of an origin.
    EXPECT_EQ(hosts::origin(Kind::Analytics, 0, true), "https://collector.test");
    EXPECT_EQ(hosts::host(Kind::Analytics, 0, false), "[::1]");
    EXPECT_EQ(hosts::origin(Kind::Analytics, 0, false), "http://[::1]:8080");
    EXPECT_EQ(hosts::crashFtpHost(), "127.0.0.1");
    // Re-read on each call.
    write("[release]\nenv0.https=other.test\n");
    EXPECT_EQ(hosts::origin(Kind::Release, 0, true), "https://other.test");
}

TEST_F(HostsTest, CrashFtpPort)
{
    EXPECT_EQ(hosts::crashFtpPort(), 3747);
    write("[crash_ftp]\nhost=127.0.0.1\n");
    EXPECT_EQ(hosts::crashFtpPort(), 3747);
    write("[CRASH_FTP]\r\n Port = 2121 \r\n");
    EXPECT_EQ(hosts::crashFtpPort(), 2121);
    // Only a port number counts; anything else keeps the compiled-in port.
    for (const char* bad : {"0", "65536", "99999999999", "-21", "21x", "0x15"}) {
        write(std::string("[crash_ftp]\nport=") + bad + "\n");
        EXPECT_EQ(hosts::crashFtpPort(), 3747) << bad;
    }
    write("[crash_ftp]\nport=65535\n");
    EXPECT_EQ(hosts::crashFtpPort(), 65535);
}

TEST_F(HostsTest, KindsReadTheirOwnSections)
{
    const char* sections[] = {"passport",  "client_api",  "tool_api",   "web",     "creator",  "customer_service",
                              "analytics", "picture_cdn", "static_cdn", "release", "obs_site", "group_invite"};
    std::string text;
    for (int i = 0; i < hosts::kKindCount; ++i)
        text += std::string("[") + sections[i] + "]\nenv0.http=" + sections[i] + ".test\n";
    write(text);
    for (int i = 0; i < hosts::kKindCount; ++i)
        EXPECT_EQ(hosts::host(static_cast<Kind>(i), 0, false), std::string(sections[i]) + ".test");
}

TEST_F(HostsTest, SplitsHostAndPort)
{
    std::string h, p;
    hosts::splitHostPort("example.test:81", h, p);
    EXPECT_EQ(h + "|" + p, "example.test|81");
    hosts::splitHostPort("example.test", h, p);
    EXPECT_EQ(h + "|" + p, "example.test|");
    hosts::splitHostPort("[::1]", h, p);
    EXPECT_EQ(h + "|" + p, "[::1]|");
    hosts::splitHostPort("::1", h, p);
    EXPECT_EQ(h + "|" + p, "::1|");
}

TEST_F(HostsTest, ConnectToEntriesAndCaBundle)
{
    EXPECT_TRUE(hosts::connectTo().empty());
    EXPECT_EQ(hosts::caBundle(), "");
    ::setenv("ZAVMO_CONNECT_TO", ":443:127.0.0.1:4443, :80:127.0.0.1:8080\nexample.test:443::1", 1);
    EXPECT_EQ(hosts::connectTo(),
              (std::vector<std::string>{":443:127.0.0.1:4443", ":80:127.0.0.1:8080", "example.test:443::1"}));
    ::setenv("ZAVMO_CA_BUNDLE", "/tmp/ca.pem", 1);
    EXPECT_EQ(hosts::caBundle(), "/tmp/ca.pem");
}

} // namespace
