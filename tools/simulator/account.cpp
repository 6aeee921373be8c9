// The platform's account, passport, tool-API and live-room endpoints. Every
// signed request is checked as the platform checks it: the parameters and
// their order, the auth code rebuilt from the request's own values, the time
// window, and for the password logins the User-Device header and the MD5
// password. What a check found goes into the record ("check", "sign_text",
// "form", "user_device"), so that tests can read it beside the reply.

#include "account.h"
#include "codec.h"
#include "endpoint.h"

#include "platform/signing.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace zavmo::sim {

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;
using Keys = std::vector<std::string>;

constexpr const char* kAppId = "zvtool";
constexpr const char* kBizType = "13";
constexpr const char* kFormType = "application/x-www-form-urlencoded";
constexpr int kClientType = 3;
constexpr int kLongTokenId = 77;
constexpr int kExpireIn = 604800;

// Live-room state of the account; forgotten on reset.
struct RoomState
{
    std::mutex mutex;
    bool open = false;
};

RoomState& roomState()
{
    static RoomState state;
    return state;
}

long long clockSkew()
{
    static const long long skew = [] {
        const char* text = std::getenv(account::kClockSkewVariable);
        return text ? std::atoll(text) : 0LL;
    }();
    return skew;
}

long long serverNow()
{
    return static_cast<long long>(std::time(nullptr)) + clockSkew();
}

std::string hexDigest(const EVP_MD* md, const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(text.data(), text.size(), digest, &length, md, nullptr))
        return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(kHex[digest[i] >> 4]);
        out.push_back(kHex[digest[i] & 0x0f]);
    }
    return out;
}

// Tokens are derived from the uid, so that a saved login stays valid across
// simulator runs and client processes.
std::string shortTokenOf(const std::string& uid)
{
    return hexDigest(EVP_sha256(), "zavmo-sim short|" + uid).substr(0, 32);
}

std::string longTokenOf(const std::string& uid)
{
    return "LT+" + uid + "/" + hexDigest(EVP_sha256(), "zavmo-sim long|" + uid).substr(0, 24);
}

// uid_bizType_shortToken_clientType_longTokenId
std::string tokenTextOf(const std::string& uid)
{
    return uid + "_" + kBizType + "_" + shortTokenOf(uid) + "_" + std::to_string(kClientType) + "_" +
           std::to_string(kLongTokenId);
}

