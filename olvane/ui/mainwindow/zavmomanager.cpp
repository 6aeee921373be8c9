#include "ui/mainwindow/zavmomanager.h"

#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "core/zavmopointing.h"
#include "logic/loginmanager.h"
#include "logic/toolconfigfiles.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/install/installdialogs.h"
#include "ui/install/zvenvironmentalrepair.h"
#include "ui/install/zvinstallwidget.h"
#include "ui/install/zvobsinstallwidget.h"
#include "ui/install/zvzavmoinstallwidget.h"
#include "ui/login/zvgetcodetutorialwidget.h"
#include "ui/mainwindow/widgets/framelesshelper.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/x11windowhints.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"
#include "ui/mainwindow/widgets/zvtooltip.h"
#include "ui/mainwindow/zavmomanager_p.h"
#include "ui/mainwindow/zvchooserecordpath.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QTimer>

#include <new>

namespace {

constexpr int kTitleHeight = 130;
constexpr int kAdvertisingIntervalMs = 10000;
constexpr int kQuitDelayMs = 100;

zavmoManager* g_mainWindow = nullptr;

ZvFileDownloaderMgr* downloads()
{
    return ZvLogicFW::instance()->getFileDownloaderMgr();
}

} // namespace

using namespace mainwindow;

zavmoManager::zavmoManager(QWidget* parent) : QWidget(parent)
{
    ui.setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
    // The frame and what it holds; the shadow around it needs translucency.
    maskTranslucentParts(this, QRegion(10, 10, width() - 20, height() - 20));

    auto* frameless = new FramelessHelper(this);
    frameless->addWidget(this);
    FramelessHelper::setTitleHeight(kTitleHeight);
    frameless->setMovable(true);
    frameless->setResizable(false);

    m_obsClassic = {ui.radioButton_OBSC_live_by_ZVTool, ui.radioButton_OBSC_write_code, ui.widget_OBSC_write_code,
                    setObsClassicPushInfo};
    m_obsStudio = {ui.radioButton_OBSS_live_by_ZVTool, ui.radioButton_OBSS_write_code, ui.widget_OBSS_write_code,
                   setObsStudioPushInfo};

    g_mainWindow = this;
    fillMainWindowLink();
    m_currentTool = kZvToolName;

    m_liveCodeTimer = new QTimer(this);
    m_advertisingTimer = new QTimer(this);
    m_advertisingTimer->start(kAdvertisingIntervalMs);

    loadStyleSheet();
    initUi();
    initConnections();
    pointEvent(PointInitPageHome);
}

zavmoManager::~zavmoManager()
{
    // The monitor thread posts status events until the hub lets go of the
    // listener: detach it before it goes.
    ZvLogicFW::instance()->setLogicListener(nullptr);
    MainWindowLink& link = mainWindowLink();
    if (link.window == this)
        link = MainWindowLink{};
    // With it goes the record of installs that wait for an uninstall.
    delete m_logicListener;
    m_logicListener = nullptr;
    // Saves the settings.
    delete m_config;
    m_config = nullptr;
    if (m_toolTip)
        m_toolTip->deleteLater();
    m_liveCodeTimer->stop();
    m_liveCodeTimer->deleteLater();
    m_advertisingTimer->stop();
    m_advertisingTimer->deleteLater();
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
}

void zavmoManager::fillMainWindowLink()
{
    MainWindowLink& link = mainWindowLink();
    link.window = this;
    link.config = m_config;
    link.listener = m_logicListener;
    link.settingsHost = this;
    link.toast = [this](const QString& text) { toolTip()->showMessage(text); };
}

zavmoManager* zavmoManager::instance()
{
    return g_mainWindow;
}

void zavmoManager::loadStyleSheet()
{
    setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));
}

