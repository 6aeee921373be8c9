#include "core/zavmopointing.h"

#include "logic_support.h"
#include "olvaneworld.h"
#include "qtwait.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

using zavmo::test::waitUntil;

// Runs the event loop until the simulator has recorded `count` events.
std::vector<Json::Value> waitForEvents(zavmo::test::Simulator& sim, size_t count)
{
    std::vector<Json::Value> events;
    waitUntil([&] { return (events = sim.requests("pelk2")).size() >= count; }, 10000);
    return events;
}

class ZavmoPointingTest : public OlvaneWorld
{
protected:
    static void TearDownTestSuite() { setPointingUserProvider(nullptr); }

    QStringList pointingLog() const { return log.lines().filter(QStringLiteral("Zavmo pointing error")); }
    // Runs the event loop until the sender has logged `count` reply lines.
    void waitForLogLines(int count, int timeoutMs = 10000)
    {
        waitUntil([&] { return pointingLog().size() >= count; }, timeoutMs);
    }

    logictest::LogCapture log;
};

} // namespace

TEST(PointEventTables, NamesAndPageCodes)
{
    EXPECT_EQ(pointEventName(0), "startup_loading");
    EXPECT_EQ(pointEventName(13), "show_liveset_get_succ");
    EXPECT_EQ(pointEventName(16), "");
    EXPECT_EQ(pointEventName(-1), "");
    EXPECT_EQ(pointPageCode(1), "com_module");
    EXPECT_EQ(pointPageCode(2), "");
    EXPECT_EQ(pointPageCode(3), "");
    EXPECT_EQ(pointPageCode(15), "page_home");
    EXPECT_EQ(pointPageCode(16), "");
}

TEST_F(ZavmoPointingTest, StartupEventArrivesWithTheDeviceKeys)
{
    pointEvent(PointStartupLoading);
    const auto events = waitForEvents(*sim, 1);
    ASSERT_EQ(events.size(), 1u);
    const Json::Value& request = events[0];
    EXPECT_EQ(request["scheme"].asString(), "https");
    EXPECT_EQ(request["headers"]["content-type"].asString(), "application/x-www-form-urlencoded");
    EXPECT_EQ(request["v"].asString(), "1.0");

    const Json::Value& e = request["decoded"];
    ASSERT_TRUE(e.isObject()) << request.toStyledString();
    EXPECT_EQ(e["ac"].asString(), "startup_loading");
    EXPECT_EQ(e["pc"].asString(), "com_module");
    EXPECT_EQ(e["rpc"].asString(), "com_module");
    EXPECT_EQ(e["ct"].asString(), "web_olvane");
    EXPECT_EQ(e["pro"].asString(), "host_site");
    EXPECT_EQ(e["av"].asString(), "V1.0.0");
    EXPECT_EQ(e["i"].asInt(), 0);
    EXPECT_EQ(e["rid"].asInt(), 0);
    EXPECT_EQ(e["dur"].asInt(), 0);
    EXPECT_LE(e["pt"].asInt64(), e["oct"].asInt64());
    EXPECT_EQ(e["d"].asString(), ZavmoPointing::instance()->deviceId().toStdString());
    for (const char* key : {"pc_os", "cpu_num", "cpu_mod", "cpu_freq", "cpu_ven", "vc_mod"})
        EXPECT_TRUE(e["e"].isMember(key)) << key;
    EXPECT_TRUE(e["e"]["cpu_num"].isInt());
    EXPECT_TRUE(e["e"]["pc_os"].isString());

    // The body is sent as built: Base64 unescaped, keys in ascending order.
    const std::string body = request["body"].asString();
    ASSERT_EQ(body.rfind("multi=", 0), 0u);
    ASSERT_EQ(body.substr(body.size() - 6), "&v=1.0");
    const QByteArray json = QByteArray::fromBase64(QByteArray::fromStdString(body.substr(6, body.size() - 12)));
    EXPECT_TRUE(json.startsWith("{\"ac\":\"startup_loading\",\"av\":\"V1.0.0\",\"ct\":")) << json.constData();
    EXPECT_FALSE(json.contains("\": ") || json.contains(", \""));
}

