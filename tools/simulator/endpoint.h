#pragma once
// What an endpoint of the simulator is made of. The server does everything
// common to all of them (recording, method and content-type checks, reply
// modes); an endpoint only says where it lives, what it decodes into the
// request record and what it answers normally.

#include <httplib.h>
#include <json/json.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zavmo::sim {

struct Endpoint
{
    // Key of the reply mode and the "endpoint" field of the records.
    std::string name;
    // Exact path, or a path prefix when pathIsPrefix (CDN trees).
    std::string path;
    bool pathIsPrefix = false;
    // Others get 405.
    std::vector<std::string> methods{"POST"};
    // Media type the body must have (case-insensitive, parameters ignored);
    // empty accepts any. Others get 415.
    std::string mediaType;

    // Adds the endpoint's decoded fields to the record; runs for every
    // accepted request, whatever the mode, before the record is written.
    std::function<void(const httplib::Request&, Json::Value& record)> decode;
    // The reply in mode "success" (and after "delay:MS").
    std::function<void(const httplib::Request&, const Json::Value& record, httplib::Response&)> reply;
    // The JSON body of mode "error:N"; the default is {"error":N,"msg":"simulated error"}.
    std::function<Json::Value(int code)> errorEnvelope;
    // Further replies by name, answered in mode "reply:NAME": the odd shapes a
    // client must cope with that no error code describes.
    std::map<std::string, std::function<void(const httplib::Request&, const Json::Value& record, httplib::Response&)>>
        variants;
    // Forgets the endpoint's own state; runs on POST /__sim/reset.
    std::function<void()> reset;
    // Modes of the endpoint's own beside the common ones: true for a mode text
    // it understands. In such a mode `reply` runs, and finds the mode text in
    // record["mode"].
    std::function<bool(const std::string& mode)> acceptsMode;
};

// Where the endpoints find what the test prepared.
struct Context
{
    // The simulator's folder (--dir).
    std::string folder;
    // Root of the served file tree (--files, default <folder>/files).
    std::string filesRoot;
};

// Sets a compact JSON body with content type application/json.
void setJson(httplib::Response& res, const Json::Value& body, int status = 200);
std::string compactJson(const Json::Value& value);
// Parses text as strict JSON (what a platform server accepts); errors says why not.
bool parseStrictJson(const std::string& text, Json::Value& out, std::string& errors);

// Waits up to ms inside a reply that is held part-way (a stalled or throttled
// body). Returns false when the simulator stops or is reset meanwhile: the
// endpoint then ends the reply.
bool holdReply(int ms);

// Every endpoint the simulator serves.
std::vector<Endpoint> allEndpoints(const Context& context);

// The analytics collector, "pelk2".
Endpoint analyticsCollector();

// The release service's package query, "checkPackage".
Endpoint packageQuery();
// The paths below the files root at which the CDN and the release service
// serve installers (the CDN's as Olvane's URL table names them), one a line:
// the simulator's installers.txt.
std::string installerPaths();

// The account and live-room API (account.cpp; its account in account.h).
Endpoint toolTimeStamp();
Endpoint loginCheck();
Endpoint shortTokenLogin();
Endpoint myInfo();
Endpoint rtmpList();
Endpoint myRoom();
Endpoint startLiveRoom();
Endpoint closeRoom();
Endpoint anchorGuildCheck();
Endpoint captchaPage();
// QR-code login: the scan code (named replies "datastring", "emptycode") and
// the scan-state poll (named reply "expired").
Endpoint scanCode();
Endpoint scanAuth();
// Outside-account login, "oauth": sign-in page, provider, sign-in request
// (named replies "denied", "nostate", "newuser").
Endpoint oauthLogin();

// The release service's update check; its reply is the file
// replies/checkUpdate.json in the simulator's folder when there is one.
Endpoint updateCheck(const Context& context);

// GET of the files under root: the request path minus prefix names the file.
// Content-Length, single byte ranges (206, and 416 with "bytes */SIZE"), HEAD,
// 404 for what is missing. Own modes: "throttle:BYTES_PER_SECOND",
// "cutat:OFFSET" (a body that starts before that file offset ends there with
// the connection; 0 cuts every body after the headers), "stallat:OFFSET" (the
// same, but the connection stays open until the stall time passes or the
// simulator is reset), "nolength" (no
// Content-Length; the close ends the body), "full" (Range ignored: 200 with
// the whole file), "redirect:LOCATION" (302), "rangefrom:OFFSET" (a range is
// answered from that file offset, whatever it asked for), "chunkedcut:OFFSET"
// (chunked coding beside the whole body's Content-Length; the chunks end at
// that file offset).
Endpoint fileTree(std::string name, std::string prefix, std::string root);

} // namespace zavmo::sim
