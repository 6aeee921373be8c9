// Deployment data that every program reads the same way: the server host of
// each host kind per environment slot and scheme, the crash-upload FTP host,
// extra trusted CA certificates, and the connection mappings of tests.
//
// Compiled-in hosts live under the reserved ".example" domain. The INI file
// named by ZAVMO_HOSTS overrides them, re-read on every call:
//
//   [release]
//   env0.https=host:port
//   env0.http=host:port
//   ...            (env0 to env2, one line per scheme)
//   [crash_ftp]
//   host=host
//   port=port
//
// Sections and keys are matched without regard to case; ";" and "#" start
// comment lines; the first occurrence of a key counts. A missing file, section
// or key, or an empty value, leaves the compiled-in host.
#pragma once

#include <string>
#include <vector>

namespace platform::hosts {

// The hosts file's section names, in this order: passport, client_api,
// tool_api, web, creator, customer_service, analytics, picture_cdn,
// static_cdn, release, obs_site, group_invite.
enum class Kind {
    Passport,
    ClientApi,
    ToolApi,
    Web,
    Creator,
    CustomerService,
    Analytics,
    PictureCdn,
    StaticCdn,
    Release,
    ObsSite,
    GroupInvite,
};
constexpr int kKindCount = 12;

// "host" or "host:port" for a kind, an environment slot (0 to 2; any other
// value reads slot 0) and a scheme.
std::string hostPort(Kind kind, int slot, bool https);

// The host alone (a bracketed IPv6 address keeps its brackets). Programs whose
// ports are fixed by their protocol take this and add their own port.
std::string host(Kind kind, int slot, bool https);

// "scheme://host[:port]", the port left out when it is the scheme's default.
std::string origin(Kind kind, int slot, bool https);

// The crash-archive FTP server's host (no port, no scheme).
std::string crashFtpHost();

// The crash-archive FTP server's port: [crash_ftp] port, or
// kDefaultCrashFtpPort when it is absent or not a port number (1 to 65535;
// a crash handler has no one to tell, so a bad value falls back).
constexpr int kDefaultCrashFtpPort = 3747;
int crashFtpPort();

// ZAVMO_CA_BUNDLE: a PEM file of CA certificates trusted beside the system's
// (never instead of them); empty when unset.
std::string caBundle();

// ZAVMO_CONNECT_TO: libcurl CONNECT_TO entries ("HOST:PORT:TO_HOST:TO_PORT",
// an empty HOST or PORT matching any) separated by commas or blanks; empty
// when unset. Lets tests send host:443 and host:80 to a local server.
std::vector<std::string> connectTo();

// Splits "host:port" into its two parts; the port is empty when there is
// none. "[::1]:443" gives "[::1]" and "443".
void splitHostPort(const std::string& hostPort, std::string& host, std::string& port);

} // namespace platform::hosts
