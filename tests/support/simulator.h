#pragma once
// Starts the platform simulator (zavmo-sim) for one test and reads what it
// recorded. Each instance runs its own simulator in a fresh folder under
// $TMPDIR; the destructor stops it and removes the folder.
//
//   zavmo::test::Simulator sim;          // throws when it does not start
//   sim.setEnvironment();                // ZAVMO_HOSTS, ZAVMO_CA_BUNDLE, ZAVMO_CONNECT_TO
//   sim.setMode("pelk2", "error:3");
//   ... exercise a client ...
//   auto events = sim.waitForRequests("pelk2", 1, 5000);

#include <json/json.h>

#include <string>
#include <sys/types.h>
#include <vector>

namespace zavmo::test {

class Simulator
{
public:
    struct Options
    {
        // Empty: the zavmo-sim of this build.
        std::string program;
        // The simulator ends by itself after this many seconds...
        int maxSeconds = 600;
        // ...or when this process ends (0: the calling process).
        pid_t parentPid = 0;
        int readyTimeoutMs = 10000;
        // Root of the files served below /files/; empty: filesFolder().
        std::string filesRoot;
    };

    // Throws std::runtime_error (with the simulator's log) when it is not
    // ready within the time-out.
    Simulator();
    explicit Simulator(const Options& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    int httpPort() const { return httpPort_; }
    int httpsPort() const { return httpsPort_; }
    pid_t pid() const { return pid_; }
    // "http://127.0.0.1:PORT" and "https://127.0.0.1:PORT".
    std::string httpOrigin() const;
    std::string httpsOrigin() const;

    const std::string& folder() const { return folder_; }
    std::string hostsFile() const { return folder_ + "/hosts.ini"; }
    std::string caFile() const { return folder_ + "/ca.pem"; }
    std::string connectToFile() const { return folder_ + "/connect-to.txt"; }
    std::string requestsFile() const { return folder_ + "/requests.jsonl"; }
    std::string installersFile() const { return folder_ + "/installers.txt"; }
    std::string logFile() const { return folder_ + "/sim.log"; }
    // What the file endpoint serves: "/files/a/b" is filesRoot()/a/b.
    const std::string& filesRoot() const { return filesRoot_; }
    // The paths below filesRoot() at which installers are served (installers.txt).
    std::vector<std::string> installerPaths() const;

    // Sets ZAVMO_HOSTS and ZAVMO_CA_BUNDLE of this process to this simulator's
    // files, and ZAVMO_CONNECT_TO to its mappings (any host's port 443 and 80
    // to its TLS and plain listeners); the destructor unsets them if they
    // still point here.
    void setEnvironment() const;

    // Modes: "success", "error:N", "badjson", "http500", "cut", "stall",
    // "delay:MS", "reply:NAME" (a named reply of the endpoint). Throws when the
    // simulator refuses the endpoint or mode.
    void setMode(const std::string& endpoint, const std::string& mode);
    std::string mode(const std::string& endpoint);
    // The body that an endpoint answering a prepared reply (checkUpdate)
    // sends in mode "success", as bytes; removeReply() goes back to its
    // default.
    void setReply(const std::string& endpoint, const std::string& body) const;
    void removeReply(const std::string& endpoint) const;

    // Every mode back to "success", held replies released, the request log
    // emptied.
    void reset();

    // The recorded requests in order: all of them when endpoint is empty,
    // else those whose "endpoint" field equals it.
    std::vector<Json::Value> requests(const std::string& endpoint = std::string()) const;
    // Those of the endpoint whose text field `field` equals value (e.g. the
    // "stage" of the outside-account login).
    std::vector<Json::Value> requests(const std::string& endpoint, const std::string& field,
                                      const std::string& value) const;
    // Polls until at least count requests of the endpoint are recorded or the
    // time-out passes; returns what is recorded then (check its size).
    std::vector<Json::Value> waitForRequests(const std::string& endpoint, size_t count, int timeoutMs) const;

    // Asks the simulator to stop and waits for it; kills it by pid when it
    // does not stop in time. Returns true when it stopped on request. The
    // folder stays until destruction.
    bool shutdown(int timeoutMs = 5000);
    // False once the process has ended.
    bool running();

private:
    // A bounded HTTP/1.0 request to the control paths; returns the status
    // (-1 when no reply) and fills body.
    int control(const std::string& method, const std::string& path, const std::string& body, std::string* reply) const;
    bool waitForExit(int timeoutMs);
    void killAndReap();
    std::string logTail() const;

    std::string folder_;
    std::string filesRoot_;
    std::string connectTo_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int httpPort_ = 0;
    int httpsPort_ = 0;
};

} // namespace zavmo::test
