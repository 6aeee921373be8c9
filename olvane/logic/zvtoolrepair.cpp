#include "logic/zvtoolrepair.h"

#include "core/pathlayout.h"
#include "core/systemutils.h"
#include "logic/installerlaunch.h"

#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/runtime.h"

#include <QDebug>
#include <QFileInfo>
#include <QTimerEvent>

namespace {

const int kPollIntervalMs = 200;
const int kStartFailed = -1001;
const int kUnpackLimitMs = 300 * 1000;
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

QString localPath(const char* windowsPath)
{
    return QString::fromStdString(platform::runtime::toLocalPath(windowsPath));
}

} // namespace

ZvToolRepair::ZvToolRepair(const QString& repairName, const QString& installerFile)
    : repairName(repairName), installerFile(installerFile)
{
}

ZvToolRepair::~ZvToolRepair()
{
    QMutexLocker locker(&mutex);
    if (pollTimerId != -1) {
        killTimer(pollTimerId);
        pollTimerId = -1;
    }
}

QString ZvToolRepair::getInstallerFile() const
{
    QMutexLocker locker(&mutex);
    return installerFile;
}

void ZvToolRepair::setInstallerFile(const QString& file)
{
    QMutexLocker locker(&mutex);
    installerFile = file;
}

bool ZvToolRepair::isRunning() const
{
    QMutexLocker locker(&mutex);
    return running;
}

void ZvToolRepair::setRunning(bool value)
{
    QMutexLocker locker(&mutex);
    running = value;
}

int ZvToolRepair::startRepair()
{
    return runInstaller(getRepairDir() + QStringLiteral("/") + getInstallerFile(), QStringLiteral("/S"));
}

int ZvToolRepair::runInstaller(const QString& installerPath, const QString& parameters)
{
    QMutexLocker locker(&mutex);
    if (running)
        return 0;
    const int result = shellOpenHidden(installerPath, parameters);
    if (result <= 32) {
        qWarning().noquote() << QStringLiteral("by kx open ") + installerPath + QStringLiteral(" failed,err code : ") +
                                    QString::number(result);
        return kStartFailed;
    }
    running = true;
    if (pollTimerId == -1)
        pollTimerId = startTimer(kPollIntervalMs, Qt::CoarseTimer);
    return 0;
}

void ZvToolRepair::timerEvent(QTimerEvent* event)
{
    QMutexLocker locker(&mutex);
    if (event->timerId() != pollTimerId || pollTimerId == -1)
        return;
    if (running) {
        bool scanned = false;
        const bool alive = isProcessRunning(installerFile, &scanned);
        if (!scanned)
            return; // a failed scan is not "the installer has gone"
        if (!alive) {
            running = false;
            emit sglRepairFinished(repairName);
        }
    }
    if (!running && pollTimerId != -1) {
        killTimer(pollTimerId);
        pollTimerId = -1;
    }
}

bool ZvNetFrameworkRepair::needRepair()
{
    return isNetFrameworkInstalled() == 0;
}

bool ZvDirectXRepair::isDllPresent(const QString& dllName)
{
    for (const char* system : {"C:/Windows/Sysnative", "C:/Windows/SysWOW64"}) {
        const QString folder = localPath(system);
        if (!folder.isEmpty() && QFileInfo(folder).isDir() &&
            !QFileInfo::exists(folder + QStringLiteral("/") + dllName))
            return false;
    }
    return true;
}

bool ZvDirectXRepair::needRepair()
{
    for (size_t i = 0; i < platform::runtime::kDirectXRuntimeDllCount; ++i)
        if (!isDllPresent(QString::fromLatin1(platform::runtime::kDirectXRuntimeDlls[i])))
            return true;
    return false;
}

