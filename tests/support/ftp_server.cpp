#include "ftp_server.h"

#include "run_program.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zavmo::test {
namespace {

const char kPython[] = "/usr/bin/python3"; // Debian's, with pyftpdlib

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string scriptPath()
{
#ifdef ZAVMO_FTP_SERVER_SCRIPT
    return ZAVMO_FTP_SERVER_SCRIPT;
#else
    const char* source = std::getenv("ZAVMO_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/support/ftp_server.py";
#endif
}

} // namespace

FtpServer::FtpServer() : FtpServer(Options()) {}

FtpServer::FtpServer(const Options& options) : options_(options)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ftp-server.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("FtpServer: cannot create a folder: " + std::string(std::strerror(errno)));
    folder_ = pattern;
    root_ = folder_ + "/root";
    std::filesystem::create_directory(root_);
    const std::string portFile = folder_ + "/port", logFile = folder_ + "/server.log";

    std::vector<std::string> args = {kPython,       scriptPath(),     "--user",       options.user,
                                     "--password",  options.password, "--dir",        root_,
                                     "--port-file", portFile,         "--parent-pid", std::to_string(::getpid())};
    if (options.cutAfter >= 0) {
        args.push_back("--cut-after");
        args.push_back(std::to_string(options.cutAfter));
    }
    if (options.stallAfter >= 0) {
        args.push_back("--stall-after");
        args.push_back(std::to_string(options.stallAfter));
    }
    if (options.sizeError != 0) {
        args.push_back("--size-error");
        args.push_back(std::to_string(options.sizeError));
    }
    if (options.refuseStor > 0) {
        args.push_back("--refuse-stor");
        args.push_back(std::to_string(options.refuseStor));
    }
    if (options.keepOnly >= 0) {
        args.push_back("--keep-only");
        args.push_back(std::to_string(options.keepOnly));
    }
    std::string error;
    pid_ = startInBackground(args, logFile, error);
    if (pid_ < 0) {
        std::filesystem::remove_all(folder_);
        throw std::runtime_error("FtpServer: " + error);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.readyTimeoutMs);
    for (;;) {
        const std::string text = readFile(portFile);
        if (!text.empty()) {
            port_ = std::atoi(text.c_str());
            break;
        }
        int status = 0;
        const bool ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
        if (ended || std::chrono::steady_clock::now() > deadline) {
            const std::string why = ended ? "ended before it was ready" : "not ready in time";
            if (ended)
                pid_ = -1;
            const std::string logText = log();
            stop();
            std::filesystem::remove_all(folder_);
            throw std::runtime_error("FtpServer: the server " + why + "; its log:\n" + logText);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FtpServer::~FtpServer()
{
    stop();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::string FtpServer::log() const
{
    return readFile(folder_ + "/server.log");
}

void FtpServer::stop(int timeoutMs)
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

} // namespace zavmo::test