bool allDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isLowerHex(const std::string& text, size_t length)
{
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

Keys keysOf(const Fields& fields)
{
    Keys keys;
    for (const auto& field : fields)
        keys.push_back(field.first);
    return keys;
}

std::string value(const Fields& fields, const std::string& key)
{
    for (const auto& field : fields)
        if (field.first == key)
            return field.second;
    return std::string();
}

Json::Value envelope(int code, const Json::Value& data)
{
    Json::Value body;
    body["error"] = code;
    body["data"] = data;
    return body;
}

Json::Value errorEnvelope(int code)
{
    return envelope(code, "simulated error " + std::to_string(code));
}

void fail(Json::Value& record, int code, const std::string& why)
{
    record["check"] = why;
    record["check_error"] = code;
}

bool checked(const Json::Value& record)
{
    return record["check"].asString() == "ok";
}

// What a signed request must look like.
struct Shape
{
    std::string signPath;
    // Accepted key sequences of the parameters after the time: the body of a
    // POST, the query between "aid" and "auth" of a GET (there "time" among
    // them).
    std::vector<Keys> forms;
    bool get = false;
    bool userDevice = false;
    // The whole query, auth included, where a request lays it out otherwise
    // (then a GET's forms are not consulted).
    Keys query;
    // The sign text's keys, aid first, where they are not the query's
    // (without auth) followed by the body.
    Keys signOrder;
};

// Fills the record and runs the checks shared by every signed request; the
// endpoint's own checks follow when "check" is "ok".
void checkSigned(const Shape& shape, const httplib::Request& req, Json::Value& record)
{
    const Fields query = parseQuery(record["query_string"].asString());
    const Fields body = shape.get ? Fields() : parseQuery(req.body);
    Json::Value form(Json::objectValue);
    for (const auto& [key, text] : shape.get ? query : body)
        form[key] = text;
    record["form"] = form;
    Json::Value order(Json::arrayValue);
    for (const std::string& key : keysOf(shape.get ? query : body))
        order.append(key);
    record["form_keys"] = order;

    record["user_device"] = Json::Value::null;
    if (req.has_header("User-Device")) {
        const auto decoded = base64Decode(req.get_header_value("User-Device"));
        record["user_device"] = decoded ? Json::Value(*decoded) : Json::Value("(not Base64)");
    }

    // By default a POST has aid, time, auth in the query and the parameters in
    // the body, a GET aid first, then the parameters with the time among them,
    // auth last.
    const Keys queryKeys = keysOf(query);
    if (!shape.query.empty()) {
        if (queryKeys != shape.query)
            return fail(record, 1001, "unexpected query parameters");
    } else {
        if (queryKeys.empty() || queryKeys.front() != "aid" || queryKeys.back() != "auth")
            return fail(record, 1001, "query must begin with aid and end with auth");
        const Keys parameters(queryKeys.begin() + 1, queryKeys.end() - 1);
        if (shape.get && std::find(shape.forms.begin(), shape.forms.end(), parameters) == shape.forms.end())
            return fail(record, 1001, "unexpected query parameters");
        if (!shape.get && parameters != Keys{"time"})
            return fail(record, 1001, "query must be aid, time, auth");
    }
    if (!shape.get && std::find(shape.forms.begin(), shape.forms.end(), keysOf(body)) == shape.forms.end())
        return fail(record, 1001, "unexpected body parameters");
    Fields signedFields;
    std::copy_if(query.begin(), query.end(), std::back_inserter(signedFields),
                 [](const auto& field) { return field.first != "auth"; });
    signedFields.insert(signedFields.end(), body.begin(), body.end());
    if (!shape.signOrder.empty()) {
        Fields ordered;
        for (const std::string& key : shape.signOrder)
            ordered.emplace_back(key, value(signedFields, key));
        signedFields = ordered;
    }
    if (value(query, "aid") != kAppId)
        return fail(record, 1001, "aid must be zvtool");
    const std::string time = value(query, "time");
    if (!allDigits(time) || time.size() > 12)
        return fail(record, 1001, "time must be decimal seconds");
    const std::string biz = value(shape.get ? query : body, "biz_type");
    if (record["form"].isMember("biz_type") && biz != kBizType)
        return fail(record, 1001, "biz_type must be 13");

    std::string signText = shape.signPath + "?";
    for (size_t i = 0; i < signedFields.size(); ++i) {
        signText += (i ? "&" : "") + signedFields[i].first + "=" + signedFields[i].second;
        if (signedFields[i].first == "time")
            signText += "%s";
    }
    record["sign_text"] = signText;
    char* expected = GenerateAuthCode(signText.c_str());
    const bool signatureOk = expected && value(query, "auth") == expected;
    FreeAuthCode(expected);
    if (!signatureOk)
        return fail(record, 1002, "auth does not match the sign text");

    const long long offset = std::atoll(time.c_str()) - serverNow();
    record["time_offset"] = static_cast<Json::Int64>(offset);
    if (offset > account::kTimeWindowSeconds || offset < -account::kTimeWindowSeconds)
        return fail(record, 1003, "time outside the window");

    if (shape.userDevice) {
        const Json::Value& device = record["user_device"];
        if (!device.isString() || device.asString().find('|') == std::string::npos)
            return fail(record, 1001, "User-Device must be Base64 of mac|version");
    }
    record["check"] = "ok";
}

// Checks the token parameter of a logged-in request.
void checkToken(const std::string& token, Json::Value& record)
{
    if (!checked(record))
        return;
    const size_t cut = token.find('_');
    const std::string uid = token.substr(0, cut);
    if (cut == std::string::npos || uid != account::kUid || token != tokenTextOf(uid))
        fail(record, 1004, "token was not issued");
}

std::string originOf(const httplib::Request& req)
{
    return std::string(req.ssl ? "https://" : "http://") + req.get_header_value("Host");
}

// The reply after the shared checks: their error, or the endpoint's own.
using Answer = std::function<Json::Value(const httplib::Request&, const Json::Value& record)>;

Endpoint signedEndpoint(const std::string& name, const std::string& path, const Shape& shape,
                        std::function<void(const httplib::Request&, Json::Value&)> ownChecks, Answer answer)
{
    Endpoint e;
    e.name = name;
    e.path = path;
    e.methods = {shape.get ? "GET" : "POST"};
    e.mediaType = shape.get ? std::string() : kFormType;
    e.decode = [shape, ownChecks](const httplib::Request& req, Json::Value& record) {
        checkSigned(shape, req, record);
        if (checked(record) && ownChecks)
            ownChecks(req, record);
    };
    e.reply = [answer](const httplib::Request& req, const Json::Value& record, httplib::Response& res) {
        if (!checked(record))
            return setJson(res, envelope(record["check_error"].asInt(), record["check"].asString()));
        setJson(res, answer(req, record));
    };
    e.errorEnvelope = errorEnvelope;
    // Shapes of the envelope that no error code gives.
    e.variants["texterror"] = [](const httplib::Request&, const Json::Value&, httplib::Response& res) {
        Json::Value body;
        body["error"] = "5";
        body["data"] = "error is a text";
        setJson(res, body);
    };
    e.variants["noerror"] = [](const httplib::Request&, const Json::Value&, httplib::Response& res) {
        Json::Value body;
        body["data"] = "no error key";
        setJson(res, body);
    };
    return e;
}

// Adds a named reply that answers only requests that passed the checks.
void addVariant(Endpoint& e, const std::string& name, Answer answer)
{
    e.variants[name] = [answer](const httplib::Request& req, const Json::Value& record, httplib::Response& res) {
        if (!checked(record))
            return setJson(res, envelope(record["check_error"].asInt(), record["check"].asString()));
        setJson(res, answer(req, record));
    };
}

const Keys kNickLogin{"biz_type", "nickname", "password"};
const Keys kPhoneLogin{"areaCode", "biz_type", "password", "phoneNum"};
const Keys kNickCaptchaLogin{"biz_type",        "captcha_key",      "captcha_word", "geetest_challenge",
                             "geetest_seccode", "geetest_validate", "nickname",     "password"};
const Keys kPhoneCaptchaLogin{"areaCode",        "biz_type",         "captcha_key", "captcha_word", "geetest_challenge",
                              "geetest_seccode", "geetest_validate", "password",    "phoneNum"};

// The account's password: known user, digest of the right password.
void checkPassword(const httplib::Request&, Json::Value& record)
{
    const Json::Value& form = record["form"];
    const std::string digest = form["password"].asString();
    if (!isLowerHex(digest, 32))
        return fail(record, 1001, "password must be 32 lower-case hexadecimal digits");
    const bool knownUser = form.isMember("nickname") ? form["nickname"].asString() == account::kNickName
                                                     : form["phoneNum"].asString() == account::kPhoneNum &&
                                                           form["areaCode"].asString() == account::kAreaCode;
    if (!knownUser || digest != hexDigest(EVP_md5(), account::kPassword))
        fail(record, 1005, "unknown user or wrong password");
}

bool captchaSolved(const Json::Value& form)
{
    const bool word = form["captcha_key"].asString() == account::kCaptchaKey &&
                      form["captcha_word"].asString() == account::kCaptchaWord;
    const bool geetest = !form["geetest_challenge"].asString().empty() && !form["geetest_seccode"].asString().empty() &&
                         !form["geetest_validate"].asString().empty();
    return word || geetest;
}

Json::Value loginSuccess(bool uidAsNumber = false)
{
    char created[32];
    const std::time_t now = static_cast<std::time_t>(serverNow());
    std::tm parts{};
    gmtime_r(&now, &parts);
    std::strftime(created, sizeof created, "%Y-%m-%d %H:%M:%S", &parts);

    Json::Value shortToken;
    shortToken["uid"] = uidAsNumber ? Json::Value(std::atoi(account::kUid)) : Json::Value(account::kUid);
    shortToken["client_type"] = kClientType;
    shortToken["create_time"] = created;
    shortToken["expire_in"] = kExpireIn;
    shortToken["long_token_id"] = kLongTokenId;
    shortToken["short_token"] = shortTokenOf(account::kUid);
    shortToken["biz_type"] = std::atoi(kBizType);
    Json::Value data;
    data["long_token"] = longTokenOf(account::kUid);
    data["short_token"] = shortToken;
    return envelope(0, data);
}

Json::Value captchaNeeded()
{
    return envelope(81, "需要验证码");
}

Json::Value passwordLogin(const httplib::Request&, const Json::Value& record)
{
    // A captcha sent unasked is checked all the same.
    if (record["form"].isMember("captcha_key") && !captchaSolved(record["form"]))
        return captchaNeeded();
    return loginSuccess();
}

} // namespace

