#include "endpoint.h"

#include <memory>

namespace zavmo::sim {

std::string compactJson(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool parseStrictJson(const std::string& text, Json::Value& out, std::string& errors)
{
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    return reader->parse(text.data(), text.data() + text.size(), &out, &errors);
}

void setJson(httplib::Response& res, const Json::Value& body, int status)
{
    res.status = status;
    res.set_content(compactJson(body), "application/json");
}

std::vector<Endpoint> allEndpoints(const Context& context)
{
    // One line per endpoint; each feature adds its own maker here.
    return {
        analyticsCollector(),
        packageQuery(),
        toolTimeStamp(),
        loginCheck(),
        shortTokenLogin(),
        myInfo(),
        rtmpList(),
        myRoom(),
        startLiveRoom(),
        closeRoom(),
        anchorGuildCheck(),
        captchaPage(),
        scanCode(),
        scanAuth(),
        oauthLogin(),
        fileTree("files", "/files/", context.filesRoot),
        // The download CDN's client files (companion module, installers, the launcher's default update area).
        fileTree("client_download", "/client_download/", context.filesRoot + "/client_download"),
        fileTree("static_cdn", "/zavmo/", context.filesRoot + "/zavmo"), // tool and runtime installers
        // The installers that the package query names.
        fileTree("release_files", "/release/pc/", context.filesRoot + "/release/pc"),
        updateCheck(context),
    };
}

} // namespace zavmo::sim
