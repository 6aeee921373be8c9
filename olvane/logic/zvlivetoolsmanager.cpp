#include "logic/zvlivetoolsmanager.h"

#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "core/zavmopointing.h"
#include "logic/installerlaunch.h"
#include "logic/zvappstatusmonitor.h"

#include "platform/runtime.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimerEvent>
#include <QUrl>

#include <new>

namespace {

const int kPollIntervalMs = 200;
const int kRequestTimeoutMs = 15000;
const int kUninstallSettleMs = 1000;

// A path as the data spells it, at the file-system edge.
QString localPath(const QString& path)
{
    return QString::fromStdString(platform::runtime::toLocalPath(path.toStdString()));
}

bool fileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString afterLastSeparator(const QString& path)
{
    int cut = path.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0)
        cut = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(cut + 1);
}

// The OBS classic install folder of the settings; the settings object never
// changes it while the program runs.
QString configuredObsClassicDir()
{
    const QSettings settings(getSystemSettingPath(), QSettings::IniFormat);
    return settings.value(QStringLiteral("OBS/installPath"), getObsDefaultDir()).toString();
}

ExeEntry exeEntry(const wchar_t* exeName, const wchar_t* path, bool isAbsolute)
{
    ExeEntry entry;
    entry.exeName = exeName;
    entry.path = path;
    entry.isAbsolute = isAbsolute;
    return entry;
}

MonitoredAppRecord appRecord(const wchar_t* installer, const ExeEntry& first, const ExeEntry& second = ExeEntry(),
                             const wchar_t* nativeExeName = L"")
{
    MonitoredAppRecord record;
    record.installerProcessName = installer;
    record.first = first;
    record.second = second;
    record.nativeExeName = nativeExeName;
    return record;
}

// OBS Studio as the distribution installs it: "obs" in the first absolute
// folder of the search path (ZAVMO_OBS_SEARCH_PATH when set, else PATH) where
// it is a regular, executable file; empty and relative entries are skipped
// and links are not resolved. "" when there is none.
QString distributionObsStudio()
{
    const char* seam = "ZAVMO_OBS_SEARCH_PATH";
    const QString searchPath = qEnvironmentVariable(qEnvironmentVariableIsSet(seam) ? seam : "PATH");
    for (QString folder : searchPath.split(QLatin1Char(':'))) {
        if (!folder.startsWith(QLatin1Char('/')))
            continue;
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        const QString candidate = (folder == QLatin1String("/") ? QString() : folder) + QStringLiteral("/obs");
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return candidate;
    }
    return QString();
}

} // namespace

ZvLiveToolsManager::ZvLiveToolsManager() = default;

ZvLiveToolsManager::~ZvLiveToolsManager()
{
    if (monitor) {
        monitor->stop();
        delete monitor;
        monitor = nullptr;
    }
    QMutexLocker locker(&taskMutex);
    tasks.clear();
    if (pollTimerId != -1) {
        killTimer(pollTimerId);
        pollTimerId = -1;
    }
}

bool ZvLiveToolsManager::init(int liveToolDownloadSrcType)
{
    downloadSrcType = liveToolDownloadSrcType;
    monitor = new (std::nothrow) ZvAppStatusMonitor;
    if (!monitor)
        return false;
    {
        QMutexLocker locker(&pathMutex);
        obsClassicInstallDir = configuredObsClassicDir();
    }

    monitor->addApp(kObsClassicToolName.toStdWString(),
                    appRecord(L"Au_.exe", exeEntry(L"OBS.exe", L"C:\\Program Files (x86)\\OBS\\OBS.exe", true),
                              exeEntry(L"OBS.exe", L"C:\\Program Files\\OBS\\OBS.exe", true)));
    monitor->addApp(kObsStudioToolName.toStdWString(),
                    appRecord(L"Un_A.exe", exeEntry(L"obs32.exe", L"bin\\32bit\\obs32.exe", false),
                              exeEntry(L"obs64.exe", L"bin\\64bit\\obs64.exe", false), L"obs"));
    monitor->addApp(kZvToolName.toStdWString(), appRecord(L"Au_.exe", exeEntry(L"ZVTool.exe", L"Tresk.exe", false)));
    monitor->start(2, [this](const std::wstring& toolName, int status) { onAppStatusChanged(toolName, status); });

    networkManager = new QNetworkAccessManager(this);
    connect(networkManager, &QNetworkAccessManager::finished, this, &ZvLiveToolsManager::sltNetwordAccessFinished);
    connect(networkManager, &QNetworkAccessManager::sslErrors, this, &ZvLiveToolsManager::sltSSLErrorDeal);
    requestDownloadUrlInfo();
    return true;
}