void zavmoManager::initUi()
{
    ui.widget_2->setAutoFillBackground(true);
    QPalette pal = ui.widget_2->palette();
    pal.setColor(QPalette::Window, QColor(QStringLiteral("#dbdbe1")));
    ui.widget_2->setPalette(pal);

    slt_Openpage(PAGE_LIVE);
    ui.button_ZavmoLive->setCheckable(true);
    ui.button_OBSLive->setCheckable(true);
    ui.button_ZavmoLive->setChecked(true);
    ui.button_OBSLive->setChecked(false);
    ui.label_visitOBSurl->installEventFilter(this);

    // Relay through the companion is the default start mode of both OBS editions.
    ui.radio_zvTool->setChecked(true);
    ui.radio_classic->setChecked(true);
    ui.radioButton_OBSC_live_by_ZVTool->setChecked(true);
    ui.radioButton_OBSS_live_by_ZVTool->setChecked(true);
    ui.label_OBS_broadcast_tip->hide();

    ui.label_zavmoTitle->setText(kZvToolName);
    ui.label_zavmo_introduce->setText(kZvToolIntro);
    ui.label_OBSTitle->setText(kObsClassicTitle);
    ui.label_OBS_introduce->setText(kObsClassicIntro);

    for (QRadioButton* radio : {ui.radio_zvTool, ui.radio_zvShow, ui.radio_classic, ui.radio_studio})
        connect(radio, &QRadioButton::clicked, this, &zavmoManager::sltRadioClicked);

    ui.progressBar_main->setVisible(true);
    ui.progressBar_main->setValue(0);
    ui.progressBar_OBS->setVisible(false);
    ui.progressBar_OBS->setValue(0);
    ui.label_progressValue->hide();
    ui.label_progressValue_2->hide();
    ui.button_cancelDownload->hide();
    ui.button_cancelDownload_2->hide();

    m_trayMenu = new QMenu(this);
    m_trayMenu->setMinimumWidth(100);
    m_trayMenu->addAction(QIcon(QStringLiteral(":/Resources/tray_quit.png")), kQuitText);
    connect(m_trayMenu, &QMenu::triggered, this, &zavmoManager::onPopupMenu);

    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setIcon(QIcon(QStringLiteral(":/Resources/tray_icon.png")));
    m_trayIcon->setToolTip(kAppTitle);
    m_trayIcon->setContextMenu(m_trayMenu);
    m_trayIcon->show();
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &zavmoManager::onTrayIconActivated);

    // The companion card offers no edition choice.
    ui.radio_zvTool->hide();
    ui.radio_zvShow->hide();
    ui.label_4->hide();
    ui.line->hide();

    ui.button_guild->hide();
    ui.button_OBS_Transmit->show();
}

void zavmoManager::initConnections()
{
    connect(ui.TitleBar, &zvTitleBar::slg_Openpage, this, &zavmoManager::slt_Openpage);
    connect(m_advertisingTimer, &QTimer::timeout, this, &zavmoManager::sltSwitchAdvertising, Qt::QueuedConnection);
}

bool zavmoManager::initialize()
{
    m_currentTool = kZvToolName;

    m_config = new (std::nothrow) AppConfig;
    if (!m_config) {
        qCritical("[UI] by kx zavmoManager::initialize {new config failed}");
        return false;
    }
    fillMainWindowLink();

    ZvLogicFW* hub = ZvLogicFW::instance();
    if (!hub->initialize(getLiveToolDownloadSrcType())) {
        qCritical("[UI] by kx zavmoManager::initialize {ZvLogicFW init failed}");
        return false;
    }
    ZvLiveToolsManager* tools = hub->getLiveToolsManager();
    tools->setLaunchPath(kObsClassicToolName, m_config->getToolLaunchPath(kObsClassicToolName));
    tools->setLaunchPath(kObsStudioToolName, m_config->getToolLaunchPath(kObsStudioToolName));

    m_logicListener = new (std::nothrow) UILogicListener;
    if (!m_logicListener) {
        qCritical("[UI] by kx zavmoManager::initialize {new UILogicListener failed}");
        return false;
    }
    fillMainWindowLink();
    hub->setLogicListener(m_logicListener);

    UILogicListener* l = m_logicListener;
    connect(l, &UILogicListener::sglUpdateAppStatus, this, &zavmoManager::sltUpdateAppStatus);
    connect(l, &UILogicListener::sglUpdateDownloadProgress, this, &zavmoManager::sltUpdateDownloadProgress);
    connect(l, &UILogicListener::sglDownloadFinished, this, &zavmoManager::sltDownloadFinished);
    connect(l, &UILogicListener::sglDownloadFailed, this, &zavmoManager::sltDownloadFailed);
    connect(l, &UILogicListener::sglLiveToolInstallProgress, this, &zavmoManager::sltLiveToolInstallProgress,
            Qt::QueuedConnection);
    connect(l, &UILogicListener::sglLiveToolInstallFinished, this, &zavmoManager::sltLiveToolInstallFinished,
            Qt::QueuedConnection);
    connect(l, &UILogicListener::sglCloseLiveRoomSuccess, this, &zavmoManager::sltCloseLiveRoomSuccess,
            Qt::QueuedConnection);
    connect(l, &UILogicListener::sglCloseLiveRommFailed, this, &zavmoManager::sltCloseLiveRommFailed,
            Qt::QueuedConnection);
    connect(l, &UILogicListener::sglLogout, this, &zavmoManager::sltLogout, Qt::QueuedConnection);
    connect(l, &UILogicListener::sglLoginSuccessed, this, &zavmoManager::sltOnLoginSuccessed, Qt::QueuedConnection);
    connect(l, &UILogicListener::sglCheckInGuildResult, this, &zavmoManager::sltOnCheckInGuildResult,
            Qt::QueuedConnection);
    connect(this, &zavmoManager::sglLiveToolSwitched, this, &zavmoManager::sltLiveToolSwitched, Qt::QueuedConnection);

    m_currentToolStatus = tools->getAppStatus(m_currentTool);
    refreshToolState();

    ui.TitleBar->initialize();
    ui.button_guild->setCursor(Qt::PointingHandCursor);
    ui.button_OBS_Transmit->setCursor(Qt::PointingHandCursor);
    return true;
}

