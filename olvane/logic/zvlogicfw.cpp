#include "logic/zvlogicfw.h"

#include "core/stringconstants.h"
#include "core/zavmopointing.h"
#include "logic/loginmanager.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvtoolrepair.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>

#include <new>

namespace {

bool g_tiedToApplication = false;
constexpr int kCloseRoomQuitWaitMs = 2000;

} // namespace

ZvLogicFW* ZvLogicFW::instance()
{
    static ZvLogicFW hub;
    tieToApplication();
    return &hub;
}

void ZvLogicFW::tieToApplication()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (g_tiedToApplication || !app)
        return;
    g_tiedToApplication = true;
    // aboutToQuit comes while windows and the event loop still exist; the post
    // routine covers a run that never reached the event loop's end.
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, &ZvLogicFW::shutdownInstance);
    qAddPostRoutine(&ZvLogicFW::shutdownInstance);
}

void ZvLogicFW::shutdownInstance()
{
    instance()->shutdown();
    ZvFileDownloaderMgr::destroyInstance();
    // Analytics sent from here on are dropped (and logged).
    ZavmoPointing::instance()->releaseNetwork();
}

ZvLogicFW::ZvLogicFW() : QObject(nullptr) {}

ZvLogicFW::~ZvLogicFW()
{
    shutdown();
}

bool ZvLogicFW::initialize(int liveToolDownloadSrcType)
{
    if (shutDown) {
        qCritical() << "[Logic] by kx ZvLogicFW::initialize {the logic hub has been shut down}";
        return false;
    }
    if (loginManager)
        return true;

    if (!liveToolsManager) {
        liveToolsManager = new (std::nothrow) ZvLiveToolsManager;
        // Connected before init starts the monitor, whose first report of
        // every tool would otherwise be lost.
        if (liveToolsManager)
            connectLiveToolsManager();
        if (!liveToolsManager || !liveToolsManager->init(liveToolDownloadSrcType)) {
            qCritical() << "[Logic] by kx ZvLogicFW::initialize {live tools manager init failed}";
            delete liveToolsManager;
            liveToolsManager = nullptr;
            return false;
        }
    }

    // A repair already present (from an earlier, failed initialize) stays.
    const auto addRepair = [this](const QString& name, auto* repair) {
        if (repair && !toolRepairs.contains(name))
            toolRepairs.insert(name, repair);
        else
            delete repair;
    };
    addRepair(kNetFrameworkName,
              new (std::nothrow) ZvNetFrameworkRepair(kNetFrameworkName, QStringLiteral("NET_Framework4.exe")));
    addRepair(kDirectXName,
              new (std::nothrow) ZvDirectXRepair(kDirectXName, QStringLiteral("DirectX_Repair_win8.exe")));
    addRepair(kVcRedistName, new (std::nothrow) ZvVCRedistRepair(kVcRedistName, QStringLiteral("vcredist_x86.exe")));

    loginManager = new (std::nothrow) LoginManager;
    if (!loginManager) {
        qCritical() << "[Logic] by kx ZvLogicFW::initialize {create login manager failed}";
        return false;
    }
    // Analytics events carry the user of this hub's account client.
    setPointingUserProvider([hub = QPointer<ZvLogicFW>(this)](int& uid, int& roomId) {
        LoginManager* manager = hub ? hub->getLoginManager() : nullptr;
        if (!manager)
            return false;
        uid = manager->getUid();
        roomId = manager->getRoomId();
        return true;
    });

    connectSignals();
    return true;
}

void ZvLogicFW::setLogicListener(IZvLogicListener* listener)
{
    logicListener = listener;
}

ZvToolRepair* ZvLogicFW::getToolRepair(const QString& name) const
{
    return toolRepairs.value(name, nullptr);
}

ZvFileDownloaderMgr* ZvLogicFW::getFileDownloaderMgr() const
{
    return ZvFileDownloaderMgr::instance();
}

