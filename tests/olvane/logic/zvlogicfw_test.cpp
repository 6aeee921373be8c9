// The logic hub: which slot reaches which listener operation, how each
// service's signals are delivered, and what shutdown leaves.

#include "logic_support.h"
#include "olvaneworld.h"
#include "recordinglistener.h"

#include "core/stringconstants.h"
#include "core/zavmopointing.h"
#include "logic/loginmanager.h"
#include "logic/zvappstatusmonitor.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "logic/zvtoolrepair.h"

#include "account.h"

#include <gtest/gtest.h>

#include <QMetaMethod>
#include <QPointer>

#include <memory>

using namespace logictest;

namespace {

// The services' start-up requests go to the simulator.
class LogicHubTest : public OlvaneWorld
{
protected:
    static std::unique_ptr<ZvLogicFW> initializedHub(RecordingListener& listener)
    {
        auto hub = std::make_unique<ZvLogicFW>();
        EXPECT_TRUE(hub->initialize(0));
        hub->setLogicListener(&listener);
        return hub;
    }
};

// Calls every slot once, in declaration order, with arguments that tell the
// operations apart.
void callAllSlots(ZvLogicFW& hub)
{
    hub.sltUpdateAppStatus("OBS Studio", 2);
    hub.sltUpdateDownloadProgress("dl", 40);
    hub.sltDownloadFinished("dl", "/tmp/f.exe");
    hub.sltDownloadFailed("dl2");
    hub.sltLiveToolInstallProgress("ZVTool", 55);
    hub.sltLiveToolInstallFinished("ZVTool");
    hub.sltLiveToolUnInstallFinished("ZVShow");
    hub.sltBroadcastMsg("rtmp://u", "code");
    hub.sltOpenLiveRoomResult(3, "open");
    hub.sltLiveCodeModuleClose();
    hub.sltRepairFinished("DirectX");
    hub.sltLoginSuccessed();
    hub.sltBeginLogin();
    hub.sltLoginFinished(81, "captcha");
    hub.sltQRCodeChanged();
    hub.sltGetRtmpSuccessed("rtmp://a", "live");
    hub.sltGetRtmpFailed(-1, "busy");
    hub.sltLogout();
    hub.sltGetQRCodeFailed(7, "qr");
    hub.sltCloseLiveRoomSuccess();
    hub.sltCloseLiveRommFailed(9, "close");
    hub.sltCheckInGuildResult(0, "guild", false);
}

} // namespace

TEST(LogicHubSlots, EachSlotCallsTheOperationOfItsPlaceUnchanged)
{
    // The slots' order in the meta-object is the contract with the listener.
    const QStringList expectedSlots = {
        "sltUpdateAppStatus(QString,int)",
        "sltUpdateDownloadProgress(QString,int)",
        "sltDownloadFinished(QString,QString)",
        "sltDownloadFailed(QString)",
        "sltLiveToolInstallProgress(QString,int)",
        "sltLiveToolInstallFinished(QString)",
        "sltLiveToolUnInstallFinished(QString)",
        "sltBroadcastMsg(QString,QString)",
        "sltOpenLiveRoomResult(int,QString)",
        "sltLiveCodeModuleClose()",
        "sltRepairFinished(QString)",
        "sltLoginSuccessed()",
        "sltBeginLogin()",
        "sltLoginFinished(int,QString)",
        "sltQRCodeChanged()",
        "sltGetRtmpSuccessed(QString,QString)",
        "sltGetRtmpFailed(int,QString)",
        "sltLogout()",
        "sltGetQRCodeFailed(int,QString)",
        "sltCloseLiveRoomSuccess()",
        "sltCloseLiveRommFailed(int,QString)",
        "sltCheckInGuildResult(int,QString,bool)",
    };
    const QMetaObject& meta = ZvLogicFW::staticMetaObject;
    QStringList declared;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        if (meta.method(i).methodType() == QMetaMethod::Slot)
            declared.append(QString::fromLatin1(meta.method(i).methodSignature()));
    EXPECT_EQ(declared, expectedSlots);

    ZvLogicFW hub;
    // No listener: nothing happens.
    callAllSlots(hub);

    RecordingListener listener;
    hub.setLogicListener(&listener);
    callAllSlots(hub);
    const QStringList expected = {
        "1:OBS Studio|2",
        "2:dl|40",
        "3:dl|/tmp/f.exe",
        "4:dl2",
        "5:ZVTool|55",
        "6:ZVTool",
        "7:ZVShow",
        "8:rtmp://u|code",
        "9:3|open",
        "10:",
        "11:DirectX",
        "12:",
        "13:",
        "14:81|captcha",
        "15:",
        "16:rtmp://a|live",
        "17:-1|busy",
        "18:",
        "19:7|qr",
        "20:",
        "21:9|close",
        "22:0|guild|false",
    };
    EXPECT_EQ(listener.calls, expected);

    hub.setLogicListener(nullptr);
    callAllSlots(hub);
    EXPECT_EQ(listener.calls.size(), expected.size());
}