int ZvDirectXRepair::startRepair()
{
    // Before the tool's name changes: the poll of a running repair reads it.
    if (isRunning())
        return 0;
    const int runtimes = isNetFrameworkInstalled();
    if (runtimes & 1)
        setInstallerFile(QStringLiteral("DirectX Repair.exe"));
    if (runtimes & 2)
        setInstallerFile(QStringLiteral("DirectX_Repair_win8.exe"));

    const QString repairDir = getRepairDir();
    const QString packagePath = repairDir + QStringLiteral("/DirectX.exe");
    // "-o" takes the folder directly, without a blank or quotes. A refused
    // start goes on to the tool, whose start then fails.
    if (!QFileInfo::exists(toolPath()) && QFileInfo::exists(packagePath) &&
        shellOpenHidden(packagePath, QStringLiteral("-y -o") + repairDir) > 32) {
        setRunning(true);
        unpackDeadline.setRemainingTime(kUnpackLimitMs);
        unpackTimerId = startTimer(kPollIntervalMs, Qt::CoarseTimer);
        return 0;
    }
    return runTool();
}

QString ZvDirectXRepair::toolPath() const
{
    return getRepairDir() + QStringLiteral("/DirectX Repair V3.3/") + getInstallerFile();
}

int ZvDirectXRepair::runTool()
{
    writeRepairSettings();
    return runInstaller(toolPath(), QStringLiteral("/S"));
}

void ZvDirectXRepair::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != unpackTimerId) {
        ZvToolRepair::timerEvent(event);
        return;
    }
    bool scanned = false;
    const bool unpacking = isProcessRunning(QStringLiteral("DirectX.exe"), &scanned) || !scanned;
    const bool timedOut = unpackDeadline.hasExpired();
    if (unpacking && !timedOut)
        return; // a failed scan is not the unpacker's end either
    killTimer(unpackTimerId);
    unpackTimerId = -1;
    setRunning(false);
    if (timedOut && unpacking) {
        qWarning().noquote() << QStringLiteral("by kx ZvDirectXRepair {DirectX.exe still unpacking after 300 s}");
    } else if (runTool() == 0) {
        return; // the tool's own poll reports its end
    }
    emit sglRepairFinished(getRepairName());
}

void ZvDirectXRepair::writeRepairSettings()
{
    const QString settings = getRepairDir() + QStringLiteral("/DirectX Repair V3.3/Settings.ini");
    if (!QFileInfo::exists(settings))
        return;
    if (!platform::profile::writeString(settings.toStdString(), "DirectX Repair", "FormStyle", "Simple"))
        qWarning().noquote() << QStringLiteral("by kx ZvDirectXRepair::writeRepairSettings {write failed} ") + settings;
}

bool ZvVCRedistRepair::needRepair()
{
    if (isVcRedistRegistered())
        return false;
    for (const auto& product : platform::runtime::kVcRedistProducts)
        if (!isMsiProductInstalled(QString::fromLatin1(product.productCode)))
            return true;
    return false;
}

bool ZvVCRedistRepair::isVcRedistRegistered()
{
    using platform::registry::Root;
    std::vector<std::string> subKeys;
    if (!platform::registry::enumSubKeys(Root::LocalMachine, kUninstallKey, subKeys))
        return false;
    for (const std::string& subKey : subKeys) {
        if (subKey.find('{') == std::string::npos || subKey.find('}') == std::string::npos)
            continue;
        std::string displayName;
        platform::registry::readString(Root::LocalMachine, std::string(kUninstallKey) + "\\" + subKey, "DisplayName",
                                       displayName);
        if (displayName.find(platform::runtime::kVcRedistDisplayName) != std::string::npos)
            return true;
    }
    return false;
}

bool ZvVCRedistRepair::isMsiProductInstalled(const QString& productCode, bool* installedForCurrentUser)
{
    const int state = platform::runtime::msiProductState(productCode.toStdString());
    if (installedForCurrentUser)
        *installedForCurrentUser = state == platform::runtime::kMsiStateDefault;
    return state == platform::runtime::kMsiStateAbsent || state == platform::runtime::kMsiStateDefault;
}