Endpoint toolTimeStamp()
{
    Endpoint e;
    e.name = "timeStamp";
    e.path = "/v2/tool/timeStamp";
    e.methods = {"GET"};
    e.reply = [](const httplib::Request&, const Json::Value&, httplib::Response& res) {
        setJson(res, envelope(0, static_cast<Json::Int64>(serverNow())));
    };
    e.errorEnvelope = errorEnvelope;
    e.variants["negative"] = [](const httplib::Request&, const Json::Value&, httplib::Response& res) {
        setJson(res, envelope(0, -5));
    };
    e.variants["textdata"] = [](const httplib::Request&, const Json::Value&, httplib::Response& res) {
        setJson(res, envelope(0, std::to_string(serverNow())));
    };
    return e;
}

Endpoint loginCheck()
{
    Shape shape{
        "app/loginCheck2", {kNickLogin, kPhoneLogin, kNickCaptchaLogin, kPhoneCaptchaLogin}, false, true, {}, {}};
    Endpoint e = signedEndpoint("loginCheck2", "/app/loginCheck2", shape, checkPassword, passwordLogin);
    // The platform asks for a captcha: a login without a solved one gets 81.
    addVariant(e, "captcha", [](const httplib::Request&, const Json::Value& record) {
        return captchaSolved(record["form"]) ? loginSuccess() : captchaNeeded();
    });
    addVariant(e, "newuser", [](const httplib::Request&, const Json::Value&) {
        Json::Value data;
        data["newuser"] = 1;
        return envelope(0, data);
    });
    // A login from another place, with what the client needs to confirm it.
    addVariant(e, "foreign", [](const httplib::Request&, const Json::Value&) {
        Json::Value body = envelope(130014, "异地登录");
        body["ext"]["isForeignTel"] = 0;
        body["ext"]["hidePhone"] = "138****8000";
        body["ext"]["code"] = "sim-foreign-code";
        return body;
    });
    addVariant(e, "errorobject", [](const httplib::Request&, const Json::Value&) {
        Json::Value data;
        data["x"] = 1;
        return envelope(5, data);
    });
    addVariant(e, "uidnumber", [](const httplib::Request&, const Json::Value&) { return loginSuccess(true); });
    addVariant(e, "shorttokentext", [](const httplib::Request&, const Json::Value&) {
        Json::Value body = loginSuccess();
        body["data"]["short_token"] = "not an object";
        return body;
    });
    return e;
}