// ---- Pages, banners, toolbox

void zavmoManager::slt_Openpage(pageType page)
{
    if (page == PAGE_LIVE) {
        ui.page_live->show();
        ui.page_toolbox->hide();
    } else if (page == PAGE_TOOLBOX) {
        ui.page_live->hide();
        ui.page_toolbox->show();
    }
    if (!m_currentTool.isEmpty())
        emit sglLiveToolSwitched();
}

void zavmoManager::sltSwitchAdvertising()
{
    LoginManager* login = loginManager();
    if (!login)
        return;
    if (!login->isLogin() || login->isInGuild()) {
        ui.button_guild->hide();
        ui.button_OBS_Transmit->show();
        return;
    }
    const bool guildShown = ui.button_guild->isVisibleTo(this);
    ui.button_guild->setVisible(!guildShown);
    ui.button_OBS_Transmit->setVisible(guildShown);
}

void zavmoManager::on_button_guild_clicked()
{
    openTableUrl(guildHomeUrl());
    pointEvent(PointClickGuildbanner);
}

void zavmoManager::on_button_OBS_Transmit_clicked()
{
    openTableUrl(guildHelpArticleUrl());
    pointEvent(PointClickGuildbanner);
}

void zavmoManager::on_button_openFolder_clicked()
{
    zvChooseRecordPath dialog(this);
    dialog.exec();
}

void zavmoManager::on_button_getPushcode_clicked()
{
    zvGetCodeTutorialWidget dialog(this);
    dialog.exec();
}

void zavmoManager::on_button_installOBS_clicked()
{
    zvOBSInstallWidget dialog(this);
    dialog.exec();
}

void zavmoManager::on_button_installZavmoLive_clicked()
{
    zvZavmoInstallWidget dialog(this);
    dialog.exec();
}

void zavmoManager::on_button_Service_clicked()
{
    pointEvent(PointClickCust);
    openTableUrl(customerServiceUrl());
}

void zavmoManager::on_button_commonProblem_clicked()
{
    openTableUrl(helpListUrl());
}

void zavmoManager::on_button_oneKeyRepair_clicked()
{
    zvEnvironmentalRepair dialog({kNetFrameworkName, kDirectXName, kVcRedistName}, 1, this);
    dialog.exec();
}

// ---- Tray, window events

void zavmoManager::onTrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return;
    setWindowState(Qt::WindowActive);
    activateWindow();
    show();
}

void zavmoManager::onPopupMenu(QAction* action)
{
    if (!action || action->text() != kQuitText)
        return;
    pointEventWithInt(PointEndupQuit, QStringLiteral("type"), 1);
    QTimer::singleShot(kQuitDelayMs, this, [this] {
        close();
        quitApplication();
    });
}

void zavmoManager::closeEvent(QCloseEvent* event)
{
    // The program goes on in the tray (minimised where there is none, or it
    // could not be reached); only an explicit quit ends it. A window already
    // hidden on its way out stays hidden.
    event->ignore();
    if (isVisible())
        hideToTray(this);
}

void zavmoManager::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    moveToolTip();
}

