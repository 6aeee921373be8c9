// One install event: its JSON object, its form body and its POST to the
// analytics collector. The event text and the collector's reply go to the
// install log "point.log".
#pragma once

#include <json/json.h>

#include <string>

namespace pivlo {

// The values an event carries from the installer's call.
struct EventParameters
{
    std::string action = "install";
    std::string version = "0";
    std::string channel = "web_olvane";
};

// Limits of one POST. WinHTTP's defaults for connecting and for a send or
// receive without progress, and a bound on the whole exchange so that a
// collector that trickles cannot hold an installer.
struct PostLimits
{
    long connectMs = 60000;
    long idleMs = 30000;
    long totalMs = 90000;
};

// Empties event and sets "ac", "i", "d", "ct", "pro", "av", "pc", "rpc", "e"
// ({"pc_os": ...}), "rid", "pt", "oct", "dur"; "pt" and "oct" are whole
// seconds since 1970 as a signed 32-bit number, read by two clock calls.
void BuildPointEvent(const EventParameters& parameters, Json::Value& event);

// The compact JSON text of the event (keys in byte order, the ANSI bytes of
// its strings as they are) followed by "\n\n".
std::string PointEventText(const Json::Value& event);

// "multi=" + Base64 of the event text + "&v=1.0", nothing percent-escaped;
// logs the text first.
void EncodePointBody(const Json::Value& event, std::string& body);

// Standard alphabet, "=" padding, no line breaks.
void Base64Encode(const std::string& input, std::string& output);

// POSTs body to the host and path of url, always as plain HTTP on port 80,
// with agent "User-Agent" and "Content-type: application/x-www-form-urlencoded";
// logs each piece of the reply as it arrives. Nothing is reported: one attempt,
// whatever the outcome, within limits.
void PostForm(const std::u16string& url, const char* body, const PostLimits& limits = PostLimits());

// The collector address: "https://" + the analytics host + "/deliver/pelk2".
std::u16string CollectorUrl();

// The running Windows' display name ("unknown OperatingSystem." when the
// version cannot be read or has no name).
std::string GetOsDisplayName();
// The name for a version: workstation or not, x64 processor or not.
std::string OsDisplayName(int major, int minor, bool workstation, bool x64);

} // namespace pivlo
