// The launcher's analytics event: its text, its form body, and what the
// collector decodes from it.

#include "pointreporter.h"

#include "fakeroot.h"
#include "jsontext.h"
#include "simulator.h"
#include "widetext.h"

#include <platform/codepage.h>

#include <gtest/gtest.h>

#include <regex>

namespace tresk {
namespace {

constexpr auto parse = zavmo::test::parseJson;

class PointReporterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetAnalyticsGlobals();
        ::unsetenv("ZAVMO_HOSTS");
    }
};

TEST_F(PointReporterTest, EventTextKeysInOrderWithTheInitialGlobals)
{
    PointReporter r("startup_update", 1);
    r.setParam("c_para", "Tresk.exe");
    r.setParam("para", u"\"C:\\tmp\" 7");
    r.setParam(nullptr, "x");
    r.setParam("ignored", static_cast<const char*>(nullptr));
    const std::string text = r.eventText();
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 3), "}\n\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        text, m,
        std::regex(R"re(\{"ac":"startup_update","av":"","ct":"invaid","d":"invalid-did","dur":0,)re"
                   R"re("e":\{"c_para":"Tresk.exe","l_ver":0,"para":"\\"C:\\\\tmp\\" 7","r_ver":0,)re"
                   R"re("s_t":"unknown OperatingSystem.","u_m":"u"\},"i":0,"oct":"(\d+)","pc":"invaid",)re"
                   R"re("pro":"host_site","pt":"(\d+)","rid":0,"rpc":"invaid"\}\n\n)re")))
        << text;
    EXPECT_EQ(m[1], m[2]);
    EXPECT_EQ(r.url(), u"https://collect.zavmo.example/deliver/pelk2");
    EXPECT_EQ(PointReporter("x", 0).url(), u"http://collect.zavmo.example/deliver/pelk2");
    EXPECT_EQ(PointReporter("x", 5).url(), u"http://collect.zavmo.example/deliver/pelk2");
}

TEST_F(PointReporterTest, GlobalsFromTheMachineAndTheVersions)
{
    zavmo::test::FakeRoot root;
    collectMacAddress();
    {
        const Json::Value e = parse(PointReporter("a", 1).eventText());
        EXPECT_EQ(e["d"], "invalid-did"); // no adapter list: kept
    }
    root.netInterface("tun0", 2, "", false, 65534);
    collectMacAddress();
    EXPECT_EQ(parse(PointReporter("a", 1).eventText())["d"], ""); // readable, no 6-byte address
    root.netInterface("enp3s0", 3, "3c:7c:3f:1e:a0:0b", true);
    collectMacAddress();
    collectOsName();
    setProcessId(4312);
    collectLocalTime();
    setVersionCodes(7, 8);
    setVersionNames(u"2.0.7", u"2.0.8");
    setClientType(u"zvtool"); // case matters: unchanged
    Json::Value e = parse(PointReporter("a", 1).eventText());
    EXPECT_EQ(e["d"], "3C:7C:3F:1E:A0:0B");
    EXPECT_EQ(e["e"]["s_t"], "Windows 10");
    EXPECT_TRUE(std::regex_match(e["e"]["u_m"].asString(), std::regex(R"(4312\+\d{4}(-\d\d){5})"))) << e["e"]["u_m"];
    EXPECT_EQ(e["e"]["l_ver"], 7);
    EXPECT_EQ(e["e"]["r_ver"], 8);
    EXPECT_EQ(e["av"], "2.0.7");
    EXPECT_EQ(e["ct"], "invaid");
    setClientType(u"ZVTool");
    e = parse(PointReporter("a", 1).eventText());
    EXPECT_EQ(e["ct"], "web_nlive");
    EXPECT_EQ(e["pc"], "page_home");
    EXPECT_EQ(e["rpc"], "page_home");
    setClientType(u"Zavmo_Live_PC_Client");
    EXPECT_EQ(parse(PointReporter("a", 1).eventText())["pc"], "com_module");
    setClientType(u"Olvane");
    EXPECT_EQ(parse(PointReporter("a", 1).eventText())["ct"], "web_olvane");
}