bool zavmoManager::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui.label_visitOBSurl && event->type() == QEvent::MouseButtonPress)
        openTableUrl(obsWebsiteUrl());
    return false;
}

void zavmoManager::paintEvent(QPaintEvent* event)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRect(11, 11, width() - 22, height() - 22);
    painter.setPen(QColor(QStringLiteral("#535353")));
    painter.drawRect(10, 10, width() - 21, height() - 21);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(path, QBrush(QColor(QStringLiteral("#F5F5FB"))));

    // The shadow fades over ten pixels around the one-pixel frame.
    QColor color(0, 0, 0);
    for (int i = 0; i < 10; ++i) {
        color.setAlpha(36 - 4 * i);
        painter.setPen(color);
        painter.drawRoundedRect(10 - i, 10 - i, width() - 20 + 2 * i, height() - 20 + 2 * i, i + 1, i + 1,
                                Qt::AbsoluteSize);
    }
    painter.end();
    QWidget::paintEvent(event);
}

ZvToolTip* zavmoManager::toolTip()
{
    if (!m_toolTip) {
        m_toolTip = new ZvToolTip(this);
        m_toolTip->resize(300, 40);
        m_toolTip->hide();
        m_toolTip->setTipColors(Qt::white, Qt::black);
    }
    return m_toolTip;
}

void zavmoManager::moveToolTip()
{
    if (!m_toolTip)
        return;
    const QRect window = geometry();
    const QRect tip = m_toolTip->geometry();
    m_toolTip->move(pos().x() + (window.width() - tip.width()) / 2, pos().y() + (window.height() - tip.height()) / 2);
}

// ---- Listener slots

void zavmoManager::sltUpdateDownloadProgress(QString name, int progress)
{
    if (name == m_currentTool)
        showProgress(progress, true);
}

void zavmoManager::sltDownloadFinished(QString name, QString file)
{
    if (name == m_currentTool)
        showProgress(-1, true);
    // Every finished installer is installed; the tools manager's pending
    // task keeps one from being installed twice.
    installDownloadedTool(name, file);
}

void zavmoManager::sltDownloadFailed(QString name)
{
    if (name != m_currentTool)
        return;
    showProgress(-1, true);
    prompt(kPackageDownloadFailedText, true, nullptr);
}

void zavmoManager::sltLiveToolInstallProgress(QString name, int progress)
{
    if (name == m_currentTool)
        showProgress(progress, false);
}

void zavmoManager::sltLiveToolInstallFinished(QString name)
{
    const bool fromCard = m_cardInstalls.contains(name);
    const QString installer = m_cardInstalls.take(name);
    ZvLiveToolsManager* tools = toolsManager();
    const int status = tools ? tools->getAppStatus(name) : APP_NOT_INSTALLED;
    if (name == m_currentTool) {
        showProgress(-1, true);
        if (!tools)
            return;
        m_currentToolStatus = status;
        if (status != APP_NOT_INSTALLED)
            pointEventWithInt(PointClickInstallSucc, QStringLiteral("type"), pointToolType(name));
        refreshToolState();
        updateToolLabels(m_currentTool);
    }
    // An installer that ended without installing; a tool whose install the
    // monitor cannot see (ZVShow) is taken at its word.
    if (fromCard && tools && status == APP_NOT_INSTALLED && tools->knowsInstallState(name)) {
        installdialogs::discardFailedInstaller(installer);
        prompt(kInstallFailedText, true, nullptr);
    }
}

void zavmoManager::sltUpdateAppStatus(QString name, int status)
{
    ObsEdition* edition = obsEdition(name);
    ZvLiveToolsManager* tools = toolsManager();
    // A report tells of the scan it came from. Of OBS restarted for a new push
    // address it may come from a scan between the kill and the relaunch; one
    // that finds the room open may predate the room's own start of OBS. So a
    // report of OBS not running then counts only when a fresh scan agrees.
    // The monitor need not have seen the restart's gap at all, so a later stop
    // still finds the restart mark set.
    if (edition && (edition->restarting || edition->roomOpened) && status != APP_RUNNING && tools &&
        tools->getAppStatus(name) == APP_RUNNING)
        return;
    if (edition)
        edition->restarting = false;
    if (status != APP_RUNNING && edition && edition->roomOpened) {
        edition->roomOpened = false;
        zvMsgTipWidget tip(kObsClosedPromptText, true, this);
        tip.setButtonText(QStringLiteral("关闭直播"), QStringLiteral("忽略"));
        if (tip.exec() == QDialog::Accepted) {
            pointEvent(PointClickRemindClose);
            LoginManager* login = loginManager();
            if (login && login->isLogin())
                login->closeLiveRoom();
        }
        // The tool may have been started again while the prompt was open
        // (and the hub asked anew: the prompt ran the event loop).
        if (ZvLiveToolsManager* current = toolsManager())
            status = current->getAppStatus(name);
    }
    if (name == m_currentTool && status != m_currentToolStatus) {
        m_currentToolStatus = status;
        refreshToolState();
    }
}

