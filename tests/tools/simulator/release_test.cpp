// The simulated release service's update check.

#include "http_client.h"
#include "simulator.h"

#include <gtest/gtest.h>

namespace zavmo::test {
namespace {

Call check(const Simulator& sim, const std::string& body)
{
    Call c;
    c.url = sim.httpsOrigin() + "/talven/release/pc/checkUpdate";
    c.body = body;
    c.contentType = "application/json";
    c.caFile = sim.caFile();
    return c;
}

TEST(SimUpdateCheck, DecodesUtf8OrGbkAndAnswersThePreparedReply)
{
    Simulator sim;
    // "直播" in UTF-8 and in GBK; the last body is neither.
    const Reply utf8 = send(check(sim, "{\"versionName\": \"\xE7\x9B\xB4\xE6\x92\xAD\"}"));
    EXPECT_EQ(utf8.status, 200);
    EXPECT_EQ(utf8.body, R"({"data":{"lastUpdateExeTime":0,"needUpdate":0,"updateDescUrl":""},"error":0,"msg":"ok"})");
    sim.setReply("checkUpdate", "prepared \xff bytes");
    const Reply gbk = send(check(sim, "{\"versionName\": \"\xD6\xB1\xB2\xA5\"}"));
    EXPECT_EQ(gbk.body, "prepared \xff bytes");
    const Reply bad = send(check(sim, "{\"versionName\": \"\xFF\xFF\"}"));
    EXPECT_EQ(bad.body, R"({"error":1,"msg":"bad request"})");
    Call text = check(sim, "{}");
    text.contentType = "text/plain";
    EXPECT_EQ(send(text).status, 415);

    const auto records = sim.waitForRequests("checkUpdate", 4, 5000);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]["body_encoding"], "utf-8");
    EXPECT_EQ(records[0]["decoded"]["versionName"], "直播");
    EXPECT_EQ(records[1]["body_encoding"], "gbk");
    EXPECT_EQ(records[1]["decoded"]["versionName"], "直播");
    EXPECT_TRUE(records[2]["decoded"].isNull());
    EXPECT_FALSE(records[2]["decode_error"].asString().empty());
    EXPECT_EQ(records[3]["rejected"], "unsupported content type");
}

} // namespace
} // namespace zavmo::test
