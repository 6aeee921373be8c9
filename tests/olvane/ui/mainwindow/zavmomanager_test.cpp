// The main window against the simulator: start-up and teardown, closing and
// the tray, the title bar's login state and the banners as the hub reports
// them, the live page's cards through a real download and the fake
// installer, and what the toolbox opens.
#include "mainwindowtest.h"

#include "account.h"
#include "core/appconfig.h"
#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "logic/loginmanager.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/install/zvinstallafteruninstall.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/zvappquittip.h"

#include "faketools.h"
#include "modalresponder.h"
#include "qtwait.h"
#include "screenshot.h"
#include "simulator.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

using namespace zavmo::test;

namespace {

using namespace mainwindowtest;

TEST_F(MainWindowTest, StartUpBuildsTheWindowAndLinksIt)
{
    EXPECT_EQ(zavmoManager::instance(), window.get());
    EXPECT_EQ(mainWindowLink().window, window.get());
    ASSERT_NE(window->getConfig(), nullptr);
    ASSERT_NE(window->getLogicListener(), nullptr);
    EXPECT_EQ(mainWindowLink().config, window->getConfig());
    EXPECT_EQ(mainWindowLink().listener, window->getLogicListener());
    EXPECT_EQ(mainWindowLink().settingsHost, window.get());
    EXPECT_EQ(window->getCurrentToolName(), kZvToolName);

    EXPECT_EQ(window->size(), QSize(942, 622));
    EXPECT_EQ(window->windowTitle(), "Zavmo直播管家");
    EXPECT_EQ(window->objectName(), "zavmoManagerClass");
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(child<QStackedWidget>("stackedWidget")->currentIndex(), 0);
    EXPECT_TRUE(shown("page_live"));
    EXPECT_FALSE(shown("page_toolbox"));

    // The companion card: no edition choice, install button, no progress.
    EXPECT_EQ(child<QLabel>("label_zavmoTitle")->text(), kZvToolName);
    EXPECT_EQ(child<QLabel>("label_zavmo_introduce")->text(), kZvToolIntro);
    EXPECT_EQ(child<QLabel>("label_OBSTitle")->text(), kObsClassicTitle);
    for (const char* hidden : {"radio_zvTool", "radio_zvShow", "label_4", "progressBar_main", "label_progressValue",
                               "button_cancelDownload", "button_open_zavmo", "button_running_zavmo", "button_guild"})
        EXPECT_FALSE(shown(hidden)) << hidden;
    // The title bar has a "line" of its own.
    EXPECT_TRUE(child("page_zavmoPage")->findChild<QWidget*>("line")->isHidden());
    EXPECT_TRUE(shown("button_install_zavmo"));
    EXPECT_TRUE(shown("button_OBS_Transmit"));
    EXPECT_TRUE(child<QPushButton>("button_ZavmoLive")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("radioButton_OBSC_live_by_ZVTool")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("radioButton_OBSS_live_by_ZVTool")->isChecked());
    // The progress and its text lie above the card's three buttons.
    QWidget* card = child("page_zavmoPage");
    EXPECT_GT(card->children().indexOf(child("label_progressValue")),
              card->children().indexOf(child("button_running_zavmo")));
    EXPECT_EQ(events("init_page_home").size(), 1u);
}

TEST_F(MainWindowTest, TeardownDetachesTheListenerAndClearsTheLink)
{
    // The wizards' reinstall record goes with the listener.
    QPointer<ZvInstallAfterUninstall> record = ZvInstallAfterUninstall::forListener(window->getLogicListener());
    EXPECT_EQ(ZvInstallAfterUninstall::forListener(window->getLogicListener()), record);
    window.reset();
    EXPECT_TRUE(record.isNull());
    EXPECT_EQ(zavmoManager::instance(), nullptr);
    EXPECT_EQ(mainWindowLink().window, nullptr);
    EXPECT_EQ(mainWindowLink().listener, nullptr);
    EXPECT_EQ(mainWindowLink().config, nullptr);
    // A status report after the window has gone reaches no listener.
    ZvLogicFW::instance()->sltUpdateAppStatus(kObsStudioToolName, 1);
    ZvLogicFW::instance()->sltLoginSuccessed();
    // The settings were saved on the way out.
    EXPECT_TRUE(QFile::exists(getSystemSettingPath()));
}

TEST_F(MainWindowTest, PagesSwitchByShowingAndHiding)
{
    auto* titleBar = child("TitleBar");
    titleBar->findChild<QPushButton*>("button_toolbox")->click();
    EXPECT_FALSE(shown("page_live"));
    EXPECT_TRUE(shown("page_toolbox"));
    EXPECT_EQ(child<QStackedWidget>("stackedWidget")->currentIndex(), 0);
    window->slt_Openpage(static_cast<pageType>(7));
    EXPECT_TRUE(shown("page_toolbox"));
    titleBar->findChild<QPushButton*>("button_live")->click();
    EXPECT_TRUE(shown("page_live"));
    EXPECT_FALSE(shown("page_toolbox"));
}

TEST_F(MainWindowTest, ClosingOnlyHidesOrMinimisesWithoutATray)
{
    window->close();
    EXPECT_FALSE(window->isVisible());
    window->close();
    EXPECT_FALSE(window->isVisible());
    window->show();
    trayAvailable = false;
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    settle(150);
    EXPECT_EQ(quits, 0);
}

TEST_F(MainWindowTest, CloseButtonInTrayModeHidesOrMinimisesWithoutATray)
{
    AppConfig* config = window->getConfig();
    config->setShowCloseTipEnable(false);
    config->setCloseMode(CLOSE_TO_TRAY);
    QPushButton* close = child("TitleBar")->findChild<QPushButton*>("button_close");
    close->click();
    EXPECT_FALSE(window->isVisible());

    trayAvailable = false;
    window->show();
    close->click();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    settle(150);
    EXPECT_EQ(quits, 0);
}

TEST_F(MainWindowTest, PromptAnswersAndCancels)
{
    AppConfig* config = window->getConfig();
    QPushButton* close = child("TitleBar")->findChild<QPushButton*>("button_close");
    // Cancelled: the settings on disk stay as they were.
    {
        ModalResponder responder;
        responder.clickButton("button_cancel");
        close->click();
        ASSERT_EQ(responder.records().size(), 1);
        EXPECT_EQ(responder.records().at(0).className, "zvAppQuitTip");
        EXPECT_TRUE(window->isVisible());
        AppConfig onDisk;
        EXPECT_EQ(onDisk.getCloseMode(), CLOSE_TO_TRAY);
        EXPECT_TRUE(onDisk.getShowCloseTipEnable());
    }
    // "下次不再提示" with the tray: written at once, the window hides.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* tip = qobject_cast<zvAppQuitTip*>(QApplication::activeModalWidget());
        if (!tip)
            return;
        tip->findChild<QRadioButton*>("radio_btn_hide")->setChecked(true);
        tip->findChild<QCheckBox*>("checkBox_not_tip")->setChecked(true);
        tip->findChild<QPushButton*>("button_confirm")->click();
    });
    answer.start(10);
    close->click();
    answer.stop();
    EXPECT_FALSE(window->isVisible());
    AppConfig onDisk;
    EXPECT_FALSE(onDisk.getShowCloseTipEnable());
    EXPECT_EQ(onDisk.getCloseMode(), CLOSE_TO_TRAY);
    EXPECT_FALSE(config->getShowCloseTipEnable());
    settle(150);
    EXPECT_EQ(quits, 0);
}

