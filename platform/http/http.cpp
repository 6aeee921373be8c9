#include "platform/http.h"

#include "platform/hosts.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

namespace platform::http {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 5;

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool hasHeader(const std::vector<std::string>& lines, const std::string& name)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        const size_t colon = line.find(':');
        return colon != std::string::npos && sameText(line.substr(0, colon), name);
    });
}

struct EasyDeleter
{
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter
{
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct ListDeleter
{
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct X509Deleter
{
    void operator()(X509* c) const { X509_free(c); }
};
using List = std::unique_ptr<curl_slist, ListDeleter>;

void append(List& list, const std::string& line)
{
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown) {
        (void)list.release();
        list.reset(grown);
    }
}

// The extra trusted certificates, read from ZAVMO_CA_BUNDLE for each exchange.
struct ExtraCertificates
{
    std::vector<std::unique_ptr<X509, X509Deleter>> certificates;
    bool unreadable = false;
};

ExtraCertificates loadExtraCertificates()
{
    ExtraCertificates extra;
    const std::string path = hosts::caBundle();
    if (path.empty())
        return extra;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file) {
        while (X509* cert = PEM_read_X509(file, nullptr, nullptr, nullptr))
            extra.certificates.emplace_back(cert);
        std::fclose(file);
        ERR_clear_error(); // the end of the file reads as an error
    }
    extra.unreadable = extra.certificates.empty();
    return extra;
}

CURLcode addCertificates(CURL*, void* sslContext, void* user)
{
    auto* extra = static_cast<ExtraCertificates*>(user);
    if (extra->unreadable)
        return CURLE_SSL_CACERT_BADFILE;
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    for (const auto& cert : extra->certificates)
        X509_STORE_add_cert(store, cert.get()); // a certificate already there is fine
    ERR_clear_error();
    return CURLE_OK;
}

struct Exchange
{
    const Request* request = nullptr;
    const Callbacks* callbacks = nullptr;
    Result* result = nullptr;
    Clock::time_point lastActivity;
    long status = 0;
    Headers headers;
    bool headersDone = false; // the final reply's header block ended
    bool aborted = false;
    curl_off_t lastUp = 0;
    curl_off_t lastDown = 0;
};

size_t onHeaderLine(char* data, size_t size, size_t count, void* user)
{
    auto* x = static_cast<Exchange*>(user);
    const size_t n = size * count;
    x->lastActivity = Clock::now();
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        // A new reply: an interim one, a redirect, or the final one.
        const size_t space = line.find(' ');
        x->status = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
        x->headers.clear();
        return n;
    }
    if (!line.empty()) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            x->headers.emplace_back(line.substr(0, colon), value);
        }
        return n;
    }
    // The end of a header block: final unless interim or a followed redirect.
    const bool interim = x->status >= 100 && x->status < 200;
    const bool redirect = x->request->followRedirects && x->status >= 300 && x->status < 400 &&
                          !headerValue(x->headers, "Location").empty();
    if (interim || redirect)
        return n;
    x->headersDone = true;
    x->result->status = x->status;
    x->result->headers = x->headers;
    if (x->callbacks->onHeaders && !x->callbacks->onHeaders(x->status, x->headers)) {
        x->aborted = true;
        return 0;
    }
    return n;
}

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* x = static_cast<Exchange*>(user);
    const size_t n = size * count;
    x->lastActivity = Clock::now();
    if (!x->headersDone)
        return n; // the body of a redirect
    if (x->callbacks->onData) {
        if (!x->callbacks->onData(data, n)) {
            x->aborted = true;
            return 0;
        }
        return n;
    }
    x->result->body.append(data, n);
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up)
{
    auto* x = static_cast<Exchange*>(user);
    if (down != x->lastDown || up != x->lastUp) {
        x->lastDown = down;
        x->lastUp = up;
        x->lastActivity = Clock::now();
    }
    return 0;
}

bool isTlsFailure(CURLcode code)
{
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return true;
    default:
        return false;
    }
}

// Sets an option and remembers the first failure.
class Options
{
public:
    explicit Options(CURL* easy) : easy_(easy) {}
    template <typename T> void set(CURLoption option, T value)
    {
        const CURLcode rc = curl_easy_setopt(easy_, option, value);
        if (rc != CURLE_OK && first_ == CURLE_OK)
            first_ = rc;
    }
    CURLcode firstFailure() const { return first_; }

private:
    CURL* easy_;
    CURLcode first_ = CURLE_OK;
};

} // namespace

std::string headerValue(const Headers& headers, const std::string& name)
{
    for (const auto& [n, v] : headers)
        if (sameText(n, name))
            return v;
    return std::string();
}

