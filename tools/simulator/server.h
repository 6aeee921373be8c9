#pragma once
// The simulator's two listeners (plain HTTP and TLS on ephemeral ports of
// 127.0.0.1), request recording, reply modes and the /__sim/ control paths.

#include "certificates.h"
#include "endpoint.h"
#include "mode.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace zavmo::sim {

class Server
{
public:
    // requestsFile receives one JSON line per recorded request.
    Server(std::vector<Endpoint> endpoints, Credentials credentials, std::string requestsFile);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds both listeners and returns once both accept; throws on failure.
    void start();
    int httpPort() const { return httpPort_; }
    int httpsPort() const { return httpsPort_; }

    // Waits up to ms unless stopped or reset first (then false).
    bool holdReply(int ms);

    // True once POST /__sim/shutdown was answered.
    bool shutdownRequested() const { return shutdownRequested_; }

    // Stops both listeners and releases held replies. Returns true when every
    // connection thread ended within the grace time.
    bool stop(std::chrono::milliseconds grace);

private:
    void handle(const httplib::Request& req, httplib::Response& res, const char* scheme);
    void handleControl(const httplib::Request& req, httplib::Response& res);
    void applyMode(const Mode& mode, const Endpoint& ep, const httplib::Request& req, const Json::Value& record,
                   httplib::Response& res);
    void writeRecord(Json::Value& record);
    void clearRecords();
    Mode modeOf(const std::string& endpoint);
    std::string endpointName(const std::string& path) const;
    // Waits up to ms; returns false when the wait ended early (stop, or reset
    // when releasedByReset).
    bool hold(int ms, bool releasedByReset);
    void install(httplib::Server& server, const char* scheme);

    std::vector<Endpoint> endpoints_;
    Credentials credentials_;
    std::unique_ptr<httplib::Server> http_;
    std::unique_ptr<httplib::SSLServer> https_;
    std::thread httpThread_;
    std::thread httpsThread_;
    std::atomic<int> threadsDone_{0};
    int httpPort_ = 0;
    int httpsPort_ = 0;

    std::mutex logMutex_;
    int logFd_ = -1;
    long long nextSeq_ = 1;

    std::mutex stateMutex_;
    std::condition_variable wake_;
    std::map<std::string, Mode> modes_;
    unsigned long resetGeneration_ = 0;
    bool stopping_ = false;
    std::atomic<bool> shutdownRequested_{false};
};

} // namespace zavmo::sim