TEST_F(LogicHubTest, InitializeBuildsTheServicesAndRepairsByExactName)
{
    ZvLogicFW hub;
    EXPECT_EQ(hub.getLiveToolsManager(), nullptr);
    EXPECT_EQ(hub.getLoginManager(), nullptr);
    EXPECT_EQ(hub.getToolRepair(kDirectXName), nullptr);
    EXPECT_EQ(hub.getFileDownloaderMgr(), ZvFileDownloaderMgr::instance());

    ASSERT_TRUE(hub.initialize(1));
    ASSERT_NE(hub.getLiveToolsManager(), nullptr);
    ASSERT_NE(hub.getLoginManager(), nullptr);
    EXPECT_NE(dynamic_cast<ZvNetFrameworkRepair*>(hub.getToolRepair("NET Framework 4.0")), nullptr);
    EXPECT_NE(dynamic_cast<ZvDirectXRepair*>(hub.getToolRepair("DirectX")), nullptr);
    EXPECT_NE(dynamic_cast<ZvVCRedistRepair*>(hub.getToolRepair("vcredist_x86")), nullptr);
    EXPECT_EQ(hub.getToolRepair("directx"), nullptr);
    EXPECT_EQ(hub.getToolRepair(""), nullptr);
    EXPECT_EQ(hub.getToolRepair("NET Framework 4.0")->getInstallerFile(), "NET_Framework4.exe");
    EXPECT_EQ(hub.getToolRepair("vcredist_x86")->getInstallerFile(), "vcredist_x86.exe");
    EXPECT_EQ(hub.getToolRepair("DirectX")->getRepairName(), "DirectX");

    // The account client's time synchronisation went out with it.
    EXPECT_TRUE(waitFor([] { return !sim->requests("timeStamp").empty(); }, 5000));

    // A second call builds nothing new.
    ZvLiveToolsManager* tools = hub.getLiveToolsManager();
    LoginManager* login = hub.getLoginManager();
    ZvToolRepair* directX = hub.getToolRepair("DirectX");
    EXPECT_TRUE(hub.initialize(1));
    EXPECT_EQ(hub.getLiveToolsManager(), tools);
    EXPECT_EQ(hub.getLoginManager(), login);
    EXPECT_EQ(hub.getToolRepair("DirectX"), directX);
}

TEST_F(LogicHubTest, AccountAndTaskSignalsArriveFromTheEventLoopOthersAtOnce)
{
    RecordingListener listener;
    auto hub = initializedHub(listener);
    settle(300); // the monitor's first report
    listener.calls.clear();
    LoginManager* login = hub->getLoginManager();
    ZvLiveToolsManager* tools = hub->getLiveToolsManager();

    emit login->sglLoginSucceeded();
    emit login->sglBeginLogin();
    emit login->sglLoginFinished(1003, "time");
    emit login->sglQRCodeChanged();
    emit login->sglGetRtmpSuccessed("rtmp://x", "code");
    emit login->sglGetRtmpFailed(5, "no");
    emit login->sglLogout();
    emit login->sglGetQRCodeFailed(-2, "qr");
    emit login->sglCloseLiveRoomSuccess();
    emit login->sglCloseLiveRommFailed(7, "shut");
    emit login->sglCheckInGuildRequest(0, "ok", true);
    emit tools->sglLiveToolInstallProgress("ZVTool", 30);
    emit tools->sglLiveToolInstallFinished("ZVTool");
    emit tools->sglLiveToolUnInstallFinished("ZVShow");
    EXPECT_TRUE(listener.calls.isEmpty()) << listener.calls.join(' ').toStdString();

    // Direct from the GUI thread: the status, every downloader, every repair.
    emit tools->sglUpdateAppStatus("OBS Studio", 1);
    const QList<ZvFileDownloader*> pool = hub->getFileDownloaderMgr()->getAllDownloaders();
    ASSERT_EQ(pool.size(), 20);
    for (ZvFileDownloader* downloader : pool) {
        emit downloader->sglUpdateDownloadProgress("key", 1);
        emit downloader->sglDownloadFinished("key", "file");
        emit downloader->sglDownloadFailed("key");
    }
    for (const QString& name : {kNetFrameworkName, kDirectXName, kVcRedistName})
        emit hub->getToolRepair(name)->sglRepairFinished(name);
    EXPECT_EQ(listener.calls.size(), 1 + 60 + 3);
    EXPECT_EQ(listener.calls.first(), "1:OBS Studio|1");
    EXPECT_EQ(listener.callsOf(2).size(), 20);
    EXPECT_EQ(listener.callsOf(3).size(), 20);
    EXPECT_EQ(listener.callsOf(4).size(), 20);
    EXPECT_EQ(listener.callsOf(11), QStringList({kNetFrameworkName, kDirectXName, kVcRedistName}));

    listener.calls.clear();
    ASSERT_TRUE(waitFor([&] { return listener.calls.size() >= 14; }, 2000));
    settle(50);
    QStringList ordered;
    for (const QString& call : listener.calls)
        if (!call.startsWith("1:")) // the monitor may report meanwhile
            ordered.append(call);
    const QStringList expected = {
        "12:",      "13:", "14:1003|time", "15:",          "16:rtmp://x|code", "17:5|no",  "18:",
        "19:-2|qr", "20:", "21:7|shut",    "22:0|ok|true", "5:ZVTool|30",      "6:ZVTool", "7:ZVShow",
    };
    EXPECT_EQ(ordered, expected);
    EXPECT_FALSE(listener.offThread);
}

