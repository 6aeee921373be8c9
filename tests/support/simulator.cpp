#include "simulator.h"

#include "run_program.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zavmo::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool parseJson(const std::string& text, Json::Value* out)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), out, &errors);
}

std::string makeFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zavmo-sim.XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("Simulator: cannot create a folder from " + pattern + ": " + std::strerror(errno));
    return pattern;
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

Simulator::Simulator() : Simulator(Options()) {}

Simulator::Simulator(const Options& options)
{
    const std::string program = options.program.empty() ? std::string(ZAVMO_SIM_PROGRAM) : options.program;
    folder_ = makeFolder();
    filesRoot_ = options.filesRoot.empty() ? folder_ + "/files" : options.filesRoot;
    try {
        const std::string log = logFile();
        const std::string parent = std::to_string(options.parentPid > 0 ? options.parentPid : ::getpid());
        const std::string maxSeconds = std::to_string(options.maxSeconds);
        // Its output goes to sim.log, and it inherits no other descriptor: a
        // test runner waiting on our pipes must not wait on the simulator.
        std::string error;
        pid_ = startInBackground({program, "--dir", folder_, "--files", filesRoot_, "--parent-pid", parent,
                                  "--max-seconds", maxSeconds},
                                 log, error);
        if (pid_ < 0)
            throw std::runtime_error("Simulator: " + error);

        const auto deadline = Clock::now() + std::chrono::milliseconds(options.readyTimeoutMs);
        const std::string readyPath = folder_ + "/ready.json";
        for (;;) {
            Json::Value ready;
            if (parseJson(readFile(readyPath), &ready) && ready.isObject() &&
                ready["pid"].asInt64() == static_cast<Json::Int64>(pid_)) {
                httpPort_ = ready["http_port"].asInt();
                httpsPort_ = ready["https_port"].asInt();
                connectTo_ = readFile(connectToFile());
                while (!connectTo_.empty() && connectTo_.back() == '\n')
                    connectTo_.pop_back();
                break;
            }
            if (!running())
                throw std::runtime_error("Simulator: " + program + " ended before it was ready; its log:\n" +
                                         logTail());
            if (Clock::now() > deadline)
                throw std::runtime_error("Simulator: " + program + " not ready after " +
                                         std::to_string(options.readyTimeoutMs) + " ms; its log:\n" + logTail());
            sleepMs(10);
        }
    } catch (...) {
        if (pid_ > 0 && !reaped_)
            killAndReap();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        throw;
    }
}

