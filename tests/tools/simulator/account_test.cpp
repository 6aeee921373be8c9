// The account and live-room endpoints, driven by hand-built requests over
// libcurl: what the platform accepts and what each check refuses.

#include "account.h"
#include "codec.h"
#include "http_client.h"
#include "simulatorsuite.h"

#include "platform/signing.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace zavmo::test {
namespace {

namespace account = sim::account;
using Fields = std::vector<std::pair<std::string, std::string>>;

Json::Value parse(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
        return Json::Value("unparsable: " + errors);
    return value;
}

std::string md5Hex(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    std::string out;
    char two[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        out += two;
    }
    return out;
}

std::string encode(const std::string& text)
{
    std::string out;
    char three[4];
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            std::snprintf(three, sizeof three, "%%%02X", c);
            out += three;
        }
    }
    return out;
}

std::string authOf(const std::string& signText)
{
    char* code = GenerateAuthCode(signText.c_str());
    std::string auth = code ? code : "";
    FreeAuthCode(code);
    return auth;
}

std::string form(const Fields& fields, bool encoded = true)
{
    std::string body;
    for (const auto& [key, value] : fields)
        body += (body.empty() ? "" : "&") + key + "=" + (encoded ? encode(value) : value);
    return body;
}

class AccountEndpointsTest : public SimulatorSuite
{
protected:
    // A POST signed as the client signs it: path?aid=zvtool&time=t%s&k=v...
    static Reply post(const std::string& path, const std::string& signPath, const Fields& fields, long long offset = 0,
                      const std::vector<std::string>& headers = {})
    {
        const std::string t = std::to_string(static_cast<long long>(std::time(nullptr)) + offset);
        std::string signText = signPath + "?aid=zvtool&time=" + t + "%s";
        for (const auto& [key, value] : fields)
            signText += "&" + key + "=" + value;
        Call call;
        call.url = sim_->httpsOrigin() + path + "?aid=zvtool&time=" + t + "&auth=" + authOf(signText);
        call.caFile = sim_->caFile();
        call.body = form(fields);
        call.headers = headers;
        return send(call);
    }

    static std::vector<std::string> userDevice() { return {"User-Device: " + sim::base64Encode("|1.0")}; }

    static Reply login(const Fields& fields, const std::vector<std::string>& headers = userDevice())
    {
        return post("/app/loginCheck2", "app/loginCheck2", fields, 0, headers);
    }

    static Fields nickLogin(const std::string& password = account::kPassword)
    {
        return {{"biz_type", "13"}, {"nickname", account::kNickName}, {"password", md5Hex(password)}};
    }

    // Logs in and returns the token text of the reply.
    static std::string token()
    {
        const Json::Value data = parse(login(nickLogin()).body)["data"]["short_token"];
        return data["uid"].asString() + "_" + std::to_string(data["biz_type"].asInt()) + "_" +
               data["short_token"].asString() + "_" + std::to_string(data["client_type"].asInt()) + "_" +
               std::to_string(data["long_token_id"].asInt());
    }

    static int errorOf(const Reply& reply) { return parse(reply.body)["error"].asInt(); }
};

TEST_F(AccountEndpointsTest, PasswordLoginIssuesTokensAndRecordsTheChecks)
{
    const Reply reply = login(nickLogin());
    const Json::Value body = parse(reply.body);
    ASSERT_EQ(body["error"].asInt(), 0) << reply.body;
    const Json::Value& shortToken = body["data"]["short_token"];
    EXPECT_EQ(shortToken["uid"].asString(), account::kUid);
    EXPECT_EQ(shortToken["biz_type"].asInt(), 13);
    EXPECT_TRUE(shortToken["client_type"].isInt());
    EXPECT_TRUE(shortToken["long_token_id"].isInt());
    const std::string longToken = body["data"]["long_token"].asString();
    EXPECT_NE(longToken.find('+'), std::string::npos);
    EXPECT_NE(longToken.find('/'), std::string::npos);

    const auto records = sim_->requests("loginCheck2");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["check"].asString(), "ok");
    EXPECT_EQ(records[0]["user_device"].asString(), "|1.0");
    EXPECT_EQ(records[0]["form"]["nickname"].asString(), account::kNickName);
    const std::string signText = records[0]["sign_text"].asString();
    EXPECT_EQ(signText.rfind("app/loginCheck2?aid=zvtool&time=", 0), 0u) << signText;
    EXPECT_NE(signText.find("%s&biz_type=13&nickname=zavmo_anchor&password="), std::string::npos) << signText;

    // The same account by phone, and the saved long token, decoded from "%2B".
    EXPECT_EQ(errorOf(login({{"areaCode", account::kAreaCode},
                             {"biz_type", "13"},
                             {"password", md5Hex(account::kPassword)},
                             {"phoneNum", account::kPhoneNum}})),
              0);
    EXPECT_EQ(errorOf(post("/app/getShortToken", "app/getShortToken", {{"biz_type", "13"}, {"long_token", longToken}})),
              0);
    EXPECT_EQ(errorOf(post("/app/getShortToken", "app/getShortToken", {{"biz_type", "13"}, {"long_token", "LT+x"}})),
              1004);
}

