// Closing the live room: each close blocks the caller for two seconds, so
// these cases run in a program of their own, beside the others.

#include "accounttest.h"

using namespace accounttest;

namespace {

class CloseRoomTest : public AccountTest
{
};

} // namespace

TEST_F(CloseRoomTest, OpenOrAlreadyClosedRoomClosesAndFailuresAreReported)
{
    auto manager = syncedManager();
    Signals spies(*manager);
    logIn(*manager, spies);
    manager->getRtmpInfo();
    ASSERT_TRUE(waitUntil([&] { return spies.rtmpOk.count() == 1; })) << logText().toStdString();

    QElapsedTimer blocked;
    blocked.start();
    manager->closeLiveRoom();
    EXPECT_GE(blocked.elapsed(), 2000);
    ASSERT_TRUE(waitUntil([&] { return spies.closed.count() == 1; })) << logText().toStdString();
    EXPECT_EQ(requests("zhubo_closeroom").at(0)["check"].asString(), "ok");
    EXPECT_EQ(requests("zhubo_closeroom").at(0)["body"].asString().rfind("token=10086_13_", 0), 0u);

    // The platform answers 612 for a room that is closed already.
    manager->closeLiveRoom();
    ASSERT_TRUE(waitUntil([&] { return spies.closed.count() == 2; })) << logText().toStdString();

    sim->setMode("zhubo_closeroom", "error:7");
    manager->closeLiveRoom();
    ASSERT_TRUE(waitUntil([&] { return spies.closeFailed.count() == 1; }));
    EXPECT_EQ(spies.closeFailed.at(0).at(0).toInt(), 7);
    EXPECT_EQ(spies.closeFailed.at(0).at(1).toString(), QStringLiteral("simulated error 7"));
    EXPECT_TRUE(
        logText().contains("[Logic] by kx LoginManager::responseCloseLiveRoom {errorNo : 7, msg : simulated error 7}"));
    EXPECT_EQ(spies.closed.count(), 2);
}
