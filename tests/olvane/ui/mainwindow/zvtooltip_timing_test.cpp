// The toast's life in real time: two messages within three seconds, and the
// toast still goes 3.5 seconds after the first.
#include "ui/mainwindow/widgets/zvtooltip.h"

#include "qtwait.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

using zavmo::test::settle;

TEST(ZvToolTipTiming, SecondMessageKeepsTheFirstMessagesSchedule)
{
    QWidget owner;
    owner.setGeometry(50, 50, 600, 400);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    ZvToolTip tip(&owner);

    QElapsedTimer clock;
    clock.start();
    tip.showMessage("first");
    settle(300);
    tip.showMessage("second");
    EXPECT_EQ(tip.text(), "second");

    settle(2600 - static_cast<int>(clock.elapsed()));
    EXPECT_TRUE(tip.isVisible());
    EXPECT_NEAR(tip.windowOpacity(), 0.7, 0.01) << "no fade before three seconds";

    ASSERT_TRUE(QTest::qWaitFor([&] { return tip.windowOpacity() < 0.6; }, 1000));
    EXPECT_GE(clock.elapsed(), 3000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tip.isVisible(); }, 1500));
    const qint64 gone = clock.elapsed();
    EXPECT_GE(gone, 3450);
    EXPECT_LE(gone, 4500);
    EXPECT_TRUE(tip.text().isEmpty());
    EXPECT_NEAR(tip.windowOpacity(), 0.7, 0.01);
}