Endpoint shortTokenLogin()
{
    Shape shape{"app/getShortToken", {{"biz_type", "long_token"}}, false, false, {}, {}};
    return signedEndpoint(
        "getShortToken", "/app/getShortToken", shape,
        [](const httplib::Request&, Json::Value& record) {
            if (record["form"]["long_token"].asString() != longTokenOf(account::kUid))
                fail(record, 1004, "long token was not issued");
        },
        [](const httplib::Request&, const Json::Value&) { return loginSuccess(); });
}

namespace {

Endpoint tokenEndpoint(const std::string& name, const std::string& path, const std::string& signPath, const Keys& form,
                       Answer answer)
{
    return signedEndpoint(
        name, path, Shape{signPath, {form}, false, false, {}, {}},
        [](const httplib::Request&, Json::Value& record) { checkToken(record["form"]["token"].asString(), record); },
        std::move(answer));
}

Json::Value roomInfo(const Json::Value& id)
{
    Json::Value data;
    data["rtmp_send_id"] = id;
    data["rtmp_send_url"] = account::kRtmpSendUrl;
    data["rtmp_send_live"] = account::kRtmpSendLive;
    return envelope(0, data);
}

} // namespace

Endpoint myInfo()
{
    Endpoint e = tokenEndpoint(
        "my_info", "/api/v1/my_info", "my_info", {"token"}, [](const httplib::Request& req, const Json::Value&) {
            Json::Value data;
            data["nickname"] = account::kDisplayName;
            data["avatar"]["middle"] = originOf(req) + "/avatar/" + account::kUid + "_middle.jpg";
            data["room"]["room_id"] = account::kRoomId;
            return envelope(0, data);
        });
    addVariant(e, "noavatar", [](const httplib::Request&, const Json::Value&) {
        Json::Value data;
        data["nickname"] = account::kDisplayName;
        data["avatar"] = "";
        data["room"]["room_id"] = account::kRoomId;
        return envelope(0, data);
    });
    // A nickname that a button would take for a mnemonic.
    addVariant(e, "ampersand", [](const httplib::Request&, const Json::Value&) {
        Json::Value data;
        data["nickname"] = "R&B阿梦";
        data["avatar"] = "";
        data["room"]["room_id"] = account::kRoomId;
        return envelope(0, data);
    });
    return e;
}

