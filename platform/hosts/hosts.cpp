#include "platform/hosts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

namespace platform::hosts {

namespace {

struct KindInfo
{
    const char* section;
    const char* hosts[3];
};

// Indexed by Kind.
const KindInfo kKinds[kKindCount] = {
    {"passport", {"passport.zavmo.example", "passport.env1.zavmo.example", "passport.env2.zavmo.example"}},
    {"client_api", {"api.zavmo.example", "api.env1.zavmo.example", "api.env2.zavmo.example"}},
    {"tool_api", {"tool.zavmo.example", "tool.env1.zavmo.example", "tool.env2.zavmo.example"}},
    {"web", {"www.zavmo.example", "www.env1.zavmo.example", "www.env2.zavmo.example"}},
    {"creator", {"creator.zavmo.example", "creator.env1.zavmo.example", "creator.env2.zavmo.example"}},
    {"customer_service", {"kefu.zavmo.example", "kefu.zavmo.example", "kefu.zavmo.example"}},
    {"analytics", {"collect.zavmo.example", "collect.test.zavmo.example", "collect.test.zavmo.example"}},
    {"picture_cdn", {"img.zavmo.example", "img.zavmo.example", "img.zavmo.example"}},
    {"static_cdn", {"static.zavmo.example", "static.zavmo.example", "static.zavmo.example"}},
    {"release", {"release.zavmo.example", "release.zavmo.example", "release.zavmo.example"}},
    {"obs_site", {"obsproject.example", "obsproject.example", "obsproject.example"}},
    {"group_invite", {"group.im.example", "group.im.example", "group.im.example"}},
};

std::string trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The value of section/key in the hosts file; empty when absent.
std::string lookup(const std::string& section, const std::string& key)
{
    const std::string file = env("ZAVMO_HOSTS");
    if (file.empty())
        return std::string();
    std::ifstream in(file);
    std::string line, current;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            current = trim(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq != std::string::npos && sameText(current, section) && sameText(trim(line.substr(0, eq)), key))
            return trim(line.substr(eq + 1));
    }
    return std::string();
}

} // namespace

std::string hostPort(Kind kind, int slot, bool https)
{
    const int index = static_cast<int>(kind);
    if (index < 0 || index >= kKindCount)
        return std::string();
    if (slot < 0 || slot > 2)
        slot = 0;
    const std::string value =
        lookup(kKinds[index].section, "env" + std::to_string(slot) + (https ? ".https" : ".http"));
    return value.empty() ? kKinds[index].hosts[slot] : value;
}

void splitHostPort(const std::string& hostPort, std::string& host, std::string& port)
{
    const size_t colon = hostPort.rfind(':');
    const size_t bracket = hostPort.rfind(']');
    const bool bareIpv6 = hostPort.find(':') != colon && hostPort.front() != '[';
    if (colon == std::string::npos || bareIpv6 || (bracket != std::string::npos && bracket > colon)) {
        host = hostPort;
        port.clear();
        return;
    }
    host = hostPort.substr(0, colon);
    port = hostPort.substr(colon + 1);
}

std::string host(Kind kind, int slot, bool https)
{
    std::string h, p;
    splitHostPort(hostPort(kind, slot, https), h, p);
    return h;
}

std::string origin(Kind kind, int slot, bool https)
{
    std::string h, p;
    splitHostPort(hostPort(kind, slot, https), h, p);
    if (p.empty() || p == (https ? "443" : "80"))
        return (https ? "https://" : "http://") + h;
    return (https ? "https://" : "http://") + h + ":" + p;
}

std::string crashFtpHost()
{
    const std::string value = lookup("crash_ftp", "host");
    return value.empty() ? "crashftp.zavmo.example" : value;
}

int crashFtpPort()
{
    const std::string value = lookup("crash_ftp", "port");
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)
        return kDefaultCrashFtpPort;
    const int port = std::stoi(value);
    return port >= 1 && port <= 65535 ? port : kDefaultCrashFtpPort;
}

std::string caBundle()
{
    return env("ZAVMO_CA_BUNDLE");
}

std::vector<std::string> connectTo()
{
    std::vector<std::string> entries;
    const std::string text = env("ZAVMO_CONNECT_TO");
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of(", \t\r\n", start);
        const std::string entry = text.substr(start, end - start);
        if (!entry.empty())
            entries.push_back(entry);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return entries;
}

} // namespace platform::hosts
