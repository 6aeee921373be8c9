// The OBS start flow, continued: each result of the failed-fetch and
// push-address dialogs, the restart of a running OBS (also the distribution's
// own "obs"), and a push-address request that ends only once.
#include "startflowtest.h"

#include <QScopeGuard>

namespace {

using namespace mainwindowtest;

// ---- The failed-fetch dialog and the push-address dialog

TEST_F(StartFlowTest, FailedFetchClosedOrStartingObsDirectly)
{
    selectInstalledStudio();
    chooseWriteCode();
    logIn();
    sim->setMode("get_rtmplist", "error:5");
    ModalResponder responder;
    responder.clickButton("button_close");
    click("button_open_OBS");
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 1; }));
    EXPECT_EQ(responder.records().at(0).className, "zvGetRtmpFalseWidget");
    EXPECT_TRUE(requestOver());
    settle(100);
    EXPECT_EQ(startsOf("obs32.exe"), 0u);

    responder.clickButton("button_reRun_OBS");
    click("button_open_OBS");
    ASSERT_TRUE(started("obs32.exe", 1));
    EXPECT_TRUE(studioServer().isEmpty());
    EXPECT_FALSE(shown("label_OBS_broadcast_tip"));

    // OBS already running: not started twice.
    ASSERT_TRUE(waitUntil([&] { return tools()->getAppStatus(kObsStudioToolName) == 2; }));
    responder.clickButton("button_reRun_OBS");
    window->on_button_open_OBS_clicked();
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 3; }));
    settle(100);
    EXPECT_TRUE(started("obs32.exe", 1));
    EXPECT_EQ(events("show_liveset_get_succ", 1, 100).size(), 0u);
}

TEST_F(StartFlowTest, FailedFetchByHandInWriteCodeModeStartsOnlyAWrittenAddress)
{
    selectInstalledStudio();
    chooseWriteCode();
    logIn();
    sim->setMode("get_rtmplist", "error:5");
    ModalResponder responder;
    responder.clickButton("button_getRtmp");
    responder.clickButton("button_cancel");
    click("button_open_OBS");
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 2; }));
    EXPECT_EQ(responder.records().at(1).className, "zvLiveAddressSet");
    // Write-code mode: the cancel button reads "取消".
    EXPECT_TRUE(responder.records().at(1).texts.contains("取消"));
    EXPECT_TRUE(shellRecord().contains(myRoomPageUrl()));
    settle(100);
    EXPECT_EQ(startsOf("obs32.exe"), 0u);

    responder.clickButton("button_getRtmp");
    responder.call("type", typeAddress("rtmp://127.0.0.1/typed", "typed-key"));
    click("button_open_OBS");
    ASSERT_TRUE(started("obs32.exe", 1));
    EXPECT_EQ(studioServer(), "rtmp://127.0.0.1/typed");
    EXPECT_EQ(studioKey(), "typed-key");
    EXPECT_EQ(responder.records().size(), 4);
}

class AddressDialogTest : public StartFlowTest
{
protected:
    // Neither start mode chosen: the push-address dialog comes first.
    void chooseNoMode()
    {
        for (const char* name : {"radioButton_OBSS_live_by_ZVTool", "radioButton_OBSS_write_code"}) {
            auto* radio = child<QRadioButton>(name);
            radio->setAutoExclusive(false);
            radio->setChecked(false);
        }
    }
};

TEST_F(AddressDialogTest, SkippedOrClosedStillStartsObs)
{
    selectInstalledStudio();
    chooseNoMode();
    ModalResponder responder;
    responder.clickButton("button_cancel");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records().at(0).texts.contains("跳过"));
    ASSERT_TRUE(started("obs32.exe", 1));
    ASSERT_TRUE(waitUntil([&] { return tools()->getAppStatus(kObsStudioToolName) == 2; }));
    ASSERT_TRUE(tools()->killAppProcess(kObsStudioToolName));
    ASSERT_TRUE(waitUntil([&] { return tools()->getAppStatus(kObsStudioToolName) == 1; }));

    responder.clickButton("button_close");
    window->on_button_open_OBS_clicked();
    ASSERT_TRUE(started("obs32.exe", 2));
    EXPECT_TRUE(studioServer().isEmpty());
}