void ZvLiveToolsManager::onAppStatusChanged(const std::wstring& toolName, int status)
{
    const QString name = QString::fromStdWString(toolName);
    if (status == APP_NOT_INSTALLED && !getLaunchPath(name).isEmpty())
        status = APP_INSTALLED;
    emit sglUpdateAppStatus(name, status);
}

int ZvLiveToolsManager::getAppStatus(const QString& toolName)
{
    if (!monitor) {
        qWarning() << "[Logic] by kx ZvLiveToolsManager::getAppStatus {ZvAppStatusMonitor is NULL}";
        return APP_NOT_INSTALLED;
    }
    const int status = monitor->getAppStatus(toolName.toStdWString());
    return (status == APP_NOT_INSTALLED && !getLaunchPath(toolName).isEmpty()) ? int(APP_INSTALLED) : status;
}

int ZvLiveToolsManager::getAppInstallStatus(const QString& toolName)
{
    if (!monitor) {
        qWarning() << "[Logic] by kx ZvLiveToolsManager::getAppInstallStatus {ZvAppStatusMonitor is NULL}";
        return APP_NOT_INSTALLED;
    }
    const int status = monitor->getInstallStatus(toolName.toStdWString());
    return (status == APP_NOT_INSTALLED && !getLaunchPath(toolName).isEmpty()) ? int(APP_INSTALLED) : status;
}

bool ZvLiveToolsManager::knowsInstallState(const QString& toolName)
{
    return monitor && monitor->hasApp(toolName.toStdWString());
}

QString ZvLiveToolsManager::otherManagerObsPath() const
{
    const QString folder = getUninstallString(kOtherManagerToolName);
    if (folder.isEmpty())
        return QString();
    const QString path = localPath(folder + kOtherManagerObsPath);
    return fileExists(path) ? path : QString();
}

QString ZvLiveToolsManager::monitorLaunchPath(const QString& toolName)
{
    const QString path = QString::fromStdWString(monitor->getLaunchPath(toolName.toStdWString()));
    if (!path.isEmpty())
        return path;
    if (toolName == kObsStudioToolName)
        return distributionObsStudio();
    if (toolName != kObsClassicToolName)
        return path;
    QString installDir;
    {
        QMutexLocker locker(&pathMutex);
        installDir = obsClassicInstallDir;
    }
    if (installDir.isEmpty())
        return QString();
    const QString candidate = localPath(installDir + QStringLiteral("/OBS.exe"));
    return fileExists(candidate) ? candidate : QString();
}

