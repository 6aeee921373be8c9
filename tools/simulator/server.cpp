#include "server.h"

#include "codec.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <list>
#include <stdexcept>

namespace zavmo::sim {

namespace {

constexpr const char* kControlPrefix = "/__sim/";
// Parses nowhere: a JSON text cut short.
constexpr const char* kBadJsonBody = "{\"error\":0,\"msg\":";
// Stalled and keep-alive connections each hold a thread.
constexpr size_t kThreadsPerListener = 64;
constexpr size_t kPayloadMaxLength = 64u << 20;

// Serves connections on up to max threads, starting one only when no started
// thread is free. A pool made whole at once is made after its
// listener already counts as running, and under a slow runtime (a sanitizer,
// a loaded machine) the first requests would wait seconds for it.
class GrowingPool : public httplib::TaskQueue
{
public:
    explicit GrowingPool(size_t max) : max_(max) {}

    // enqueue() and shutdown() are called by the listener's thread only.
    void enqueue(std::function<void()> fn) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(fn));
        if (idle_ < jobs_.size() && threads_.size() < max_)
            threads_.emplace_back([this] { work(); });
        else
            ready_.notify_one();
    }

    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }

private:
    // Ends once stopping and no job is left.
    void work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++idle_;
            ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            --idle_;
            if (jobs_.empty())
                return;
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    const size_t max_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::list<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    size_t idle_ = 0;
    bool stopping_ = false;
};

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool pathMatches(const Endpoint& ep, const std::string& path)
{
    return ep.pathIsPrefix ? path.rfind(ep.path, 0) == 0 : path == ep.path;
}

// Calls fn(fd, local port, peer port) for each connected IPv4 socket of this
// process until fn returns true.
void forEachConnection(const std::function<bool(int, int, int)>& fn)
{
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || end == entry->d_name)
            continue;
        sockaddr_in local{}, peer{};
        socklen_t localLen = sizeof local, peerLen = sizeof peer;
        if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &localLen) != 0 ||
            local.sin_family != AF_INET ||
            getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0)
            continue;
        if (fn(static_cast<int>(fd), ntohs(local.sin_port), ntohs(peer.sin_port)))
            break;
    }
    closedir(dir);
}

// The connection's socket: from the TLS session, or for plain HTTP the
// process's socket whose two ports are those of the request.
int connectionFd(const httplib::Request& req)
{
    if (req.ssl)
        return SSL_get_fd(req.ssl);
    int found = -1;
    forEachConnection([&](int fd, int localPort, int peerPort) {
        if (localPort != req.local_port || peerPort != req.remote_port)
            return false;
        found = fd;
        return true;
    });
    return found;
}

// Ends the connection without a reply: once the socket is shut down,
// httplib's write of the response fails and it closes the socket.
void cutConnection(const httplib::Request& req, httplib::Response& res)
{
    const int fd = connectionFd(req);
    if (fd >= 0)
        shutdown(fd, SHUT_RDWR);
    else
        std::fprintf(stderr, "zavmo-sim: no socket found to cut for %s\n", req.path.c_str());
    res.status = 500;
    res.set_header("Connection", "close");
}

// Texts that are not UTF-8 would make lines that strict JSON readers refuse.
// Such a text is written as a non-UTF-8 body is: the field empty, the bytes in
// Base64 beside it ("path": "", "path_base64": "...").
void putText(Json::Value& record, const std::string& field, const std::string& text)
{
    if (isValidUtf8(text)) {
        record[field] = text;
    } else {
        record[field] = "";
        record[field + "_base64"] = base64Encode(text);
    }
}