Endpoint rtmpList()
{
    Endpoint e = tokenEndpoint("get_rtmplist", "/api/v1/get_rtmplist", "get_rtmplist", {"token"},
                               [](const httplib::Request&, const Json::Value&) {
                                   std::lock_guard<std::mutex> lock(roomState().mutex);
                                   if (roomState().open)
                                       return envelope(605, "直播间已开启");
                                   Json::Value data;
                                   data["fms_val"] = account::kFmsVal;
                                   return envelope(0, data);
                               });
    e.reset = [] {
        std::lock_guard<std::mutex> lock(roomState().mutex);
        roomState().open = false;
    };
    return e;
}

Endpoint myRoom()
{
    Endpoint e =
        tokenEndpoint("my_room", "/api/v1/my_room", "my_room", {"token"},
                      [](const httplib::Request&, const Json::Value&) { return roomInfo(account::kRtmpSendId); });
    addVariant(e, "idnumber",
               [](const httplib::Request&, const Json::Value&) { return roomInfo(std::atoi(account::kRtmpSendId)); });
    addVariant(e, "idletters", [](const httplib::Request&, const Json::Value&) { return roomInfo("abc"); });
    addVariant(e, "idnull", [](const httplib::Request&, const Json::Value&) { return roomInfo(Json::Value::null); });
    addVariant(e, "nolive", [](const httplib::Request&, const Json::Value&) {
        Json::Value body = roomInfo(account::kRtmpSendId);
        body["data"].removeMember("rtmp_send_live");
        return body;
    });
    return e;
}

Endpoint startLiveRoom()
{
    return signedEndpoint(
        "start_liveroom", "/api/v1/start_liveroom",
        Shape{"start_liveroom", {{"fms_val", "rtmp_id", "token"}}, false, false, {}, {}},
        [](const httplib::Request&, Json::Value& record) {
            const Json::Value& form = record["form"];
            const std::string id = form["rtmp_id"].asString();
            if (form["fms_val"].asString() != account::kFmsVal)
                return fail(record, 1001, "fms_val is not the one get_rtmplist gave");
            if (!allDigits(!id.empty() && id.front() == '-' ? id.substr(1) : id))
                return fail(record, 1001, "rtmp_id must be a decimal number");
            checkToken(form["token"].asString(), record);
        },
        [](const httplib::Request&, const Json::Value&) {
            std::lock_guard<std::mutex> lock(roomState().mutex);
            roomState().open = true;
            return envelope(0, Json::Value(Json::objectValue));
        });
}