void zavmoManager::sltLiveToolSwitched()
{
    ZvLiveToolsManager* tools = toolsManager();
    if (!tools)
        return;
    m_currentToolStatus = tools->getAppStatus(m_currentTool);
    refreshToolState();
}

void zavmoManager::sltCloseLiveRoomSuccess()
{
    if (clearRoomOpened())
        refreshToolState();
    toolTip()->showMessage(kRoomClosedText);
}

void zavmoManager::sltCloseLiveRommFailed(int errorNo, QString msg)
{
    Q_UNUSED(errorNo);
    Q_UNUSED(msg);
    if (prompt(kCloseRoomFailedText, false, nullptr))
        openTableUrl(myRoomPageUrl());
}

void zavmoManager::sltLogout()
{
    if (clearRoomOpened())
        refreshToolState();
    ui.button_guild->hide();
    ui.button_OBS_Transmit->show();
}

void zavmoManager::sltOnLoginSuccessed()
{
    if (LoginManager* login = loginManager())
        login->checkAnchorInGuild();
}

void zavmoManager::sltOnCheckInGuildResult(int errorNo, QString msg, bool check)
{
    // The login manager keeps the answer; the banners read it from there.
    Q_UNUSED(errorNo);
    Q_UNUSED(msg);
    Q_UNUSED(check);
}

// ---- The live page

zavmoManager::ObsEdition* zavmoManager::obsEdition(const QString& tool)
{
    if (tool == kObsClassicToolName)
        return &m_obsClassic;
    if (tool == kObsStudioToolName)
        return &m_obsStudio;
    return nullptr;
}

const zavmoManager::ObsEdition* zavmoManager::obsEdition(const QString& tool) const
{
    return const_cast<zavmoManager*>(this)->obsEdition(tool);
}

bool zavmoManager::clearRoomOpened()
{
    const bool wasOpen = m_obsClassic.roomOpened || m_obsStudio.roomOpened;
    m_obsClassic.roomOpened = false;
    m_obsStudio.roomOpened = false;
    return wasOpen;
}

void zavmoManager::on_button_ZavmoLive_clicked()
{
    ui.page_zavmoPage->show();
    ui.page_OBSPage->hide();
    ui.button_ZavmoLive->setChecked(true);
    ui.button_OBSLive->setChecked(false);
    m_currentTool = ui.radio_zvTool->isChecked() ? kZvToolName : kZvShowToolName;
    ui.widget->setLiveTool(m_currentTool);
    updateToolLabels(m_currentTool);
    emit sglLiveToolSwitched();
}

void zavmoManager::on_button_OBSLive_clicked()
{
    ui.page_zavmoPage->hide();
    ui.page_OBSPage->show();
    ui.button_ZavmoLive->setChecked(false);
    ui.button_OBSLive->setChecked(true);
    m_currentTool = ui.radio_classic->isChecked() ? kObsClassicToolName : kObsStudioToolName;
    ui.widget_3->setLiveTool(m_currentTool);
    updateToolLabels(m_currentTool);
    emit sglLiveToolSwitched();
}

void zavmoManager::sltRadioClicked()
{
    auto* radio = qobject_cast<QRadioButton*>(sender());
    if (!radio)
        return;
    if (radio == ui.radio_zvTool || radio == ui.radio_zvShow) {
        m_currentTool = radio == ui.radio_zvTool ? kZvToolName : kZvShowToolName;
        ui.widget->setLiveTool(m_currentTool);
    } else if (radio == ui.radio_classic || radio == ui.radio_studio) {
        m_currentTool = radio == ui.radio_classic ? kObsClassicToolName : kObsStudioToolName;
        ui.widget_3->setLiveTool(m_currentTool);
    }
    updateToolLabels(m_currentTool);
    emit sglLiveToolSwitched();
}

