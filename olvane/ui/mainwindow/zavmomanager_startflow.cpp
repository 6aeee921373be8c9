// The OBS start flow of the main window: runtime check, then the start mode
// of the current edition (relay through the companion, or the push address
// fetched and written before OBS starts).

#include "ui/mainwindow/zavmomanager.h"

#include "core/appconfig.h"
#include "core/zavmopointing.h"
#include "logic/loginmanager.h"
#include "logic/toolconfigfiles.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvtoolrepair.h"
#include "ui/install/zvenvironmentalrepair.h"
#include "ui/install/zvinstallwidget.h"
#include "ui/login/zvgetrtmpfalsewidget.h"
#include "ui/login/zvliveaddressset.h"
#include "ui/login/zvloginwidget.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/zavmomanager_p.h"

#include <QDebug>
#include <QFileInfo>
#include <QTimer>

using namespace mainwindow;

namespace {

constexpr int kLiveCodeTimeoutMs = 5000;

// Results of the push-address dialog and of the failed-fetch dialog.
constexpr int kAddressWritten = 0;
constexpr int kAddressFetch = 2;
constexpr int kAddressNotRestarted = 4;
constexpr int kFetchFailedByHand = 1;
constexpr int kFetchFailedStartObs = 2;

const QString kSkipText = QStringLiteral("跳过");
const QString kCancelText = QStringLiteral("取消");

} // namespace

void zavmoManager::on_button_open_OBS_clicked()
{
    if (!currentToolStillInstalled())
        return;
    checkToolRepair();

    const ObsEdition* edition = obsEdition(m_currentTool);
    if (edition && edition->relayMode->isChecked()) {
        startObsWithCompanion();
        return;
    }
    if (isWriteCodeMode()) {
        LoginManager* login = loginManager();
        if (!login || !m_logicListener || !m_liveCodeTimer)
            return;
        if (!ensureLogin(login))
            return;
        startRtmpRequest();
        return;
    }
    runLiveAddressDialog(kSkipText, false);
}

bool zavmoManager::isWriteCodeMode() const
{
    const ObsEdition* edition = obsEdition(m_currentTool);
    return edition && edition->writeCodeMode->isChecked();
}

void zavmoManager::checkToolRepair()
{
    if (!m_config || m_config->getEnvironmentRepairIgnore())
        return;
    // The runtimes are what the Windows programs need; the Linux program
    // "obs" needs none of them.
    ZvLiveToolsManager* tools = toolsManager();
    if (m_currentTool == kObsStudioToolName && tools &&
        QFileInfo(tools->getLaunchPath(m_currentTool)).fileName() == QLatin1String("obs"))
        return;
    ZvLogicFW* hub = ZvLogicFW::instance();
    auto needs = [hub](const QString& name) {
        ZvToolRepair* repair = hub->getToolRepair(name);
        return repair && repair->needRepair();
    };
    // .NET is offered only together with DirectX, whose repair tool needs it.
    QStringList names;
    if (needs(kDirectXName)) {
        if (needs(kNetFrameworkName))
            names << kNetFrameworkName;
        names << kDirectXName;
    }
    if (needs(kVcRedistName))
        names << kVcRedistName;
    if (names.isEmpty())
        return;
    // Whatever the user does there, the start goes on.
    zvEnvironmentalRepair dialog(names, 0, this);
    dialog.exec();
}

void zavmoManager::startObsWithCompanion()
{
    ZvLiveToolsManager* tools = toolsManager();
    // The relay always goes through this companion, whichever the companion card shows.
    const int companion = tools->getAppStatus(kZvToolName);
    if (companion == APP_NOT_INSTALLED) {
        pointEventWithInt(PointClickInstall, QStringLiteral("type"), pointToolType(kZvToolName));
        zvInstallWidget dialog(this);
        dialog.setToolType(INSTALL_ZV_TOOL);
        if (dialog.exec() == 1) {
            startToolDownload(kZvToolName);
            ui.button_ZavmoLive->click();
        }
        return;
    }
    if (companion == APP_RUNNING) {
        if (!prompt(kCompanionStartedText, false, this))
            return;
        if (!launchOrWarn(m_currentTool))
            return;
        // Started once more although it runs: it brings its window forward.
        if (!tools->launchApplication(kZvToolName))
            qWarning("[UI] by kx zavmoManager::startObsWithCompanion {companion not started}");
        openTableUrl(guildHelpArticleUrl());
        return;
    }
    if (!launchOrWarn(m_currentTool))
        return;
    // The companion opens on its OBS relay page.
    setZVToolNumberSetting(QStringLiteral("guide.live.type"), 9);
    if (!tools->launchApplication(kZvToolName))
        qWarning("[UI] by kx zavmoManager::startObsWithCompanion {companion not started}");
}

bool zavmoManager::ensureLogin(LoginManager* login)
{
    if (login->isLogin())
        return true;
    ZvLoginWidget dialog(this);
    return dialog.exec() == 1;
}

void zavmoManager::startRtmpRequest()
{
    LoginManager* login = loginManager();
    if (!login || !m_logicListener || !m_liveCodeTimer || m_rtmpRequestPending)
        return;
    m_rtmpRequestPending = true;
    connect(m_liveCodeTimer, &QTimer::timeout, this, &zavmoManager::sltGetLiveCodeTimeout, Qt::QueuedConnection);
    connect(m_logicListener, &UILogicListener::sglGetRtmpSuccessed, this, &zavmoManager::sltGetRtmpInfoSuccessed,
            Qt::QueuedConnection);
    connect(m_logicListener, &UILogicListener::sglGetRtmpFailed, this, &zavmoManager::sltGetRtmpInfoFailed,
            Qt::QueuedConnection);
    // Nothing else can be clicked while the request runs.
    setEnabled(false);
    login->getRtmpInfo();
    m_liveCodeTimer->setSingleShot(true);
    m_liveCodeTimer->start(kLiveCodeTimeoutMs);
    pointEvent(PointClickLivesetGet);
}

