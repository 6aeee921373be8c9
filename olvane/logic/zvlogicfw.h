#pragma once
// ZvLogicFW: the logic hub. One object creates and owns the logic services
// (live tools manager, the three runtime repairs, the account client), hands
// them out to the windows, and funnels every event they raise into the one
// IZvLogicListener the user interface registers.
//
// GUI thread only. Each event reaches one slot of the hub, which calls the
// listener operation of the same place in the interface, unchanged; so every
// listener call happens on the GUI thread. The account client's and the
// tools manager's task signals are delivered queued (never inside the
// emitting call), the status signal from the monitor thread likewise, the
// downloaders' and repairs' signals directly.
//
// Lifetime: the services hold network managers and a thread, so they must go
// before the application object does. The hub of instance() frees them,
// then the download pool and the analytics sender's network, in one guarded
// shutdown run by the application's aboutToQuit or, failing that, while the
// application object is destroyed.
// After it every accessor returns null and no event reaches the listener.

#include "logic/izvlogiclistener.h"

#include <QMap>
#include <QObject>
#include <QString>

class LoginManager;
class ZvFileDownloaderMgr;
class ZvLiveToolsManager;
class ZvToolRepair;

class ZvLogicFW : public QObject
{
    Q_OBJECT
public:
    // The program's hub, created on the first call; create the application
    // object first, so that the hub is shut down before it goes.
    static ZvLogicFW* instance();

    // Tests may build hubs of their own; the program uses instance(). The
    // destructor shuts the hub down if that has not happened yet.
    ZvLogicFW();
    ~ZvLogicFW() override;

    // Builds the tools manager (initialised with liveToolDownloadSrcType),
    // the repairs and the account client (which starts its time
    // synchronisation), and connects them. False, with a critical log line,
    // when the tools manager or the account client cannot be made; nothing is
    // kept of a failed tools manager, so a later call tries again. A call
    // after a success changes nothing and returns true; after shutdown false.
    bool initialize(int liveToolDownloadSrcType);
    // The listener is not owned; null silences every event.
    void setLogicListener(IZvLogicListener* listener);

    // Null before initialize and after shutdown.
    ZvLiveToolsManager* getLiveToolsManager() const { return liveToolsManager; }
    LoginManager* getLoginManager() const { return loginManager; }
    // "NET Framework 4.0", "DirectX" or "vcredist_x86" (exact case); null for
    // any other name.
    ZvToolRepair* getToolRepair(const QString& name) const;
    // The download pool (not owned); null when there is no application
    // object or the pool has been freed.
    ZvFileDownloaderMgr* getFileDownloaderMgr() const;

    // Detaches the listener, then frees the account client, the repairs and
    // the tools manager (joining the monitor thread), in reverse order of
    // creation. Runs once; later calls do nothing.
    void shutdown();
    // The program's shutdown: instance()'s shutdown, the download pool, then
    // the analytics sender's network.
    static void shutdownInstance();

public slots:
    // Slot k calls listener operation k with its arguments, nothing else.
    void sltUpdateAppStatus(QString name, int status);
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);
    void sltLiveToolInstallProgress(QString name, int progress);
    void sltLiveToolInstallFinished(QString name);
    void sltLiveToolUnInstallFinished(QString name);
    // 8-10 belong to the companion module's service; nothing connects them.
    void sltBroadcastMsg(QString url, QString code);
    void sltOpenLiveRoomResult(int res, QString msg);
    void sltLiveCodeModuleClose();
    void sltRepairFinished(QString name);
    void sltLoginSuccessed();
    void sltBeginLogin();
    void sltLoginFinished(int errorCode, QString errorMsg);
    void sltQRCodeChanged();
    void sltGetRtmpSuccessed(QString rtmpUrl, QString liveCode);
    void sltGetRtmpFailed(int errorNo, QString msg);
    void sltLogout();
    void sltGetQRCodeFailed(int errorCode, QString errorMsg);
    void sltCloseLiveRoomSuccess();
    void sltCloseLiveRommFailed(int errorNo, QString msg);
    void sltCheckInGuildResult(int errorNo, QString msg, bool check);

private:
    void connectLiveToolsManager();
    // Everything but the tools manager, connected at its creation.
    void connectSignals();
    // Runs shutdownInstance at aboutToQuit and in the application object's
    // destructor; once, and only when there is an application object.
    static void tieToApplication();

    ZvLiveToolsManager* liveToolsManager = nullptr;
    IZvLogicListener* logicListener = nullptr;
    LoginManager* loginManager = nullptr;
    QMap<QString, ZvToolRepair*> toolRepairs;
    bool shutDown = false;
};
