// The title bar on its own (the main window's part played by a plain widget
// and the window link): form, page buttons, what the close button does in
// each mode, and the login state as the listener reports it, with a real
// login against the simulator.
#include "ui/mainwindow/zvtitlebar.h"

#include "account.h"
#include "core/appconfig.h"
#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/loginmanager.h"
#include "logic/zvlogicfw.h"
#include "modalresponder.h"
#include "mouse.h"
#include "qtwait.h"
#include "simulator.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/roundheadbutton.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/zvappquittip.h"
#include "ui/mainwindow/zvtitlemenu.h"
#include "widgettest.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace zavmo::test;

namespace {

// A stand-in main window holding the title bar, linked as the main window.
class TitleBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(getSystemSettingPath());
        window.resize(942, 622);
        titleBar = new zvTitleBar(&window);
        titleBar->setGeometry(11, 11, 920, 120);
        link->window = &window;
        setQuitFunction([this] { ++quits; });
        setSystemTrayAvailableFunction([this] { return trayAvailable; });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override
    {
        setQuitFunction({});
        setSystemTrayAvailableFunction({});
    }
    void useConfig(int closeMode, bool showTip)
    {
        config = std::make_unique<AppConfig>();
        config->setCloseMode(closeMode);
        config->setShowCloseTipEnable(showTip);
        link->config = config.get();
    }

    QWidget window;
    zvTitleBar* titleBar = nullptr;
    std::unique_ptr<AppConfig> config;
    int quits = 0;
    bool trayAvailable = true;
    ScopedMainWindowLink link;
};

TEST_F(TitleBarTest, FormAndStartState)
{
    EXPECT_EQ(titleBar->styleSheet(), readFileText(":/Qss/MainWidgetQss.qss"));
    EXPECT_TRUE(titleBar->autoFillBackground());
    EXPECT_EQ(child<QLabel>(*titleBar, "label_titleName")->text(), "Zavmo直播管家");
    EXPECT_EQ(child<QPushButton>(*titleBar, "Button_login")->text(), "登录");
    EXPECT_EQ(child<QLabel>(*titleBar, "label_myRoom")->text(), "我的直播间");
    EXPECT_NE(qobject_cast<RoundHeadButton*>(child(*titleBar, "Button_user_header")), nullptr);
    EXPECT_TRUE(child(*titleBar, "Button_user_header")->isHidden());
    for (const char* name : {"button_setting", "button_min", "button_close"})
        EXPECT_EQ(child(*titleBar, name)->size(), QSize(17, 17)) << name;
    for (const char* name : {"Button_login", "label_myRoom", "button_setting", "button_min", "button_close",
                             "button_live", "button_toolbox"})
        EXPECT_EQ(child(*titleBar, name)->cursor().shape(), Qt::PointingHandCursor) << name;
    EXPECT_EQ(child(*titleBar, "button_live")->size(), QSize(120, 84));
    EXPECT_EQ(child(*titleBar, "label_logo")->size(), QSize(20, 20));
    auto* row = titleBar->findChild<QHBoxLayout*>("horizontalLayout");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->spacing(), 10);
    EXPECT_EQ(row->contentsMargins(), QMargins(12, 10, 10, 6));
    EXPECT_TRUE(child<QPushButton>(*titleBar, "button_live")->isChecked());
    EXPECT_FALSE(child<QPushButton>(*titleBar, "button_toolbox")->isChecked());
}

TEST_F(TitleBarTest, PageButtonsAskForTheirPageAndOneStaysChecked)
{
    qRegisterMetaType<pageType>();
    QSignalSpy pages(titleBar, &zvTitleBar::slg_Openpage);
    auto* live = child<QPushButton>(*titleBar, "button_live");
    auto* toolbox = child<QPushButton>(*titleBar, "button_toolbox");
    toolbox->click();
    toolbox->click(); // a second click does not uncheck it
    live->click();
    ASSERT_EQ(pages.size(), 3);
    EXPECT_EQ(pages.at(0).at(0).value<pageType>(), PAGE_TOOLBOX);
    EXPECT_EQ(pages.at(1).at(0).value<pageType>(), PAGE_TOOLBOX);
    EXPECT_EQ(pages.at(2).at(0).value<pageType>(), PAGE_LIVE);
    EXPECT_TRUE(live->isChecked());
    EXPECT_FALSE(toolbox->isChecked());
}

