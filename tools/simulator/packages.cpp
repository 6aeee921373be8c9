// The release service's package query: which installer a product's current
// release has. GET /talven/release/pc/checkPackage?appCode=CODE.

#include "endpoint.h"

#include <map>
#include <string>

namespace zavmo::sim {

namespace {

struct Package
{
    const char* version;
    const char* fileName;
};

// The file names are the installers' own, as the fake tool program knows them.
const std::map<std::string, Package>& packages()
{
    static const std::map<std::string, Package> list = {
        {"ZVTool", {"3.2.0", "ZVTool_installer.exe"}},
        {"ZVShow", {"1.6.3", "ZVShow-installer.exe"}},
    };
    return list;
}

// The static CDN's folder of tool and runtime installers.
const char* const kCdnFolder = "zavmo/2018/08/a088ea2078cd92b0b8a0e78a32c5c082";
const char* const kCdnInstallers[] = {
    "OBS_installer.exe",  "OBS_Studio_installer.exe", "ZVTool_installer.exe", "ZVShow-installer.exe",
    "NET_Framework4.exe", "DirectX.exe",              "vcredist_x86.exe",
};

std::string releasePath(const std::string& appCode, const Package& package)
{
    return "release/pc/" + appCode + "/" + package.version + "/" + package.fileName;
}

} // namespace

std::string installerPaths()
{
    std::string text;
    for (const char* file : kCdnInstallers)
        text += std::string(kCdnFolder) + "/" + file + "\n";
    for (const auto& [appCode, package] : packages())
        text += releasePath(appCode, package) + "\n";
    return text;
}

Endpoint packageQuery()
{
    Endpoint e;
    e.name = "checkPackage";
    e.path = "/talven/release/pc/checkPackage";
    e.methods = {"GET"};
    e.decode = [](const httplib::Request& req, Json::Value& record) {
        record["appCode"] = req.has_param("appCode") ? Json::Value(req.get_param_value("appCode")) : Json::Value();
    };
    e.reply = [](const httplib::Request& req, const Json::Value& record, httplib::Response& res) {
        const auto it = record["appCode"].isString() ? packages().find(record["appCode"].asString()) : packages().end();
        Json::Value body;
        if (it == packages().end()) {
            body["error"] = 40001;
            body["msg"] = "unknown appCode";
            body["data"] = Json::Value::null;
            setJson(res, body);
            return;
        }
        // The file lives on this server, under the scheme the query came by.
        const std::string origin = record["scheme"].asString() + "://" + req.get_header_value("Host");
        Json::Value data;
        data["appCode"] = it->first;
        data["version"] = it->second.version;
        data["fileUrl"] = origin + "/" + releasePath(it->first, it->second);
        body["error"] = 0;
        body["msg"] = "ok";
        body["data"] = data;
        setJson(res, body);
    };
    return e;
}

} // namespace zavmo::sim
