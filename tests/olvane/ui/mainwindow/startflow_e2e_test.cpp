// The main road through the window, clicked: OBS Studio selected, logged in,
// the push address fetched into OBS's service.json, OBS started, and closing
// OBS offering to close the room; and a push-address request the server never
// answers, which gives up after its 5000 ms.
#include "startflowtest.h"

#include "screenshot.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>

namespace {

using namespace mainwindowtest;

TEST_F(StartFlowTest, MainRoadFromTheCardToTheOpenRoomAndBack)
{
    // OBS Studio from the simulator's CDN, with the fake installer.
    serve("OBS_Studio_installer.exe");
    click("button_OBSLive");
    child<QRadioButton>("radio_studio")->click();
    EXPECT_EQ(child<QLabel>("label_OBSTitle")->text(), kObsStudioTitle);
    ASSERT_TRUE(waitUntil([&] { return shown("button_install_OBS"); }));
    {
        ModalResponder folder;
        // The install-folder dialog: the configured folder confirmed.
        folder.clickButton("button_confirmInstall");
        click("button_install_OBS");
        ASSERT_EQ(folder.records().size(), 1);
        EXPECT_EQ(folder.records().at(0).className, "zvInstallWidget");
        ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }, 10000));
    }
    EXPECT_EQ(downloadsOf("OBS_Studio_installer.exe"), 1);
    EXPECT_TRUE(started("OBS_Studio_installer.exe", 1));
    chooseWriteCode();
    logIn();

    ModalResponder responder;
    click("button_open_OBS");
    EXPECT_FALSE(window->isEnabled());
    ASSERT_TRUE(started("obs32.exe", 1));
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(responder.records().isEmpty());

    // The address is in the current profile's service.json.
    QStringList found;
    QDirIterator it(getRoamingAppDataRoot() + "obs-studio", {"service.json"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    ASSERT_EQ(found.size(), 1) << found.join(',').toStdString();
    QFile service(found.at(0));
    ASSERT_TRUE(service.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(service.readAll()).object();
    EXPECT_EQ(json.value("type").toString(), "rtmp_custom");
    EXPECT_EQ(json.value("settings").toObject().value("server").toString(), QString::fromUtf8(account::kRtmpSendUrl));
    EXPECT_EQ(json.value("settings").toObject().value("key").toString(), QString::fromUtf8(account::kRtmpSendLive));
    EXPECT_EQ(sim->requests("start_liveroom").size(), 1u);

    ASSERT_TRUE(waitUntil([&] { return shown("button_running_OBS"); }));
    EXPECT_TRUE(shown("label_OBS_broadcast_tip"));
    saveScreenshot(*window, "mainwindow_room_open.png");

    // OBS closed: asked whether to close the room too; yes closes it.
    responder.clickButton("button_confirm");
    ASSERT_TRUE(tools()->killAppProcess(kObsStudioToolName));
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 1; }));
    EXPECT_TRUE(responder.records().at(0).texts.contains(kObsClosedPromptText));
    EXPECT_TRUE(responder.records().at(0).texts.contains("关闭直播"));
    EXPECT_TRUE(waitUntil([&] { return sim->requests("zhubo_closeroom").size() == 1; }));
    EXPECT_EQ(events("click_remind_close").size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }));
    EXPECT_FALSE(shown("label_OBS_broadcast_tip"));
    EXPECT_TRUE(shown("widget_OBSS_write_code"));
}

TEST_F(StartFlowTest, AServerThatNeverAnswersGivesUpAfterFiveSeconds)
{
    selectInstalledStudio();
    chooseWriteCode();
    logIn();
    sim->setMode("get_rtmplist", "stall");
    ModalResponder responder;
    responder.clickButton("button_close");
    QElapsedTimer clock;
    clock.start();
    click("button_open_OBS");
    EXPECT_FALSE(window->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !responder.records().isEmpty(); }, 7000));
    // A coarse timer: 5 % early at most.
    EXPECT_GE(clock.elapsed(), 4750);
    EXPECT_EQ(responder.records().at(0).className, "zvGetRtmpFalseWidget");
    EXPECT_TRUE(requestOver());
    EXPECT_EQ(events("click_liveset_get").size(), 1u);
    sim->reset(); // the held reply is let go, and the log emptied
    settle(200);
    EXPECT_TRUE(events("show_liveset_get_succ", 1, 100).empty());
    EXPECT_EQ(responder.records().size(), 1);
    EXPECT_EQ(startsOf("obs32.exe"), 0u);
}

} // namespace
