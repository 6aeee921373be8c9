// Closing the live room, and the bounded wait for its answer at quit.

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

    // The window does not freeze; the quit's wait ends with the answer.
    QElapsedTimer blocked;
    blocked.start();
    manager->closeLiveRoom();
    EXPECT_LT(blocked.elapsed(), 1000);
    manager->waitForCloseLiveRoom(10000);
    EXPECT_LT(blocked.elapsed(), 5000);
    EXPECT_EQ(spies.closed.count(), 1) << logText().toStdString();
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

    // An unanswered close holds the quit for the given time only.
    sim->setMode("zhubo_closeroom", "stall");
    manager->closeLiveRoom();
    blocked.restart();
    manager->waitForCloseLiveRoom(300);
    EXPECT_GE(blocked.elapsed(), 290);
    EXPECT_LT(blocked.elapsed(), 3000);
    EXPECT_EQ(spies.closeFailed.count(), 1);
}
