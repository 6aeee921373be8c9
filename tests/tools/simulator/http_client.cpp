#include "http_client.h"

#include "codec.h"

#include <chrono>

namespace zavmo::test {

namespace {

size_t collect(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

} // namespace

Reply send(const Call& call)
{
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_slist* headers = nullptr;
    curl_slist* resolve = nullptr;
    if (!call.contentType.empty())
        headers = curl_slist_append(headers, ("Content-Type: " + call.contentType).c_str());
    headers = curl_slist_append(headers, "Expect:");
    for (const std::string& line : call.headers)
        headers = curl_slist_append(headers, line.c_str());
    for (const std::string& entry : call.resolve)
        resolve = curl_slist_append(resolve, entry.c_str());

    curl_easy_setopt(curl, CURLOPT_URL, call.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, call.timeoutMs);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 3000L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_RESOLVE, resolve);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!call.caFile.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, call.caFile.c_str());
    if (call.method != "GET" && call.withBody) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, call.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(call.body.size()));
    }
    if (call.method != "GET" && (call.method != "POST" || !call.withBody))
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, call.method.c_str());

    const auto start = std::chrono::steady_clock::now();
    reply.code = curl_easy_perform(curl);
    reply.elapsedMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(headers);
    curl_slist_free_all(resolve);
    curl_easy_cleanup(curl);
    return reply;
}

std::string eventBody(const std::string& json, bool percentEncode)
{
    std::string multi = sim::base64Encode(json);
    if (percentEncode) {
        std::string encoded;
        for (char c : multi) {
            if (c == '+')
                encoded += "%2B";
            else if (c == '/')
                encoded += "%2F";
            else if (c == '=')
                encoded += "%3D";
            else
                encoded += c;
        }
        multi = encoded;
    }
    return "multi=" + multi + "&v=1.0";
}

} // namespace zavmo::test
