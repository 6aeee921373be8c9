// The analytics collector. Its writers post "multi=<Base64 of JSON>&v=1.0" as
// a form, some with the Base64 text percent-encoded and some without, so the
// raw body is decoded here with "+" kept as "+".

#include "codec.h"
#include "endpoint.h"

#include <memory>

namespace zavmo::sim {

namespace {

// Fills "v", "decoded" and, when something failed, "decode_error".
void decodeEvent(const httplib::Request& req, Json::Value& record)
{
    record["v"] = Json::Value::null;
    record["decoded"] = Json::Value::null;

    std::string multi;
    bool haveMulti = false;
    for (const auto& [name, value] : parseForm(req.body)) {
        if (name == "multi" && !haveMulti) {
            multi = value;
            haveMulti = true;
        } else if (name == "v" && record["v"].isNull()) {
            record["v"] = value;
        }
    }
    if (!haveMulti) {
        record["decode_error"] = "no multi field";
        return;
    }
    const auto json = base64Decode(multi);
    if (!json) {
        record["decode_error"] = "multi is not Base64";
        return;
    }
    Json::Value parsed;
    std::string errors;
    if (!parseStrictJson(*json, parsed, errors)) {
        record["decode_error"] = "multi is not JSON: " + errors;
        return;
    }
    if (!parsed.isObject()) {
        record["decode_error"] = "multi is not a JSON object";
        return;
    }
    record["decoded"] = parsed;
}

} // namespace

Endpoint analyticsCollector()
{
    Endpoint e;
    e.name = "pelk2";
    e.path = "/deliver/pelk2";
    e.methods = {"POST"};
    e.mediaType = "application/x-www-form-urlencoded";
    e.decode = decodeEvent;
    e.reply = [](const httplib::Request&, const Json::Value& record, httplib::Response& res) {
        Json::Value body;
        const bool ok = !record.isMember("decode_error");
        body["error"] = ok ? 0 : 1;
        body["msg"] = ok ? "ok" : "bad request";
        setJson(res, body);
    };
    return e;
}

} // namespace zavmo::sim