TEST_F(AccountEndpointsTest, EachCheckRefusesWithItsCode)
{
    EXPECT_EQ(errorOf(login(nickLogin("wrong"))), 1005);
    EXPECT_EQ(errorOf(login({{"biz_type", "13"}, {"nickname", "nobody"}, {"password", md5Hex(account::kPassword)}})),
              1005);
    // Upper-case digest, fields out of order, an extra field, wrong biz_type.
    Fields upper = nickLogin();
    for (char& c : upper[2].second)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(errorOf(login(upper)), 1001);
    EXPECT_EQ(errorOf(login({{"nickname", account::kNickName}, {"biz_type", "13"}, {"password", "x"}})), 1001);
    Fields extra = nickLogin();
    extra.emplace_back("x", "1");
    EXPECT_EQ(errorOf(login(extra)), 1001);
    Fields biz = nickLogin();
    biz[0].second = "12";
    EXPECT_EQ(errorOf(login(biz)), 1001);
    // No User-Device, or one that is not Base64 of "mac|version".
    EXPECT_EQ(errorOf(login(nickLogin(), {})), 1001);
    EXPECT_EQ(errorOf(login(nickLogin(), {"User-Device: " + sim::base64Encode("no bar")})), 1001);
    // Time outside the window; the window itself is accepted.
    EXPECT_EQ(errorOf(post("/app/loginCheck2", "app/loginCheck2", nickLogin(), -65535, userDevice())), 1003);
    EXPECT_EQ(errorOf(post("/app/loginCheck2", "app/loginCheck2", nickLogin(), account::kTimeWindowSeconds + 30,
                           userDevice())),
              1003);
    EXPECT_EQ(errorOf(post("/app/loginCheck2", "app/loginCheck2", nickLogin(), account::kTimeWindowSeconds - 30,
                           userDevice())),
              0);

    // An auth code over other values than those sent.
    const std::string t = std::to_string(std::time(nullptr));
    Call call;
    call.caFile = sim_->caFile();
    call.headers = userDevice();
    call.body = form(nickLogin());
    call.url = sim_->httpsOrigin() + "/app/loginCheck2?aid=zvtool&time=" + t +
               "&auth=" + authOf("app/loginCheck2?aid=zvtool&time=" + t + "&biz_type=13");
    EXPECT_EQ(errorOf(send(call)), 1002);
    // A "+" sent unencoded arrives as a blank, so the signature fails.
    call.url = sim_->httpsOrigin() + "/app/getShortToken?aid=zvtool&time=" + t +
               "&auth=" + authOf("app/getShortToken?aid=zvtool&time=" + t + "%s&biz_type=13&long_token=a+b");
    call.body = form({{"biz_type", "13"}, {"long_token", "a+b"}}, false);
    EXPECT_EQ(errorOf(send(call)), 1002);
    const auto records = sim_->requests("getShortToken");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["form"]["long_token"].asString(), "a b");
}

TEST_F(AccountEndpointsTest, LiveRoomOpensOnceAndClosesOnce)
{
    const std::string t = token();
    const Reply list = post("/api/v1/get_rtmplist", "get_rtmplist", {{"token", t}});
    ASSERT_EQ(errorOf(list), 0) << list.body;
    EXPECT_EQ(parse(list.body)["data"]["fms_val"].asString(), account::kFmsVal);
    EXPECT_EQ(errorOf(post("/api/v1/get_rtmplist", "get_rtmplist", {{"token", t + "x"}})), 1004);

    const Json::Value room = parse(post("/api/v1/my_room", "my_room", {{"token", t}}).body);
    EXPECT_EQ(room["data"]["rtmp_send_id"].asString(), account::kRtmpSendId);
    EXPECT_EQ(room["data"]["rtmp_send_live"].asString(), account::kRtmpSendLive);

    EXPECT_EQ(errorOf(post("/api/v1/start_liveroom", "start_liveroom",
                           {{"fms_val", "other"}, {"rtmp_id", "17"}, {"token", t}})),
              1001);
    EXPECT_EQ(errorOf(post("/api/v1/start_liveroom", "start_liveroom",
                           {{"fms_val", account::kFmsVal}, {"rtmp_id", "17"}, {"token", t}})),
              0);
    EXPECT_EQ(errorOf(post("/api/v1/get_rtmplist", "get_rtmplist", {{"token", t}})), 605);
    EXPECT_EQ(errorOf(post("/api/v1/zhubo_closeroom", "zhubo_closeroom", {{"token", t}})), 0);
    EXPECT_EQ(errorOf(post("/api/v1/zhubo_closeroom", "zhubo_closeroom", {{"token", t}})), 612);

    // The reset forgets an open room.
    post("/api/v1/start_liveroom", "start_liveroom", {{"fms_val", account::kFmsVal}, {"rtmp_id", "-1"}, {"token", t}});
    sim_->reset();
    EXPECT_EQ(errorOf(post("/api/v1/get_rtmplist", "get_rtmplist", {{"token", t}})), 0);
}

