// Olvane's logic end to end, headless, against the platform simulator: the
// program's hub starts, syncs the time and logs in by password, keeping the
// login; a second process of this test logs in from the kept login, loads the
// user, gets the push address (opening the room), writes it into OBS Studio's
// files, starts and stops a fake OBS Studio, closes the room, logs out, and
// quits, which shuts the hub down before the application object goes. Each
// step waits a few seconds at most for its listener call.

#include "logic_support.h"
#include "recordinglistener.h"

#include "account.h"
#include "faketools.h"
#include "run_program.h"
#include "simulator.h"

#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/loginmanager.h"
#include "logic/toolconfigfiles.h"
#include "logic/zvfiledownloader.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

#include <sys/stat.h>

using namespace logictest;
namespace account = zavmo::sim::account;

namespace {

const int kStepMs = 5000;
const char kStageVariable[] = "ZAVMO_HUB_E2E_STAGE";

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Waits for the listener's next call equal to `call` after index `from`;
// returns its index, or -1 after kStepMs.
int waitForCall(const RecordingListener& listener, const QString& call, int from = 0)
{
    waitFor([&] { return listener.indexOf(call, from) >= 0; }, kStepMs);
    return listener.indexOf(call, from);
}

std::string callsOf(const RecordingListener& listener)
{
    return listener.calls.join(QLatin1Char(' ')).toStdString();
}

// Detaches a test's listener from the program's hub when the test ends.
struct ListenerScope
{
    ListenerScope(ZvLogicFW* hub, IZvLogicListener* listener) : hub(hub) { hub->setLogicListener(listener); }
    ~ListenerScope() { hub->setLogicListener(nullptr); }
    ZvLogicFW* hub;
};

} // namespace

