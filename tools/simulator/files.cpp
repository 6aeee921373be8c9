#include "files.h"

#include "endpoint.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zavmo::sim {

namespace {

// The clients' host kinds, as their hosts file sections are named.
const char* const kHostKinds[] = {
    "passport",  "client_api",  "tool_api",   "web",     "creator",  "customer_service",
    "analytics", "picture_cdn", "static_cdn", "release", "obs_site", "group_invite",
};

} // namespace

std::string hostsIni(int httpPort, int httpsPort)
{
    const std::string http = "127.0.0.1:" + std::to_string(httpPort);
    const std::string https = "127.0.0.1:" + std::to_string(httpsPort);
    std::string ini;
    for (const char* kind : kHostKinds) {
        ini += std::string("[") + kind + "]\n";
        for (int env = 0; env < 3; ++env) {
            const std::string prefix = "env" + std::to_string(env);
            ini += prefix + ".http=" + http + "\n";
            ini += prefix + ".https=" + https + "\n";
        }
        ini += "\n";
    }
    ini += "[crash_ftp]\nhost=127.0.0.1\n";
    return ini;
}

std::string connectTo(int httpPort, int httpsPort)
{
    return ":443:127.0.0.1:" + std::to_string(httpsPort) + ",:80:127.0.0.1:" + std::to_string(httpPort) + "\n";
}

std::string readyJson(int httpPort, int httpsPort, long pid)
{
    Json::Value ready;
    ready["http_port"] = httpPort;
    ready["https_port"] = httpsPort;
    ready["pid"] = static_cast<Json::Int64>(pid);
    return compactJson(ready) + "\n";
}

void writeFileAtomically(const std::string& path, const std::string& content)
{
    const std::string temp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + temp + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            throw std::runtime_error("cannot write " + temp + ": " + std::strerror(err));
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw std::runtime_error("cannot save " + path + ": " + std::strerror(err));
    }
}

} // namespace zavmo::sim