Endpoint closeRoom()
{
    return tokenEndpoint("zhubo_closeroom", "/api/v1/zhubo_closeroom", "zhubo_closeroom", {"token"},
                         [](const httplib::Request&, const Json::Value&) {
                             std::lock_guard<std::mutex> lock(roomState().mutex);
                             if (!roomState().open)
                                 return envelope(612, "直播间已关闭");
                             roomState().open = false;
                             return envelope(0, Json::Value(Json::objectValue));
                         });
}

Endpoint anchorGuildCheck()
{
    Shape shape{"checkAnchorInGuild", {{"biz_type", "token", "time"}}, true, false, {}, {}};
    const auto inGuild = [](int in) {
        return [in](const httplib::Request&, const Json::Value&) {
            Json::Value data;
            data["in"] = in;
            return envelope(0, data);
        };
    };
    Endpoint e = signedEndpoint(
        "checkAnchorInGuild", "/api/v1/checkAnchorInGuild", shape,
        [](const httplib::Request&, Json::Value& record) { checkToken(record["form"]["token"].asString(), record); },
        inGuild(1));
    addVariant(e, "notin", inGuild(0));
    addVariant(e, "nodata", [](const httplib::Request&, const Json::Value&) {
        Json::Value body;
        body["error"] = 0;
        return body;
    });
    return e;
}

// The captcha page a login dialog loads: it leads at once to an address
// whose query carries the solved captcha, as the platform's page does once
// the user has typed the word.
Endpoint captchaPage()
{
    Endpoint e;
    e.name = "appCaptcha";
    e.path = "/api/appCaptchaV3";
    e.methods = {"GET"};
    e.reply = [](const httplib::Request& req, const Json::Value&, httplib::Response& res) {
        res.status = 200;
        if (req.has_param("captcha_key")) {
            res.set_content("<html><body>ok</body></html>", "text/html; charset=utf-8");
            return;
        }
        const std::string solved = std::string("/api/appCaptchaV3?captcha_key=") + account::kCaptchaKey +
                                   "&captcha_word=" + account::kCaptchaWord;
        res.set_content("<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + solved +
                            "\"></head><body><a href=\"" + solved + "\">verify</a></body></html>",
                        "text/html; charset=utf-8");
    };
    return e;
}

namespace {

// Scan codes issued by scan/code and how often each has been polled;
// forgotten on reset.
struct ScanState
{
    std::mutex mutex;
    long long issued = 0;
    std::map<std::string, int> polls;
};

ScanState& scanState()
{
    static ScanState state;
    return state;
}

std::string issueScanCode()
{
    std::lock_guard<std::mutex> lock(scanState().mutex);
    const std::string n = std::to_string(++scanState().issued);
    const std::string code = "sc" + n + hexDigest(EVP_sha256(), "zavmo-sim scan|" + n).substr(0, 12);
    scanState().polls[code] = 0;
    return code;
}

// The scan-state poll: waiting, then the login once; an unknown code has
// expired. In mode "expired" every code expires now.
Answer scanStateAnswer(bool expireNow)
{
    return [expireNow](const httplib::Request&, const Json::Value& record) {
        std::lock_guard<std::mutex> lock(scanState().mutex);
        auto& polls = scanState().polls;
        const auto it = polls.find(record["form"]["code"].asString());
        if (it == polls.end() || expireNow) {
            if (it != polls.end())
                polls.erase(it);
            return envelope(account::kScanExpired, "二维码已过期");
        }
        if (++it->second < account::kScanPolls)
            return envelope(account::kScanWaiting, "等待扫码");
        polls.erase(it);
        return loginSuccess();
    };
}

} // namespace