TEST_F(LogicHubTest, FirstStatusesFromTheMonitorThreadAreNotLostAndArriveOnTheGuiThread)
{
    RecordingListener listener;
    // The monitor's first pass reports before initialize returns, so that
    // a hub connecting to the tools manager too late would lose every report.
    ZvAppStatusMonitor::setStartAwaitsFirstPass(true);
    auto hub = initializedHub(listener);
    ZvAppStatusMonitor::setStartAwaitsFirstPass(false);
    // The monitor's first pass, run as initialize starts it, reports every
    // tool it watches from its own thread.
    ASSERT_TRUE(waitFor([&] { return listener.callsOf(1).size() >= 3; }, 5000))
        << listener.calls.join(' ').toStdString();
    for (const QString& tool : {kObsClassicToolName, kObsStudioToolName, kZvToolName})
        EXPECT_FALSE(listener.callsOf(1).filter(tool + "|").isEmpty()) << tool.toStdString();
    EXPECT_FALSE(listener.offThread);
}

TEST_F(LogicHubTest, ShutdownFreesTheServicesOnceAndSilencesTheListener)
{
    RecordingListener listener;
    auto hub = initializedHub(listener);
    QPointer<LoginManager> login = hub->getLoginManager();
    QPointer<ZvLiveToolsManager> tools = hub->getLiveToolsManager();
    QPointer<ZvToolRepair> repair = hub->getToolRepair(kVcRedistName);
    settle(100);

    // A close of the live room still unanswered goes out, and its answer is
    // awaited before the account client goes.
    sim->setMode("zhubo_closeroom", "delay:500");
    int closeAnswers = 0;
    QObject::connect(login, &LoginManager::sglCloseLiveRoomSuccess, [&] { ++closeAnswers; });
    QObject::connect(login, &LoginManager::sglCloseLiveRommFailed, [&] { ++closeAnswers; });
    login->closeLiveRoom();

    // Queued before the shutdown, due after it: dropped.
    emit login->sglLogout();
    listener.calls.clear();
    hub->shutdown();
    EXPECT_EQ(closeAnswers, 1);
    EXPECT_TRUE(login.isNull());
    EXPECT_TRUE(tools.isNull());
    EXPECT_TRUE(repair.isNull());
    EXPECT_EQ(hub->getLoginManager(), nullptr);
    EXPECT_EQ(hub->getLiveToolsManager(), nullptr);
    EXPECT_EQ(hub->getToolRepair(kVcRedistName), nullptr);
    settle(100);
    EXPECT_TRUE(listener.calls.isEmpty()) << listener.calls.join(' ').toStdString();

    // Later calls: nothing again, nothing rebuilt.
    hub->shutdown();
    LogCapture log;
    EXPECT_FALSE(hub->initialize(0));
    EXPECT_EQ(hub->getLoginManager(), nullptr);
    EXPECT_TRUE(log.contains("[Logic] by kx ZvLogicFW::initialize {the logic hub has been shut down}"));
    hub.reset();
}

TEST_F(LogicHubTest, AnalyticsEventsCarryTheUserOfTheHubsAccountClient)
{
    namespace account = zavmo::sim::account;
    RecordingListener listener;
    auto hub = initializedHub(listener);
    LoginManager* login = hub->getLoginManager();
    ASSERT_TRUE(waitFor([&] { return login->isServerTimespaceValid(); }, 5000));
    login->loginByNickName(account::kNickName, account::kPassword, false);
    ASSERT_TRUE(waitFor([&] { return !listener.callsOf(12).isEmpty(); }, 5000))
        << listener.calls.join(' ').toStdString();

    const auto eventUsers = [](size_t count) {
        waitFor([&] { return sim->requests("pelk2").size() >= count; }, 5000);
        QStringList users;
        for (const Json::Value& event : sim->requests("pelk2"))
            users.append(QString::number(event["decoded"]["i"].asInt()) + "/" +
                         QString::number(event["decoded"]["rid"].asInt()));
        return users;
    };
    pointEvent(PointClickInstall);
    EXPECT_EQ(eventUsers(1), QStringList({"10086/" + QString::number(account::kRoomId)}));
    // Without an account client: nobody.
    hub->shutdown();
    pointEvent(PointClickInstall);
    EXPECT_EQ(eventUsers(2).value(1), "0/0");
}