TEST_F(AddressDialogTest, FetchingNeedsALoginAndFetchesAfterIt)
{
    selectInstalledStudio();
    chooseNoMode();
    ModalResponder responder;
    // Fetch, login refused: the address dialog comes back; skipped then.
    responder.clickButton("button_get");
    responder.clickButton("button_confirm");
    responder.clickButton("button_cancel");
    click("button_open_OBS");
    ASSERT_EQ(responder.records().size(), 3);
    EXPECT_EQ(responder.records().at(1).className, "ZvLoginWidget");
    EXPECT_EQ(responder.records().at(2).className, "zvLiveAddressSet");
    ASSERT_TRUE(started("obs32.exe", 1));
    EXPECT_TRUE(sim->requests("get_rtmplist").empty());
    ASSERT_TRUE(waitUntil([&] { return tools()->getAppStatus(kObsStudioToolName) == 2; }));
    ASSERT_TRUE(tools()->killAppProcess(kObsStudioToolName));
    ASSERT_TRUE(waitUntil([&] { return tools()->getAppStatus(kObsStudioToolName) == 1; }));

    // Logged in: fetched, written, started.
    logIn();
    responder.clickButton("button_get");
    window->on_button_open_OBS_clicked();
    ASSERT_TRUE(started("obs32.exe", 2));
    EXPECT_EQ(studioServer(), QString::fromUtf8(account::kRtmpSendUrl));
    EXPECT_EQ(responder.records().size(), 4);
}

TEST_F(AddressDialogTest, ARunningObsKeptRunningEndsTheFlow)
{
    selectInstalledStudio();
    chooseNoMode();
    startTool(kObsStudioToolName);
    ModalResponder responder;
    // The dialog's own restart prompt refused: result 4, nothing more.
    responder.call("type", typeAddress("rtmp://127.0.0.1/typed", "k"));
    responder.clickButton("button_cancel");
    window->on_button_open_OBS_clicked();
    ASSERT_EQ(responder.records().size(), 2);
    EXPECT_TRUE(responder.records().at(1).texts.contains(kObsRestartPromptText));
    settle(100);
    EXPECT_TRUE(started("obs32.exe", 1));
    EXPECT_TRUE(studioServer().isEmpty());
    EXPECT_EQ(tools()->getAppStatus(kObsStudioToolName), 2);
}

// ---- The push address arriving while OBS runs

class RestartTest : public StartFlowTest
{
protected:
    void SetUp() override
    {
        StartFlowTest::SetUp();
        selectInstalledStudio();
        chooseWriteCode();
        logIn();
        startTool(kObsStudioToolName);
    }
    void TearDown() override
    {
        setProcessFolder("");
        StartFlowTest::TearDown();
    }
};

TEST_F(RestartTest, RefusedRestartWritesNothing)
{
    ModalResponder responder;
    responder.clickButton("button_cancel");
    window->on_button_open_OBS_clicked();
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 1; }));
    EXPECT_TRUE(responder.records().at(0).texts.contains(kObsRestartPromptText));
    EXPECT_TRUE(responder.records().at(0).texts.contains("重启OBS"));
    ASSERT_TRUE(requestOver());
    settle(100);
    EXPECT_TRUE(studioServer().isEmpty());
    EXPECT_TRUE(started("obs32.exe", 1));
    EXPECT_EQ(tools()->getAppStatus(kObsStudioToolName), 2);
    EXPECT_FALSE(shown("label_OBS_broadcast_tip"));
}

TEST_F(RestartTest, FailedKillSaysSoAndWritesNothing)
{
    ModalResponder responder;
    // Process scans fail from the moment the restart is confirmed.
    responder.call("confirm, scans failing", [this](QWidget* prompt) {
        setProcessFolder(root.filePath("no-proc").toUtf8().constData());
        prompt->findChild<QPushButton*>("button_confirm")->click();
    });
    responder.clickButton("button_confirm");
    window->on_button_open_OBS_clicked();
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 2; }));
    EXPECT_TRUE(responder.records().at(1).texts.contains(kRestartFailedText));
    EXPECT_TRUE(studioServer().isEmpty());
    EXPECT_EQ(startsOf("obs32.exe"), 1u);
}

