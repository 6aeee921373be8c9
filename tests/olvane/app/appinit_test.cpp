// The application-wide drag filter: which presses start a drag, which are
// swallowed, and what ends a drag.
#include "app/appinit.h"

#include "mouse.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace zavmo::test;

namespace {

// Counts the mouse events that reach it.
struct Counting : QWidget
{
    using QWidget::QWidget;
    int presses = 0, releases = 0, moves = 0;
    void mousePressEvent(QMouseEvent* e) override { ++presses, e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override { ++releases, e->accept(); }
    void mouseMoveEvent(QMouseEvent* e) override { ++moves, e->accept(); }
};

class AppInitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppInit::instance()->installToApplication();
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.setGeometry(100, 100, 300, 200);
        window.setProperty("CanMove", true);
        window.setProperty("TitleHeight", 36);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        start = window.pos();
    }
    void TearDown() override
    {
        // Leave no drag behind for the next test.
        mouseRelease(&window, QPoint(1, 1));
        QCoreApplication::instance()->removeEventFilter(AppInit::instance());
    }
    // A drag gesture in global coordinates: press at the window's point,
    // then move by delta with the left button held.
    void pressAndMove(const QPoint& local, const QPoint& delta)
    {
        const QPoint global = window.mapToGlobal(local);
        mousePressAt(&window, global);
        mouseMoveAt(&window, global + delta, Qt::LeftButton);
    }

    Counting window;
    QPoint start;
};

TEST_F(AppInitTest, OneObjectForTheProcess)
{
    EXPECT_EQ(AppInit::instance(), AppInit::instance());
    EXPECT_EQ(AppInit::instance()->parent(), nullptr);
}

TEST_F(AppInitTest, LeftPressInTheTitleDragsAndIsSwallowed)
{
    pressAndMove(QPoint(50, 10), QPoint(40, 25));
    EXPECT_EQ(window.pos(), start + QPoint(40, 25));
    mouseMoveAt(&window, window.mapToGlobal(QPoint(50, 10)) + QPoint(5, -3), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(45, 22));
    EXPECT_EQ(window.presses, 0);
    EXPECT_EQ(window.moves, 0);

    mouseRelease(&window, QPoint(50, 10));
    EXPECT_EQ(window.releases, 0);
    // After the release moves are the window's own again.
    mouseMoveAt(&window, window.mapToGlobal(QPoint(60, 60)), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(45, 22));
    EXPECT_EQ(window.moves, 1);
}

TEST_F(AppInitTest, PressBelowTheTitleIsSwallowedWithoutDrag)
{
    pressAndMove(QPoint(50, 36), QPoint(40, 25));
    EXPECT_EQ(window.pos(), start);
    EXPECT_EQ(window.presses, 0);
    EXPECT_EQ(window.moves, 1);
}

TEST_F(AppInitTest, WithoutTitleHeightNothingDragsButLeftPressesAreSwallowed)
{
    window.setProperty("TitleHeight", QVariant());
    pressAndMove(QPoint(50, 0), QPoint(40, 25));
    EXPECT_EQ(window.pos(), start);
    EXPECT_EQ(window.presses, 0);
}

TEST_F(AppInitTest, ReleaseOfAnyButtonEndsTheDrag)
{
    pressAndMove(QPoint(50, 10), QPoint(10, 10));
    ASSERT_EQ(window.pos(), start + QPoint(10, 10));
    mouseRelease(&window, QPoint(50, 10), Qt::RightButton);
    EXPECT_EQ(window.releases, 0);
    mouseMoveAt(&window, window.mapToGlobal(QPoint(70, 70)), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(10, 10));
}

TEST_F(AppInitTest, MovesWithoutAHeldButtonDoNotDrag)
{
    window.setMouseTracking(true); // else Qt drops moves without buttons
    pressAndMove(QPoint(50, 10), QPoint(10, 10));
    mouseMoveAt(&window, window.mapToGlobal(QPoint(90, 90)), Qt::NoButton);
    EXPECT_EQ(window.pos(), start + QPoint(10, 10));
    EXPECT_EQ(window.moves, 1);
    // That move ended the drag (its release went elsewhere): a later press
    // below the title leaves the window where it is.
    mousePress(&window, QPoint(50, 100));
    mouseMoveAt(&window, window.mapToGlobal(QPoint(70, 120)), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(10, 10));
}

TEST_F(AppInitTest, OtherButtonsAndChildrenAreLeftAlone)
{
    mousePress(&window, QPoint(50, 10), Qt::RightButton);
    EXPECT_EQ(window.presses, 1);
    mouseMoveAt(&window, window.mapToGlobal(QPoint(80, 80)), Qt::RightButton);
    EXPECT_EQ(window.pos(), start);

    // A child inside the title area gets its press; only objects carrying
    // the property themselves take part.
    auto* child = new Counting(&window);
    child->setGeometry(0, 0, 40, 30);
    child->show();
    mousePress(child, QPoint(5, 5));
    mouseMove(child, QPoint(20, 20), Qt::LeftButton);
    EXPECT_EQ(child->presses, 1);
    EXPECT_EQ(window.pos(), start);

    window.setProperty("CanMove", false);
    pressAndMove(QPoint(50, 10), QPoint(10, 10));
    EXPECT_EQ(window.presses, 2);
    EXPECT_EQ(window.pos(), start);
}

TEST_F(AppInitTest, ObjectsThatAreNoWidgetsAreIgnored)
{
    QObject plain;
    plain.setProperty("CanMove", true);
    plain.setProperty("TitleHeight", 36);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    EXPECT_FALSE(QApplication::sendEvent(&plain, &press));
    EXPECT_FALSE(QApplication::sendEvent(&plain, &release));
}

} // namespace