TEST_F(TitleBarTest, SettingsButtonRunsTheSettingsDialog)
{
    useConfig(CLOSE_TO_TRAY, true);
    ModalResponder responder;
    responder.clickButton("button_close");
    child<QPushButton>(*titleBar, "button_setting")->click();
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records().at(0).className, "zvSystemSettingDlg");
    EXPECT_EQ(responder.records().at(0).action, "click:button_close");
    // Its close button saved the settings.
    EXPECT_TRUE(QFile::exists(getSystemSettingPath()));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(TitleBarTest, CloseWithoutPromptInTrayModeHidesOrMinimisesWithoutATray)
{
    useConfig(CLOSE_TO_TRAY, false);
    child<QPushButton>(*titleBar, "button_close")->click();
    EXPECT_FALSE(window.isVisible());

    trayAvailable = false;
    window.show();
    child<QPushButton>(*titleBar, "button_close")->click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    settle(150);
    EXPECT_EQ(quits, 0);
    // The settings were saved before anything else.
    EXPECT_TRUE(QFile::exists(getSystemSettingPath()));
}

TEST_F(TitleBarTest, CancelledPromptLeavesWindowAndSettings)
{
    useConfig(CLOSE_QUIT, true);
    for (const char* button : {"button_cancel", "button_close"}) {
        ModalResponder responder;
        responder.clickButton(button);
        child<QPushButton>(*titleBar, "button_close")->click();
        ASSERT_EQ(responder.records().size(), 1);
        EXPECT_EQ(responder.records().at(0).className, "zvAppQuitTip");
        EXPECT_TRUE(window.isVisible()) << button;
        EXPECT_EQ(config->getCloseMode(), CLOSE_QUIT);
        EXPECT_TRUE(config->getShowCloseTipEnable());
    }
    settle(150);
    EXPECT_EQ(quits, 0);
}

TEST_F(TitleBarTest, ChoiceMadeInThePromptCounts)
{
    useConfig(CLOSE_QUIT, true);
    // The prompt opens on quit; choose the tray and never ask again.
    int prompts = 0;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* tip = qobject_cast<zvAppQuitTip*>(QApplication::activeModalWidget());
        if (!tip)
            return;
        ++prompts;
        tip->findChild<QRadioButton*>("radio_btn_hide")->setChecked(true);
        tip->findChild<QCheckBox*>("checkBox_not_tip")->setChecked(true);
        tip->findChild<QPushButton*>("button_confirm")->click();
    });
    answer.start();
    child<QPushButton>(*titleBar, "button_close")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(config->getCloseMode(), CLOSE_TO_TRAY);
    EXPECT_FALSE(config->getShowCloseTipEnable());
    settle(150);
    EXPECT_EQ(quits, 0);

    // Asked no more: the next close hides at once.
    window.show();
    child<QPushButton>(*titleBar, "button_close")->click();
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(TitleBarTest, QuitModeHidesAtOnceAndQuitsLater)
{
    useConfig(CLOSE_QUIT, false);
    child<QPushButton>(*titleBar, "button_close")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(quits, 0);
    settle(30);
    EXPECT_EQ(quits, 0);
    ASSERT_TRUE(waitUntil([&] { return quits == 1; }, 5000));
}

TEST_F(TitleBarTest, WithoutSettingsTheCloseButtonQuits)
{
    child<QPushButton>(*titleBar, "button_close")->click();
    EXPECT_FALSE(window.isVisible());
    ASSERT_TRUE(waitUntil([&] { return quits == 1; }, 5000));
}

TEST_F(TitleBarTest, CloseOfATitleBarWithoutParentDoesNothing)
{
    zvTitleBar alone;
    alone.findChild<QPushButton*>("button_close")->click();
    settle(150);
    EXPECT_EQ(quits, 0);
}