TEST_F(RestartTest, ConfirmedRestartWritesRelaunchesAndIgnoresTheScanBetween)
{
    ModalResponder responder;
    // A scan that saw OBS gone between the kill and the relaunch reports it
    // only once the restart is done: posted here, before the confirm, it is
    // delivered right after the relaunch (as the monitor's own report would
    // be, if it caught the gap).
    responder.call("confirm, report from the gap", [this](QWidget* prompt) {
        QMetaObject::invokeMethod(
            window->getLogicListener(),
            [this] { window->getLogicListener()->onUpdateAppStatus(kObsStudioToolName, 1); }, Qt::QueuedConnection);
        prompt->findChild<QPushButton*>("button_confirm")->click();
    });
    window->on_button_open_OBS_clicked();
    ASSERT_TRUE(started("obs32.exe", 2));
    const auto starts = fake.starts();
    EXPECT_FALSE(FakeTools::isRunning(starts.front().pid, "obs32.exe"));
    EXPECT_EQ(studioServer(), QString::fromUtf8(account::kRtmpSendUrl));
    ASSERT_TRUE(waitUntil([&] { return shown("label_OBS_broadcast_tip"); }));
    settle(700);
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(shown("label_OBS_broadcast_tip"));

    // Closed for real later: the reminder. OBS started again while it is
    // open: the card shows it running once it is answered.
    responder.call("start OBS again, then ignore", [this](QWidget* prompt) {
        tools()->launchApplication(kObsStudioToolName);
        waitUntil([&] { return shown("button_running_OBS"); });
        prompt->findChild<QPushButton*>("button_cancel")->click();
    });
    ASSERT_TRUE(tools()->killAppProcess(kObsStudioToolName));
    ASSERT_TRUE(waitUntil([&] { return responder.records().size() == 2; }));
    EXPECT_TRUE(responder.records().at(1).texts.contains(kObsClosedPromptText));
    EXPECT_TRUE(responder.records().at(1).texts.contains("忽略"));
    EXPECT_TRUE(events("click_remind_close", 1, 100).empty());
    settle(300);
    EXPECT_TRUE(shown("button_running_OBS"));
}

TEST_F(StartFlowTest, TheDistributionsObsIsFoundRestartedAndTakesTheAddress)
{
    // Installed by the distribution, not by us: "obs" where the lookup searches.
    const QString obs =
        QString::fromStdString(FakeTools::place(qEnvironmentVariable("ZAVMO_OBS_SEARCH_PATH").toStdString(), "obs"));
    const auto removeObs = qScopeGuard([&] { QFile::remove(obs); });
    click("button_OBSLive");
    child<QRadioButton>("radio_studio")->click();
    ASSERT_TRUE(waitUntil([&] { return shown("button_open_OBS"); }));
    chooseWriteCode();
    logIn();
    startTool(kObsStudioToolName);
    ASSERT_TRUE(waitUntil([&] { return shown("button_running_OBS"); }));
    // DirectX missing: the Linux program needs no Windows runtime.
    ASSERT_TRUE(QDir().mkpath(root.filePath("windows/C/Windows/SysWOW64")));

    ModalResponder responder;
    responder.clickButton("button_confirm");
    window->on_button_open_OBS_clicked();
    ASSERT_TRUE(started("obs", 2));
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records().at(0).texts.contains(kObsRestartPromptText));
    EXPECT_FALSE(FakeTools::isRunning(fake.starts().front().pid, "obs"));
    EXPECT_EQ(studioServer(), QString::fromUtf8(account::kRtmpSendUrl));
    // Arrived before the next test looks at its own events.
    EXPECT_EQ(events("show_liveset_get_succ").size(), 1u);
}

// ---- A request ends once

TEST_F(StartFlowTest, ARequestEndsOnlyOnce)
{
    selectInstalledStudio();
    chooseWriteCode();
    logIn();
    sim->setMode("get_rtmplist", "stall");
    ModalResponder responder;
    click("button_open_OBS");
    EXPECT_FALSE(window->isEnabled());
    // Success and failure reported in one go (both queued): the first counts.
    window->getLogicListener()->onGetRtmpSuccessed("rtmp://127.0.0.1/first", "first");
    window->getLogicListener()->onGetRtmpFailed(-1, "second");
    ASSERT_TRUE(started("obs32.exe", 1));
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(studioServer(), "rtmp://127.0.0.1/first");

    // Ends delivered after the request was over (a queued call posted before
    // the disconnect, or the timer) do nothing.
    window->sltGetRtmpInfoSuccessed("rtmp://127.0.0.1/late", "late");
    window->sltGetRtmpInfoFailed(-1, "late");
    window->sltGetLiveCodeTimeout();
    // Nor does a report of a scan made before the start that comes only now:
    // OBS runs.
    window->getLogicListener()->onUpdateAppStatus(kObsStudioToolName, 1);
    settle(100);
    EXPECT_TRUE(responder.records().isEmpty())
        << responder.records().at(0).className.toStdString() << " "
        << responder.records().at(0).texts.join('|').toStdString();
    EXPECT_EQ(studioServer(), "rtmp://127.0.0.1/first");
    EXPECT_EQ(events("show_liveset_get_succ").size(), 1u);
    EXPECT_TRUE(started("obs32.exe", 1));
    sim->reset();
}

} // namespace
