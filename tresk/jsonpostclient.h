#pragma once
// The release service's update check and the small synchronous POST client
// under it (also used by the analytics event).

#include "widetext.h"

#include <string>

namespace tresk {

// The update check's endpoint path on the release service.
extern const char16_t* const kCheckUpdatePath;

// One POST exchange as the launcher's WinHTTP code makes it: the agent "A
// WinHTTP Example Program/1.0", one added header line, the body, and TLS
// exactly when the address's port is 443. Only the address's path goes out
// (not its query). The status is not examined: any reply body is returned.
// Results: 0 a body was read; -1 bad address; -5 the request could not be
// sent (connection or TLS failure); -10 no reply came; -7 the reply's body
// broke off or passed 1 MiB (reading stops there); -111 the reply had no
// body.
int postExchange(const std::u16string& url, const std::u16string& headerLine, const std::string& body,
                 std::string& response);

class JsonPostClient
{
public:
    JsonPostClient(const std::u16string& url, const std::u16string& headerLine);

    // Set a value or a sub-tree at a "."-separated path, replacing what is
    // there. Every value is written as a JSON string.
    void put(const std::u16string& path, const std::u16string& value);
    void putInt(const std::u16string& path, long long value);
    void putChild(const std::u16string& path, const WideTree& tree);

    // The tree as Boost's indented JSON, converted to the ANSI code page.
    std::string buildBody() const;
    // postExchange with the body; the reply is left in response().
    int post();
    const std::string& response() const { return response_; }

private:
    std::u16string url_;
    std::u16string header_;
    WideTree body_;
    std::string response_;
};

// Asks the release service of the domain index (0-2; others count as 0)
// whether an update exists. Results: 0 offered (descUrl holds the address of
// the server version.ini, lastUpdateStamp >= 1); 1 the address does not fit
// the buffer or is empty; 2 the stamp is below 1; 3 "needUpdate" is not 1;
// 4 "error" is not 0; 5 the reply is not JSON, nests deeper than 32 levels
// (refused before parsing), lacks a key or has one of the wrong type; negative: postExchange's result. descCapacity
// counts characters; the text is terminated when there is room.
int checkForUpdate(int localVersion, const std::u16string& appCode, const std::u16string& versionName,
                   char16_t* descUrl, size_t descCapacity, long long* lastUpdateStamp, int domain);

// The release service's address for a domain index.
std::u16string releaseServiceUrl(int domain);

} // namespace tresk