TEST_F(MainWindowTest, QuitModeSendsTheEventAndQuitsLater)
{
    window->getConfig()->setShowCloseTipEnable(false);
    window->getConfig()->setCloseMode(CLOSE_QUIT);
    child("TitleBar")->findChild<QPushButton*>("button_close")->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(quits, 0);
    ASSERT_TRUE(waitUntil([&] { return quits == 1; }, 2000));
    const auto quitEvents = events("endup_quit");
    ASSERT_EQ(quitEvents.size(), 1u);
    EXPECT_EQ(quitEvents[0]["e"]["type"], 1);
}

TEST_F(MainWindowTest, TraySlots)
{
    window->close();
    window->onTrayIconActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window->isVisible());
    window->onTrayIconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());

    window->onPopupMenu(nullptr);
    QAction other(QStringLiteral("打开"));
    window->onPopupMenu(&other);
    settle(150);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(window->isVisible());

    // The tray menu's one action quits, 100 ms after the event.
    auto* menu = window->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().at(0)->text(), kQuitText);
    menu->actions().at(0)->trigger();
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(waitUntil([&] { return quits == 1; }, 2000));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(events("endup_quit").at(0)["e"]["type"], 1);
}

TEST_F(MainWindowTest, LoginStateTitleBarAndBanners)
{
    sim->setMode("checkAnchorInGuild", "reply:notin");
    LoginManager* login = ZvLogicFW::instance()->getLoginManager();
    ASSERT_TRUE(waitUntil([&] { return login->isServerTimespaceValid(); }));
    auto* loginButton = child("TitleBar")->findChild<QPushButton*>("Button_login");
    // Logged out the relay banner stays.
    window->sltSwitchAdvertising();
    EXPECT_FALSE(shown("button_guild"));
    EXPECT_TRUE(shown("button_OBS_Transmit"));

    login->loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(account::kPassword), false);
    ASSERT_TRUE(waitUntil([&] { return loginButton->text() == QString::fromUtf8(account::kDisplayName); }));
    // The window asks whether the anchor belongs to a guild.
    ASSERT_TRUE(waitUntil([] { return !sim->requests("checkAnchorInGuild").empty(); }, 5000));
    ASSERT_EQ(sim->requests("checkAnchorInGuild").size(), 1u);
    settle(50);
    ASSERT_FALSE(login->isInGuild());
    window->sltSwitchAdvertising();
    EXPECT_TRUE(shown("button_guild"));
    EXPECT_FALSE(shown("button_OBS_Transmit"));
    window->sltSwitchAdvertising();
    EXPECT_FALSE(shown("button_guild"));
    window->sltSwitchAdvertising();
    EXPECT_TRUE(shown("button_guild"));

    login->logout();
    ASSERT_TRUE(waitUntil([&] { return loginButton->text() == "登录"; }));
    EXPECT_FALSE(shown("button_guild"));
    EXPECT_TRUE(shown("button_OBS_Transmit"));
}