TEST_F(AccountEndpointsTest, GuildCheckIsASignedGetWithTheTimeLast)
{
    const std::string t = token();
    const std::string time = std::to_string(std::time(nullptr));
    const std::string auth = authOf("checkAnchorInGuild?aid=zvtool&biz_type=13&token=" + t + "&time=" + time + "%s");
    Call call;
    call.method = "GET";
    call.caFile = sim_->caFile();
    call.url = sim_->httpsOrigin() + "/api/v1/checkAnchorInGuild?aid=zvtool&biz_type=13&token=" + encode(t) +
               "&time=" + time + "&auth=" + auth;
    const Reply reply = send(call);
    EXPECT_EQ(parse(reply.body)["data"]["in"].asInt(), 1) << reply.body;

    sim_->setMode("checkAnchorInGuild", "reply:notin");
    EXPECT_EQ(parse(send(call).body)["data"]["in"].asInt(), 0);
    sim_->setMode("checkAnchorInGuild", "reply:nodata");
    EXPECT_FALSE(parse(send(call).body).isMember("data"));
}

TEST_F(AccountEndpointsTest, NamedRepliesAndTheCaptchaPage)
{
    EXPECT_THROW(sim_->setMode("loginCheck2", "reply:nosuch"), std::runtime_error);
    EXPECT_THROW(sim_->setMode("loginCheck2", "reply:bad-name"), std::runtime_error);

    sim_->setMode("loginCheck2", "reply:foreign");
    const Json::Value foreign = parse(login(nickLogin()).body);
    EXPECT_EQ(foreign["error"].asInt(), 130014);
    EXPECT_TRUE(foreign["ext"]["isForeignTel"].isInt());
    EXPECT_TRUE(foreign["ext"]["hidePhone"].isString());
    EXPECT_TRUE(foreign["ext"]["code"].isString());
    // A request that fails its checks is refused whatever the named reply.
    EXPECT_EQ(errorOf(login(nickLogin("wrong"))), 1005);

    sim_->setMode("loginCheck2", "reply:texterror");
    EXPECT_TRUE(parse(login(nickLogin()).body)["error"].isString());
    sim_->setMode("loginCheck2", "error:130014");
    EXPECT_EQ(parse(login(nickLogin()).body), parse(R"({"error":130014,"data":"simulated error 130014"})"));

    sim_->setMode("loginCheck2", "reply:captcha");
    EXPECT_EQ(errorOf(login(nickLogin())), 81);
    Fields captcha{{"biz_type", "13"},
                   {"captcha_key", account::kCaptchaKey},
                   {"captcha_word", account::kCaptchaWord},
                   {"geetest_challenge", ""},
                   {"geetest_seccode", ""},
                   {"geetest_validate", ""},
                   {"nickname", account::kNickName},
                   {"password", md5Hex(account::kPassword)}};
    EXPECT_EQ(errorOf(login(captcha)), 0);
    captcha[2].second = "nope";
    EXPECT_EQ(errorOf(login(captcha)), 81);

    Call page;
    page.method = "GET";
    page.caFile = sim_->caFile();
    page.url = sim_->httpsOrigin() + "/api/appCaptchaV3?style=3&client_sys=zvtool&deviceid=&version=1.0";
    const Reply reply = send(page);
    EXPECT_NE(
        reply.body.find(std::string("captcha_key=") + account::kCaptchaKey + "&captcha_word=" + account::kCaptchaWord),
        std::string::npos)
        << reply.body;
}

TEST(AccountClock, TimeStampFollowsTheSimulatorsClock)
{
    ::setenv(account::kClockSkewVariable, "1000", 1);
    Simulator sim;
    ::unsetenv(account::kClockSkewVariable);
    Call call;
    call.method = "GET";
    call.caFile = sim.caFile();
    call.url = sim.httpsOrigin() + "/v2/tool/timeStamp";
    const Json::Value body = parse(send(call).body);
    EXPECT_EQ(body["error"].asInt(), 0);
    EXPECT_NEAR(static_cast<double>(body["data"].asInt64()), static_cast<double>(std::time(nullptr) + 1000), 5.0);

    sim.setMode("timeStamp", "reply:textdata");
    EXPECT_TRUE(parse(send(call).body)["data"].isString());
    sim.setMode("timeStamp", "reply:negative");
    EXPECT_LT(parse(send(call).body)["data"].asInt(), 0);
}

} // namespace
} // namespace zavmo::test