Simulator::~Simulator()
{
    if (pid_ > 0 && !reaped_)
        shutdown(3000);
    for (const auto& [name, file] :
         {std::make_pair("ZAVMO_HOSTS", hostsFile()), std::make_pair("ZAVMO_CA_BUNDLE", caFile()),
          std::make_pair("ZAVMO_CONNECT_TO", connectTo_)}) {
        const char* value = std::getenv(name);
        if (value && file == value)
            ::unsetenv(name);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::string Simulator::httpOrigin() const
{
    return "http://127.0.0.1:" + std::to_string(httpPort_);
}

std::string Simulator::httpsOrigin() const
{
    return "https://127.0.0.1:" + std::to_string(httpsPort_);
}

std::vector<std::string> Simulator::installerPaths() const
{
    std::istringstream lines(readFile(installersFile()));
    std::vector<std::string> paths;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            paths.push_back(line);
    return paths;
}

void Simulator::setEnvironment() const
{
    ::setenv("ZAVMO_HOSTS", hostsFile().c_str(), 1);
    ::setenv("ZAVMO_CA_BUNDLE", caFile().c_str(), 1);
    ::setenv("ZAVMO_CONNECT_TO", connectTo_.c_str(), 1);
}

void Simulator::setMode(const std::string& endpoint, const std::string& mode)
{
    Json::Value body;
    body["endpoint"] = endpoint;
    body["mode"] = mode;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    std::string reply;
    const int status = control("POST", "/__sim/mode", Json::writeString(writer, body), &reply);
    if (status != 200)
        throw std::runtime_error("Simulator: mode " + mode + " for " + endpoint + " refused (" +
                                 std::to_string(status) + "): " + reply);
}

std::string Simulator::mode(const std::string& endpoint)
{
    std::string reply;
    Json::Value value;
    // Endpoint names are plain words, so they need no escaping in the query.
    if (control("GET", "/__sim/mode?endpoint=" + endpoint, std::string(), &reply) != 200 || !parseJson(reply, &value) ||
        !value.isObject())
        throw std::runtime_error("Simulator: cannot read the mode of " + endpoint + ": " + reply);
    return value["mode"].asString();
}

void Simulator::setReply(const std::string& endpoint, const std::string& body) const
{
    std::filesystem::create_directories(folder_ + "/replies");
    const std::string path = folder_ + "/replies/" + endpoint + ".json";
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << body;
        if (!out.flush())
            throw std::runtime_error("Simulator: cannot write " + temp);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0)
        throw std::runtime_error("Simulator: cannot save " + path);
}

void Simulator::removeReply(const std::string& endpoint) const
{
    std::error_code ec;
    std::filesystem::remove(folder_ + "/replies/" + endpoint + ".json", ec);
}

void Simulator::reset()
{
    std::string reply;
    const int status = control("POST", "/__sim/reset", std::string(), &reply);
    if (status != 200)
        throw std::runtime_error("Simulator: reset failed (" + std::to_string(status) + "): " + reply);
}

std::vector<Json::Value> Simulator::requests(const std::string& endpoint) const
{
    const std::string text = readFile(requestsFile());
    std::vector<Json::Value> out;
    size_t start = 0;
    // A last line without its line break is still being written.
    for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
        Json::Value record;
        if (!parseJson(text.substr(start, end - start), &record) || !record.isObject())
            throw std::runtime_error("Simulator: bad line in " + requestsFile() + ": " +
                                     text.substr(start, end - start));
        if (endpoint.empty() || record["endpoint"].asString() == endpoint)
            out.push_back(std::move(record));
    }
    return out;
}

std::vector<Json::Value> Simulator::requests(const std::string& endpoint, const std::string& field,
                                             const std::string& value) const
{
    std::vector<Json::Value> out;
    for (Json::Value& record : requests(endpoint))
        if (record[field].asString() == value)
            out.push_back(std::move(record));
    return out;
}

std::vector<Json::Value> Simulator::waitForRequests(const std::string& endpoint, size_t count, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<Json::Value> found = requests(endpoint);
        if (found.size() >= count || Clock::now() >= deadline)
            return found;
        sleepMs(20);
    }
}

bool Simulator::shutdown(int timeoutMs)
{
    if (pid_ <= 0 || reaped_)
        return false;
    std::string reply;
    if (control("POST", "/__sim/shutdown", std::string(), &reply) == 200 && waitForExit(timeoutMs))
        return true;
    killAndReap();
    return false;
}

bool Simulator::running()
{
    if (pid_ <= 0 || reaped_)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD))
        reaped_ = true;
    return !reaped_;
}

bool Simulator::waitForExit(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running()) {
        if (Clock::now() >= deadline)
            return false;
        sleepMs(10);
    }
    return true;
}

void Simulator::killAndReap()
{
    if (!running())
        return;
    ::kill(pid_, SIGTERM);
    if (waitForExit(3000))
        return;
    ::kill(pid_, SIGKILL);
    waitForExit(5000);
}

std::string Simulator::logTail() const
{
    const std::string log = readFile(logFile());
    return log.size() > 4000 ? log.substr(log.size() - 4000) : log;
}

int Simulator::control(const std::string& method, const std::string& path, const std::string& body,
                       std::string* reply) const
{
    reply->clear();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const timeval timeout{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(httpPort_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    const std::string request = method + " " + path +
                                " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                "Content-Type: application/json\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    // Read to the end, bounded in size and (through the socket time-outs) time.
    std::string response;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    char buffer[4096];
    while (response.size() < (1u << 20) && Clock::now() < deadline) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        response.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);

    const size_t headerEnd = response.find("\r\n\r\n");
    if (response.compare(0, 5, "HTTP/") != 0 || headerEnd == std::string::npos)
        return -1;
    *reply = response.substr(headerEnd + 4);
    const size_t space = response.find(' ');
    return std::atoi(response.c_str() + space + 1);
}

} // namespace zavmo::test