QString ZvLiveToolsManager::getLaunchPath(const QString& toolName)
{
    if (!monitor) {
        qWarning() << "[Logic] by kx ZvLiveToolsManager::getLaunchPath {ZvAppStatusMonitor is NULL}";
        return QString();
    }
    // Copied out first, so pathMutex is never held while calling into the
    // monitor.
    QString userPath;
    {
        QMutexLocker locker(&pathMutex);
        if (toolName == kObsClassicToolName)
            userPath = obsLaunchPath;
        else if (toolName == kObsStudioToolName)
            userPath = obsStudioLaunchPath;
    }
    userPath = localPath(userPath);

    QString path;
    if (toolName == kZvToolName || toolName == kZvShowToolName) {
        path = monitorLaunchPath(toolName);
    } else if (toolName == kObsClassicToolName) {
        if (fileExists(userPath)) {
            path = userPath;
        } else {
            path = otherManagerObsPath();
            if (path.isEmpty())
                path = monitorLaunchPath(toolName);
        }
    } else if (toolName == kObsStudioToolName) {
        path = fileExists(userPath) ? userPath : monitorLaunchPath(toolName);
    }
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

void ZvLiveToolsManager::setLaunchPath(const QString& toolName, const QString& path)
{
    QMutexLocker locker(&pathMutex);
    if (toolName == kObsClassicToolName)
        obsLaunchPath = path;
    else if (toolName == kObsStudioToolName)
        obsStudioLaunchPath = path;
}

bool ZvLiveToolsManager::launchApplication(const QString& toolName)
{
    if (!monitor) {
        qWarning() << "[Logic] by kx ZvLiveToolsManager::launchApplication {ZvAppStatusMonitor is NULL}";
        return false;
    }
    const std::wstring name = toolName.toStdWString();
    const QString launch = monitorLaunchPath(toolName).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString primary = QString::fromStdWString(monitor->getPrimaryExePath(name));
    const QString secondary = QString::fromStdWString(monitor->getSecondaryExePath(name));
    QString userPath;
    {
        QMutexLocker locker(&pathMutex);
        userPath = toolName == kObsClassicToolName ? obsLaunchPath : obsStudioLaunchPath;
    }
    userPath = localPath(userPath);

    AppLaunchPointInfo info;
    info.type = pointToolType(toolName);
    QString path;
    if (toolName == kZvToolName || toolName == kZvShowToolName) {
        path = launch;
    } else if (toolName == kObsClassicToolName) {
        const QString other = otherManagerObsPath();
        if (fileExists(userPath)) {
            info.pa_type = 2;
            path = userPath;
            if (userPath == primary || userPath == secondary)
                info.OBS_type = 1;
            else if (userPath == other)
                info.OBS_type = 2;
            else
                info.OBS_type = 3;
        } else if (fileExists(other)) {
            info.pa_type = 1;
            info.OBS_type = 2;
            path = other;
        } else if (fileExists(launch)) {
            info.pa_type = 1;
            info.OBS_type = 1;
            path = launch;
        }
    } else if (toolName == kObsStudioToolName) {
        if (fileExists(userPath)) {
            info.pa_type = 2;
            path = userPath;
            const bool installed = userPath == primary || userPath == secondary || userPath == distributionObsStudio();
            info.OBS_type = installed ? 1 : 3;
        } else if (fileExists(launch)) {
            info.pa_type = 1;
            info.OBS_type = 1;
            path = launch;
        }
    } else {
        return false;
    }

    pointEventWithLaunchInfo(PointClickLivetoolOpen, QVariant::fromValue(info));
    if (!shellExecuteOpen(path.toStdWString(), std::wstring())) {
        qWarning().noquote() << QStringLiteral("[Logic] by kx ZvLiveToolsManager::launchApplication {launch ") +
                                    toolName + QStringLiteral(" failed , path : ") + path + QStringLiteral("}");
        return false;
    }
    return true;
}

bool ZvLiveToolsManager::killAppProcess(const QString& toolName)
{
    if (!monitor) {
        qWarning() << "[Logic] by kx ZvLiveToolsManager::killAppProcess {ZvAppStatusMonitor is NULL}";
        return false;
    }
    const QString exeName = QString::fromStdWString(monitor->getRunningExeName(toolName.toStdWString()));
    if (exeName.isEmpty())
        return true;
    return killProcessByName(exeName);
}

bool ZvLiveToolsManager::installLiveTool(const QString& toolName, const QString& installerFile,
                                         const QString& installDir, int expectedMs)
{
    {
        QMutexLocker locker(&taskMutex);
        for (const LiveToolTask& task : qAsConst(tasks))
            if (task.toolName == toolName)
                return true;
    }
    const QString parameters =
        QStringLiteral("/S /D=") + QString(installDir).replace(QLatin1Char('/'), QLatin1Char('\\'));
    const int result = shellOpenHidden(installerFile, parameters);
    if (result <= 31) {
        qWarning().noquote() << QStringLiteral("by kx open ") + toolName +
                                    QStringLiteral(" install failed,err code : ") + QString::number(result);
        return false;
    }
    LiveToolTask task;
    task.toolName = toolName;
    task.processName = afterLastSeparator(installerFile);
    task.expectedMs = qMax(expectedMs, 1); // the progress divides by it
    task.kind = 0;
    appendTask(task);
    return true;
}

bool ZvLiveToolsManager::uninstallLiveTool(const QString& toolName)
{
    if (!monitor) {
        qWarning() << "[Logic] by kx ZvLiveToolsManager::uninstallLiveTool {ZvAppStatusMonitor is NULL}";
        return false;
    }
    const std::wstring name = toolName.toStdWString();
    const QString command = QString::fromStdWString(monitor->getUninstallString(name));
    if (command.isEmpty())
        return false;
    // The entry quotes the uninstaller's path: the shell opens what is inside.
    const int result = shellOpenHidden(localPath(uninstallCommandProgram(command)), QStringLiteral("/S"));
    if (result <= 31) {
        qWarning().noquote() << QStringLiteral("[Logic] by kx open ") + toolName +
                                    QStringLiteral(" uninst failed,err code : ") + QString::number(result);
        return false;
    }
    LiveToolTask task;
    task.toolName = toolName;
    task.processName = QString::fromStdWString(monitor->getInstallerProcessName(name));
    task.expectedMs = 1;
    task.kind = 1;
    task.settleMs = kUninstallSettleMs;
    appendTask(task);
    return true;
}

void ZvLiveToolsManager::appendTask(const LiveToolTask& task)
{
    QMutexLocker locker(&taskMutex);
    tasks.append(task);
    if (tasks.size() == 1 && pollTimerId == -1)
        pollTimerId = startTimer(kPollIntervalMs, Qt::CoarseTimer);
}

bool ZvLiveToolsManager::isUnInstalling(const QString& toolName)
{
    QMutexLocker locker(&taskMutex);
    for (const LiveToolTask& task : qAsConst(tasks))
        if (task.toolName == toolName && task.kind == 1)
            return true;
    return false;
}

int ZvLiveToolsManager::getInstallProgress(const QString& toolName)
{
    QMutexLocker locker(&taskMutex);
    for (const LiveToolTask& task : qAsConst(tasks))
        if (task.toolName == toolName && task.kind == 0)
            return task.installPercent();
    return -1;
}

void ZvLiveToolsManager::timerEvent(QTimerEvent* event)
{
    QMutexLocker locker(&taskMutex);
    if (event->timerId() != pollTimerId || pollTimerId == -1) {
        locker.unlock();
        QObject::timerEvent(event);
        return;
    }
    bool scanned = false;
    const QStringList processes = getProcessNameList(&scanned);
    if (!scanned)
        return; // a failed scan says nothing about the tasks: try again next tick

    for (auto it = tasks.begin(); it != tasks.end();) {
        if (it->settleMs > 0) {
            it->settleMs -= kPollIntervalMs;
            ++it;
            continue;
        }
        const bool running = processes.contains(it->processName, Qt::CaseSensitive);
        if (running) {
            if (it->kind == 0) {
                it->elapsedMs += kPollIntervalMs;
                emit sglLiveToolInstallProgress(it->toolName, it->installPercent());
            }
            ++it;
            continue;
        }
        const QString toolName = it->toolName;
        const int kind = it->kind;
        it = tasks.erase(it);
        if (kind == 0) {
            emit sglLiveToolInstallProgress(toolName, 100);
            emit sglLiveToolInstallFinished(toolName);
        } else {
            emit sglLiveToolUnInstallFinished(toolName);
        }
    }
    if (tasks.isEmpty() && pollTimerId != -1) {
        killTimer(pollTimerId);
        pollTimerId = -1;
    }
}

QString ZvLiveToolsManager::getDownloadUrl(const QString& toolName)
{
    requestDownloadUrlInfo();
    QMutexLocker locker(&urlMutex);
    if (toolName == kZvToolName)
        return !zvToolDownloadUrl.isEmpty() ? zvToolDownloadUrl : QString::fromUtf8(zvToolInstallerUrl());
    if (toolName == kZvShowToolName)
        return !zvShowDownloadUrl.isEmpty() ? zvShowDownloadUrl : QString::fromUtf8(zvShowInstallerUrl());
    if (toolName == kObsClassicToolName)
        return QString::fromUtf8(obsInstallerUrl());
    if (toolName == kObsStudioToolName)
        return QString::fromUtf8(obsStudioInstallerUrl());
    return QString();
}

void ZvLiveToolsManager::requestDownloadUrlInfo()
{
    if (!networkManager || downloadSrcType != 0)
        return;
    QNetworkRequest request(QUrl(QString::fromUtf8(checkPackageUrl())));
    request.setTransferTimeout(kRequestTimeoutMs);
    networkManager->get(request);
}

void ZvLiveToolsManager::sltNetwordAccessFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning() << "by kx obtain download url info failed";
        return;
    }
    const QByteArray body = reply->readAll();
    const QString url = reply->url().toString();
    if (url == QString::fromUtf8(toolClientInfoUrl())) {
        const QString address = livetools::parseZvShowClientInfo(body);
        QMutexLocker locker(&urlMutex);
        if (!address.isEmpty())
            zvShowDownloadUrl = address;
    } else if (url == QString::fromUtf8(checkPackageUrl())) {
        const QString address = livetools::parseZvToolPackageInfo(body);
        QMutexLocker locker(&urlMutex);
        if (!address.isEmpty())
            zvToolDownloadUrl = address;
    }
}

