#include "logic/zvappstatusmonitor.h"

#include "core/systemutils.h"

#include "platform/registry.h"
#include "platform/runtime.h"

#include <QDebug>
#include <QFileInfo>

#include <chrono>
#include <vector>

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The value buffer holds 1024 bytes: longer texts do not fit and count as unread.
const int kMaxUninstallStringUnits = 511;

std::atomic<bool> g_startAwaitsFirstPass{false};
std::atomic<unsigned long long> g_finishedPasses{0};

std::string toUtf8(const std::wstring& text)
{
    return QString::fromStdWString(text).toStdString();
}

std::wstring fromUtf8(const std::string& text)
{
    return QString::fromStdString(text).toStdWString();
}

} // namespace

ZvAppStatusMonitor::ZvAppStatusMonitor() = default;

ZvAppStatusMonitor::~ZvAppStatusMonitor()
{
    if (running)
        stop();
    std::lock_guard<std::mutex> guard(lock);
    apps.clear();
}

void ZvAppStatusMonitor::addApp(const std::wstring& name, const MonitoredAppRecord& record)
{
    std::lock_guard<std::mutex> guard(lock);
    if (apps.find(name) != apps.end())
        return;
    MonitoredAppState state;
    state.record = record;
    apps.emplace(name, state);
}

bool ZvAppStatusMonitor::start(int mode, AppStatusCallback statusCallback)
{
    if (running)
        return true;
    scanRegistry();
    scanProcesses();
    {
        std::lock_guard<std::mutex> guard(lock);
        scanMode = mode;
        callback = std::move(statusCallback);
        firstPassReported = false;
    }
    running = true;
    try {
        worker = std::thread(&ZvAppStatusMonitor::run, this);
    } catch (const std::system_error&) {
        running = false;
        std::lock_guard<std::mutex> guard(lock);
        scanMode = 0;
        callback = nullptr;
        return false;
    }
    if (g_startAwaitsFirstPass) {
        std::unique_lock<std::mutex> guard(lock);
        firstPassDone.wait_for(guard, std::chrono::seconds(5), [this] { return firstPassReported; });
    }
    return true;
}

void ZvAppStatusMonitor::setStartAwaitsFirstPass(bool await)
{
    g_startAwaitsFirstPass = await;
}

unsigned long long ZvAppStatusMonitor::finishedPasses()
{
    return g_finishedPasses;
}

void ZvAppStatusMonitor::stop()
{
    {
        // Cleared under the lock, so the worker cannot miss the wake-up
        // between its check and its wait.
        std::lock_guard<std::mutex> guard(lock);
        running = false;
    }
    wakeWorker.notify_all();
    if (worker.joinable())
        worker.join();
    std::lock_guard<std::mutex> guard(lock);
    scanMode = 0;
    callback = nullptr;
}

int ZvAppStatusMonitor::reportedStatus(const MonitoredAppState& state)
{
    return state.runningStatus == 2 ? 2 : state.installStatus;
}

std::vector<std::pair<std::wstring, int>> ZvAppStatusMonitor::takeChanges()
{
    std::vector<std::pair<std::wstring, int>> changes;
    for (auto& [name, state] : apps) {
        const int status = reportedStatus(state);
        if (status == state.lastReported)
            continue;
        state.lastReported = status;
        changes.emplace_back(name, status);
    }
    return changes;
}

void ZvAppStatusMonitor::run()
{
    while (running) {
        int mode = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            mode = scanMode;
        }
        if (mode != 2)
            scanRegistry();
        if (mode != 1)
            scanProcesses();
        std::vector<std::pair<std::wstring, int>> changes;
        AppStatusCallback report;
        {
            std::lock_guard<std::mutex> guard(lock);
            changes = takeChanges();
            report = callback;
        }
        // Reported unlocked and in map order; stop() joins before it clears
        // the callback, so none follows it.
        if (report)
            for (const auto& [name, status] : changes)
                report(name, status);
        ++g_finishedPasses;

        std::unique_lock<std::mutex> guard(lock);
        if (!firstPassReported) {
            firstPassReported = true;
            firstPassDone.notify_all();
        }
        wakeWorker.wait_for(guard, std::chrono::milliseconds(500), [this] { return !running; });
    }
}

