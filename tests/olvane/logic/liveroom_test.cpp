// The logged-in half of the account client against the platform simulator:
// user information, push address and live room, guild check.

#include "accounttest.h"
#include "deaultdata.h"

#include <QRegularExpression>

using namespace accounttest;

namespace {

const QString kBusy = QStringLiteral("服务器或网络繁忙，请稍后再试");

class LiveRoomTest : public AccountTest
{
};

} // namespace

TEST_F(LiveRoomTest, PushAddressOpensAClosedRoomOnce)
{
    auto manager = syncedManager();
    Signals spies(*manager);
    logIn(*manager, spies);

    manager->getRtmpInfo();
    ASSERT_TRUE(waitUntil([&] { return spies.rtmpOk.count() + spies.rtmpFailed.count() > 0; }))
        << logText().toStdString();
    ASSERT_EQ(spies.rtmpOk.count(), 1) << logText().toStdString();
    EXPECT_EQ(spies.rtmpOk.at(0).at(0).toString(), QString::fromUtf8(account::kRtmpSendUrl));
    EXPECT_EQ(spies.rtmpOk.at(0).at(1).toString(), QString::fromUtf8(account::kRtmpSendLive));
    std::vector<std::string> order;
    for (const Json::Value& r : sim->requests())
        if (r["endpoint"].asString() != "pelk2")
            order.push_back(r["endpoint"].asString());
    const std::vector<std::string> expected = {"timeStamp", "loginCheck2",    "my_info", "get_rtmplist",
                                               "my_room",   "start_liveroom", "my_room"};
    EXPECT_EQ(order, expected);
    const Json::Value start = requests("start_liveroom").at(0);
    EXPECT_EQ(start["check"].asString(), "ok");
    EXPECT_EQ(start["form"]["fms_val"].asString(), account::kFmsVal);
    EXPECT_EQ(start["form"]["rtmp_id"].asString(), "17");
    // The body's log line hides the token.
    const QStringList posts = logLines().filter("--post:");
    ASSERT_EQ(posts.size(), 1);
    EXPECT_TRUE(posts[0].endsWith("&token=****")) << posts[0].toStdString();
    EXPECT_FALSE(logText().contains(QString::fromStdString(start["form"]["token"].asString())));

    // The room is open now: no second start.
    manager->getRtmpInfo();
    ASSERT_TRUE(waitUntil([&] { return spies.rtmpOk.count() == 2; }));
    EXPECT_EQ(requests("start_liveroom").size(), 1u);
    EXPECT_EQ(requests("get_rtmplist").size(), 2u);
}

TEST_F(LiveRoomTest, PushAddressIdsAndFailures)
{
    auto manager = syncedManager();
    Signals spies(*manager);
    logIn(*manager, spies);
    const auto chainEnds = [&] { return spies.rtmpOk.count() + spies.rtmpFailed.count(); };

    for (const auto& [mode, id] : std::vector<std::pair<std::string, std::string>>{
             {"reply:idletters", "0"}, {"reply:idnull", "-1"}, {"reply:idnumber", "17"}}) {
        sim->reset();
        sim->setMode("my_room", mode);
        const int before = chainEnds();
        manager->getRtmpInfo();
        ASSERT_TRUE(waitUntil([&] { return chainEnds() > before; })) << mode;
        EXPECT_EQ(spies.rtmpOk.count(), before + 1) << mode;
        EXPECT_EQ(requests("start_liveroom").at(0)["form"]["rtmp_id"].asString(), id) << mode;
    }

    const std::vector<std::pair<std::string, std::string>> failures = {
        {"reply:nolive", "0 "},
        {"error:1003", "1003 simulated error 1003"},
        {"badjson", "-1 服务器或网络繁忙，请稍后再试"},
    };
    for (const auto& [mode, ending] : failures) {
        sim->reset();
        sim->setMode("my_room", mode);
        const int before = spies.rtmpFailed.count();
        manager->getRtmpInfo();
        ASSERT_TRUE(waitUntil([&] { return spies.rtmpFailed.count() > before; })) << mode;
        const QList<QVariant> args = spies.rtmpFailed.last();
        EXPECT_EQ(std::to_string(args.at(0).toInt()) + " " + args.at(1).toString().toStdString(), ending) << mode;
        // 1003 resynchronises the time; the others do not.
        const size_t syncs = mode == "error:1003" ? 1 : 0;
        EXPECT_EQ(waitForRequests("timeStamp", syncs, 1000).size(), syncs) << mode;
        ASSERT_TRUE(waitUntil([&] { return manager->isServerTimespaceValid(); }));
    }
    EXPECT_TRUE(logText().contains("responseRoomInfo:")) << logText().toStdString();

    sim->reset();
    sim->setMode("get_rtmplist", "badjson");
    manager->getRtmpInfo();
    ASSERT_TRUE(waitUntil([&] { return spies.rtmpFailed.count() == 4; }));
    EXPECT_EQ(spies.rtmpFailed.last().at(1).toString(), kBusy);
    EXPECT_TRUE(requests("my_room").empty());
}

