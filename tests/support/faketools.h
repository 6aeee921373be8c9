#pragma once
// The fake tool program (zavmo-fake-tool) for tests that install, start or
// end managed programs. Copies of it act by their file name; every start is
// logged (ZAVMO_FAKE_TOOL_LOG) to a file of this object, and the destructor
// kills each logged process that still runs, by its pid (never by name), and
// waits until none runs (5 s at most).
//
// Tests that use it take the ctest RESOURCE_LOCK "fake-tools": the process
// names are fixed, so two such tests would see and end each other's tools.
//
//   zavmo::test::FakeTools fake;                 // sets ZAVMO_FAKE_TOOL_LOG
//   auto installer = fake.place(dir, "OBS_installer.exe");
//   ... run it ...
//   auto starts = fake.waitForStarts("OBS.exe", 1, 5000);
//
// hold() keeps the installers and uninstallers started from then on working
// until release(), so that a test observes what happens while they run.

#include <cstddef>
#include <string>
#include <vector>

namespace zavmo::test {

class FakeTools
{
public:
    struct Start
    {
        int pid = 0;
        std::string name;
        std::vector<std::string> args;
    };

    // Throws std::runtime_error when its folder cannot be made.
    FakeTools();
    ~FakeTools();
    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    // The fake tool program of this build.
    static std::string program();
    // Copies the program to dir/name (dir is created), executable, replacing
    // a copy that may be running; returns the copy's path. Throws on failure.
    static std::string place(const std::string& dir, const std::string& name);

    const std::string& logFile() const { return logFile_; }
    // Every logged start, in order.
    std::vector<Start> starts() const;
    // Polls until `count` starts of `name` are logged or the time-out passes;
    // returns those logged then (check the size).
    std::vector<Start> waitForStarts(const std::string& name, size_t count, int timeoutMs) const;
    // Polls until no logged start of `name` still runs; false on time-out.
    bool waitUntilGone(const std::string& name, int timeoutMs) const;
    // True when pid runs an executable of that file name.
    static bool isRunning(int pid, const std::string& name);
    // The logged starts that still run.
    std::vector<Start> running() const;
    // Kills every logged process that still runs under its logged name, and
    // every process whose environment names this object's log (a tool a
    // fake tool started, not logged yet); returns how many it signalled.
    size_t killAll() const;

    // Installers and uninstallers started from now on (ZAVMO_FAKE_TOOL_HOLD)
    // keep working until release(), or the time ZAVMO_FAKE_TOOL_MAX_MS gives
    // them. Throws std::runtime_error when the hold file cannot be made.
    void hold();
    // Lets the held ones finish at once; later ones run their usual delay.
    void release();

private:
    std::string folder_;
    std::string logFile_;
    std::string holdFile_;
};

} // namespace zavmo::test
