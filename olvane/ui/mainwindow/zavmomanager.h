#pragma once
// The main window: a frameless, translucent 942 x 622 window with a painted
// shadow, the title bar, and two pages below it: the live page (one card per
// tool family: install, start, progress) and the toolbox (shortcuts to the
// dialogs and help pages). It owns the settings object and the logic
// listener, keeps a tray icon so the program lives on while hidden, and is
// reached by every other window through the main window link (and instance).
//
// Closing the window only hides it; the program ends through the tray's quit
// action or the title bar's close button in quit mode, both through
// quitApplication() 100 ms after the quit event was sent.
//
// GUI thread only.

#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/zvtitlebar.h"
#include "ui_zavmomanager.h"

#include <QMap>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

class AppConfig;
class LoginManager;
class QAction;
class QMenu;
class QTimer;
class UILogicListener;
class ZvToolTip;
class zvLiveAddressSet;

class zavmoManager : public QWidget, public SettingsDialogHost
{
    Q_OBJECT

public:
    explicit zavmoManager(QWidget* parent = nullptr);
    ~zavmoManager() override;

    // Settings, logic hub, listener and its connections, the first tool
    // state, the title bar. False (with a critical log line) at the first
    // step that fails; what was made so far stays.
    bool initialize();

    // The program's main window; null before it is built and after it is gone.
    static zavmoManager* instance();
    // Null before initialize has made them.
    AppConfig* getConfig() const { return m_config; }
    UILogicListener* getLogicListener() const { return m_logicListener; }
    QString getCurrentToolName() const override { return m_currentTool; }
    // The settings dialog's new launch path of a tool: only the current
    // tool's counts; a tool thought missing becomes installed when the path
    // exists.
    void updateToolPath(QString tool, QString path) override;

signals:
    void sglLiveToolSwitched();

public slots:
    void slt_Openpage(pageType page);
    void sltRadioClicked();
    void on_button_ZavmoLive_clicked();
    void on_button_OBSLive_clicked();
    void on_button_guild_clicked();
    void on_button_OBS_Transmit_clicked();
    void on_button_Service_little_clicked();
    void on_button_Service_little_2_clicked();
    void on_button_useTutorial_clicked();
    void on_button_useTutorial_2_clicked();
    void on_button_install_zavmo_clicked();
    void on_button_install_OBS_clicked();
    void on_button_open_zavmo_clicked();
    void on_button_open_OBS_clicked();
    void on_button_cancelDownload_clicked();
    void on_button_cancelDownload_2_clicked();
    void on_button_openFolder_clicked();
    void on_button_getPushcode_clicked();
    void on_button_installOBS_clicked();
    void on_button_installZavmoLive_clicked();
    void on_button_Service_clicked();
    void on_button_commonProblem_clicked();
    void on_button_oneKeyRepair_clicked();
    void onTrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void onPopupMenu(QAction* action);
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString file);
    void sltDownloadFailed(QString name);
    void sltUpdateAppStatus(QString name, int status);
    void sltLiveToolInstallProgress(QString name, int progress);
    void sltLiveToolInstallFinished(QString name);
    void sltLiveToolSwitched();
    // The three ends of a push-address request; only the first one that
    // arrives while the request is pending counts.
    void sltGetRtmpInfoSuccessed(QString rtmpUrl, QString liveCode);
    void sltGetRtmpInfoFailed(int errorNo, QString msg);
    void sltCloseLiveRoomSuccess();
    void sltCloseLiveRommFailed(int errorNo, QString msg);
    void sltGetLiveCodeTimeout();
    void sltSwitchAdvertising();
    void sltLogout();
    void sltOnLoginSuccessed();
    void sltOnCheckInGuildResult(int errorNo, QString msg, bool check);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Puts this window and what it has made so far in the main window link.
    void fillMainWindowLink();
    void loadStyleSheet();
    void initUi();
    void initConnections();

    // The live page's cards.
    void updateToolLabels(const QString& tool);
    void refreshToolState();
    // Percent below 0 hides the progress of the current tool's card.
    void showProgress(int percent, bool downloading);
    // Whether the current tool is still not installed; a stored status that
    // was out of date is refreshed first (and nothing is installed).
    bool readyToInstall();
    void startToolDownload(const QString& tool);
    void installDownloadedTool(const QString& tool, const QString& file);
    // Runs the install-folder dialog for a companion edition or OBS Studio
    // and downloads its installer once a folder was confirmed.
    void installWithFolderDialog(const QString& tool, int dialogKind);
    // False, with the card set back to its install button, when the current
    // tool is no longer installed (or there is no tools manager).
    bool currentToolStillInstalled();
    bool launchOrWarn(const QString& tool);

    // The OBS start flow: runtime check, then the start mode of the current
    // edition (relay through the companion, or the push address fetched and
    // written before OBS starts).
    void checkToolRepair();
    void startObsWithCompanion();
    bool isWriteCodeMode() const;
    // Room list, room and start of the live room; the window stays disabled
    // until the request ends in one of its three slots.
    void startRtmpRequest();
    // Undoes what startRtmpRequest set up; false when no request was pending.
    bool endRtmpRequest();
    void runLiveAddressDialog(const QString& cancelText, bool writeCode);
    int execLiveAddressDialog(zvLiveAddressSet& dialog);
    // Logged in already, or the login dialog was accepted.
    bool ensureLogin(LoginManager* login);

    // What the window keeps for one OBS edition: its start-mode choice, and
    // whether a live room was opened for it.
    struct ObsEdition
    {
        QRadioButton* relayMode = nullptr;
        QRadioButton* writeCodeMode = nullptr;
        // Holds the start-mode choice; shown while the edition is installed and not running.
        QWidget* modePanel = nullptr;
        bool (*writePushInfo)(const QString& url, const QString& key) = nullptr;
        bool roomOpened = false;
        // Being restarted to take a new push address: its not-running
        // reports from between the kill and the relaunch are stale.
        bool restarting = false;
    };
    // Null for a tool that is neither OBS edition.
    ObsEdition* obsEdition(const QString& tool);
    const ObsEdition* obsEdition(const QString& tool) const;
    // False when no edition had a room open.
    bool clearRoomOpened();

    ZvToolTip* toolTip();
    void moveToolTip();

    Ui::zavmoManagerClass ui;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_trayMenu = nullptr;
    UILogicListener* m_logicListener = nullptr;
    QString m_currentTool;
    int m_currentToolStatus = 0;
    AppConfig* m_config = nullptr;
    ObsEdition m_obsClassic;
    ObsEdition m_obsStudio;
    bool m_rtmpRequestPending = false;
    // Tools whose running install this window started from a card, with
    // the installer each runs.
    QMap<QString, QString> m_cardInstalls;
    QTimer* m_liveCodeTimer = nullptr;
    QTimer* m_advertisingTimer = nullptr;
    ZvToolTip* m_toolTip = nullptr;
};