void zavmoManager::updateToolLabels(const QString& tool)
{
    if (tool == kZvToolName || tool == kZvShowToolName) {
        ui.label_zavmoTitle->setText(tool);
        ui.label_zavmo_introduce->setText(tool == kZvToolName ? kZvToolIntro : kZvShowToolIntro);
    } else if (tool == kObsClassicToolName) {
        ui.label_OBSTitle->setText(kObsClassicTitle);
        ui.label_OBS_introduce->setText(kObsClassicIntro);
    } else if (tool == kObsStudioToolName) {
        ui.label_OBSTitle->setText(kObsStudioTitle);
        ui.label_OBS_introduce->setText(kObsStudioIntro);
    }
}

void zavmoManager::refreshToolState()
{
    ui.label_OBS_broadcast_tip->hide();
    m_obsClassic.modePanel->hide();
    m_obsStudio.modePanel->hide();

    ObsEdition* edition = obsEdition(m_currentTool);
    auto showButtons = [this](bool install, bool open, bool running) {
        ui.button_install_zavmo->setVisible(install);
        ui.button_install_OBS->setVisible(install);
        ui.button_open_zavmo->setVisible(open);
        ui.button_open_OBS->setVisible(open);
        ui.button_running_zavmo->setVisible(running);
        ui.button_running_OBS->setVisible(running);
    };
    switch (m_currentToolStatus) {
    case APP_NOT_INSTALLED:
        showButtons(true, false, false);
        if (edition)
            edition->roomOpened = false;
        break;
    case APP_INSTALLED:
        showButtons(false, true, false);
        if (edition) {
            edition->roomOpened = false;
            edition->modePanel->show();
        }
        break;
    case APP_RUNNING:
        showButtons(false, false, true);
        ui.button_running_zavmo->setEnabled(false);
        ui.button_running_OBS->setEnabled(false);
        if (edition && edition->roomOpened)
            ui.label_OBS_broadcast_tip->show();
        break;
    default:
        break;
    }

    ZvFileDownloaderMgr* pool = downloads();
    const int downloaded = pool ? pool->getDownloadProgress(m_currentTool) : -1;
    if (downloaded >= 0) {
        showProgress(downloaded, true);
        return;
    }
    ZvLiveToolsManager* tools = toolsManager();
    showProgress(tools ? tools->getInstallProgress(m_currentTool) : -1, false);
}

void zavmoManager::showProgress(int percent, bool downloading)
{
    const bool companion = m_currentTool == kZvToolName || m_currentTool == kZvShowToolName;
    QProgressBar* bar = companion ? ui.progressBar_main : ui.progressBar_OBS;
    QPushButton* cancel = companion ? ui.button_cancelDownload : ui.button_cancelDownload_2;
    QLabel* label = companion ? ui.label_progressValue : ui.label_progressValue_2;
    if (percent < 0) {
        bar->hide();
        bar->setValue(0);
        cancel->hide();
        label->hide();
        return;
    }
    bar->show();
    bar->setValue(percent);
    label->setText((downloading ? QStringLiteral("正在下载：%1%") : QStringLiteral("正在安装：%1%")).arg(percent));
    label->show();
    cancel->setVisible(downloading);
}

bool zavmoManager::readyToInstall()
{
    ZvLiveToolsManager* tools = toolsManager();
    if (!tools)
        return false;
    const int status = tools->getAppStatus(m_currentTool);
    if (status != m_currentToolStatus) {
        // The button was out of date.
        m_currentToolStatus = status;
        refreshToolState();
        return false;
    }
    return m_currentToolStatus == APP_NOT_INSTALLED;
}

void zavmoManager::on_button_install_zavmo_clicked()
{
    if (!readyToInstall())
        return;
    installWithFolderDialog(m_currentTool, m_currentTool == kZvToolName ? INSTALL_ZV_TOOL : INSTALL_ZV_SHOW);
}

void zavmoManager::on_button_install_OBS_clicked()
{
    if (!readyToInstall())
        return;
    if (m_currentTool == kObsClassicToolName) {
        // OBS classic installs where its settings say, without asking.
        pointEventWithInt(PointClickInstall, QStringLiteral("type"), pointToolType(m_currentTool));
        startToolDownload(m_currentTool);
        return;
    }
    installWithFolderDialog(m_currentTool, INSTALL_OBS_STUDIO);
}

