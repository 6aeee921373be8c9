#pragma once
// The launcher's analytics event ("startup_update"): a compact JSON object
// built from process-wide values and the event's parameters, posted as
// "multi=" + Base64 (with "+" and "/" written %2B and %2F) + "&v=1.0".

#include <json/json.h>

#include <cstdint>
#include <string>

namespace tresk {

// The process-wide values (the analytics globals).
void collectMacAddress(); // "d": first adapter's 6-byte address, "AA:BB:CC:DD:EE:FF"
void collectOsName();     // "e"."s_t"; kept when the version is unknown
void collectLocalTime();  // "e"."u_m": "PID+YYYY-MM-DD-hh-mm-ss"
void setVersionCodes(long long local, long long server);
void setVersionNames(const std::u16string& local, const std::u16string& server);
void setClientType(const std::u16string& appCode);
void setProcessId(long processId);
// Back to the initial values (for tests: a process sets them once).
void resetAnalyticsGlobals();

class PointReporter
{
public:
    // endpoint 1: the collector's HTTPS host; anything else its plain one.
    PointReporter(const char* eventName, int endpoint);

    // A member of "e"; null name or value is ignored. The wide form is
    // converted to the ANSI code page.
    void setParam(const char* name, const char* value);
    void setParam(const char* name, const char16_t* value);

    // The event text: the compact JSON and two line feeds.
    std::string eventText() const;
    // "multi=...&v=1.0" of eventText().
    std::string formBody() const;
    // Posts once; postExchange's result (the reply is dropped).
    int send() const;

    const std::u16string& url() const { return url_; }

private:
    Json::Value event() const;

    std::u16string url_;
    std::string eventName_;
    Json::Value params_;
};

// Base64 (standard alphabet, "=" padding).
std::string base64Encode(const std::string& data);

} // namespace tresk
