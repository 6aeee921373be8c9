#pragma once
// The four live tools (OBS classic, OBS Studio, ZVTool, ZVShow): whether each
// is installed or running, starting and ending them, running their installers
// and uninstallers silently with progress until that process has gone, and
// where their installers are downloaded from.
//
// GUI thread for every operation. sglUpdateAppStatus comes from the status
// monitor's thread; the three task signals are emitted while the
// non-recursive task mutex is held: connect every receiver queued (a direct
// receiver calling isUnInstalling, getInstallProgress or installLiveTool
// would wait forever).

#include <QList>
#include <QMutex>
#include <QObject>
#include <QSslError>
#include <QString>

#include <string>

class QNetworkAccessManager;
class QNetworkReply;
class ZvAppStatusMonitor;

// A live tool's status, as getAppStatus gives it and sglUpdateAppStatus
// reports it.
enum AppStatus {
    APP_NOT_INSTALLED = 0,
    APP_INSTALLED = 1,
    APP_RUNNING = 2,
};

struct LiveToolTask
{
    QString toolName;
    // The executable whose presence in the process list means the task runs.
    QString processName;
    qint64 elapsedMs = 0;
    int expectedMs = 1;
    int kind = 0; // 0 install, 1 uninstall
    // Time left before the process list is first checked: a program started
    // through the shell takes a moment to show there.
    qint64 settleMs = 0;

    // 0-100 of the expected time; in 64 bits, as a hung installer may run
    // for hours.
    int installPercent() const { return static_cast<int>(qMin<qint64>(elapsedMs * 100 / expectedMs, 100)); }
};

class ZvLiveToolsManager : public QObject
{
    Q_OBJECT
public:
    ZvLiveToolsManager();
    ~ZvLiveToolsManager() override;

    // False only when the monitor cannot be created.
    bool init(int liveToolDownloadSrcType);

    // An AppStatus (fresh scans).
    int getAppStatus(const QString& toolName);
    int getAppInstallStatus(const QString& toolName);
    // Whether the monitor watches the tool's Uninstall entry; for a tool it
    // does not (ZVShow), getAppInstallStatus cannot tell an install apart.
    bool knowsInstallState(const QString& toolName);
    bool launchApplication(const QString& toolName);
    bool killAppProcess(const QString& toolName);
    // Runs the installer with "/S /D=<installDir>"; true also when the tool
    // already has a pending task (nothing is started then).
    bool installLiveTool(const QString& toolName, const QString& installerFile, const QString& installDir,
                         int expectedMs);
    // Runs the registered uninstaller with "/S" and returns at once; its task
    // first looks for the uninstaller in the process list a second later and
    // ends with sglLiveToolUnInstallFinished once it has gone. False when no
    // uninstaller is registered or it could not be started.
    bool uninstallLiveTool(const QString& toolName);
    bool isUnInstalling(const QString& toolName);
    // 0-100 for a pending install of the tool, -1 when there is none.
    int getInstallProgress(const QString& toolName);
    QString getDownloadUrl(const QString& toolName);
    // The executable the tool can be started from ("/" separators), "" if none.
    QString getLaunchPath(const QString& toolName);
    // The user's OBS classic or OBS Studio executable; other tools: ignored.
    void setLaunchPath(const QString& toolName, const QString& path);

signals:
    void sglUpdateAppStatus(QString toolName, int status);
    void sglLiveToolInstallProgress(QString toolName, int progress);
    void sglLiveToolInstallFinished(QString toolName);
    void sglLiveToolUnInstallFinished(QString toolName);

public slots:
    void sltNetwordAccessFinished(QNetworkReply* reply);
    void sltSSLErrorDeal(QNetworkReply* reply, const QList<QSslError>& errors);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void onAppStatusChanged(const std::wstring& toolName, int status);
    void requestDownloadUrlInfo();
    void appendTask(const LiveToolTask& task);
    // The monitor's launch path; failing that, for OBS classic the configured
    // install folder's "OBS.exe" (where this program installs it), for OBS
    // Studio the distribution's "obs" found on the search path.
    QString monitorLaunchPath(const QString& toolName);
    QString otherManagerObsPath() const;

    ZvAppStatusMonitor* monitor = nullptr;
    QList<LiveToolTask> tasks;
    QMutex taskMutex;
    int pollTimerId = -1;
    int downloadSrcType = 0;
    QNetworkAccessManager* networkManager = nullptr;
    QString zvToolDownloadUrl;
    QString zvShowDownloadUrl;
    QMutex urlMutex;
    // Read on the monitor's thread: taken under pathMutex and copied out
    // before any call into the monitor.
    QString obsLaunchPath;
    QString obsStudioLaunchPath;
    QString obsClassicInstallDir;
    QMutex pathMutex;
};

namespace livetools {
// An installer address from a server: only https, and its file name (the
// last path segment, decoded) must not be empty, "." or "..", nor hold a
// separator, since that file is saved and run.
bool isAcceptableInstallerUrl(const QString& url);
// The address of a release-service package reply {"error":0,"data":
// {"fileUrl":..}} and of a tool-client information reply {"error":0,"data":
// {"zbpc_show":{"down_url":..}}}; "" (with a warning logged) on any failure.
QString parseZvToolPackageInfo(const QByteArray& body);
QString parseZvShowClientInfo(const QByteArray& body);
} // namespace livetools