TEST_F(PointReporterTest, AnsiTextPassesAsItsBytes)
{
    PointReporter r("startup_update", 1);
    r.setParam("para", u"更新 C:\\程序");
    const std::string text = r.eventText();
    const std::string gbk = platform::codepage::utf16ToAnsi(u"更新 C:\\\\程序");
    EXPECT_NE(text.find(gbk), std::string::npos) << text;
    EXPECT_EQ(text.find("\\u"), std::string::npos) << text;
}

TEST_F(PointReporterTest, FormBodyEscapesPlusAndSlashOnly)
{
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("\xfb\xff\xbf"), "+/+/");

    // A value whose Base64 holds both "+" and "/".
    PointReporter r("startup_update", 1);
    std::string encoded;
    for (int i = 0; i < 3; ++i) {
        // "???" encodes as "Pz8/" and "~~~" as "fn5+" once aligned.
        r.setParam("para", (std::string(static_cast<size_t>(i), 'a') + "???~~~").c_str());
        encoded = base64Encode(r.eventText());
        if (encoded.find('+') != std::string::npos && encoded.find('/') != std::string::npos)
            break;
    }
    ASSERT_NE(encoded.find('+'), std::string::npos);
    ASSERT_NE(encoded.find('/'), std::string::npos);
    // The event carries the time in milliseconds: when a millisecond ends
    // between the two texts, they differ there; take the pair again.
    std::string multi;
    for (int attempt = 0; attempt < 10; ++attempt) {
        encoded = base64Encode(r.eventText());
        const std::string body = r.formBody();
        ASSERT_EQ(body.rfind("multi=", 0), 0u);
        ASSERT_EQ(body.substr(body.size() - 6), "&v=1.0");
        multi = body.substr(6, body.size() - 12);
        EXPECT_EQ(multi.find_first_of("+/"), std::string::npos);
        EXPECT_NE(multi.find("%2B"), std::string::npos);
        EXPECT_NE(multi.find("%2F"), std::string::npos);
        multi = std::regex_replace(std::regex_replace(multi, std::regex("%2B"), "+"), std::regex("%2F"), "/");
        if (multi == encoded)
            break;
    }
    EXPECT_EQ(multi, encoded);
    EXPECT_EQ(multi.size() % 4, 0u);
}

TEST_F(PointReporterTest, TheCollectorDecodesTheEvent)
{
    zavmo::test::Simulator sim;
    sim.setEnvironment();
    PointReporter r("startup_update", 1);
    r.setParam("c_para", "Tresk.exe");
    r.setParam("para", u"\"/tmp/SDKUpdate1\" \"https://127.0.0.1/x/\" 4312 \?\?\?>>>");
    EXPECT_EQ(r.send(), 0);
    const auto events = sim.waitForRequests("pelk2", 1, 5000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["scheme"], "https");
    EXPECT_EQ(events[0]["headers"]["user-agent"], "A WinHTTP Example Program/1.0");
    EXPECT_EQ(events[0]["headers"]["content-type"], "application/x-www-form-urlencoded");
    EXPECT_FALSE(events[0].isMember("decode_error")) << events[0]["decode_error"];
    const std::string body = events[0]["body"].asString();
    EXPECT_NE(body.find("%2B"), std::string::npos) << body;
    EXPECT_NE(body.find("%2F"), std::string::npos) << body;
    EXPECT_EQ(events[0]["v"], "1.0");
    Json::Value sent = parse(r.eventText());
    Json::Value decoded = events[0]["decoded"];
    EXPECT_EQ(decoded["oct"], decoded["pt"]);
    for (Json::Value* v : {&sent, &decoded}) {
        v->removeMember("oct");
        v->removeMember("pt");
    }
    EXPECT_EQ(decoded, sent);
}

} // namespace
} // namespace tresk