Endpoint scanCode()
{
    // The platform signs over biz_type twice: the query's before the time,
    // the body's after it.
    const Shape shape{"scan/code", {{"biz_type"}}, false, false, {"aid", "biz_type", "time", "auth"}, {}};
    Endpoint e =
        signedEndpoint("scanCode", "/scan/code", shape, nullptr, [](const httplib::Request& req, const Json::Value&) {
            Json::Value data;
            data["url"] = originOf(req) + "/scan/qr?code=";
            data["code"] = issueScanCode();
            return envelope(0, data);
        });
    addVariant(e, "datastring", [](const httplib::Request&, const Json::Value&) { return envelope(0, "no object"); });
    addVariant(e, "emptycode", [](const httplib::Request&, const Json::Value&) {
        Json::Value data;
        data["url"] = "";
        data["code"] = "";
        return envelope(0, data);
    });
    e.reset = [] {
        std::lock_guard<std::mutex> lock(scanState().mutex);
        scanState().polls.clear();
    };
    return e;
}

Endpoint scanAuth()
{
    const Shape shape{"lapi/passport/scan/auth",          {}, true, false, {"aid", "biz_type", "time", "auth", "code"},
                      {"aid", "biz_type", "code", "time"}};
    Endpoint e = signedEndpoint("scanAuth", "/lapi/passport/scan/auth", shape, nullptr, scanStateAnswer(false));
    addVariant(e, "expired", scanStateAnswer(true));
    return e;
}

namespace {

constexpr const char* kOauthPrefix = "/api/tandrel/";

// Sessions the sign-in pages opened (cookie value -> state) and codes the
// provider issued (code -> state); forgotten on reset.
struct OauthState
{
    std::mutex mutex;
    long long issued = 0;
    std::map<std::string, std::string> sessions;
    std::map<std::string, std::string> codes;
};

OauthState& oauthState()
{
    static OauthState state;
    return state;
}

std::string percentEncode(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0f]);
        }
    }
    return out;
}

std::string cookieValue(const httplib::Request& req, const std::string& name)
{
    const std::string header = req.get_header_value("Cookie");
    size_t at = 0;
    while (at < header.size()) {
        const size_t end = std::min(header.find(';', at), header.size());
        std::string pair = header.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.rfind(name + "=", 0) == 0)
            return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return std::string();
}

// The sign-in carries its page's cookie, and a code the provider issued for
// the state that page opened. A code serves once.
void checkOauthSession(const httplib::Request& req, Json::Value& record)
{
    const std::string session = cookieValue(req, account::kOauthCookie);
    record["cookie"] = session;
    const std::string state = record["form"]["state"].asString();
    std::lock_guard<std::mutex> lock(oauthState().mutex);
    const auto opened = oauthState().sessions.find(session);
    if (session.empty() || opened == oauthState().sessions.end() || opened->second != state)
        return fail(record, 1006, "no session cookie of the sign-in page for this state");
    const auto code = oauthState().codes.find(record["form"]["code"].asString());
    if (code == oauthState().codes.end() || code->second != state)
        return fail(record, 1006, "code was not issued for this state");
    oauthState().codes.erase(code);
}

void oauthDecode(const httplib::Request& req, Json::Value& record)
{
    const std::string rest = req.path.substr(std::char_traits<char>::length(kOauthPrefix));
    const size_t slash = rest.find('/');
    const std::string step = rest.substr(0, slash);
    const std::string provider = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    record["provider"] = provider;
    if (provider != "qq" && provider != "weibo" && provider != "weixin") {
        record["stage"] = "unknown";
        return;
    }
    if (step != "oauthSignin") {
        record["stage"] = step == "oauthAuthorize" ? "authorize" : step == "oauthCallback" ? "callback" : "unknown";
        return;
    }
    const Fields query = parseQuery(record["query_string"].asString());
    const Keys keys = keysOf(query);
    const bool signIn = std::find(keys.begin(), keys.end(), "code") != keys.end() ||
                        std::find(keys.begin(), keys.end(), "state") != keys.end();
    record["stage"] = signIn ? "signin" : "page";
    Shape shape =
        signIn ? Shape{"", {}, true, false, {"aid", "time", "auth", "code", "state"}, {"aid", "code", "state", "time"}}
               : Shape{"", {{"biz_type", "time"}}, true, false, {}, {}};
    shape.signPath = "tandrel/oauthSignin/" + provider;
    checkSigned(shape, req, record);
    if (signIn && checked(record))
        checkOauthSession(req, record);
}