TEST_F(MainWindowTest, ObsClassicCardThroughDownloadInstallStartAndStop)
{
    serve("OBS_installer.exe");
    click("button_OBSLive");
    EXPECT_EQ(window->getCurrentToolName(), kObsClassicToolName);
    EXPECT_TRUE(shown("page_OBSPage"));
    EXPECT_FALSE(shown("page_zavmoPage"));
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));

    QStringList texts;
    auto* label = child<QLabel>("label_progressValue_2");
    QObject::connect(window->getLogicListener(), &UILogicListener::sglLiveToolInstallProgress, window.get(),
                     [&] { texts << label->text(); });
    QObject::connect(window->getLogicListener(), &UILogicListener::sglUpdateDownloadProgress, window.get(),
                     [&] { texts << label->text(); });
    ModalResponder responder;
    click("button_install_OBS");
    // OBS classic goes without the install-folder dialog.
    EXPECT_TRUE(label->text().startsWith("正在下载："));
    EXPECT_TRUE(shown("button_cancelDownload_2"));
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }, 10000));
    EXPECT_TRUE(responder.records().isEmpty());
    EXPECT_TRUE(texts.filter("正在安装：").size() >= 1) << texts.join(',').toStdString();
    EXPECT_FALSE(shown("progressBar_OBS"));
    EXPECT_FALSE(shown("button_install_OBS"));
    EXPECT_TRUE(shown("widget_OBSC_write_code"));
    EXPECT_EQ(downloadsOf("OBS_installer.exe"), 1);
    ASSERT_EQ(fake.waitForStarts("OBS_installer.exe", 1, 0).size(), 1u);
    EXPECT_EQ(events("click_install").at(0)["e"]["type"], 3);
    EXPECT_EQ(events("click_install_succ").at(0)["e"]["type"], 3);

    // Start (no start mode chosen: the push-address dialog, skipped): the
    // running button (disabled) while OBS runs, open again after.
    for (auto* radio :
         {child<QRadioButton>("radioButton_OBSC_live_by_ZVTool"), child<QRadioButton>("radioButton_OBSC_write_code")}) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
    }
    responder.clickButton("button_cancel");
    click("button_open_OBS");
    // The start goes on in the event loop: wait running it.
    ASSERT_TRUE(waitUntil([&] { return !fake.waitForStarts("OBS.exe", 1, 0).empty(); }, 5000));
    EXPECT_EQ(fake.waitForStarts("OBS.exe", 1, 0).size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return shown("button_running_OBS"); }, 5000));
    EXPECT_FALSE(child("button_running_OBS")->isEnabled());
    EXPECT_FALSE(shown("widget_OBSC_write_code"));
    ASSERT_TRUE(ZvLogicFW::instance()->getLiveToolsManager()->killAppProcess(kObsClassicToolName));
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }, 5000));
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records().at(0).className, "zvLiveAddressSet");
    saveScreenshot(*window, "mainwindow_obs_installed.png");
}