void ZvLogicFW::connectLiveToolsManager()
{
    connect(liveToolsManager, &ZvLiveToolsManager::sglUpdateAppStatus, this, &ZvLogicFW::sltUpdateAppStatus);
    // Emitted with the tools manager's task mutex held: queued, always.
    connect(liveToolsManager, &ZvLiveToolsManager::sglLiveToolInstallProgress, this,
            &ZvLogicFW::sltLiveToolInstallProgress, Qt::QueuedConnection);
    connect(liveToolsManager, &ZvLiveToolsManager::sglLiveToolInstallFinished, this,
            &ZvLogicFW::sltLiveToolInstallFinished, Qt::QueuedConnection);
    connect(liveToolsManager, &ZvLiveToolsManager::sglLiveToolUnInstallFinished, this,
            &ZvLogicFW::sltLiveToolUnInstallFinished, Qt::QueuedConnection);
}

void ZvLogicFW::connectSignals()
{
    // The pool never grows: connecting it once reaches every download.
    if (ZvFileDownloaderMgr* pool = ZvFileDownloaderMgr::instance()) {
        for (ZvFileDownloader* downloader : pool->getAllDownloaders()) {
            connect(downloader, &ZvFileDownloader::sglUpdateDownloadProgress, this,
                    &ZvLogicFW::sltUpdateDownloadProgress);
            connect(downloader, &ZvFileDownloader::sglDownloadFinished, this, &ZvLogicFW::sltDownloadFinished);
            connect(downloader, &ZvFileDownloader::sglDownloadFailed, this, &ZvLogicFW::sltDownloadFailed);
        }
    }

    for (ZvToolRepair* repair : qAsConst(toolRepairs))
        connect(repair, &ZvToolRepair::sglRepairFinished, this, &ZvLogicFW::sltRepairFinished);

    const auto queued = Qt::QueuedConnection;
    connect(loginManager, &LoginManager::sglLoginSucceeded, this, &ZvLogicFW::sltLoginSuccessed, queued);
    connect(loginManager, &LoginManager::sglBeginLogin, this, &ZvLogicFW::sltBeginLogin, queued);
    connect(loginManager, &LoginManager::sglLoginFinished, this, &ZvLogicFW::sltLoginFinished, queued);
    connect(loginManager, &LoginManager::sglQRCodeChanged, this, &ZvLogicFW::sltQRCodeChanged, queued);
    connect(loginManager, &LoginManager::sglGetRtmpSuccessed, this, &ZvLogicFW::sltGetRtmpSuccessed, queued);
    connect(loginManager, &LoginManager::sglGetRtmpFailed, this, &ZvLogicFW::sltGetRtmpFailed, queued);
    connect(loginManager, &LoginManager::sglLogout, this, &ZvLogicFW::sltLogout, queued);
    connect(loginManager, &LoginManager::sglGetQRCodeFailed, this, &ZvLogicFW::sltGetQRCodeFailed, queued);
    connect(loginManager, &LoginManager::sglCloseLiveRoomSuccess, this, &ZvLogicFW::sltCloseLiveRoomSuccess, queued);
    connect(loginManager, &LoginManager::sglCloseLiveRommFailed, this, &ZvLogicFW::sltCloseLiveRommFailed, queued);
    connect(loginManager, &LoginManager::sglCheckInGuildRequest, this, &ZvLogicFW::sltCheckInGuildResult, queued);
}

void ZvLogicFW::shutdown()
{
    if (shutDown)
        return;
    shutDown = true;
    // First, so that nothing said while the services go reaches a listener
    // whose owner may be going too.
    logicListener = nullptr;

    // A close of the live room asked for just before the quit still leaves;
    // not from the post routine, after the application object has gone.
    if (loginManager && QCoreApplication::instance() && !QCoreApplication::closingDown())
        loginManager->waitForCloseLiveRoom(kCloseRoomQuitWaitMs);
    delete loginManager;
    loginManager = nullptr;
    while (!toolRepairs.isEmpty()) {
        auto last = std::prev(toolRepairs.end());
        delete last.value();
        toolRepairs.erase(last);
    }
    delete liveToolsManager; // stops and joins the monitor thread
    liveToolsManager = nullptr;
}

