#include "platform/rpc.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::rpc {

namespace {

// A request line longer than this ends its connection.
constexpr size_t kMaxLine = 1 << 20;
// How long accepting pauses after accept() failed (out of descriptors or
// memory): the listening socket stays readable meanwhile, so retrying at once
// would spin.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

bool validName(const std::string& name)
{
    if (name.empty() || name.size() > 64)
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

// The user's runtime folder; a private folder in /tmp when there is none.
std::string runtimeFolder()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    struct stat st
    {
    };
    if (xdg && *xdg && ::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode))
        return xdg;
    const std::string folder = "/tmp/zavmo-rpc-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    // Someone else's folder, or a link planted under that name, is not ours.
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        return std::string();
    return folder;
}

bool fillAddress(const std::string& path, sockaddr_un* address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size());
    return true;
}

bool sendAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string compact(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool parseLine(const std::string& line, Json::Value* value)
{
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader->parse(line.data(), line.data() + line.size(), value, &errors);
    } catch (const std::exception&) {
        // nested past the reader's depth limit
    }
    if (!parsed)
        *value = Json::Value(); // nothing half read is acted on
    return parsed;
}

bool matchesArgTypes(const Json::Value& args, const std::string& argTypes)
{
    if (!args.isArray() || args.size() != argTypes.size())
        return false;
    for (Json::ArrayIndex i = 0; i < args.size(); ++i) {
        const Json::Value& arg = args[i];
        const char kind = argTypes[i];
        const bool ok = (kind == 'O' && (arg.isArray() || arg.isObject())) || (kind == 'S' && arg.isString()) ||
                        (kind == 'I' && arg.isIntegral() && !arg.isBool());
        if (!ok)
            return false;
    }
    return true;
}

struct Connection
{
    explicit Connection(int f) : fd(f) {}
    ~Connection()
    {
        if (fd >= 0)
            ::close(fd);
    }
    std::mutex writeMutex;
    int fd;
    bool open = true;
    std::string buffer;

    bool write(const Json::Value& reply)
    {
        std::lock_guard<std::mutex> lock(writeMutex);
        return open && sendAll(fd, compact(reply) + "\n");
    }
    void shut()
    {
        std::lock_guard<std::mutex> lock(writeMutex);
        open = false;
        ::shutdown(fd, SHUT_RDWR);
    }
};

} // namespace

class Call
{
public:
    Call(std::weak_ptr<Connection> connection, Json::Value id) : connection_(std::move(connection)), id_(std::move(id))
    {
    }
    // A call its handler dropped unanswered is answered with an error, so
    // that the caller does not wait for its time-out.
    ~Call() { answer("error", "not answered"); }
    bool answer(const char* field, const Json::Value& value)
    {
        if (answered_.exchange(true))
            return false;
        const auto connection = connection_.lock();
        if (!connection)
            return false;
        Json::Value reply(Json::objectValue);
        reply["id"] = id_;
        reply[field] = value;
        return connection->write(reply);
    }

private:
    std::weak_ptr<Connection> connection_;
    Json::Value id_;
    std::atomic<bool> answered_{false};
};

bool complete(const CallHandle& call, const Json::Value& result)
{
    return call && call->answer("result", result);
}

bool completeWithError(const CallHandle& call, const std::string& error)
{
    return call && call->answer("error", error);
}

struct Service::State
{
    StatusCallback onStatus;
    std::map<std::string, std::pair<std::string, Procedure>> procedures;
    std::thread thread;
    int listenFd = -1;
    int wakeFds[2] = {-1, -1};
    std::string path;
    std::atomic<bool> running{false};
    // While accept() keeps failing: when to try again, and that the failure
    // was reported (once an episode).
    std::chrono::steady_clock::time_point acceptPausedUntil;
    bool acceptFailing = false;

    void status(int value)
    {
        if (onStatus)
            onStatus(value);
    }

    void dispatch(const std::shared_ptr<Connection>& connection, const std::string& line)
    {
        Json::Value request;
        Json::Value id;
        if (parseLine(line, &request) && request.isObject())
            id = request["id"];
        auto call = std::make_shared<Call>(connection, id);
        if (!request.isObject() || !request["procedure"].isString()) {
            call->answer("error", "bad request");
            return;
        }
        const auto it = procedures.find(request["procedure"].asString());
        if (it == procedures.end()) {
            call->answer("error", "unknown procedure");
            return;
        }
        const Json::Value args = request.isMember("args") ? request["args"] : Json::Value(Json::arrayValue);
        if (!matchesArgTypes(args, it->second.first)) {
            call->answer("error", "arguments do not match \"" + it->second.first + "\"");
            return;
        }
        it->second.second(args, call);
    }

