// The toast without waiting for its timers: placement, colours, animations
// and the end of the fade.
#include "ui/mainwindow/widgets/zvtooltip.h"

#include "qtwait.h"

#include <QApplication>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using zavmo::test::settle;

namespace {

QPropertyAnimation* animation(ZvToolTip& tip, const char* property)
{
    for (auto* a : tip.findChildren<QPropertyAnimation*>())
        if (a->propertyName() == property)
            return a;
    return nullptr;
}

// Opacity is kept in steps of 1/255.
constexpr double kOpacityTolerance = 0.01;

TEST(ZvToolTip, StartsHiddenTranslucentAndCentred)
{
    ZvToolTip tip;
    EXPECT_FALSE(tip.isVisible());
    EXPECT_NEAR(tip.windowOpacity(), 0.7, kOpacityTolerance);
    EXPECT_EQ(tip.alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_TRUE(tip.isWindow());
    EXPECT_TRUE(tip.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(tip.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_NE(animation(tip, "geometry"), nullptr);
    ASSERT_NE(animation(tip, "windowOpacity"), nullptr);
}

// The toast lies over the owner's fields: typing and clicking go on there.
TEST(ZvToolTip, TakesNeitherTheFocusNorMouseInput)
{
    QWidget owner;
    owner.setGeometry(100, 80, 420, 200);
    auto* field = new QLineEdit(&owner);
    field->setGeometry(50, 80, 320, 35);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&owner));
    field->setFocus();
    ZvToolTip tip(&owner);
    tip.showMessage("用户名或密码为空!");
    settle(50);
    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(QApplication::activeWindow(), &owner);
    EXPECT_TRUE(tip.windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(tip.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
}

TEST(ZvToolTip, TipColorsTakeTheTextColourFirst)
{
    ZvToolTip tip;
    tip.setTipColors(Qt::white, Qt::black);
    EXPECT_EQ(tip.palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(tip.palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_TRUE(tip.autoFillBackground());
}

TEST(ZvToolTip, FirstMessageAppearsCentredOnTheOwnerWindowAndSlidesDown)
{
    QWidget owner;
    owner.setGeometry(100, 80, 942, 622);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    ZvToolTip tip(&owner);
    tip.resize(300, 40); // as the owner creates it
    tip.showMessage("直播间已成功关闭");
    EXPECT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.text(), "直播间已成功关闭");
    const QRect resting(owner.x() + (942 - 315) / 2, owner.y() + (622 - 40) / 2, 315, 40);
    QPropertyAnimation* slide = animation(tip, "geometry");
    EXPECT_EQ(slide->duration(), 200);
    EXPECT_EQ(slide->startValue().toRect(), resting.translated(0, -20));
    EXPECT_EQ(slide->endValue().toRect(), resting);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tip.geometry() == resting; }, 2000));
}

TEST(ZvToolTip, AMessageWhileVisibleOnlyReplacesTheText)
{
    ZvToolTip tip;
    tip.showMessage("first");
    auto* timer = tip.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 3000);
    settle(50);
    const int left = timer->remainingTime();
    const QVariant slideStart = animation(tip, "geometry")->startValue();
    tip.showMessage("second");
    EXPECT_EQ(tip.text(), "second");
    EXPECT_LE(timer->remainingTime(), left) << "the stay is not extended";
    EXPECT_EQ(animation(tip, "geometry")->startValue(), slideStart);
}

TEST(ZvToolTip, FadeRunsFromRestToFaintAndItsEndResetsTheToast)
{
    ZvToolTip tip;
    tip.showMessage("first");
    tip.OnMessageTimeout();
    QPropertyAnimation* fade = animation(tip, "windowOpacity");
    EXPECT_EQ(fade->duration(), 500);
    EXPECT_NEAR(fade->startValue().toDouble(), 0.7, 1e-9);
    EXPECT_NEAR(fade->endValue().toDouble(), 0.1, 1e-9);
    EXPECT_EQ(fade->state(), QAbstractAnimation::Running);
    // A message during the fade is hidden together with the toast.
    tip.showMessage("during the fade");
    EXPECT_EQ(tip.text(), "during the fade");
    fade->setCurrentTime(fade->duration()); // ends the fade now
    EXPECT_FALSE(tip.isVisible());
    EXPECT_TRUE(tip.text().isEmpty());
    EXPECT_NEAR(tip.windowOpacity(), 0.7, kOpacityTolerance);
}

} // namespace
