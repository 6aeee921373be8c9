// The update check against the simulated release service: the request as it
// goes out, and every kind of reply.

#include "jsonpostclient.h"

#include "simulatorsuite.h"

#include <platform/codepage.h>

#include <gtest/gtest.h>

namespace tresk {
namespace {

class UpdateCheckTest : public zavmo::test::SimulatorSuite
{
protected:
    // Runs the check with a 256-character buffer.
    int check(std::u16string* url = nullptr, long long* stamp = nullptr, size_t capacity = 255)
    {
        char16_t buffer[256] = {};
        long long last = -1;
        const int result = checkForUpdate(7, u"ZVTool", u"2.0.7", buffer, capacity, &last, 0);
        if (url)
            *url = buffer;
        if (stamp)
            *stamp = last;
        return result;
    }
};

TEST_F(UpdateCheckTest, PostsTheMachineRecordAsIndentedJson)
{
    EXPECT_EQ(check(), 3); // the simulator's default: no update
    const auto records = sim_->waitForRequests("checkUpdate", 1, 5000);
    ASSERT_EQ(records.size(), 1u);
    const Json::Value& r = records[0];
    EXPECT_EQ(r["scheme"], "https");
    EXPECT_EQ(r["path"], "/talven/release/pc/checkUpdate");
    EXPECT_EQ(r["headers"]["user-agent"], "A WinHTTP Example Program/1.0");
    EXPECT_EQ(r["headers"]["content-type"], "application/json");
    EXPECT_FALSE(r["headers"].isMember("accept"));

    const std::string body = r["body"].asString();
    EXPECT_EQ(body.rfind("{\n    \"channelCode\": \"official\",\n", 0), 0u) << body;
    EXPECT_EQ(body.substr(body.size() - 2), "}\n");
    size_t at = 0;
    for (const char* key :
         {"channelCode", "appCode", "versionCode", "versionName", "deviceUid", "deviceResolution", "token", "webView",
          "osInfo", "osType", "cpuInfo", "diskInfo", "memoryInfo", "driveInfo", "startTime"}) {
        const size_t found = body.find(std::string("\"") + key + "\":", at);
        ASSERT_NE(found, std::string::npos) << key;
        at = found;
    }
    const Json::Value& d = r["decoded"];
    EXPECT_EQ(d["appCode"], "ZVTool");
    EXPECT_EQ(d["versionCode"], "7"); // every value is a string
    EXPECT_EQ(d["versionName"], "2.0.7");
    EXPECT_EQ(d["token"], "token");
    EXPECT_EQ(d["webView"], "");
    EXPECT_EQ(d["osInfo"], "Windows 10");
    EXPECT_EQ(d["osType"], "64");
    EXPECT_EQ(d["cpuInfo"]["PageSize"], "4096");
    EXPECT_EQ(d["memoryInfo"].asString().substr(d["memoryInfo"].asString().size() - 2), "GB");
    EXPECT_EQ(body.find("memoryInfo"), body.rfind("memoryInfo"));
}

TEST_F(UpdateCheckTest, SendsTextInTheAnsiCodePage)
{
    char16_t buffer[256] = {};
    long long stamp = 0;
    checkForUpdate(7, u"ZVTool", u"直播版 \u00e9", buffer, 255, &stamp, 0);
    const auto records = sim_->waitForRequests("checkUpdate", 1, 5000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["body_encoding"], "gbk");
    // Kept as raw bytes by the tree writer, then converted to GBK.
    EXPECT_EQ(records[0]["decoded"]["versionName"], "直播版 é");
}

TEST_F(UpdateCheckTest, ReadsEachFieldOfTheReply)
{
    sim_->setReply("checkUpdate", R"({"error":0,"msg":"ok","data":{"needUpdate":1,)"
                                  R"("updateDescUrl":"https://127.0.0.1/files/v/version.ini",)"
                                  R"("lastUpdateExeTime":1700000000123}})");
    std::u16string url;
    long long stamp = 0;
    EXPECT_EQ(check(&url, &stamp), 0);
    EXPECT_EQ(url, u"https://127.0.0.1/files/v/version.ini");
    EXPECT_EQ(stamp, 1700000000123LL); // 64-bit

    struct Case
    {
        const char* reply;
        int result;
    } cases[] = {
        {R"({"error":0,"msg":"ok","data":{"needUpdate":0}})", 3},
        {R"({"error":1,"data":{}})", 5}, // "msg" is read before "error" is tested
        {R"({"error":1,"msg":"no"})", 4},
        {R"({"error":0,"msg":"","data":{"needUpdate":1,"updateDescUrl":"http://x/version.ini",)"
         R"("lastUpdateExeTime":0}})",
         2},
        {R"({"error":0,"msg":"","data":{"needUpdate":1,"updateDescUrl":"","lastUpdateExeTime":5}})", 1},
        {R"({"error":0,"msg":"","data":{"needUpdate":1,"updateDescUrl":"","lastUpdateExeTime":-1}})", 2},
        {R"({"error":0,"msg":"","data":{"needUpdate":1,"lastUpdateExeTime":5}})", 5},
        {R"({"error":0,"msg":"","data":{"needUpdate":"yes"}})", 5},
        {R"({"error":0,"msg":""})", 5},
        {R"({"error":0,"msg":"ok","data":)", 5},
        {"", -111},
    };
    for (const Case& c : cases) {
        sim_->setReply("checkUpdate", c.reply);
        EXPECT_EQ(check(), c.result) << c.reply;
    }

    // An address longer than the caller's buffer.
    sim_->setReply("checkUpdate", R"({"error":0,"msg":"","data":{"needUpdate":1,)"
                                  R"("updateDescUrl":"http://a/version.ini","lastUpdateExeTime":5}})");
    EXPECT_EQ(check(&url, &stamp, 10), 1);
    EXPECT_EQ(stamp, 5);
    EXPECT_EQ(check(&url, &stamp, 19), 1);
    EXPECT_EQ(check(&url, &stamp, 20), 0); // fits exactly
    EXPECT_EQ(url, u"http://a/version.ini");
}

TEST_F(UpdateCheckTest, FailuresOfTheExchange)
{
    // Hostile replies: nested too deep for the reader's stack, or too large.
    sim_->setReply("checkUpdate", std::string(100000, '['));
    EXPECT_EQ(check(), 5);
    // 32 levels, the outer object the first, are read; 33 are not. Brackets
    // after an escaped quote are still inside the string.
    const auto nested = [](size_t levels) {
        return R"({"error":0,"msg":"","data":{"needUpdate":0},"x":)" + std::string(levels - 1, '[') +
               std::string(levels - 1, ']') + "}";
    };
    sim_->setReply("checkUpdate", nested(32));
    EXPECT_EQ(check(), 3);
    sim_->setReply("checkUpdate", nested(33));
    EXPECT_EQ(check(), 5);
    sim_->setReply("checkUpdate", R"({"error":0,"msg":"\")" + std::string(40, '[') + R"(","data":{"needUpdate":0}})");
    EXPECT_EQ(check(), 3);
    sim_->setReply("checkUpdate", R"({"error":0,"msg":")" + std::string(1 << 20, 'x') + R"("})");
    EXPECT_EQ(check(), -7);

    sim_->setMode("checkUpdate", "badjson");
    EXPECT_EQ(check(), 5);
    sim_->setMode("checkUpdate", "http500"); // the body is read whatever the status
    EXPECT_EQ(check(), 5);
    sim_->setMode("checkUpdate", "error:9");
    EXPECT_EQ(check(), 4);
    sim_->setMode("checkUpdate", "cut");
    EXPECT_EQ(check(), -10);

    // Certificates are verified: without the test CA the request never goes out.
    ::unsetenv("ZAVMO_CA_BUNDLE");
    sim_->setMode("checkUpdate", "success");
    EXPECT_EQ(check(), -5);
    sim_->setEnvironment();
    ::setenv("ZAVMO_CONNECT_TO", ":443:127.0.0.1:1", 1);
    EXPECT_EQ(check(), -5);
}

TEST_F(UpdateCheckTest, ClientRulesForAddressesAndBodies)
{
    EXPECT_EQ(releaseServiceUrl(7), releaseServiceUrl(0));
    EXPECT_EQ(releaseServiceUrl(-1), releaseServiceUrl(0));
    EXPECT_EQ(releaseServiceUrl(0), u"https://127.0.0.1/talven/release/pc/checkUpdate");

    std::string reply;
    EXPECT_EQ(postExchange(u"ftp://127.0.0.1/x", u"", "", reply), -1);
    EXPECT_EQ(postExchange(u"http://127.0.0.1:99999/x", u"", "", reply), -1);
    EXPECT_EQ(postExchange(u"no address", u"", "", reply), -1);

    // The port decides TLS; the query is not sent.
    sim_->setReply("checkUpdate", "{}");
    const std::u16string plain =
        u"http://127.0.0.1:" + widen(std::to_string(sim_->httpPort())) + u"/talven/release/pc/checkUpdate?skip=1";
    EXPECT_EQ(postExchange(plain, u"Content-Type: application/json", "{}", reply), 0);
    EXPECT_EQ(reply, "{}");
    EXPECT_EQ(postExchange(u"http://127.0.0.1:443/talven/release/pc/checkUpdate", u"Content-Type: application/json",
                           "{}", reply),
              0);
    const auto records = sim_->waitForRequests("checkUpdate", 2, 5000);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["scheme"], "http");
    EXPECT_EQ(records[0]["query_string"], "");
    EXPECT_EQ(records[1]["scheme"], "https");

    JsonPostClient client(u"http://unused.example/", u"");
    client.put(u"a.b", u"1");
    client.putInt(u"c", -5);
    client.put(u"a.b", u"2");
    EXPECT_EQ(client.buildBody(), "{\n    \"a\": {\n        \"b\": \"2\"\n    },\n    \"c\": \"-5\"\n}\n");
}

} // namespace
} // namespace tresk