TEST_F(MainWindowTest, CompanionCardStartsTheToolOrSaysItCannot)
{
    // Installed behind the window's back: its report still updates the card.
    ZvLiveToolsManager* tools = ZvLogicFW::instance()->getLiveToolsManager();
    const QString folder = window->getConfig()->getToolInstallPath(kZvToolName);
    const std::string installer = FakeTools::place(root.filePath("dl").toStdString(), "ZVTool_installer.exe");
    ASSERT_TRUE(tools->installLiveTool(kZvToolName, QString::fromStdString(installer), folder, 400));
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_zavmo"); }, 10000));
    EXPECT_EQ(events("click_install_succ").at(0)["e"]["type"], 1);

    ModalResponder responder;
    click("button_open_zavmo");
    ASSERT_TRUE(waitUntil([&] { return shown("button_running_zavmo"); }, 5000));
    EXPECT_EQ(fake.waitForStarts("Tresk.exe", 1, 0).size(), 1u);
    ASSERT_TRUE(tools->killAppProcess(kZvToolName));
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_zavmo"); }, 5000));
    EXPECT_TRUE(responder.records().isEmpty());

    // A damaged install (its launcher gone) gets the launch-failed prompt.
    ASSERT_TRUE(QFile::remove(folder + "/Tresk.exe"));
    responder.clickButton("button_confirm");
    click("button_open_zavmo");
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records().at(0).texts.contains(kLaunchToolFailedText));
}

TEST_F(MainWindowTest, InstallerAlreadyDownloadedInstallsWithoutDownloading)
{
    QDir().mkpath(getDownloadDir());
    ASSERT_TRUE(QFile::copy(QString::fromStdString(FakeTools::program()), getDownloadDir() + "/OBS_installer.exe"));
    click("button_OBSLive");
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));
    click("button_install_OBS");
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }, 10000));
    EXPECT_EQ(downloadsOf("OBS_installer.exe"), 0);
    EXPECT_EQ(fake.waitForStarts("OBS_installer.exe", 1, 0).size(), 1u);
}

TEST_F(MainWindowTest, FailedDownloadOrInstallSaysSoAndHidesTheProgress)
{
    click("button_OBSLive");
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));
    ModalResponder responder;
    responder.clickButton("button_confirm");
    click("button_install_OBS");
    ASSERT_TRUE(waitUntil([&] { return !responder.records().isEmpty(); }, 5000));
    EXPECT_EQ(responder.records().at(0).className, "zvMsgTipWidget");
    EXPECT_TRUE(responder.records().at(0).texts.contains(kPackageDownloadFailedText));
    EXPECT_FALSE(shown("progressBar_OBS"));
    EXPECT_TRUE(shown("button_install_OBS"));
    EXPECT_TRUE(fake.starts().empty());

    // An installer that ends without installing anything. (An earlier
    // test's events may still arrive: only this one's count.)
    const qint64 began = QDateTime::currentMSecsSinceEpoch();
    QDir().mkpath(getDownloadDir());
    ASSERT_TRUE(QFile::copy("/bin/false", getDownloadDir() + "/OBS_installer.exe"));
    responder.clickButton("button_confirm");
    click("button_install_OBS");
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 2; }, 5000));
    EXPECT_TRUE(responder.records().at(1).texts.contains(kInstallFailedText));
    EXPECT_TRUE(shown("button_install_OBS"));
    // Gone, so that a retry downloads it anew.
    EXPECT_FALSE(QFile::exists(getDownloadDir() + "/OBS_installer.exe"));
    for (const Json::Value& event : events("click_install_succ", 1, 300))
        EXPECT_LT(event["oct"].asInt64(), began);

    // An installer that cannot even be started goes too.
    QFile notAProgram(getDownloadDir() + "/OBS_installer.exe");
    ASSERT_TRUE(notAProgram.open(QIODevice::WriteOnly));
    notAProgram.write("not a program");
    notAProgram.close();
    responder.clickButton("button_confirm");
    click("button_install_OBS");
    ASSERT_EQ(responder.records().size(), 3);
    EXPECT_TRUE(responder.records().at(2).texts.contains(kInstallFailedText));
    EXPECT_FALSE(notAProgram.exists());
}