void ZvAppStatusMonitor::scanRegistry()
{
    std::lock_guard<std::mutex> guard(lock);
    if (apps.empty())
        return;
    for (auto& entry : apps) {
        entry.second.installStatus = 0;
        entry.second.installDir.clear();
        entry.second.uninstallString.clear();
    }

    using platform::registry::Root;
    std::vector<std::string> subKeys;
    if (!platform::registry::enumSubKeys(Root::LocalMachine, kUninstallKey, subKeys)) {
        qDebug() << "by kx open regedit failed";
        return;
    }
    for (const std::string& subKey : subKeys) {
        // Exact, case-sensitive: the registry itself would match any case.
        const auto it = apps.find(fromUtf8(subKey));
        if (it == apps.end())
            continue;
        std::string value;
        if (!platform::registry::readString(Root::LocalMachine, std::string(kUninstallKey) + "\\" + subKey,
                                            "UninstallString", value))
            continue;
        const QString command = QString::fromStdString(value);
        if (command.size() > kMaxUninstallStringUnits)
            continue;
        MonitoredAppState& state = it->second;
        state.uninstallString = command.toStdWString();
        state.installDir = uninstallCommandFolder(command).toStdWString();
        state.installStatus = (!state.uninstallString.empty() && !state.installDir.empty()) ? 1 : 0;
    }
}

void ZvAppStatusMonitor::scanProcesses()
{
    std::lock_guard<std::mutex> guard(lock);
    if (apps.empty())
        return;
    bool ok = false;
    const QStringList processes = getProcessNameList(&ok);
    if (!ok)
        return; // the previous scan's running states stay

    std::vector<MonitoredAppState*> pending;
    for (auto& entry : apps) {
        entry.second.runningStatus = 3;
        entry.second.runningExeName.clear();
        pending.push_back(&entry.second);
    }
    for (const QString& process : processes) {
        if (pending.empty())
            break;
        const std::wstring exe = process.toStdWString();
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            const MonitoredAppRecord& record = (*it)->record;
            const std::wstring* match = nullptr;
            for (const std::wstring* name : {&record.first.exeName, &record.second.exeName, &record.nativeExeName})
                if (!name->empty() && *name == exe) {
                    match = name;
                    break;
                }
            if (!match)
                continue;
            (*it)->runningStatus = 2;
            (*it)->runningExeName = *match;
            pending.erase(it);
            break; // one process marks one program
        }
    }
}

std::wstring ZvAppStatusMonitor::exePath(const MonitoredAppState& state, const ExeEntry& entry)
{
    if (entry.path.empty())
        return std::wstring();
    const std::wstring full = entry.isAbsolute ? entry.path : state.installDir + entry.path;
    return fromUtf8(platform::runtime::toLocalPath(toUtf8(full)));
}

int ZvAppStatusMonitor::getAppStatus(const std::wstring& name)
{
    scanRegistry();
    scanProcesses();
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    return it == apps.end() ? 0 : reportedStatus(it->second);
}

int ZvAppStatusMonitor::getInstallStatus(const std::wstring& name)
{
    scanRegistry();
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    return it == apps.end() ? 0 : it->second.installStatus;
}

std::wstring ZvAppStatusMonitor::getUninstallString(const std::wstring& name)
{
    scanRegistry();
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    return it == apps.end() ? std::wstring() : it->second.uninstallString;
}

std::wstring ZvAppStatusMonitor::getRunningExeName(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    if (it == apps.end() || it->second.runningStatus != 2)
        return std::wstring();
    return it->second.runningExeName;
}

std::wstring ZvAppStatusMonitor::getLaunchPath(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    if (it == apps.end() || it->second.installStatus == 0)
        return std::wstring();
    for (const ExeEntry* entry : {&it->second.record.first, &it->second.record.second}) {
        const std::wstring path = exePath(it->second, *entry);
        if (!path.empty() && QFileInfo::exists(QString::fromStdWString(path)))
            return path;
    }
    return std::wstring();
}

std::wstring ZvAppStatusMonitor::getPrimaryExePath(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    return it == apps.end() ? std::wstring() : exePath(it->second, it->second.record.first);
}

std::wstring ZvAppStatusMonitor::getSecondaryExePath(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    return it == apps.end() ? std::wstring() : exePath(it->second, it->second.record.second);
}

bool ZvAppStatusMonitor::hasApp(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(lock);
    return apps.find(name) != apps.end();
}

std::wstring ZvAppStatusMonitor::getInstallerProcessName(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto it = apps.find(name);
    return it == apps.end() ? std::wstring() : it->second.record.installerProcessName;
}