void ZvLiveToolsManager::sltSSLErrorDeal(QNetworkReply* reply, const QList<QSslError>& errors)
{
    Q_UNUSED(reply);
    // Logged only: the reply fails, and the built-in addresses stay in use.
    for (const QSslError& error : errors)
        qWarning().noquote()
            << QStringLiteral("ZvLiveToolsManager::sltSSLErrorDeal {error : %1}").arg(error.errorString());
}

namespace livetools {

namespace {

// The steps both replies share: body, error number, "data" object.
bool replyData(const QByteArray& body, QJsonObject& data)
{
    if (body.isEmpty()) {
        qWarning() << "by kx get pc client info is null";
        return false;
    }
    const QJsonObject reply = QJsonDocument::fromJson(body).object();
    const int error = reply.value(QStringLiteral("error")).toInt(0);
    if (error != 0) {
        qWarning().noquote() << QStringLiteral("by kx get download url failed ,err code : ") + QString::number(error);
        return false;
    }
    const QJsonValue value = reply.value(QStringLiteral("data"));
    if (!value.isObject()) {
        qWarning() << "by kx get download data is null ";
        return false;
    }
    data = value.toObject();
    return true;
}

QString acceptedAddress(const QString& address, const char* tool)
{
    if (!address.isEmpty() && !isAcceptableInstallerUrl(address)) {
        qWarning().noquote() << QStringLiteral("by kx refused %1 download url : %2").arg(QLatin1String(tool), address);
        return QString();
    }
    qInfo().noquote() << QStringLiteral("by kx get %1 download url success : %2").arg(QLatin1String(tool), address);
    return address;
}

} // namespace

bool isAcceptableInstallerUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("https") || parsed.host().isEmpty())
        return false;
    // Decoded after the split, so that an encoded separator cannot hide.
    const QString path = parsed.path(QUrl::FullyEncoded);
    const QString name = QUrl::fromPercentEncoding(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toUtf8());
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

QString parseZvToolPackageInfo(const QByteArray& body)
{
    QJsonObject data;
    if (!replyData(body, data))
        return QString();
    const QJsonValue address = data.value(QStringLiteral("fileUrl"));
    if (!address.isString()) {
        qWarning() << "by kx get ZVTool download url failed";
        return QString();
    }
    return acceptedAddress(address.toString(), "ZVTool");
}

QString parseZvShowClientInfo(const QByteArray& body)
{
    QJsonObject data;
    if (!replyData(body, data))
        return QString();
    const QJsonValue show = data.value(QStringLiteral("zbpc_show"));
    if (!show.isObject()) {
        qWarning() << "by kx get ZVShow info failed";
        return QString();
    }
    const QJsonValue address = show.toObject().value(QStringLiteral("down_url"));
    if (!address.isString()) {
        qWarning() << "by kx get ZVShow download url failed";
        return QString();
    }
    return acceptedAddress(address.toString(), "ZVShow");
}

} // namespace livetools