// Adds name=value to a name -> value map of the record. A pair with bytes
// that are not UTF-8 goes, name and value in Base64, to the map's companion
// "<map>_base64" instead.
void addPair(Json::Value& record, const char* map, const std::string& name, const std::string& value, bool joinRepeats)
{
    Json::Value* slot = nullptr;
    Json::Value text;
    if (isValidUtf8(name) && isValidUtf8(value)) {
        slot = &record[map][name];
        text = value;
    } else {
        slot = &record[std::string(map) + "_base64"][base64Encode(name)];
        text = base64Encode(value);
    }
    if (slot->isNull()) {
        *slot = text;
    } else if (joinRepeats && slot->isString()) {
        *slot = slot->asString() + ", " + text.asString();
    } else {
        // A repeated name turns into an array of its values.
        if (!slot->isArray()) {
            Json::Value first = *slot;
            *slot = Json::Value(Json::arrayValue);
            slot->append(first);
        }
        slot->append(text);
    }
}

Json::Value baseRecord(const httplib::Request& req, const char* scheme)
{
    Json::Value rec;
    rec["time_ms"] = static_cast<Json::Int64>(nowMs());
    rec["scheme"] = scheme;
    rec["method"] = req.method;
    putText(rec, "path", req.path);
    rec["remote_port"] = req.remote_port;

    // From the target only: httplib also puts a form body's fields into params.
    const size_t q = req.target.find('?');
    const std::string queryString = q == std::string::npos ? std::string() : req.target.substr(q + 1);
    putText(rec, "query_string", queryString);
    rec["query"] = Json::Value(Json::objectValue);
    for (const auto& [key, value] : parseQuery(queryString))
        addPair(rec, "query", key, value, false);

    rec["headers"] = Json::Value(Json::objectValue);
    for (const auto& [name, value] : req.headers) {
        // httplib adds the connection's addresses as pseudo headers.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
            continue;
        addPair(rec, "headers", lower(name), value, true);
    }

    putText(rec, "body", req.body);
    rec["endpoint"] = "";
    return rec;
}

Json::Value defaultErrorEnvelope(int code)
{
    Json::Value body;
    body["error"] = code;
    body["msg"] = "simulated error";
    return body;
}

// The running server, for endpoints that hold a reply part-way.
std::atomic<Server*> runningServer{nullptr};

} // namespace

bool holdReply(int ms)
{
    Server* server = runningServer.load();
    if (!server) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    }
    return server->holdReply(ms);
}

bool Server::holdReply(int ms)
{
    return hold(ms, true);
}