TEST_F(MainWindowTest, CancelledDownloadHidesTheProgress)
{
    serve("OBS_installer.exe");
    sim->setMode("static_cdn", "throttle:20000");
    click("button_OBSLive");
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));
    click("button_install_OBS");
    ASSERT_TRUE(shown("button_cancelDownload_2"));
    click("button_cancelDownload_2");
    EXPECT_FALSE(shown("progressBar_OBS"));
    EXPECT_FALSE(shown("label_progressValue_2"));
    EXPECT_EQ(child<QProgressBar>("progressBar_OBS")->value(), 0);
    settle(100);
    EXPECT_TRUE(shown("button_install_OBS"));
    EXPECT_TRUE(fake.starts().empty());
}

TEST_F(MainWindowTest, CompanionAndStudioAskForTheirFolderFirst)
{
    ModalResponder responder;
    responder.clickButton("button_close");
    click("button_install_zavmo");
    click("button_OBSLive");
    child<QRadioButton>("radio_studio")->click();
    EXPECT_EQ(window->getCurrentToolName(), kObsStudioToolName);
    EXPECT_EQ(child<QLabel>("label_OBSTitle")->text(), kObsStudioTitle);
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));
    responder.clickButton("button_close");
    click("button_install_OBS");
    ASSERT_EQ(responder.records().size(), 2);
    EXPECT_EQ(responder.records().at(0).className, "zvInstallWidget");
    EXPECT_TRUE(responder.records().at(0).texts.contains(kInstallZvToolText));
    EXPECT_TRUE(responder.records().at(1).texts.contains(kInstallObsText));
    // Not confirmed: nothing is downloaded.
    settle(100);
    EXPECT_TRUE(sim->requests("static_cdn").empty());
    EXPECT_FALSE(shown("progressBar_OBS"));
}

TEST_F(MainWindowTest, ToolboxOpensItsDialogsAndPages)
{
    child("TitleBar")->findChild<QPushButton*>("button_toolbox")->click();
    ModalResponder responder;
    const char* dialogs[][2] = {{"button_openFolder", "zvChooseRecordPath"},
                                {"button_getPushcode", "zvGetCodeTutorialWidget"},
                                {"button_installOBS", "zvOBSInstallWidget"},
                                {"button_installZavmoLive", "zvZavmoInstallWidget"}};
    for (const auto& d : dialogs) {
        responder.clickButton("button_confirm");
        click(d[0]);
        ASSERT_FALSE(responder.records().isEmpty()) << d[0];
        EXPECT_EQ(responder.records().last().className, d[1]);
    }
    // The one-key repair: the real dialog, offering all three runtimes
    // without Ignore, .NET repaired first.
    QStringList offered;
    QString first;
    responder.call("repair", [&](QWidget* d) {
        for (const char* name : {"check_NetFrame", "check_DirectX", "check_vcredist_86", "button_mutiple_Ignore"})
            if (!d->findChild<QWidget*>(name)->isHidden())
                offered << name;
        d->findChild<QPushButton*>("button_mutiple_Reapair")->click();
        first = d->findChild<QLabel*>("label_mutiple_Progress")->text();
        d->findChild<QPushButton*>("button_close")->click();
    });
    click("button_oneKeyRepair");
    ASSERT_EQ(responder.records().size(), 5);
    EXPECT_EQ(responder.records().last().className, "zvEnvironmentalRepair");
    EXPECT_EQ(offered, QStringList({"check_NetFrame", "check_DirectX", "check_vcredist_86"}));
    EXPECT_EQ(first, kDownloadingEnvText.arg(kNetFrameworkName));

    click("button_Service");
    click("button_commonProblem");
    EXPECT_TRUE(shellRecord().contains(customerServiceUrl()));
    EXPECT_TRUE(shellRecord().contains(helpListUrl()));
    EXPECT_EQ(events("click_cust").size(), 1u);
}