TEST_F(ZavmoPointingTest, UserFromTheProviderAndCallerPairsComeFirst)
{
    setPointingUserProvider([](int& uid, int& roomId) {
        uid = 4242;
        roomId = 77;
        return true;
    });
    pointEventWithInt(PointClickInstall, "type", 3);
    AppLaunchPointInfo launch{4, 1, 2};
    pointEventWithLaunchInfo(PointClickLivetoolOpen, QVariant::fromValue(launch));
    pointEventWithLaunchInfo(PointClickCust, QVariant::fromValue(launch));
    pointEventWithInt(PointEndupQuit, "type", 1);
    setPointingUserProvider([](int&, int&) { return false; });
    pointEvent(PointClickTopnaviMemRset);

    const auto events = waitForEvents(*sim, 5);
    ASSERT_EQ(events.size(), 5u);
    // Requests may arrive in any order.
    std::map<std::string, Json::Value> byName;
    for (const auto& r : events)
        byName[r["decoded"]["ac"].asString()] = r["decoded"];

    const Json::Value install = byName["click_install"];
    EXPECT_EQ(install["i"].asInt(), 4242);
    EXPECT_EQ(install["rid"].asInt(), 77);
    EXPECT_EQ(install["e"]["type"].asInt(), 3);
    EXPECT_EQ(install["pc"].asString(), "page_home");

    const Json::Value open = byName["click_livetool_open"];
    EXPECT_EQ(open["e"]["type"].asInt(), 4);
    EXPECT_EQ(open["e"]["pa_type"].asInt(), 1);
    EXPECT_EQ(open["e"]["OBS_type"].asInt(), 2);
    EXPECT_EQ(byName["click_cust"]["e"].size(), 0u);

    const Json::Value quit = byName["endup_quit"];
    EXPECT_EQ(quit["e"]["type"].asInt(), 1);
    EXPECT_TRUE(quit["e"]["pc_os"].isString());
    EXPECT_EQ(quit["e"].size(), 2u);

    const Json::Value rset = byName["click_topnavi_mem_rset"];
    EXPECT_EQ(rset["pc"].asString(), "");
    EXPECT_EQ(rset["rpc"].asString(), "");
    EXPECT_TRUE(rset["e"].isObject());
    EXPECT_EQ(rset["e"].size(), 0u);
    EXPECT_EQ(rset["i"].asInt(), 0);
}

TEST_F(ZavmoPointingTest, RepliesAreLoggedByKind)
{
    pointEvent(PointInitPageHome);
    waitForEvents(*sim, 1);
    waitForLogLines(1, 500);
    EXPECT_TRUE(pointingLog().isEmpty()) << pointingLog().join('\n').toStdString();

    sim->setMode("pelk2", "error:3");
    pointEvent(PointInitPageHome);
    waitForLogLines(1);
    ASSERT_EQ(pointingLog().size(), 1);
    EXPECT_EQ(pointingLog().first(), "by vobe, Zavmo pointing error:  \"simulated error\"");

    for (const char* mode : {"badjson", "http500", "cut", "error:-2"}) {
        sim->setMode("pelk2", mode);
        const int before = pointingLog().size();
        pointEvent(PointInitPageHome);
        waitForLogLines(before + 1);
        ASSERT_EQ(pointingLog().size(), before + 1) << mode;
        EXPECT_EQ(pointingLog().last(), "by vobe, Zavmo pointing error: unexpected HTTP response") << mode;
    }
}

TEST_F(ZavmoPointingTest, StalledReplyTimesOut)
{
    sim->setMode("pelk2", "stall");
    ZavmoPointing::instance()->setRequestTimeout(300);
    pointEvent(PointClickIntroduce);
    waitForLogLines(1, 5000);
    ZavmoPointing::instance()->setRequestTimeout(15000);
    ASSERT_EQ(pointingLog().size(), 1);
    EXPECT_EQ(pointingLog().first(), "by vobe, Zavmo pointing error: unexpected HTTP response");
}

TEST_F(ZavmoPointingTest, UntrustedCertificateFailsLikeANetworkError)
{
    // A second simulator has a CA of its own, which nothing trusts.
    zavmo::test::Simulator untrusted;
    untrusted.setEnvironment();
    pointEvent(PointClickCust);
    waitForLogLines(1);
    sim->setEnvironment();
    ASSERT_EQ(pointingLog().size(), 1);
    EXPECT_EQ(pointingLog().first(), "by vobe, Zavmo pointing error: unexpected HTTP response");
    EXPECT_TRUE(untrusted.requests().empty());
}

// Last in this file: the network stays released for the rest of the run.
TEST_F(ZavmoPointingTest, AfterTheNetworkIsReleasedEventsAreDroppedWithALogLine)
{
    ZavmoPointing::instance()->releaseNetwork();
    pointEvent(PointClickCust);
    EXPECT_EQ(log.lines().filter(QStringLiteral("Zavmo pointing: dropped after shutdown")).size(), 1)
        << log.lines().join('\n').toStdString();
    zavmo::test::settle(100);
    EXPECT_TRUE(sim->requests("pelk2").empty());
}