Server::Server(std::vector<Endpoint> endpoints, Credentials credentials, std::string requestsFile)
    : endpoints_(std::move(endpoints)), credentials_(std::move(credentials))
{
    for (const Endpoint& ep : endpoints_)
        modes_[ep.name] = Mode{};
    logFd_ = ::open(requestsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (logFd_ < 0)
        throw std::runtime_error("cannot create " + requestsFile);
}

Server::~Server()
{
    Server* self = this;
    runningServer.compare_exchange_strong(self, nullptr);
    if (httpThread_.joinable() || httpsThread_.joinable())
        stop(std::chrono::seconds(5));
    if (logFd_ >= 0)
        ::close(logFd_);
}

void Server::install(httplib::Server& server, const char* scheme)
{
    server.new_task_queue = [] { return new GrowingPool(kThreadsPerListener); };
    server.set_keep_alive_timeout(2);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
    server.set_payload_max_length(kPayloadMaxLength);
    const auto all = [this, scheme](const httplib::Request& req, httplib::Response& res) {
        try {
            handle(req, res, scheme);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zavmo-sim: %s %s failed: %s\n", req.method.c_str(), req.path.c_str(), e.what());
            res.status = 500;
        }
    };
    // Before httplib reads the body: without a length it would read until the
    // client closes, where a real server answers 411.
    server.set_pre_routing_handler([this, scheme](const httplib::Request& req, httplib::Response& res) {
        const bool bodyExpected = req.method == "POST" || req.method == "PUT" || req.method == "PATCH";
        if (!bodyExpected || req.has_header("Content-Length") || req.has_header("Transfer-Encoding"))
            return httplib::Server::HandlerResponse::Unhandled;
        if (req.path.rfind(kControlPrefix, 0) != 0) {
            Json::Value record = baseRecord(req, scheme);
            record["endpoint"] = endpointName(req.path);
            record["rejected"] = "length required";
            writeRecord(record);
        }
        res.status = 411;
        res.set_header("Connection", "close");
        res.set_content("length required\n", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });
    // One handler for every path and method, so that unknown paths are
    // recorded too ("[\s\S]" also matches a decoded line break).
    const char* any = R"([\s\S]*)";
    server.Get(any, all);
    server.Delete(any, all);
    server.Options(any, all);
    // Requests with a body read it here: httplib's own reading refuses form
    // bodies above 8 KiB (a limit fixed when the library was built) before
    // anything could be recorded. The payload limit above still holds.
    const auto withBody = [all](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& content) {
        httplib::Request full = req;
        bool read = false;
        if (req.is_multipart_form_data()) {
            std::string current;
            read = content(
                [&](const httplib::MultipartFormData& part) {
                    current = part.name;
                    full.files.emplace(part.name, part);
                    return true;
                },
                [&](const char* data, size_t size) {
                    auto it = full.files.upper_bound(current);
                    if (it == full.files.begin())
                        return false;
                    (--it)->second.content.append(data, size);
                    return true;
                });
        } else {
            read = content([&](const char* data, size_t size) {
                full.body.append(data, size);
                return true;
            });
        }
        if (!read) {
            if (res.status == -1)
                res.status = 400;
            return;
        }
        all(full, res);
    };
    server.Post(any, withBody);
    server.Put(any, withBody);
    server.Patch(any, withBody);
    server.Delete(any, withBody);
}

void Server::start()
{
    http_ = std::make_unique<httplib::Server>();
    https_ = std::make_unique<httplib::SSLServer>(credentials_.serverCert.get(), credentials_.serverKey.get());
    if (!https_->is_valid())
        throw std::runtime_error("TLS context rejected the server certificate");
    install(*http_, "http");
    install(*https_, "https");

    httpPort_ = http_->bind_to_any_port("127.0.0.1");
    httpsPort_ = https_->bind_to_any_port("127.0.0.1");
    if (httpPort_ <= 0 || httpsPort_ <= 0)
        throw std::runtime_error("cannot bind to 127.0.0.1");

    runningServer = this;
    httpThread_ = std::thread([this] {
        http_->listen_after_bind();
        ++threadsDone_;
    });
    httpsThread_ = std::thread([this] {
        https_->listen_after_bind();
        ++threadsDone_;
    });

    // The sockets listen once bound; this waits for the accept loops.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!(http_->is_running() && https_->is_running())) {
        if (threadsDone_ > 0 || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("listeners did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool Server::stop(std::chrono::milliseconds grace)
{
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (http_)
        http_->stop();
    if (https_)
        https_->stop();
    // httplib waits out its keep-alive time-out on idle connections before a
    // connection thread ends. With the listeners closed no connection can
    // join any more: ending the read side of those that remain wakes each
    // waiting thread at once (it reads the end and closes), while a reply
    // being written still goes out whole.
    forEachConnection([this](int fd, int localPort, int) {
        if (localPort == httpPort_ || localPort == httpsPort_)
            shutdown(fd, SHUT_RD);
        return false;
    });

    const int started = (httpThread_.joinable() ? 1 : 0) + (httpsThread_.joinable() ? 1 : 0);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (threadsDone_ < started && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (threadsDone_ < started) {
        // A connection thread is stuck; the caller ends the process.
        httpThread_.detach();
        httpsThread_.detach();
        return false;
    }
    if (httpThread_.joinable())
        httpThread_.join();
    if (httpsThread_.joinable())
        httpsThread_.join();
    return true;
}

std::string Server::endpointName(const std::string& path) const
{
    for (const Endpoint& ep : endpoints_)
        if (pathMatches(ep, path))
            return ep.name;
    return std::string();
}

Mode Server::modeOf(const std::string& endpoint)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    const auto it = modes_.find(endpoint);
    return it == modes_.end() ? Mode{} : it->second;
}

bool Server::hold(int ms, bool releasedByReset)
{
    std::unique_lock<std::mutex> lock(stateMutex_);
    const unsigned long generation = resetGeneration_;
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms),
                           [&] { return stopping_ || (releasedByReset && resetGeneration_ != generation); });
}

void Server::writeRecord(Json::Value& record)
{
    std::lock_guard<std::mutex> lock(logMutex_);
    record["seq"] = static_cast<Json::Int64>(nextSeq_++);
    const std::string line = compactJson(record) + "\n";
    // One write per line, so that a reader never sees half a record
    // followed by another.
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(logFd_, line.data() + done, line.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::perror("zavmo-sim: writing requests.jsonl");
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void Server::clearRecords()
{
    std::lock_guard<std::mutex> lock(logMutex_);
    if (::ftruncate(logFd_, 0) != 0)
        std::perror("zavmo-sim: clearing requests.jsonl");
}

void Server::handle(const httplib::Request& req, httplib::Response& res, const char* scheme)
{
    if (req.path.rfind(kControlPrefix, 0) == 0) {
        handleControl(req, res);
        return;
    }

    Json::Value record = baseRecord(req, scheme);
    const auto ep =
        std::find_if(endpoints_.begin(), endpoints_.end(), [&](const Endpoint& e) { return pathMatches(e, req.path); });
    if (ep == endpoints_.end()) {
        writeRecord(record);
        res.status = 404;
        res.set_content("not found\n", "text/plain");
        return;
    }
    record["endpoint"] = ep->name;

    // A server framework refuses these before the application sees them.
    const std::string method = req.method == "HEAD" ? "GET" : req.method;
    if (std::find(ep->methods.begin(), ep->methods.end(), method) == ep->methods.end()) {
        record["rejected"] = "method not allowed";
        writeRecord(record);
        std::string allow;
        for (const std::string& m : ep->methods)
            allow += (allow.empty() ? "" : ", ") + m;
        res.status = 405;
        res.set_header("Allow", allow);
        res.set_content("method not allowed\n", "text/plain");
        return;
    }
    if (!ep->mediaType.empty() && mediaType(req.get_header_value("Content-Type")) != ep->mediaType) {
        record["rejected"] = "unsupported content type";
        writeRecord(record);
        res.status = 415;
        res.set_content("unsupported content type\n", "text/plain");
        return;
    }

    const Mode mode = modeOf(ep->name);
    record["mode"] = mode.text();
    if (ep->decode) {
        try {
            ep->decode(req, record);
        } catch (const std::exception& e) {
            // jsoncpp throws, rather than failing, on JSON nested too deeply.
            record["decode_error"] = std::string("cannot decode: ") + e.what();
            writeRecord(record);
            res.status = 400;
            res.set_content("bad request\n", "text/plain");
            return;
        }
    }
    writeRecord(record);
    applyMode(mode, *ep, req, record, res);
}

void Server::applyMode(const Mode& mode, const Endpoint& ep, const httplib::Request& req, const Json::Value& record,
                       httplib::Response& res)
{
    switch (mode.kind) {
    case Mode::Own:
        ep.reply(req, record, res);
        return;
    case Mode::Delay:
        if (!hold(mode.value, false)) {
            cutConnection(req, res);
            return;
        }
        [[fallthrough]];
    case Mode::Success:
        if (ep.reply) {
            ep.reply(req, record, res);
        } else {
            setJson(res, defaultErrorEnvelope(0));
        }
        return;
    case Mode::Error:
        setJson(res, ep.errorEnvelope ? ep.errorEnvelope(mode.value) : defaultErrorEnvelope(mode.value));
        return;
    case Mode::BadJson:
        res.status = 200;
        res.set_content(kBadJsonBody, "application/json");
        return;
    case Mode::Http500:
        res.status = 500;
        res.set_content("simulated server error\n", "text/plain");
        return;
    case Mode::Stall:
        hold(kStallMs, true);
        cutConnection(req, res);
        return;
    case Mode::Cut:
        cutConnection(req, res);
        return;
    case Mode::Reply:
        ep.variants.at(mode.variant)(req, record, res);
        return;
    }
}

// POST /__sim/mode {"endpoint":..,"mode":..}; GET /__sim/mode[?endpoint=..];
// POST /__sim/reset (modes back to success, held replies cut, log emptied);
// POST /__sim/shutdown; GET /__sim/status.
void Server::handleControl(const httplib::Request& req, httplib::Response& res)
{
    const std::string what = req.path.substr(std::char_traits<char>::length(kControlPrefix));
    const auto fail = [&](int status, const std::string& message) {
        Json::Value body;
        body["error"] = message;
        setJson(res, body, status);
    };
    const auto knownEndpoint = [&](const std::string& name) {
        return std::any_of(endpoints_.begin(), endpoints_.end(), [&](const Endpoint& e) { return e.name == name; });
    };

    if (what == "mode" && req.method == "POST") {
        Json::Value body;
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        bool parsed = false;
        try {
            parsed = reader->parse(req.body.data(), req.body.data() + req.body.size(), &body, &errors);
        } catch (const std::exception&) {
            // nested too deeply
        }
        if (!parsed || !body.isObject() || !body["endpoint"].isString() || !body["mode"].isString())
            return fail(400, "expected {\"endpoint\":\"name\",\"mode\":\"mode\"}");
        const std::string name = body["endpoint"].asString();
        if (!knownEndpoint(name))
            return fail(404, "unknown endpoint " + name);
        auto mode = parseMode(body["mode"].asString());
        const auto ep =
            std::find_if(endpoints_.begin(), endpoints_.end(), [&](const Endpoint& e) { return e.name == name; });
        if (!mode && ep->acceptsMode && ep->acceptsMode(body["mode"].asString()))
            mode = Mode{Mode::Own, 0, body["mode"].asString()};
        if (!mode || (mode->kind == Mode::Reply && !ep->variants.count(mode->variant)))
            return fail(400, "unknown mode " + body["mode"].asString());
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            modes_[name] = *mode;
        }
        Json::Value reply;
        reply["endpoint"] = name;
        reply["mode"] = mode->text();
        return setJson(res, reply);
    }
    if (what == "mode" && req.method == "GET") {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (req.has_param("endpoint")) {
            const std::string name = req.get_param_value("endpoint");
            const auto it = modes_.find(name);
            if (it == modes_.end())
                return fail(404, "unknown endpoint " + name);
            Json::Value reply;
            reply["endpoint"] = name;
            reply["mode"] = it->second.text();
            return setJson(res, reply);
        }
        Json::Value reply(Json::objectValue);
        for (const auto& [name, mode] : modes_)
            reply[name] = mode.text();
        return setJson(res, reply);
    }
    if (what == "reset" && req.method == "POST") {
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            for (auto& entry : modes_)
                entry.second = Mode{};
            ++resetGeneration_;
        }
        wake_.notify_all();
        for (const Endpoint& ep : endpoints_)
            if (ep.reset)
                ep.reset();
        clearRecords();
        Json::Value reply;
        reply["ok"] = true;
        return setJson(res, reply);
    }
    if (what == "shutdown" && req.method == "POST") {
        Json::Value reply;
        reply["ok"] = true;
        setJson(res, reply);
        res.set_header("Connection", "close");
        shutdownRequested_ = true;
        return;
    }
    if (what == "status" && req.method == "GET") {
        Json::Value reply;
        reply["pid"] = static_cast<Json::Int64>(::getpid());
        reply["http_port"] = httpPort_;
        reply["https_port"] = httpsPort_;
        return setJson(res, reply);
    }
    fail(404, "unknown control request " + req.method + " " + req.path);
}

} // namespace zavmo::sim
