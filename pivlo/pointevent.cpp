#include "pointevent.h"

#include "deviceid.h"
#include "textlogmanager.h"

#include <platform/hosts.h>
#include <platform/http.h>
#include <platform/sysinfo.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>

namespace pivlo {

namespace {

constexpr const char* kLogFile = "point.log";
constexpr int kLogPattern = 3;
// The host and path buffers of the Windows URL parser (wide chars, NUL
// included).
constexpr size_t kUrlPartSize = 255;
// WinHTTP's error numbers for a time-out and a broken connection.
constexpr unsigned kErrorTimeout = 12002;
constexpr unsigned kErrorConnection = 12030;

Json::Int secondsNow()
{
    return static_cast<Json::Int>(static_cast<int32_t>(std::time(nullptr)));
}

// Host (an IPv6 address keeps its brackets) and path of "scheme://host[:port]/path".
// ASCII only; false for anything else, as for parts that would not fit.
bool CrackUrl(const std::u16string& url, std::string& host, std::string& path)
{
    std::string narrow;
    for (char16_t c : url) {
        if (c == 0 || c >= 0x80)
            return false;
        narrow += static_cast<char>(c);
    }
    const size_t scheme = narrow.find("://");
    if (scheme == std::string::npos || scheme == 0)
        return false;
    const size_t start = scheme + 3;
    const size_t slash = narrow.find('/', start);
    const std::string authority = narrow.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    std::string port;
    platform::hosts::splitHostPort(authority, host, port);
    path = slash == std::string::npos ? "/" : narrow.substr(slash);
    return !host.empty() && host.size() < kUrlPartSize && path.size() < kUrlPartSize &&
           host.find_first_of("@ ") == std::string::npos;
}

} // namespace

void BuildPointEvent(const EventParameters& parameters, Json::Value& event)
{
    event = Json::Value(Json::objectValue);
    event["ac"] = parameters.action;
    event["i"] = 0;
    event["d"] = GetDeviceId();
    event["ct"] = parameters.channel;
    event["pro"] = "host_site";
    event["av"] = parameters.version;
    event["pc"] = "com_module";
    event["rpc"] = "com_module";
    Json::Value extra(Json::objectValue);
    extra["pc_os"] = GetOsDisplayName();
    event["e"] = extra;
    event["rid"] = 0;
    event["pt"] = secondsNow();
    event["oct"] = secondsNow();
    event["dur"] = 0;
}

std::string PointEventText(const Json::Value& event)
{
    // Not FastWriter: it would escape the ANSI (GBK) bytes as if they were
    // UTF-8. This writer gives the same compact text and passes them as they
    // are; the newline stands for FastWriter's own.
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, event) + "\n\n";
}

void EncodePointBody(const Json::Value& event, std::string& body)
{
    const std::string text = PointEventText(event);
    WriteTextLog(kLogFile, kLogPattern, "%s", text.c_str());
    std::string encoded;
    Base64Encode(text, encoded);
    body = "multi=" + encoded + "&v=1.0";
}

void Base64Encode(const std::string& input, std::string& output)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    output.clear();
    output.reserve((input.size() + 2) / 3 * 4);
    // Six bits at a time from a bit accumulator; the last group is filled
    // with zero bits.
    uint32_t bits = 0;
    int count = 0;
    for (unsigned char c : input) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) {
            count -= 6;
            output += alphabet[(bits >> count) & 0x3f];
        }
    }
    if (count > 0)
        output += alphabet[(bits << (6 - count)) & 0x3f];
    output.append((3 - input.size() % 3) % 3, '=');
}

void PostForm(const std::u16string& url, const char* body, const PostLimits& limits)
{
    std::string host, path;
    if (!body || !CrackUrl(url, host, path))
        return;
    platform::http::Request request;
    request.method = "POST";
    // Port 80 and plain HTTP whatever the address's scheme says.
    request.url = "http://" + host + ":80" + path;
    request.userAgent = "User-Agent";
    request.headers = {"Content-type: application/x-www-form-urlencoded"};
    request.hasBody = true;
    request.body = body;
    request.connectTimeoutMs = limits.connectMs;
    request.idleTimeoutMs = limits.idleMs;
    request.followRedirects = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.totalMs);

    bool bodyBegun = false;
    platform::http::Callbacks callbacks;
    callbacks.onData = [&bodyBegun](const char* data, size_t size) {
        // One record per piece, as each read of the reply is logged.
        const std::string piece(data, size);
        WriteTextLog(kLogFile, kLogPattern, "%s", piece.c_str());
        bodyBegun = true;
        return true;
    };
    callbacks.onPoll = [deadline] { return std::chrono::steady_clock::now() < deadline; };
    const platform::http::Result result = platform::http::perform(request, callbacks);
    if (result.outcome == platform::http::Outcome::BodyFailed) {
        // The reply broke off while it was read; once part of it is in the
        // log, the log says so too.
        const unsigned error = result.timedOut ? kErrorTimeout : kErrorConnection;
        if (bodyBegun)
            WriteTextLog(kLogFile, kLogPattern, "Error %u in WinHttpReadData.\n", error);
        std::printf("Error %u in WinHttpQueryDataAvailable.\n", error);
        std::fflush(stdout);
    }
}

std::u16string CollectorUrl()
{
    const std::string url =
        "https://" + platform::hosts::host(platform::hosts::Kind::Analytics, 0, true) + "/deliver/pelk2";
    return std::u16string(url.begin(), url.end()); // host names are ASCII
}

std::string OsDisplayName(int major, int minor, bool workstation, bool x64)
{
    // Asked of the kernel first: these two are named at once.
    if (major == 6 && minor == 3)
        return "Windows 8.1";
    if (major == 10 && minor == 0)
        return "Windows 10";
    const auto pick = [workstation](const char* ws, const char* other) { return workstation ? ws : other; };
    switch (major * 100 + minor) {
    case 400:
        return "Windows_NT 4.0"; // the stand-in only reports NT systems
    case 410:
        return "Windows 98";
    case 490:
        return "Windows Me";
    case 500:
        return "Windows 2000";
    case 501:
        return "Windows XP";
    case 502:
        if (workstation && x64)
            return "Windows XP Professional x64 Edition";
        return "Windows Server 2003"; // no R2 flag here
    case 600:
        return pick("Microsoft Windows Vista", "Microsoft Windows Server 2008");
    case 601:
        return pick("Windows 7", "Windows Server 2008 R2");
    case 602:
        return pick("Windows 8", "Windows Server 2012");
    default:
        return "unknown OperatingSystem.";
    }
}

std::string GetOsDisplayName()
{
    const platform::sysinfo::OsVersion v = platform::sysinfo::osVersion();
    return OsDisplayName(v.major, v.minor, v.workstation, v.is64Bit);
}

} // namespace pivlo