Result perform(const Request& request, const Callbacks& callbacks)
{
    initialiseOnce();
    Result result;
    Exchange x;
    x.request = &request;
    x.callbacks = &callbacks;
    x.result = &result;

    const bool https = request.url.rfind("https://", 0) == 0;
    if (!https && request.url.rfind("http://", 0) != 0) {
        result.outcome = Outcome::BadUrl;
        result.error = "not an http or https address";
        return result;
    }

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) {
        result.error = "cannot create a libcurl handle";
        return result;
    }
    CURL* h = easy.get();
    List headers, connectTo;
    for (const std::string& line : request.headers)
        append(headers, line);
    // Only what the caller asked for goes out.
    for (const char* name : {"Accept", "Expect", "Content-Type"})
        if (!hasHeader(request.headers, name))
            append(headers, std::string(name) + ":");
    for (const std::string& entry : hosts::connectTo())
        append(connectTo, entry);
    ExtraCertificates extra = loadExtraCertificates();

    Options o(h);
    o.set(CURLOPT_URL, request.url.c_str());
    o.set(CURLOPT_PROTOCOLS_STR, "http,https");
    o.set(CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
    o.set(CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    o.set(CURLOPT_MAXREDIRS, 10L);
    o.set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    o.set(CURLOPT_NOSIGNAL, 1L);
    o.set(CURLOPT_PROXY, "");
    o.set(CURLOPT_NOPROXY, "*");
    o.set(CURLOPT_HTTPHEADER, headers.get());
    o.set(CURLOPT_CONNECT_TO, connectTo.get());
    if (!request.userAgent.empty())
        o.set(CURLOPT_USERAGENT, request.userAgent.c_str());
    o.set(CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
    o.set(CURLOPT_SSL_VERIFYPEER, 1L);
    o.set(CURLOPT_SSL_VERIFYHOST, 2L);
    // Also for plain addresses: a redirect may lead to TLS.
    if (!extra.certificates.empty() || extra.unreadable) {
        o.set(CURLOPT_SSL_CTX_FUNCTION, addCertificates);
        o.set(CURLOPT_SSL_CTX_DATA, &extra);
    }
    if (request.receiveBufferSize > 0)
        o.set(CURLOPT_BUFFERSIZE, request.receiveBufferSize);
    o.set(CURLOPT_HEADERFUNCTION, onHeaderLine);
    o.set(CURLOPT_HEADERDATA, &x);
    o.set(CURLOPT_WRITEFUNCTION, onBody);
    o.set(CURLOPT_WRITEDATA, &x);
    o.set(CURLOPT_NOPROGRESS, 0L);
    o.set(CURLOPT_XFERINFOFUNCTION, onProgress);
    o.set(CURLOPT_XFERINFODATA, &x);
    if (request.method == "GET") {
        o.set(CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
        o.set(CURLOPT_NOBODY, 1L);
    } else {
        if (request.method != "POST")
            o.set(CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (request.hasBody || request.method == "POST") {
            o.set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
            o.set(CURLOPT_POSTFIELDS, request.body.data());
        }
    }
    if (o.firstFailure() != CURLE_OK) {
        result.outcome = o.firstFailure() == CURLE_URL_MALFORMAT ? Outcome::BadUrl : Outcome::SendFailed;
        result.error = curl_easy_strerror(o.firstFailure());
        return result;
    }

    if (curl_multi_add_handle(multi.get(), h) != CURLM_OK) {
        result.error = "cannot start the transfer";
        return result;
    }
    x.lastActivity = Clock::now();
    CURLcode done = CURLE_OK;
    bool finished = false;
    while (!finished) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            done = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                done = msg->data.result;
                finished = true;
            }
        }
        if (finished)
            break;
        if (callbacks.onPoll && !callbacks.onPoll()) {
            x.aborted = true;
            break;
        }
        if (request.idleTimeoutMs > 0 &&
            Clock::now() - x.lastActivity > std::chrono::milliseconds(request.idleTimeoutMs)) {
            result.timedOut = true;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
    }

    curl_off_t uploaded = 0;
    long requestSize = 0;
    curl_easy_getinfo(h, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &requestSize);
    curl_multi_remove_handle(multi.get(), h);

    if (finished && done == CURLE_OK && !x.aborted) {
        result.outcome = Outcome::Ok;
        return result;
    }
    if (done == CURLE_OPERATION_TIMEDOUT)
        result.timedOut = true;
    result.tlsFailure = isTlsFailure(done);
    result.error = x.aborted                             ? "stopped by the caller"
                   : result.timedOut && done == CURLE_OK ? "no progress within the time-out"
                                                         : curl_easy_strerror(done);
    if (x.aborted)
        result.outcome = Outcome::Aborted;
    else if (done == CURLE_URL_MALFORMAT || done == CURLE_UNSUPPORTED_PROTOCOL)
        result.outcome = Outcome::BadUrl;
    else if (x.headersDone)
        result.outcome = Outcome::BodyFailed;
    else if (requestSize > 0 && uploaded >= static_cast<curl_off_t>(request.body.size()))
        result.outcome = Outcome::ReceiveFailed;
    else
        result.outcome = Outcome::SendFailed;
    return result;
}

} // namespace platform::http