// Variants: "denied" (the user refuses at the provider), "nostate" (the
// provider's redirect lacks the state), "newuser" (the account never used
// the platform).
void oauthReply(const std::string& variant, const httplib::Request& req, const Json::Value& record,
                httplib::Response& res)
{
    const std::string stage = record["stage"].asString();
    const std::string provider = record["provider"].asString();
    const std::string callback = originOf(req) + kOauthPrefix + "oauthCallback/" + provider;
    if (stage == "unknown") {
        res.status = 404;
        res.set_content("not found\n", "text/plain");
    } else if ((stage == "page" || stage == "signin") && !checked(record)) {
        setJson(res, envelope(record["check_error"].asInt(), record["check"].asString()));
    } else if (stage == "page") {
        std::lock_guard<std::mutex> lock(oauthState().mutex);
        const std::string n = std::to_string(++oauthState().issued);
        const std::string state = "st" + n;
        const std::string session = hexDigest(EVP_sha256(), "zavmo-sim oauth|" + n).substr(0, 32);
        oauthState().sessions[session] = state;
        res.set_header("Set-Cookie", std::string(account::kOauthCookie) + "=" + session + "; Path=/; HttpOnly");
        res.set_redirect(originOf(req) + kOauthPrefix + "oauthAuthorize/" + provider + "?state=" + state);
    } else if (stage == "authorize") {
        const std::string state = percentEncode(req.get_param_value("state"));
        if (variant == "denied")
            return res.set_redirect(callback + "?error=access_denied&error_description=user%20denied&state=" + state);
        std::lock_guard<std::mutex> lock(oauthState().mutex);
        const std::string n = std::to_string(++oauthState().issued);
        // Provider codes hold characters a query must encode.
        const std::string code = "oc/" + n + "+" + hexDigest(EVP_sha256(), "zavmo-sim code|" + n).substr(0, 8) + "=";
        oauthState().codes[code] = req.get_param_value("state");
        res.set_redirect(callback + "?code=" + percentEncode(code) + (variant == "nostate" ? "" : "&state=" + state));
    } else if (stage == "callback") {
        res.status = 200;
        res.set_content("<html><body>正在登录…</body></html>", "text/html; charset=utf-8");
    } else if (variant == "newuser") {
        Json::Value data;
        data["newuser"] = 1;
        setJson(res, envelope(0, data));
    } else {
        setJson(res, loginSuccess());
    }
}

} // namespace

// The outside-account (QQ, WeChat, Weibo) login under /api/tandrel/, for each
// provider: the signed sign-in page oauthSignin/P sets the session cookie and
// redirects to the provider's oauthAuthorize/P, which redirects to
// oauthCallback/P with "code" and "state" (or "error=access_denied"); the
// client's sign-in, oauthSignin/P with code and state, must carry the cookie.
// Records carry "stage" (page, authorize, callback, signin, unknown),
// "provider" and, for the sign-in, the session "cookie" it carried.
Endpoint oauthLogin()
{
    Endpoint e;
    e.name = "oauth";
    e.path = kOauthPrefix;
    e.pathIsPrefix = true;
    e.methods = {"GET"};
    e.decode = oauthDecode;
    e.reply = [](const httplib::Request& req, const Json::Value& record, httplib::Response& res) {
        oauthReply(std::string(), req, record, res);
    };
    e.errorEnvelope = errorEnvelope;
    for (const char* variant : {"denied", "nostate", "newuser"})
        e.variants[variant] = [name = std::string(variant)](const httplib::Request& req, const Json::Value& record,
                                                            httplib::Response& res) {
            oauthReply(name, req, record, res);
        };
    e.reset = [] {
        std::lock_guard<std::mutex> lock(oauthState().mutex);
        oauthState().sessions.clear();
        oauthState().codes.clear();
    };
    return e;
}

} // namespace zavmo::sim
