// HTTP client stand-in for the programs designed on WinHTTP (Tresk, Pivlo):
// one synchronous exchange per call, over libcurl.
//
// What goes on the wire is what the caller gives: the request line, Host, the
// caller's header lines verbatim, a User-Agent only when one is given and a
// Content-Length for a body; libcurl's own Accept, Expect and default
// Content-Type are removed. Proxy variables are ignored. TLS is always
// verified, against the system's CA store plus the certificates of
// ZAVMO_CA_BUNDLE; ZAVMO_CONNECT_TO redirects connections (platform/hosts.h).
// Redirects are followed as WinHTTP does by default (up to 10, never from
// https to http).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform::http {

using Headers = std::vector<std::pair<std::string, std::string>>;

// How far an exchange got before it ended; callers map these onto their own
// result codes.
enum class Outcome {
    Ok,            // a whole reply arrived (whatever its status)
    BadUrl,        // the address does not parse or is not http(s)
    SendFailed,    // no connection, TLS failure, or the request did not go out whole
    ReceiveFailed, // the request went out but no reply came
    BodyFailed,    // the reply's header came but its body did not arrive whole
    Aborted,       // a callback of the caller stopped the exchange
};

struct Request
{
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headers; // "Name: value" lines
    std::string userAgent;            // empty: no User-Agent header
    bool hasBody = false;
    std::string body;
    // WinHTTP's defaults: a connection gets 60 s; sending or receiving fails
    // after 30 s without progress. idleTimeoutMs 0 leaves the idle limit to
    // the caller's onPoll (which must then enforce one).
    long connectTimeoutMs = 60000;
    long idleTimeoutMs = 30000;
    bool followRedirects = true;
    // libcurl's receive buffer; 0 keeps its default.
    long receiveBufferSize = 0;
};

// All optional. Returning false from any of them stops the exchange
// (Outcome::Aborted).
struct Callbacks
{
    // The final reply's status and header lines, before any of its body.
    std::function<bool(long status, const Headers& headers)> onHeaders;
    // The body as it arrives; without it the body is collected in Result.
    std::function<bool(const char* data, size_t size)> onData;
    // Called every few milliseconds while the exchange runs (cancel checks,
    // the caller's own time-outs).
    std::function<bool()> onPoll;
};

struct Result
{
    Outcome outcome = Outcome::SendFailed;
    long status = 0;         // of the final reply; 0 when none came
    Headers headers;         // of the final reply
    std::string body;        // when no onData was given
    bool tlsFailure = false; // certificate or handshake failure
    bool timedOut = false;   // a time-out of this layer ended it
    std::string error;       // why it failed, for diagnostics
};

Result perform(const Request& request, const Callbacks& callbacks = Callbacks());

// The value of a header of a reply (name without regard to case); empty when
// absent.
std::string headerValue(const Headers& headers, const std::string& name);

} // namespace platform::http
