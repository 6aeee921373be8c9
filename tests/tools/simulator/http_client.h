#pragma once
// A small libcurl client for the simulator tests: an independent TLS and HTTP
// implementation, so the simulator is not only checked against itself.

#include <curl/curl.h>

#include <string>
#include <vector>

namespace zavmo::test {

struct Call
{
    std::string method = "POST";
    std::string url;
    std::string body;
    bool withBody = true; // false: no body and no Content-Length
    std::string contentType = "application/x-www-form-urlencoded";
    std::string caFile;               // empty: the system's trust store only
    std::vector<std::string> resolve; // CURLOPT_RESOLVE entries
    std::vector<std::string> headers; // extra "Name: value" lines, sent as they are
    long timeoutMs = 5000;
};

struct Reply
{
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    bool withBody = true; // false: no body and no Content-Length
    long elapsedMs = 0;
};

Reply send(const Call& call);

// A form body "multi=<base64>&v=1.0" as the analytics writers build it.
std::string eventBody(const std::string& json, bool percentEncode);

} // namespace zavmo::test
