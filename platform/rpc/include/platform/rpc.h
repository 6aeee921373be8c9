// RPC stand-in: a per-user local service that companion programs call by
// name. Each service listens on a Unix socket in the user's runtime folder
// ($XDG_RUNTIME_DIR, else a 0700 folder /tmp/zavmo-rpc-<uid>), mode 0600, and
// accepts peers of the same user only. One JSON line per call:
//
//   request  {"id":N,"procedure":"name","args":[...]}
//   reply    {"id":N,"result":VALUE}  or  {"id":N,"error":"text"}
//
// Handlers run on the service's own thread, one call at a time; a consumer on
// another thread must hand results over itself (Qt: a queued connection).
#pragma once

#include <json/json.h>

#include <functional>
#include <memory>
#include <string>

namespace platform::rpc {

// One call waiting for its answer; complete() answers it.
class Call;
using CallHandle = std::shared_ptr<Call>;

// args is the request's array, already checked against the procedure's
// argument types. The handler must answer the call (at once or later,
// from any thread).
using Procedure = std::function<void(const Json::Value& args, const CallHandle& call)>;

// Answers a call with result (null: the empty result). False when it was
// answered before or its caller has gone.
bool complete(const CallHandle& call, const Json::Value& result = Json::Value());
// Answers a call with an error reply instead (a handler that finds its
// arguments unusable).
bool completeWithError(const CallHandle& call, const std::string& error);

class Service
{
public:
    // Called on the service thread: 1 for every caller that connected, 0 when
    // a peer of another user was refused, and 0 once when accepting callers
    // starts failing (out of descriptors: it is retried every 100 ms until a
    // caller is accepted again).
    using StatusCallback = std::function<void(int status)>;

    explicit Service(StatusCallback onStatus = {});
    // Stops the service.
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Before start(). argTypes holds one letter per argument: "O" a list or object,
    // "S" a text, "I" an integer; "" takes none. A call whose arguments do not
    // match is answered with an error and never reaches the handler. False
    // for an unknown letter or once started.
    bool registerProcedure(const std::string& name, const std::string& argTypes, Procedure handler);

    // Listens under name (letters, digits, "._-", at most 64). False when the
    // name is not valid, the service already runs, or a running service holds
    // the name; a socket left by a dead service is replaced.
    bool start(const std::string& name);
    // Ends the service thread and closes every connection; calls not yet
    // answered can no longer be. Safe to call twice.
    void stop();
    bool running() const;

    // Where the service of that name listens ("" for an invalid name).
    static std::string socketPath(const std::string& name);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A caller of a service: companion programs and tests.
class Client
{
public:
    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Tries until the service accepts or timeoutMs passes.
    bool connect(const std::string& name, int timeoutMs);
    // One call and its reply. True with *result on success; false with
    // *error for an error reply, a broken connection or no reply in time.
    bool call(const std::string& procedure, const Json::Value& args, Json::Value* result, std::string* error,
              int timeoutMs);

private:
    int fd_ = -1;
    long long nextId_ = 1;
    std::string buffer_;
};

} // namespace platform::rpc