TEST_F(TitleBarTest, StaleAvatarsAreDeletedOtherDownloadsIgnored)
{
    UILogicListener listener;
    link->listener = &listener;
    titleBar->initialize();
    const QString stale = QDir::temp().filePath("old_middle");
    const QString other = QDir::temp().filePath("obs.exe");
    for (const QString& path : {stale, other}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    listener.onDownloadFinished(kUserHeaderImageDownloadKey + "_old_user", stale);
    listener.onDownloadFinished(kObsStudioToolName, other);
    // Queued: nothing happens inside the call.
    EXPECT_TRUE(QFile::exists(stale));
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(stale); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(QFile::exists(other));
}

TEST(zvTitleMenu, FormRoomPageAndHidingOnFocusLoss)
{
    zvTitleMenu menu;
    EXPECT_EQ(menu.size(), QSize(124, 76));
    EXPECT_EQ(menu.windowFlags() & (Qt::Window | Qt::SubWindow | Qt::FramelessWindowHint),
              Qt::Window | Qt::SubWindow | Qt::FramelessWindowHint);
    EXPECT_TRUE(menu.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(menu.styleSheet(), readFileText(":/Qss/MainWidgetQss.qss"));
    auto* room = menu.findChild<QPushButton*>("button_roomManage");
    auto* logout = menu.findChild<QPushButton*>("button_logout");
    ASSERT_TRUE(room && logout);
    EXPECT_EQ(room->geometry(), QRect(0, 8, 124, 34));
    EXPECT_EQ(logout->geometry(), QRect(0, 41, 124, 35));
    EXPECT_EQ(room->cursor().shape(), Qt::PointingHandCursor);

    menu.show();
    room->click();
    QFile record(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().contains(QByteArray("open ") + myRoomPageUrl()));
    // Room management leaves the menu open; losing the focus closes it.
    EXPECT_TRUE(menu.isVisible());
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(&menu, &out);
    EXPECT_FALSE(menu.isVisible());
}

// The login state as the hub reports it, from a password login against the
// simulator to the logout.
TEST_F(TitleBarTest, LoginStateFollowsTheListener)
{
    namespace account = zavmo::sim::account;
    Simulator sim;
    sim.setEnvironment();
    ASSERT_TRUE(deployment::installTrustedCertificates());
    ZvLogicFW* hub = ZvLogicFW::instance();
    auto* login = child<QPushButton>(*titleBar, "Button_login");
    auto* head = child<RoundHeadButton>(*titleBar, "Button_user_header");

    // No login manager yet: the button and the room link do nothing.
    {
        ModalResponder responder;
        login->click();
        mousePress(child(*titleBar, "label_myRoom"), QPoint(2, 2));
        settle(50);
        EXPECT_TRUE(responder.records().isEmpty());
    }

    ASSERT_TRUE(hub->initialize(0));
    UILogicListener listener;
    link->listener = &listener;
    hub->setLogicListener(&listener);
    titleBar->initialize();
    LoginManager* manager = hub->getLoginManager();
    ASSERT_TRUE(waitUntil([&] { return manager->isServerTimespaceValid(); }));

    // Logged out, the button opens the login dialog and no menu.
    {
        ModalResponder responder;
        responder.clickButton("button_close");
        login->click();
        ASSERT_EQ(responder.records().size(), 1);
        EXPECT_EQ(responder.records().at(0).className, "ZvLoginWidget");
        EXPECT_EQ(responder.records().at(0).action, "click:button_close");
        EXPECT_EQ(titleBar->findChild<QWidget*>("zvTitleMenu"), nullptr);
    }

    manager->loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(account::kPassword), false);
    ASSERT_TRUE(waitUntil([&] { return login->text() == QString::fromUtf8(account::kDisplayName); }));
    EXPECT_FALSE(head->isHidden());
    EXPECT_EQ(head->headImage(), ":/Resources/icon_login_user.png");

    // The user's avatar arriving shows; the task name holds the nickname
    // whole, "_" and all.
    const QString task = kUserHeaderImageDownloadKey + "_" + QString::fromUtf8(account::kDisplayName);
    listener.onDownloadFinished(task, "/avatar/file_middle");
    ASSERT_TRUE(waitUntil([&] { return head->headImage() == "/avatar/file_middle"; }));

    // Logged in, the button opens the title menu below itself.
    login->click();
    auto* menu = titleBar->findChild<QWidget*>("zvTitleMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->size(), QSize(124, 76));
    EXPECT_EQ(menu->pos(), titleBar->mapToGlobal(QPoint(login->x() - 50, login->y() + 24)));

    // The room link opens the user's room on the web site.
    mousePress(child(*titleBar, "label_myRoom"), QPoint(2, 2));
    QFile record(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        record.readAll().contains(QStringLiteral("open %1%2").arg(webHomeUrl()).arg(account::kRoomId).toUtf8()));

    menu->findChild<QPushButton*>("button_logout")->click();
    ASSERT_TRUE(waitUntil([&] { return login->text() == "登录"; }));
    EXPECT_TRUE(head->isHidden());

    // An "&" in the nickname shows as it is, not as a mnemonic.
    sim.setMode("my_info", "reply:ampersand");
    manager->loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(account::kPassword), false);
    ASSERT_TRUE(waitUntil([&] { return !head->isHidden(); }));
    EXPECT_EQ(login->text(), "R&&B阿梦");
    manager->logout();
    hub->setLogicListener(nullptr);
}

} // namespace