void zavmoManager::installWithFolderDialog(const QString& tool, int dialogKind)
{
    pointEventWithInt(PointClickInstall, QStringLiteral("type"), pointToolType(tool));
    zvInstallWidget dialog(this);
    dialog.setToolType(dialogKind);
    if (dialog.exec() == 1)
        startToolDownload(tool);
}

void zavmoManager::startToolDownload(const QString& tool)
{
    ZvLiveToolsManager* tools = toolsManager();
    ZvFileDownloaderMgr* pool = downloads();
    const QString folder = getDownloadDir();
    const QString url = tools ? tools->getDownloadUrl(tool) : QString();
    const int result = pool ? pool->startDownload(tool, url, folder, false, QString()) : kDownloadNoRequest;
    if (result == kDownloadStarted) {
        showProgress(0, true);
    } else if (result == kDownloadTargetExists) {
        installDownloadedTool(tool, folder + QLatin1Char('/') + ZvFileDownloader::targetFileName(url, QString()));
    } else {
        prompt(kPackageDownloadFailedText, true, nullptr);
    }
}

void zavmoManager::installDownloadedTool(const QString& tool, const QString& file)
{
    if (pointToolType(tool) == 0 || !m_config)
        return;
    ZvLiveToolsManager* tools = toolsManager();
    if (!tools)
        return;
    const int installed = tools->getAppInstallStatus(tool);
    if (installed != APP_NOT_INSTALLED) {
        if (tool == m_currentTool) {
            m_currentToolStatus = installed;
            showProgress(-1, false);
            refreshToolState();
        }
        return;
    }
    // An install already under way (a wizard's) is not this card's.
    const bool pending = tools->getInstallProgress(tool) >= 0;
    // 15000 ms is the expected duration that drives the install progress.
    if (tools->installLiveTool(tool, file, m_config->getToolInstallPath(tool), 15000)) {
        if (!pending)
            m_cardInstalls.insert(tool, file);
        if (tool == m_currentTool)
            showProgress(0, false);
    } else {
        installdialogs::discardFailedInstaller(file);
        prompt(kInstallFailedText, true, nullptr);
    }
}

void zavmoManager::on_button_cancelDownload_clicked()
{
    if (ZvFileDownloaderMgr* pool = downloads())
        pool->cancelDownload(m_currentTool);
    showProgress(-1, true);
}

void zavmoManager::on_button_cancelDownload_2_clicked()
{
    on_button_cancelDownload_clicked();
}

bool zavmoManager::launchOrWarn(const QString& tool)
{
    ZvLiveToolsManager* tools = toolsManager();
    if (tools && tools->launchApplication(tool))
        return true;
    prompt(kLaunchToolFailedText, false, this);
    return false;
}

bool zavmoManager::currentToolStillInstalled()
{
    ZvLiveToolsManager* tools = toolsManager();
    if (!tools)
        return false;
    if (tools->getAppInstallStatus(m_currentTool) == APP_NOT_INSTALLED) {
        // The card was out of date: back to its install button.
        m_currentToolStatus = APP_NOT_INSTALLED;
        refreshToolState();
        return false;
    }
    return true;
}

void zavmoManager::on_button_open_zavmo_clicked()
{
    if (!currentToolStillInstalled())
        return;
    launchOrWarn(m_currentTool);
}

void zavmoManager::updateToolPath(QString tool, QString path)
{
    ZvLiveToolsManager* tools = toolsManager();
    if (!tools || tool != m_currentTool)
        return;
    tools->setLaunchPath(tool, path);
    if (m_currentToolStatus == APP_NOT_INSTALLED && QFileInfo::exists(path)) {
        m_currentToolStatus = APP_INSTALLED;
        refreshToolState();
    }
}

void zavmoManager::on_button_Service_little_clicked()
{
    pointEvent(PointClickCust);
    openTableUrl(customerServiceUrl());
}

void zavmoManager::on_button_Service_little_2_clicked()
{
    on_button_Service_little_clicked();
}

void zavmoManager::on_button_useTutorial_clicked()
{
    pointEvent(PointClickIntroduce);
    if (m_currentTool == kZvToolName)
        openTableUrl(introduceListUrl());
    else if (m_currentTool == kZvShowToolName)
        openTableUrl(helpArticleUrl());
}

void zavmoManager::on_button_useTutorial_2_clicked()
{
    pointEvent(PointClickIntroduce);
    openTableUrl(helpArticle2Url());
}
