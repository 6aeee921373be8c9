// zavmo-sim --dir DIR [--files ROOT] [--parent-pid PID] [--max-seconds N]
//
// Plays the Zavmo platform on 127.0.0.1 for tests and demos. Serves the files
// under ROOT (default DIR/files) below /files/. Writes into DIR:
// ca.pem (test CA, for ZAVMO_CA_BUNDLE), hosts.ini (for ZAVMO_HOSTS),
// connect-to.txt (for ZAVMO_CONNECT_TO), installers.txt (the paths below
// ROOT at which installers are served, one a line: the caller puts them there),
// requests.jsonl (one JSON line per request) and, last, ready.json. Ends on
// SIGTERM/SIGINT/SIGHUP, POST /__sim/shutdown, when the parent process is gone,
// or after the maximum lifetime, so that no test can leave it running.

#include "certificates.h"
#include "endpoint.h"
#include "files.h"
#include "server.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Options
{
    std::string dir;
    std::string filesRoot;
    pid_t parentPid = 0;
    long maxSeconds = 600;
};

[[noreturn]] void usage(const char* problem)
{
    std::fprintf(stderr,
                 "zavmo-sim: %s\nusage: zavmo-sim --dir DIR [--files ROOT] [--parent-pid PID] [--max-seconds N]\n",
                 problem);
    std::exit(2);
}

long positiveNumber(const char* text, const char* option)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || end == text || v <= 0)
        usage((std::string(option) + " needs a positive number").c_str());
    return v;
}

Options parseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            usage("help");
        if (i + 1 >= argc)
            usage(("missing value for " + arg).c_str());
        const char* value = argv[++i];
        if (arg == "--dir")
            o.dir = value;
        else if (arg == "--files")
            o.filesRoot = value;
        else if (arg == "--parent-pid")
            o.parentPid = static_cast<pid_t>(positiveNumber(value, "--parent-pid"));
        else if (arg == "--max-seconds")
            o.maxSeconds = positiveNumber(value, "--max-seconds");
        else
            usage(("unknown option " + arg).c_str());
    }
    if (o.dir.empty())
        usage("--dir is required");
    return o;
}

// State and start time (fields 3 and 22 of /proc/PID/stat); false when the
// process does not exist.
bool readProcessStat(pid_t pid, char& state, unsigned long long& startTime)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    fields >> state;
    for (int n = 4; n <= 21 && fields >> field; ++n) {
    }
    return static_cast<bool>(fields >> startTime);
}

// Notices the parent's end even when it stays a zombie or its pid is reused.
class ParentWatch
{
public:
    explicit ParentWatch(pid_t pid) : pid_(pid)
    {
        char state = 0;
        if (pid_ > 0 && !readProcessStat(pid_, state, startTime_))
            usage("--parent-pid names no running process");
        wasParent_ = pid_ > 0 && ::getppid() == pid_;
    }

    bool alive() const
    {
        if (pid_ <= 0)
            return true;
        if (wasParent_ && ::getppid() != pid_)
            return false;
        char state = 0;
        unsigned long long startTime = 0;
        if (!readProcessStat(pid_, state, startTime))
            return false;
        return state != 'Z' && state != 'X' && startTime == startTime_;
    }

private:
    pid_t pid_;
    unsigned long long startTime_ = 0;
    bool wasParent_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    const Options options = parseOptions(argc, argv);
    const ParentWatch parent(options.parentPid);

    // Blocked before any thread starts, so that only the wait below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    namespace fs = std::filesystem;
    const fs::path dir(options.dir);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "zavmo-sim: cannot create %s: %s\n", options.dir.c_str(), ec.message().c_str());
        return 1;
    }
    zavmo::sim::Context context;
    context.folder = options.dir;
    context.filesRoot = options.filesRoot.empty() ? (dir / "files").string() : options.filesRoot;
    fs::create_directories(context.filesRoot, ec);
    if (ec) {
        std::fprintf(stderr, "zavmo-sim: cannot create %s: %s\n", context.filesRoot.c_str(), ec.message().c_str());
        return 1;
    }
    const std::string readyFile = (dir / "ready.json").string();
    fs::remove(readyFile, ec);

    std::unique_ptr<zavmo::sim::Server> server;
    try {
        zavmo::sim::Credentials credentials = zavmo::sim::makeCredentials();
        const std::string caPem = zavmo::sim::toPem(credentials.caCert.get());
        server = std::make_unique<zavmo::sim::Server>(zavmo::sim::allEndpoints(context), std::move(credentials),
                                                      (dir / "requests.jsonl").string());
        server->start();
        zavmo::sim::writeFileAtomically((dir / "ca.pem").string(), caPem);
        zavmo::sim::writeFileAtomically((dir / "hosts.ini").string(),
                                        zavmo::sim::hostsIni(server->httpPort(), server->httpsPort()));
        zavmo::sim::writeFileAtomically((dir / "connect-to.txt").string(),
                                        zavmo::sim::connectTo(server->httpPort(), server->httpsPort()));
        zavmo::sim::writeFileAtomically((dir / "installers.txt").string(), zavmo::sim::installerPaths());
        zavmo::sim::writeFileAtomically(readyFile,
                                        zavmo::sim::readyJson(server->httpPort(), server->httpsPort(), ::getpid()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zavmo-sim: cannot start: %s\n", e.what());
        if (server && !server->stop(std::chrono::seconds(3)))
            _exit(1);
        return 1;
    }
    std::fprintf(stderr, "zavmo-sim: pid %ld, http 127.0.0.1:%d, https 127.0.0.1:%d, folder %s\n",
                 static_cast<long>(::getpid()), server->httpPort(), server->httpsPort(), options.dir.c_str());

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.maxSeconds);
    std::string reason;
    while (reason.empty()) {
        const timespec tick{0, 100 * 1000 * 1000};
        const int sig = sigtimedwait(&stopSignals, nullptr, &tick);
        if (sig > 0)
            reason = std::string("signal ") + strsignal(sig);
        else if (server->shutdownRequested())
            reason = "shutdown requested";
        else if (!parent.alive())
            reason = "parent process ended";
        else if (std::chrono::steady_clock::now() >= deadline)
            reason = "maximum lifetime reached";
    }
    std::fprintf(stderr, "zavmo-sim: stopping: %s\n", reason.c_str());

    fs::remove(readyFile, ec);
    if (!server->stop(std::chrono::seconds(3))) {
        std::fprintf(stderr, "zavmo-sim: connections still busy, leaving anyway\n");
        std::fflush(stderr);
        _exit(0);
    }
    return 0;
}