bool zavmoManager::endRtmpRequest()
{
    // A queued end posted before the disconnect still arrives: it finds the
    // request over.
    if (!m_rtmpRequestPending)
        return false;
    m_rtmpRequestPending = false;
    if (m_logicListener) {
        disconnect(m_logicListener, &UILogicListener::sglGetRtmpSuccessed, this,
                   &zavmoManager::sltGetRtmpInfoSuccessed);
        disconnect(m_logicListener, &UILogicListener::sglGetRtmpFailed, this, &zavmoManager::sltGetRtmpInfoFailed);
    }
    disconnect(m_liveCodeTimer, &QTimer::timeout, this, &zavmoManager::sltGetLiveCodeTimeout);
    m_liveCodeTimer->stop();
    setEnabled(true);
    return true;
}

void zavmoManager::sltGetLiveCodeTimeout()
{
    sltGetRtmpInfoFailed(-1, QStringLiteral("获取推流码超时"));
}

void zavmoManager::sltGetRtmpInfoSuccessed(QString rtmpUrl, QString liveCode)
{
    if (!m_rtmpRequestPending)
        return;
    pointEvent(PointShowLivesetGetSucc);
    endRtmpRequest();
    ZvLiveToolsManager* tools = toolsManager();
    ObsEdition* edition = obsEdition(m_currentTool);
    if (!tools || !edition)
        return;
    const QString tool = m_currentTool;

    if (tools->getAppStatus(tool) == APP_RUNNING) {
        zvMsgTipWidget restart(kObsRestartPromptText, true, this);
        restart.setButtonText(QStringLiteral("重启OBS"), kCancelText);
        if (restart.exec() != QDialog::Accepted)
            return;
        // A scan between the kill and the relaunch must not count as OBS
        // having been closed while the room is open.
        edition->restarting = true;
        if (!tools->killAppProcess(tool)) {
            edition->restarting = false;
            prompt(kRestartFailedText, false, this);
            return;
        }
    }

    edition->roomOpened = true;
    if (!edition->writePushInfo(rtmpUrl, liveCode)) {
        // OBS would start without the address while the card says the room is ready.
        qWarning().noquote() << "[UI] by kx zavmoManager::sltGetRtmpInfoSuccessed {push settings of" << tool
                             << "not written}";
        edition->roomOpened = false;
        edition->restarting = false;
        prompt(kPushSettingsWriteFailedText, false, this);
        return;
    }

    if (tools->getAppStatus(tool) == APP_NOT_INSTALLED) {
        clearRoomOpened();
        edition->restarting = false;
        m_currentToolStatus = APP_NOT_INSTALLED;
        refreshToolState();
        return;
    }
    if (!tools->launchApplication(tool)) {
        clearRoomOpened();
        edition->restarting = false;
        prompt(kLaunchToolFailedText, false, this);
        return;
    }
    ui.label_OBS_broadcast_tip->show();
    edition->modePanel->hide();
}

void zavmoManager::sltGetRtmpInfoFailed(int errorNo, QString msg)
{
    if (!m_rtmpRequestPending)
        return;
    // Neither is shown to the user.
    qWarning().noquote() << "[UI] by kx zavmoManager::sltGetRtmpInfoFailed {" << errorNo << msg << "}";
    endRtmpRequest();
    ZvLiveToolsManager* tools = toolsManager();
    if (!tools || !obsEdition(m_currentTool))
        return;
    const bool writeCode = isWriteCodeMode();

    zvGetRtmpFalseWidget dialog(this);
    dialog.exec();
    const int choice = dialog.getResult();
    const int status = tools->getAppStatus(m_currentTool);
    if (choice == kFetchFailedStartObs) {
        if (status == APP_NOT_INSTALLED || status == APP_RUNNING) {
            refreshToolState();
            return;
        }
        launchOrWarn(m_currentTool);
    } else if (choice == kFetchFailedByHand) {
        runLiveAddressDialog(writeCode ? kCancelText : kSkipText, writeCode);
    }
}

void zavmoManager::runLiveAddressDialog(const QString& cancelText, bool writeCode)
{
    zvLiveAddressSet dialog(m_currentTool, cancelText, this);
    const int result = execLiveAddressDialog(dialog);
    if (result == kAddressFetch) {
        // The login was ensured by execLiveAddressDialog.
        startRtmpRequest();
        return;
    }
    if ((writeCode && result != kAddressWritten) || result == kAddressNotRestarted)
        return;
    ZvLiveToolsManager* tools = toolsManager();
    if (!tools)
        return;
    const int status = tools->getAppStatus(m_currentTool);
    if (status == APP_NOT_INSTALLED || (status == APP_RUNNING && result != kAddressWritten)) {
        refreshToolState();
        return;
    }
    launchOrWarn(m_currentTool);
}

int zavmoManager::execLiveAddressDialog(zvLiveAddressSet& dialog)
{
    if (!toolsManager())
        return 1;
    dialog.exec();
    const int result = dialog.getResult();
    if (result != kAddressFetch)
        return result;
    // Fetching needs a login; without one the dialog comes back.
    LoginManager* login = loginManager();
    if (!login || !ensureLogin(login))
        return execLiveAddressDialog(dialog);
    return kAddressFetch;
}
