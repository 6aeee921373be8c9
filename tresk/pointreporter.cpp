#include "pointreporter.h"

#include "deviceinfo.h"
#include "jsonpostclient.h"
#include "widetext.h"

#include <platform/hosts.h>
#include <platform/netadapters.h>

#include <cstdio>
#include <ctime>
#include <mutex>

namespace tresk {

namespace {

struct Globals
{
    std::string osName = "unknown OperatingSystem.";
    std::string deviceAddress = "invalid-did";
    std::string localTime = "u";
    std::string localVersionName;
    std::string serverVersionName;
    std::string clientType = "invaid";
    std::string pc = "invaid";
    std::string rpc = "invaid";
    long long localVersionCode = 0;
    long long serverVersionCode = 0;
    long processId = 0;
};

std::mutex globalsMutex;
Globals globals;

constexpr const char* kCollectorPath = "/deliver/pelk2";

} // namespace

void collectMacAddress()
{
    std::vector<platform::netadapters::Adapter> adapters;
    if (!platform::netadapters::listAdapters(adapters))
        return;
    std::string address;
    for (const auto& a : adapters) {
        if (a.mac.size() != 6)
            continue;
        char text[32];
        std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", a.mac[0], a.mac[1], a.mac[2], a.mac[3],
                      a.mac[4], a.mac[5]);
        address = text;
        break;
    }
    std::lock_guard<std::mutex> lock(globalsMutex);
    globals.deviceAddress = address;
}

void collectOsName()
{
    if (const char* name = currentWindowsName()) {
        std::lock_guard<std::mutex> lock(globalsMutex);
        globals.osName = name;
    }
}

void collectLocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::lock_guard<std::mutex> lock(globalsMutex);
    char text[64];
    std::snprintf(text, sizeof text, "%ld+%04d-%02d-%02d-%02d-%02d-%02d", globals.processId, local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    globals.localTime = text;
}

void setVersionCodes(long long local, long long server)
{
    std::lock_guard<std::mutex> lock(globalsMutex);
    globals.localVersionCode = local;
    globals.serverVersionCode = server;
}

void setVersionNames(const std::u16string& local, const std::u16string& server)
{
    const std::string l = wideToAnsi(local), s = wideToAnsi(server);
    std::lock_guard<std::mutex> lock(globalsMutex);
    globals.localVersionName = l;
    globals.serverVersionName = s;
}

void setClientType(const std::u16string& appCode)
{
    struct Row
    {
        const char16_t* appCode;
        const char* ct;
        const char* pc;
    };
    static const Row rows[] = {
        {u"Zavmo_Live_PC_Client", "win_exe", "com_module"},
        {u"ZVTool", "web_nlive", "page_home"},
        {u"Olvane", "web_olvane", "page_home"},
    };
    for (const Row& row : rows) {
        if (appCode == row.appCode) {
            std::lock_guard<std::mutex> lock(globalsMutex);
            globals.clientType = row.ct;
            globals.pc = row.pc;
            globals.rpc = row.pc;
            return;
        }
    }
}

void setProcessId(long processId)
{
    std::lock_guard<std::mutex> lock(globalsMutex);
    globals.processId = processId;
}

void resetAnalyticsGlobals()
{
    std::lock_guard<std::mutex> lock(globalsMutex);
    globals = Globals();
}

std::string base64Encode(const std::string& data)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(data[i]) << 16 | static_cast<unsigned char>(data[i + 1]) << 8 |
                           static_cast<unsigned char>(data[i + 2]);
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i < data.size()) {
        const bool two = i + 1 < data.size();
        const unsigned v =
            static_cast<unsigned char>(data[i]) << 16 | (two ? static_cast<unsigned char>(data[i + 1]) << 8 : 0u);
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += two ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

PointReporter::PointReporter(const char* eventName, int endpoint)
    : eventName_(eventName ? eventName : ""), params_(Json::objectValue)
{
    // The ports are the protocol's: only the host comes from deployment.
    const bool https = endpoint == 1;
    url_ = widen(std::string(https ? "https://" : "http://") +
                 platform::hosts::host(platform::hosts::Kind::Analytics, 0, https) + kCollectorPath);
}

void PointReporter::setParam(const char* name, const char* value)
{
    if (name && value)
        params_[name] = value;
}

void PointReporter::setParam(const char* name, const char16_t* value)
{
    if (name && value)
        params_[name] = wideToAnsi(value);
}

Json::Value PointReporter::event() const
{
    Globals g;
    {
        std::lock_guard<std::mutex> lock(globalsMutex);
        g = globals;
    }
    const std::string time = std::to_string(eventTimeMs());
    Json::Value e = params_;
    e["s_t"] = g.osName;
    e["u_m"] = g.localTime;
    e["l_ver"] = static_cast<Json::Int64>(g.localVersionCode);
    e["r_ver"] = static_cast<Json::Int64>(g.serverVersionCode);

    Json::Value event(Json::objectValue);
    event["ac"] = eventName_;
    event["av"] = g.localVersionName;
    event["ct"] = g.clientType;
    event["d"] = g.deviceAddress;
    event["dur"] = 0;
    event["e"] = e;
    event["i"] = 0;
    event["oct"] = time;
    event["pc"] = g.pc;
    event["pro"] = "host_site";
    event["pt"] = time;
    event["rid"] = 0;
    event["rpc"] = g.rpc;
    return event;
}

std::string PointReporter::eventText() const
{
    // Not FastWriter: it would escape the ANSI (GBK) bytes as if they were
    // UTF-8. This writer passes them as they are.
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, event()) + "\n\n";
}

std::string PointReporter::formBody() const
{
    std::string multi;
    for (char c : base64Encode(eventText())) {
        if (c == '+')
            multi += "%2B";
        else if (c == '/')
            multi += "%2F";
        else
            multi += c;
    }
    return "multi=" + multi + "&v=1.0";
}

int PointReporter::send() const
{
    std::string reply;
    return postExchange(url_, u"Content-Type: application/x-www-form-urlencoded", formBody(), reply);
}

} // namespace tresk