TEST_F(MainWindowTest, HelpLinksOfTheCards)
{
    click("button_useTutorial");
    click("button_Service_little");
    QTest::mouseClick(child("label_visitOBSurl"), Qt::LeftButton);
    click("button_OBSLive");
    click("button_useTutorial_2");
    const QByteArray opened = shellRecord();
    for (const char* url : {introduceListUrl(), customerServiceUrl(), obsWebsiteUrl(), helpArticle2Url()})
        EXPECT_TRUE(opened.contains(url)) << url;
    EXPECT_EQ(events("click_introduce", 2).size(), 2u);
    EXPECT_EQ(events("click_cust").size(), 1u);
}

TEST_F(MainWindowTest, ClosedRoomToastStaysCentredOnTheWindow)
{
    window->getLogicListener()->onCloseLiveRoomSuccess();
    QLabel* toast = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->text() == kRoomClosedText && label->isVisible())
                toast = label;
        return toast != nullptr;
    }));
    window->move(window->pos() + QPoint(40, 30));
    ASSERT_TRUE(waitUntil([&] {
        return toast->pos() ==
               window->pos() + QPoint((window->width() - toast->width()) / 2, (window->height() - toast->height()) / 2);
    }));
}

TEST_F(MainWindowTest, AnInstallerFinishedForAnotherCardStillInstalls)
{
    serve("OBS_installer.exe");
    click("button_OBSLive");
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));
    click("button_install_OBS");
    // Back to the companion card while OBS downloads and installs.
    click("button_ZavmoLive");
    // (The download runs on this thread's event loop.)
    ASSERT_TRUE(waitUntil(
        [&] { return ZvLogicFW::instance()->getLiveToolsManager()->getAppInstallStatus(kObsClassicToolName) == 1; },
        10000));
    EXPECT_EQ(fake.waitForStarts("OBS_installer.exe", 1, 0).size(), 1u);
    EXPECT_FALSE(shown("progressBar_main"));
    EXPECT_TRUE(shown("button_install_zavmo"));
    click("button_OBSLive");
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }));
}

TEST_F(MainWindowTest, UpdateToolPathCountsOnlyForTheCurrentTool)
{
    const std::string obs = FakeTools::place(root.filePath("my obs").toStdString(), "obs32.exe");
    ZvLiveToolsManager* tools = ZvLogicFW::instance()->getLiveToolsManager();
    window->updateToolPath(kObsStudioToolName, QString::fromStdString(obs));
    EXPECT_EQ(tools->getLaunchPath(kObsStudioToolName), QString());
    click("button_OBSLive");
    child<QRadioButton>("radio_studio")->click();
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));
    window->updateToolPath(kObsStudioToolName, QString::fromStdString(obs));
    EXPECT_EQ(tools->getLaunchPath(kObsStudioToolName), QString::fromStdString(obs));
    EXPECT_TRUE(shown("button_open_OBS"));
    EXPECT_TRUE(shown("widget_OBSS_write_code"));
    tools->setLaunchPath(kObsStudioToolName, QString());
}

TEST_F(MainWindowTest, ObsStoppingWithoutAnOpenRoomAsksNothing)
{
    ModalResponder responder;
    window->getLogicListener()->onUpdateAppStatus(kObsClassicToolName, 1);
    window->getLogicListener()->onUpdateAppStatus(kObsStudioToolName, 0);
    settle(50);
    EXPECT_TRUE(responder.records().isEmpty());
}

TEST_F(MainWindowTest, RoomCloseFailurePointsToTheWebPage)
{
    ModalResponder responder;
    responder.clickButton("button_confirm");
    window->getLogicListener()->onCloseLiveRommFailed(5, "server says no");
    ASSERT_TRUE(waitUntil([&] { return !responder.records().isEmpty(); }));
    EXPECT_TRUE(responder.records().at(0).texts.contains(kCloseRoomFailedText));
    EXPECT_FALSE(responder.records().at(0).texts.contains("server says no"));
    EXPECT_TRUE(shellRecord().contains(myRoomPageUrl()));
}

} // namespace