TEST(HubEndToEnd, PasswordLoginThenSavedLoginThroughTheLiveRoom)
{
    if (qEnvironmentVariableIsSet(kStageVariable))
        GTEST_SKIP() << "the first process only";
    zavmo::test::Simulator sim;
    sim.setEnvironment();
    ASSERT_TRUE(deployment::installTrustedCertificates());
    zavmo::test::FakeTools fake; // its log and time limit reach the second process
    qputenv("ZAVMO_FAKE_TOOL_MAX_MS", "20000");

    // First process: start, time, password login kept.
    ZvLogicFW* hub = ZvLogicFW::instance();
    ASSERT_TRUE(hub->initialize(0));
    RecordingListener listener;
    ListenerScope scope(hub, &listener);
    LoginManager* login = hub->getLoginManager();
    ASSERT_TRUE(waitFor([&] { return login->isServerTimespaceValid(); }, kStepMs));
    login->setVersion("V2.0.1");
    login->loginByNickName(text(account::kNickName), text(account::kPassword), true);
    const int begin = waitForCall(listener, "13:");
    ASSERT_GE(begin, 0) << callsOf(listener);
    ASSERT_GT(waitForCall(listener, "12:", begin), begin) << callsOf(listener);
    EXPECT_TRUE(login->isLogin());
    EXPECT_TRUE(listener.callsOf(14).isEmpty()) << callsOf(listener);
    const QSettings saved(getUserInfoPath(), QSettings::IniFormat);
    EXPECT_FALSE(saved.value("UserInfo/longToken").toString().isEmpty());
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(getUserInfoPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(listener.offThread);

    // Second process: the rest, from the kept login.
    const size_t before = sim.requests().size();
    const zavmo::test::ProgramResult second =
        zavmo::test::runProgram({QCoreApplication::applicationFilePath().toStdString(),
                                 "--gtest_filter=HubEndToEnd.SecondProcessFromTheSavedLogin"},
                                {std::string(kStageVariable) + "=second"}, 40000);
    ASSERT_TRUE(second.started);
    EXPECT_FALSE(second.timedOut);
    ASSERT_EQ(second.exitCode, 0) << second.output;
    ASSERT_NE(second.output.find("[  PASSED  ] 1 test"), std::string::npos) << second.output;

    // What the second process asked of the platform, in order.
    std::vector<std::string> order;
    const std::vector<Json::Value> records = sim.requests();
    Json::Value launchEvent;
    for (size_t i = before; i < records.size(); ++i) {
        const std::string endpoint = records[i]["endpoint"].asString();
        if (endpoint == "pelk2") {
            if (records[i]["decoded"]["ac"].asString() == "click_livetool_open")
                launchEvent = records[i]["decoded"];
            continue;
        }
        if (endpoint == "timeStamp" || endpoint == "checkPackage") // not the account's
            continue;
        order.push_back(endpoint);
        EXPECT_EQ(records[i]["check"].asString(), "ok") << endpoint;
    }
    const std::vector<std::string> expected = {"getShortToken",  "my_info", "get_rtmplist",   "my_room",
                                               "start_liveroom", "my_room", "zhubo_closeroom"};
    EXPECT_EQ(order, expected);
    // The launch event carries the user of the hub's account client.
    EXPECT_EQ(launchEvent["i"].asInt(), QByteArray(account::kUid).toInt()) << launchEvent.toStyledString();
    EXPECT_EQ(launchEvent["rid"].asInt(), account::kRoomId);
    EXPECT_EQ(launchEvent["e"]["type"].asInt(), 4);

    // The push address stayed in OBS Studio's files; the tool is gone.
    QString server, key;
    getObsStudioPushInfo(server, key);
    EXPECT_EQ(server, text(account::kRtmpSendUrl));
    EXPECT_EQ(key, text(account::kRtmpSendLive));
    const auto starts = fake.waitForStarts("obs64.exe", 1, kStepMs);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(fake.waitUntilGone("obs64.exe", kStepMs));
}

TEST(HubEndToEnd, SecondProcessFromTheSavedLogin)
{
    if (qEnvironmentVariable(kStageVariable) != "second")
        GTEST_SKIP() << "run by PasswordLoginThenSavedLoginThroughTheLiveRoom";
    ASSERT_TRUE(deployment::installTrustedCertificates());
    ZvLogicFW* hub = ZvLogicFW::instance();
    ASSERT_TRUE(hub->initialize(0));
    RecordingListener listener;
    hub->setLogicListener(&listener);
    LoginManager* login = hub->getLoginManager();
    ZvLiveToolsManager* tools = hub->getLiveToolsManager();

    // The time arrives, then the kept login: no begin, straight to success.
    const int loggedIn = waitForCall(listener, "12:");
    ASSERT_GE(loggedIn, 0) << callsOf(listener);
    EXPECT_TRUE(listener.callsOf(13).isEmpty());
    EXPECT_EQ(login->getUid(), QByteArray(account::kUid).toInt());
    EXPECT_EQ(login->getRoomId(), account::kRoomId);
    EXPECT_EQ(login->getNickName(), text(account::kDisplayName));

    // Push address, opening the room, into OBS Studio's service.json.
    login->getRtmpInfo();
    const QString rtmp = "16:" + text(account::kRtmpSendUrl) + "|" + text(account::kRtmpSendLive);
    ASSERT_GT(waitForCall(listener, rtmp, loggedIn), loggedIn) << callsOf(listener);
    EXPECT_TRUE(setObsStudioPushInfo(text(account::kRtmpSendUrl), text(account::kRtmpSendLive)));

    // A fake OBS Studio at the user's path: started, seen, ended, seen.
    TestFolder dir;
    const QString obs = QString::fromStdString(
        zavmo::test::FakeTools::place((dir / "obs-studio/bin/64bit").toStdString(), "obs64.exe"));
    tools->setLaunchPath(kObsStudioToolName, obs);
    const int beforeLaunch = listener.calls.size();
    ASSERT_TRUE(tools->launchApplication(kObsStudioToolName));
    const int running = waitForCall(listener, "1:OBS Studio|2", beforeLaunch);
    ASSERT_GE(running, 0) << callsOf(listener);
    // The fake logs its start once loaded: killed before that, the first
    // process would count no start.
    const auto startLogged = [] {
        QFile log(qEnvironmentVariable("ZAVMO_FAKE_TOOL_LOG"));
        return log.open(QIODevice::ReadOnly) && log.readAll().contains("\tobs64.exe");
    };
    EXPECT_TRUE(waitFor(startLogged, kStepMs));
    EXPECT_TRUE(tools->killAppProcess(kObsStudioToolName));
    ASSERT_GT(waitForCall(listener, "1:OBS Studio|1", running), running) << callsOf(listener);

    // Close the room (the call itself waits 2 s), then log out.
    const int beforeClose = listener.calls.size();
    login->closeLiveRoom();
    ASSERT_GE(waitForCall(listener, "20:", beforeClose), beforeClose) << callsOf(listener);
    login->logout();
    ASSERT_GE(waitForCall(listener, "18:", beforeClose), beforeClose) << callsOf(listener);
    EXPECT_FALSE(login->isLogin());
    EXPECT_TRUE(listener.callsOf(14).isEmpty()) << callsOf(listener);
    EXPECT_TRUE(listener.callsOf(17).isEmpty()) << callsOf(listener);
    EXPECT_TRUE(listener.callsOf(21).isEmpty()) << callsOf(listener);

    // Quit: the hub and the pool go while the application object still
    // exists, and nothing reaches the listener afterwards.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_EQ(hub->getLoginManager(), nullptr);
    EXPECT_EQ(hub->getLiveToolsManager(), nullptr);
    EXPECT_EQ(hub->getToolRepair(kDirectXName), nullptr);
    EXPECT_EQ(ZvFileDownloaderMgr::instance(), nullptr);
    const int calls = listener.calls.size();
    QCoreApplication::processEvents();
    EXPECT_EQ(listener.calls.size(), calls);
    EXPECT_FALSE(listener.offThread);
}
