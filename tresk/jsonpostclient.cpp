#include "jsonpostclient.h"

#include "deviceinfo.h"

#include <platform/hosts.h>
#include <platform/http.h>

#include <boost/property_tree/json_parser.hpp>

#include <sstream>

namespace tresk {

const char16_t* const kCheckUpdatePath = u"/talven/release/pc/checkUpdate";

namespace {

constexpr const char* kAgent = "A WinHTTP Example Program/1.0";

// A reply is read up to this size: the service's answers are a few hundred
// bytes, and a hostile one must not fill the memory.
constexpr size_t kMaxReplyBytes = 1u << 20;
// The update check's reply nests two levels; Boost's JSON reader recurses
// once per level, so a deeper reply could exhaust the stack.
constexpr size_t kMaxReplyDepth = 32;

struct CrackedUrl
{
    std::string host;
    int port = 0;
    std::string path; // without the query
};

// Scheme, host, optional port and path of an http(s) address.
bool crackUrl(const std::string& url, CrackedUrl& out)
{
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos)
        return false;
    const std::string scheme = url.substr(0, schemeEnd);
    if (scheme != "http" && scheme != "https")
        return false;
    const size_t hostStart = schemeEnd + 3;
    size_t pathStart = url.find_first_of("/?#", hostStart);
    const std::string authority = url.substr(hostStart, pathStart - hostStart);
    std::string port;
    platform::hosts::splitHostPort(authority, out.host, port);
    if (out.host.empty() || out.host.find_first_of(" @") != std::string::npos)
        return false;
    if (port.empty()) {
        out.port = scheme == "https" ? 443 : 80;
    } else {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        out.port = std::stoi(port);
        if (out.port < 1 || out.port > 65535)
            return false;
    }
    out.path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
    out.path = out.path.substr(0, out.path.find_first_of("?#"));
    if (out.path.empty() || out.path[0] != '/')
        out.path.insert(0, "/");
    return true;
}

std::string narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::wstring treePath(const std::u16string& path)
{
    return toTreeText(path);
}

// Whether JSON text nests arrays and objects deeper than `limit` (brackets
// inside strings do not count).
bool nestedDeeperThan(const std::string& text, size_t limit)
{
    size_t depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

} // namespace

int postExchange(const std::u16string& url, const std::u16string& headerLine, const std::string& body,
                 std::string& response)
{
    CrackedUrl parts;
    if (!crackUrl(narrow(url), parts))
        return -1;
    platform::http::Request request;
    request.method = "POST";
    // The port decides TLS, whatever the scheme said.
    const bool secure = parts.port == 443;
    request.url = std::string(secure ? "https://" : "http://") + parts.host +
                  (parts.port == (secure ? 443 : 80) ? "" : ":" + std::to_string(parts.port)) + parts.path;
    request.userAgent = kAgent;
    if (!headerLine.empty())
        request.headers.push_back(wideToAnsi(headerLine));
    request.hasBody = true;
    request.body = body;
    request.followRedirects = true;

    response.clear();
    std::string received;
    bool tooLarge = false;
    platform::http::Callbacks callbacks;
    callbacks.onData = [&](const char* data, size_t size) {
        tooLarge = size > kMaxReplyBytes - received.size();
        if (!tooLarge)
            received.append(data, size);
        return !tooLarge;
    };
    const platform::http::Result result = platform::http::perform(request, callbacks);
    if (tooLarge)
        return -7;
    switch (result.outcome) {
    case platform::http::Outcome::Ok:
        break;
    case platform::http::Outcome::BadUrl:
        return -1;
    case platform::http::Outcome::SendFailed:
    case platform::http::Outcome::Aborted:
        return -5;
    case platform::http::Outcome::ReceiveFailed:
        return -10;
    case platform::http::Outcome::BodyFailed:
        return -7;
    }
    if (received.empty())
        return -111;
    // The body is taken as text: up to its first zero byte.
    response = received.substr(0, received.find('\0'));
    return 0;
}

JsonPostClient::JsonPostClient(const std::u16string& url, const std::u16string& headerLine)
    : url_(url), header_(headerLine)
{
}

void JsonPostClient::put(const std::u16string& path, const std::u16string& value)
{
    body_.put(treePath(path), toTreeText(value));
}

void JsonPostClient::putInt(const std::u16string& path, long long value)
{
    body_.put(treePath(path), toTreeText(widen(std::to_string(value))));
}

void JsonPostClient::putChild(const std::u16string& path, const WideTree& tree)
{
    body_.put_child(treePath(path), tree);
}

std::string JsonPostClient::buildBody() const
{
    std::wostringstream out;
    try {
        boost::property_tree::write_json(out, body_, true);
    } catch (const boost::property_tree::json_parser_error&) {
        // What was written stays.
    }
    return wideToAnsi(fromTreeText(out.str()));
}

int JsonPostClient::post()
{
    return postExchange(url_, header_, buildBody(), response_);
}

std::u16string releaseServiceUrl(int domain)
{
    if (domain < 0 || domain > 2)
        domain = 0;
    // The port is the protocol's (443): only the host comes from deployment.
    return u"https://" + widen(platform::hosts::host(platform::hosts::Kind::Release, domain, true)) + kCheckUpdatePath;
}

int checkForUpdate(int localVersion, const std::u16string& appCode, const std::u16string& versionName,
                   char16_t* descUrl, size_t descCapacity, long long* lastUpdateStamp, int domain)
{
    JsonPostClient client(releaseServiceUrl(domain), u"Content-Type: application/json");
    client.put(u"channelCode", u"official");
    client.put(u"appCode", appCode);
    client.putInt(u"versionCode", localVersion);
    client.put(u"versionName", versionName);
    client.put(u"deviceUid", getDeviceUid());
    client.put(u"deviceResolution", getScreenResolution());
    client.put(u"token", u"token");
    client.put(u"webView", u"");
    client.put(u"osInfo", getOsName());
    client.put(u"osType", getOsBitness());
    client.putChild(u"cpuInfo", getCpuInfo());
    client.put(u"diskInfo", getDiskInfo());
    client.put(u"memoryInfo", getMemoryInfo());
    client.put(u"memoryInfo", getMemoryInfo());
    client.put(u"driveInfo", getVideoDriverVersion());
    client.put(u"startTime", getStartTime());

    const int posted = client.post();
    if (posted != 0)
        return posted;

    if (nestedDeeperThan(client.response(), kMaxReplyDepth))
        return 5;
    try {
        boost::property_tree::ptree reply;
        std::istringstream in(client.response());
        boost::property_tree::read_json(in, reply);
        const int error = reply.get<int>("error");
        reply.get<std::string>("msg"); // required, though unused
        if (error != 0)
            return 4;
        if (reply.get<int>("data.needUpdate") != 1)
            return 3;
        int result = 0;
        const std::u16string url = ansiToWide(reply.get<std::string>("data.updateDescUrl"));
        if (url.empty() || !descUrl || url.size() > descCapacity) {
            result = 1;
        } else {
            std::copy(url.begin(), url.end(), descUrl);
            if (url.size() < descCapacity)
                descUrl[url.size()] = 0;
        }
        long long stamp = 0;
        if (lastUpdateStamp)
            *lastUpdateStamp = 0;
        stamp = reply.get<long long>("data.lastUpdateExeTime");
        if (lastUpdateStamp)
            *lastUpdateStamp = stamp;
        if (stamp < 1)
            result = 2;
        return result;
    } catch (const boost::property_tree::ptree_error&) {
        return 5;
    }
}

} // namespace tresk