TEST_F(LiveRoomTest, GuildCheckReportsEveryReply)
{
    auto manager = syncedManager();
    Signals spies(*manager);
    logIn(*manager, spies);
    const auto check = [&](const char* mode) {
        sim->setMode("checkAnchorInGuild", mode);
        const int before = spies.guild.count();
        manager->checkAnchorInGuild();
        EXPECT_FALSE(manager->isInGuild());
        EXPECT_TRUE(waitUntil([&] { return spies.guild.count() > before; })) << mode;
        const QList<QVariant> args = spies.guild.last();
        return std::to_string(args.at(0).toInt()) + " " + args.at(1).toString().toStdString() + " " +
               (args.at(2).toBool() ? "true" : "false") + (manager->isInGuild() ? " member" : "");
    };
    EXPECT_EQ(check("success"), "0  true member");
    EXPECT_EQ(check("reply:notin"), "0  false");
    EXPECT_EQ(check("reply:nodata"), "0  true");
    EXPECT_EQ(check("error:9"), "9 simulated error 9 true");
    EXPECT_EQ(check("cut"), "-1 服务器或网络繁忙，请稍后再试 true");
    EXPECT_EQ(requests("checkAnchorInGuild").at(0)["check"].asString(), "ok");
    // The failed GET's address is logged without its token.
    EXPECT_TRUE(logText().contains(QRegularExpression("error URL:.*token=\\*\\*\\*\\*&time=")))
        << logText().toStdString();
}

TEST_F(LiveRoomTest, UserInformationFailuresEndTheLogin)
{
    auto manager = syncedManager();
    sim->setMode("my_info", "error:5");
    EXPECT_EQ(loginEnding(*manager), "5 simulated error 5");
    EXPECT_TRUE(
        logText().contains("[Logic] by kx LoginManager::responseGetUserInfo {errorNo : 5, msg : simulated error 5}"));
    sim->setMode("my_info", "reply:texterror");
    EXPECT_EQ(loginEnding(*manager), "-1 服务器获取数据异常");
    EXPECT_FALSE(manager->isLogin());

    // An avatar that is no object keeps the previous address.
    sim->setMode("my_info", "success");
    EXPECT_EQ(loginEnding(*manager), "succeeded");
    const QString avatar = manager->getAvatarUrl();
    EXPECT_FALSE(avatar.isEmpty());
    sim->setMode("my_info", "reply:noavatar");
    EXPECT_EQ(loginEnding(*manager), "succeeded");
    EXPECT_EQ(manager->getAvatarUrl(), avatar);
}

TEST_F(LiveRoomTest, TestEnvironmentRepliesAreDispatchedByItsOwnAddresses)
{
    // Environment 1 speaks plain HTTP to the passport and the client API.
    ASSERT_TRUE(writeDeaultData("[AppEnvironment]\nenv=1\n"));
    auto manager = syncedManager();
    Signals spies(*manager);
    logIn(*manager, spies);
    manager->getRtmpInfo();
    const bool ended = waitUntil([&] { return spies.rtmpOk.count() + spies.rtmpFailed.count() > 0; });
    removeDeaultData();
    ASSERT_TRUE(ended);
    EXPECT_EQ(spies.rtmpOk.count(), 1);
    for (const char* endpoint : {"loginCheck2", "my_info", "get_rtmplist", "my_room"})
        EXPECT_EQ(requests(endpoint).at(0)["scheme"].asString(), "http") << endpoint;
}