    // False when the connection is done with.
    bool readFrom(const std::shared_ptr<Connection>& connection)
    {
        char chunk[4096];
        const ssize_t n = ::recv(connection->fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        if (n <= 0)
            return false;
        connection->buffer.append(chunk, static_cast<size_t>(n));
        size_t newline;
        while ((newline = connection->buffer.find('\n')) != std::string::npos) {
            const std::string line = connection->buffer.substr(0, newline);
            connection->buffer.erase(0, newline + 1);
            dispatch(connection, line);
        }
        return connection->buffer.size() <= kMaxLine;
    }

    void accept(std::list<std::shared_ptr<Connection>>& connections)
    {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED)
                return;
            acceptPausedUntil = std::chrono::steady_clock::now() + kAcceptPause;
            if (!acceptFailing)
                status(0);
            acceptFailing = true;
            return;
        }
        acceptFailing = false;
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid()) {
            ::close(fd);
            status(0);
            return;
        }
        // A caller that stops reading must not hold the service up for long.
        timeval sendTimeout{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        connections.push_back(std::make_shared<Connection>(fd));
        status(1);
    }

    void loop()
    {
        std::list<std::shared_ptr<Connection>> connections;
        for (;;) {
            // While accepting pauses, the listening socket is not watched.
            const auto pause = std::chrono::ceil<std::chrono::milliseconds>(acceptPausedUntil -
                                                                            std::chrono::steady_clock::now());
            const bool paused = pause.count() > 0;
            std::vector<pollfd> fds{{wakeFds[0], POLLIN, 0}, {listenFd, short(paused ? 0 : POLLIN), 0}};
            for (const auto& c : connections)
                fds.push_back({c->fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), paused ? int(pause.count()) : -1) < 0 && errno != EINTR)
                break;
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN)
                accept(connections);
            auto it = connections.begin();
            for (size_t i = 2; i < fds.size(); ++i) {
                auto current = it++;
                if (fds[i].revents && !readFrom(*current)) {
                    (*current)->shut();
                    connections.erase(current);
                }
            }
        }
        for (const auto& c : connections)
            c->shut();
    }
};

Service::Service(StatusCallback onStatus) : state_(new State)
{
    state_->onStatus = std::move(onStatus);
}

Service::~Service()
{
    stop();
}

bool Service::registerProcedure(const std::string& name, const std::string& argTypes, Procedure handler)
{
    if (state_->running || !handler || argTypes.find_first_not_of("OSI") != std::string::npos)
        return false;
    state_->procedures[name] = {argTypes, std::move(handler)};
    return true;
}

std::string Service::socketPath(const std::string& name)
{
    if (!validName(name))
        return std::string();
    const std::string folder = runtimeFolder();
    return folder.empty() ? std::string() : folder + "/zavmo-rpc-" + name + ".sock";
}

bool Service::start(const std::string& name)
{
    if (state_->running)
        return false;
    const std::string path = socketPath(name);
    sockaddr_un address{};
    if (!fillAddress(path, &address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (!bound && errno == EADDRINUSE) {
        // A socket file of a dead service is replaced; a live one keeps it.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool alive = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (!alive && ::unlink(path.c_str()) == 0)
            bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    // Callers of this user only (the folder is the user's own as well).
    if (bound)
        ::chmod(path.c_str(), 0600);
    if (!bound || ::listen(fd, 16) != 0 || ::pipe2(state_->wakeFds, O_CLOEXEC) != 0) {
        if (bound)
            ::unlink(path.c_str());
        ::close(fd);
        return false;
    }
    state_->listenFd = fd;
    state_->path = path;
    state_->running = true;
    state_->thread = std::thread([state = state_.get()] { state->loop(); });
    return true;
}

void Service::stop()
{
    if (!state_->running)
        return;
    char byte = 0;
    while (::write(state_->wakeFds[1], &byte, 1) < 0 && errno == EINTR) {
    }
    state_->thread.join();
    ::close(state_->listenFd);
    ::close(state_->wakeFds[0]);
    ::close(state_->wakeFds[1]);
    ::unlink(state_->path.c_str());
    state_->listenFd = state_->wakeFds[0] = state_->wakeFds[1] = -1;
    state_->running = false;
}

bool Service::running() const
{
    return state_->running;
}

Client::Client() = default;

Client::~Client()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool Client::connect(const std::string& name, int timeoutMs)
{
    sockaddr_un address{};
    if (fd_ >= 0 || !fillAddress(Service::socketPath(name), &address))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            fd_ = fd;
            return true;
        }
        ::close(fd);
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool Client::call(const std::string& procedure, const Json::Value& args, Json::Value* result, std::string* error,
                  int timeoutMs)
{
    auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (fd_ < 0)
        return fail("not connected");
    const long long id = nextId_++;
    Json::Value request(Json::objectValue);
    request["id"] = Json::Int64(id);
    request["procedure"] = procedure;
    request["args"] = args;
    if (!sendAll(fd_, compact(request) + "\n"))
        return fail("send failed");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t newline;
        while ((newline = buffer_.find('\n')) != std::string::npos) {
            Json::Value reply;
            const bool parsed = parseLine(buffer_.substr(0, newline), &reply);
            buffer_.erase(0, newline + 1);
            if (!parsed || !reply.isObject())
                return fail("bad reply");
            if (!reply["id"].isIntegral() || reply["id"].asInt64() != id)
                continue; // an answer to an earlier call that timed out
            if (reply.isMember("error"))
                return fail(reply["error"].asString());
            if (result)
                *result = reply["result"];
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return fail("no reply in time");
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail("connection closed");
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

} // namespace platform::rpc
