// The release service's update check. The launcher posts its JSON in the
// ANSI code page (GBK), so a body that is not UTF-8 is read as GBK. The reply
// is the test's file replies/checkUpdate.json in the simulator's folder, sent
// as it is (so that tests can send any bytes); without it, "no update".

#include "codec.h"
#include "endpoint.h"

#include <iconv.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace zavmo::sim {

namespace {

// GBK bytes as UTF-8; false when they are not valid GBK.
bool gbkToUtf8(const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(in.size() * 2 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return false;
    out.resize(out.size() - dstLeft);
    return true;
}

void decodeCheck(const httplib::Request& req, Json::Value& record)
{
    record["decoded"] = Json::Value::null;
    std::string text = req.body;
    record["body_encoding"] = "utf-8";
    if (!isValidUtf8(text)) {
        record["body_encoding"] = "gbk";
        if (!gbkToUtf8(req.body, text)) {
            record["decode_error"] = "body is neither UTF-8 nor GBK";
            return;
        }
    }
    Json::Value parsed;
    std::string errors;
    if (!parseStrictJson(text, parsed, errors) || !parsed.isObject()) {
        record["decode_error"] = "body is not a JSON object: " + errors;
        return;
    }
    record["decoded"] = parsed;
}

} // namespace

Endpoint updateCheck(const Context& context)
{
    Endpoint e;
    e.name = "checkUpdate";
    e.path = "/talven/release/pc/checkUpdate";
    e.methods = {"POST"};
    e.mediaType = "application/json";
    e.decode = decodeCheck;
    const std::string replyFile = context.folder + "/replies/checkUpdate.json";
    e.reply = [replyFile](const httplib::Request&, const Json::Value& record, httplib::Response& res) {
        if (record.isMember("decode_error")) {
            Json::Value body;
            body["error"] = 1;
            body["msg"] = "bad request";
            setJson(res, body);
            return;
        }
        std::ifstream in(replyFile, std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            res.status = 200;
            res.set_content(text.str(), "application/json");
            return;
        }
        Json::Value body;
        body["error"] = 0;
        body["msg"] = "ok";
        body["data"]["needUpdate"] = 0;
        body["data"]["updateDescUrl"] = "";
        body["data"]["lastUpdateExeTime"] = 0;
        setJson(res, body);
    };
    return e;
}

} // namespace zavmo::sim
