#pragma once
// Watches a few registered programs: installed (their Uninstall registry
// entry), where (the entry's uninstaller folder) and running (a process of one
// of their executables). A thread of its own rescans every 500 ms and calls
// the status callback on each change of a program's combined status.
//
// Threads: the worker and the caller's thread share one lock. The worker
// collects a pass's changes under it and calls the callback after releasing
// it, so the callback may call the getters and wait for other threads that
// use the monitor; it must not call stop().

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct ExeEntry
{
    // An executable file name as the process list shows it; empty: unused.
    std::wstring exeName;
    // Absolute (a drive path resolves below ZAVMO_WINDOWS_ROOT), or relative
    // to the install folder; either separator.
    std::wstring path;
    bool isAbsolute = false;
};

struct MonitoredAppRecord
{
    // The process name of the program's installer or uninstaller copy.
    std::wstring installerProcessName;
    ExeEntry first;
    ExeEntry second;
    // Linux only: a further executable file name whose process marks the
    // program running, checked after the two entries; no path, so it plays
    // no part in the launch and executable paths. Empty: unused.
    std::wstring nativeExeName;
};

// Program name and its new status (0 not installed, 1 installed, 2 running).
using AppStatusCallback = std::function<void(const std::wstring&, int)>;

class ZvAppStatusMonitor
{
public:
    ZvAppStatusMonitor();
    ~ZvAppStatusMonitor();
    ZvAppStatusMonitor(const ZvAppStatusMonitor&) = delete;
    ZvAppStatusMonitor& operator=(const ZvAppStatusMonitor&) = delete;

    // Registers a program; a name already registered keeps its record.
    void addApp(const std::wstring& name, const MonitoredAppRecord& record);

    // Scans once both ways, then starts the worker with `mode` (1 registry
    // only, 2 processes only, else both per pass). True when the worker runs,
    // also when it already ran (mode and callback are then ignored).
    bool start(int mode, AppStatusCallback callback);
    // Wakes the worker, lets it finish the pass in progress and joins it;
    // the callback is never called afterwards.
    void stop();
    // Test seam: while set, start() returns only once the worker's first
    // pass has reported (5 s at most), so that a test sees every report a
    // caller that connects too late would lose.
    static void setStartAwaitsFirstPass(bool await);
    // Test seam: how many passes the workers of every monitor have finished,
    // each counted once its reports have been made; a test reads it to know
    // that no pass which scanned before some moment is still to report.
    static unsigned long long finishedPasses();

    // Whether the program is registered.
    bool hasApp(const std::wstring& name);
    // Fresh registry and process scans, then 2 running, 1 installed, else 0.
    int getAppStatus(const std::wstring& name);
    // Fresh registry scan, then 1 installed or 0.
    int getInstallStatus(const std::wstring& name);
    // Fresh registry scan, then the entry's "UninstallString" ("" if none).
    std::wstring getUninstallString(const std::wstring& name);
    // No scan: the executable name that matched in the last process scan, ""
    // unless the program was seen running.
    std::wstring getRunningExeName(const std::wstring& name);
    // No scan: for an installed program the first of its executables that
    // exists, as a Linux path; "" otherwise.
    std::wstring getLaunchPath(const std::wstring& name);
    // No scan, no existence test: the first (second) executable's Linux path;
    // "" when the entry has no path or a drive path has no root.
    std::wstring getPrimaryExePath(const std::wstring& name);
    std::wstring getSecondaryExePath(const std::wstring& name);
    std::wstring getInstallerProcessName(const std::wstring& name);

private:
    struct MonitoredAppState
    {
        // Outside 0-2: the worker's first pass reports every program once.
        int lastReported = -1;
        int installStatus = 0;
        int runningStatus = 3;
        std::wstring runningExeName;
        std::wstring installDir;
        std::wstring uninstallString;
        MonitoredAppRecord record;
    };

    void scanRegistry();
    void scanProcesses();
    void run();
    // The changes since the last report, marked reported; under the lock.
    std::vector<std::pair<std::wstring, int>> takeChanges();
    static int reportedStatus(const MonitoredAppState& state);
    static std::wstring exePath(const MonitoredAppState& state, const ExeEntry& entry);

    std::map<std::wstring, MonitoredAppState> apps;
    std::mutex lock;
    std::thread worker;
    std::atomic<bool> running{false};
    // Signalled by stop(); the worker waits on it between passes.
    std::condition_variable wakeWorker;
    int scanMode = 0;
    AppStatusCallback callback;
    std::condition_variable firstPassDone;
    bool firstPassReported = false;
};