void ZvLogicFW::sltUpdateAppStatus(QString name, int status)
{
    if (logicListener)
        logicListener->onUpdateAppStatus(name, status);
}

void ZvLogicFW::sltUpdateDownloadProgress(QString name, int progress)
{
    if (logicListener)
        logicListener->onUpdateDownloadProgress(name, progress);
}

void ZvLogicFW::sltDownloadFinished(QString name, QString downloadedFile)
{
    if (logicListener)
        logicListener->onDownloadFinished(name, downloadedFile);
}

void ZvLogicFW::sltDownloadFailed(QString name)
{
    if (logicListener)
        logicListener->onDownloadFailed(name);
}

void ZvLogicFW::sltLiveToolInstallProgress(QString name, int progress)
{
    if (logicListener)
        logicListener->onLiveToolInstallProgress(name, progress);
}

void ZvLogicFW::sltLiveToolInstallFinished(QString name)
{
    if (logicListener)
        logicListener->onLiveToolInstallFinished(name);
}

void ZvLogicFW::sltLiveToolUnInstallFinished(QString name)
{
    if (logicListener)
        logicListener->onLiveToolUnInstallFinished(name);
}

void ZvLogicFW::sltBroadcastMsg(QString url, QString code)
{
    if (logicListener)
        logicListener->onBroadcastInfoMsg(url, code);
}

void ZvLogicFW::sltOpenLiveRoomResult(int res, QString msg)
{
    if (logicListener)
        logicListener->onOpenLiveRoomResult(res, msg);
}

void ZvLogicFW::sltLiveCodeModuleClose()
{
    if (logicListener)
        logicListener->onLiveCodeModuleClose();
}

void ZvLogicFW::sltRepairFinished(QString name)
{
    if (logicListener)
        logicListener->onRepairFinished(name);
}

void ZvLogicFW::sltLoginSuccessed()
{
    if (logicListener)
        logicListener->onLoginSuccessed();
}

void ZvLogicFW::sltBeginLogin()
{
    if (logicListener)
        logicListener->onBeginLogin();
}

void ZvLogicFW::sltLoginFinished(int errorCode, QString errorMsg)
{
    if (logicListener)
        logicListener->onLoginFinished(errorCode, errorMsg);
}

void ZvLogicFW::sltQRCodeChanged()
{
    if (logicListener)
        logicListener->onQRCodeChanged();
}

void ZvLogicFW::sltGetRtmpSuccessed(QString rtmpUrl, QString liveCode)
{
    if (logicListener)
        logicListener->onGetRtmpSuccessed(rtmpUrl, liveCode);
}

void ZvLogicFW::sltGetRtmpFailed(int errorNo, QString msg)
{
    if (logicListener)
        logicListener->onGetRtmpFailed(errorNo, msg);
}

void ZvLogicFW::sltLogout()
{
    if (logicListener)
        logicListener->onLogout();
}

void ZvLogicFW::sltGetQRCodeFailed(int errorCode, QString errorMsg)
{
    if (logicListener)
        logicListener->onGetQRCodeFailed(errorCode, errorMsg);
}

void ZvLogicFW::sltCloseLiveRoomSuccess()
{
    if (logicListener)
        logicListener->onCloseLiveRoomSuccess();
}

void ZvLogicFW::sltCloseLiveRommFailed(int errorNo, QString msg)
{
    if (logicListener)
        logicListener->onCloseLiveRommFailed(errorNo, msg);
}

void ZvLogicFW::sltCheckInGuildResult(int errorNo, QString msg, bool check)
{
    if (logicListener)
        logicListener->onCheckInGuildResult(errorNo, msg, check);
}
