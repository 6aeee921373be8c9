#include "faketools.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace zavmo::test {

namespace {

void pause()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

} // namespace

FakeTools::FakeTools()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fake-tools.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a folder for the fake tools' log");
    folder_ = pattern;
    logFile_ = folder_ + "/starts.log";
    holdFile_ = folder_ + "/hold";
    ::setenv("ZAVMO_FAKE_TOOL_LOG", logFile_.c_str(), 1);
    // Present from the start, so that hold() changes it in place instead of
    // growing the environment while other threads may read it.
    ::setenv("ZAVMO_FAKE_TOOL_HOLD", "", 1);
}

FakeTools::~FakeTools()
{
    // SIGKILL ends a process a little later: one still in the process list
    // would be seen running by the next test's scans. So each pass kills again
    // until none is left (a tool's launcher may start one meanwhile).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (killAll() != 0 && std::chrono::steady_clock::now() < deadline)
        pause();
    // Emptied, not unset: removing a variable moves the environment's entries
    // under threads of the program (a hub's) that may be reading it.
    const char* current = std::getenv("ZAVMO_FAKE_TOOL_LOG");
    if (current && logFile_ == current)
        ::setenv("ZAVMO_FAKE_TOOL_LOG", "", 1);
    current = std::getenv("ZAVMO_FAKE_TOOL_HOLD");
    if (current && holdFile_ == current)
        ::setenv("ZAVMO_FAKE_TOOL_HOLD", "", 1);
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

std::string FakeTools::program()
{
    return ZAVMO_FAKE_TOOL_PROGRAM;
}

std::string FakeTools::place(const std::string& dir, const std::string& name)
{
    const fs::path target = fs::path(dir) / name;
    // Through a temporary file: a copy of that name may be running.
    const fs::path temp = target.string() + ".part";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::copy_file(program(), temp, fs::copy_options::overwrite_existing, ec))
        throw std::runtime_error("cannot copy the fake tool to " + temp.string() + ": " + ec.message());
    fs::permissions(temp, fs::perms(0755), ec);
    fs::rename(temp, target, ec);
    if (ec)
        throw std::runtime_error("cannot place the fake tool at " + target.string() + ": " + ec.message());
    return target.string();
}

std::vector<FakeTools::Start> FakeTools::starts() const
{
    std::vector<Start> list;
    std::ifstream in(logFile_);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string field;
        Start start;
        if (!std::getline(fields, field, '\t'))
            continue;
        start.pid = std::atoi(field.c_str());
        if (start.pid <= 0 || !std::getline(fields, start.name, '\t'))
            continue;
        while (std::getline(fields, field, '\t'))
            start.args.push_back(field);
        list.push_back(start);
    }
    return list;
}

std::vector<FakeTools::Start> FakeTools::waitForStarts(const std::string& name, size_t count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<Start> found;
        for (const Start& s : starts())
            if (s.name == name)
                found.push_back(s);
        if (found.size() >= count || std::chrono::steady_clock::now() >= deadline)
            return found;
        pause();
    }
}

bool FakeTools::waitUntilGone(const std::string& name, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool any = false;
        for (const Start& s : starts())
            any = any || (s.name == name && isRunning(s.pid, s.name));
        if (!any)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        pause();
    }
}

bool FakeTools::isRunning(int pid, const std::string& name)
{
    std::error_code ec;
    std::string exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string();
    if (ec)
        return false;
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.erase(exe.size() - deleted.size());
    return fs::path(exe).filename() == name;
}

std::vector<FakeTools::Start> FakeTools::running() const
{
    std::vector<Start> out;
    for (const Start& s : starts())
        if (isRunning(s.pid, s.name))
            out.push_back(s);
    return out;
}

size_t FakeTools::killAll() const
{
    std::vector<int> pids;
    for (const Start& s : running())
        pids.push_back(s.pid);
    // A tool started by another (the launcher's ZVTool.exe) runs before its
    // start is logged; its environment already names this log.
    const std::string marker = "ZAVMO_FAKE_TOOL_LOG=" + logFile_;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos || std::atoi(name.c_str()) == ::getpid())
            continue;
        std::ifstream in(entry.path() / "environ", std::ios::binary);
        std::string variable;
        while (std::getline(in, variable, '\0'))
            if (variable == marker) {
                pids.push_back(std::atoi(name.c_str()));
                break;
            }
    }
    size_t signalled = 0;
    for (int pid : pids)
        signalled += ::kill(pid, SIGKILL) == 0 ? 1 : 0;
    return signalled;
}

void FakeTools::hold()
{
    std::ofstream(holdFile_, std::ios::trunc).close();
    if (!fs::exists(holdFile_))
        throw std::runtime_error("cannot create the fake tools' hold file " + holdFile_);
    ::setenv("ZAVMO_FAKE_TOOL_HOLD", holdFile_.c_str(), 1);
}

void FakeTools::release()
{
    std::error_code ec;
    fs::remove(holdFile_, ec);
}

} // namespace zavmo::test
