// Dragging and resizing frameless windows: hit-test arithmetic, moves by the
// title area, resizes with the minimum size, cursors, and what the helper
// swallows or gives back.
#include "ui/mainwindow/widgets/framelesshelper.h"
#include "ui/mainwindow/widgets/framelesshelper_p.h"

#include "mouse.h"

#include <QApplication>
#include <QMouseEvent>
#include <QRubberBand>
#include <QTest>
#include <gtest/gtest.h>

using namespace zavmo::test;

namespace {

// Counts the mouse events that reach the widget itself.
class Window : public QWidget
{
public:
    Window()
    {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
        setGeometry(200, 150, 400, 300);
    }
    int mouseEvents = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++mouseEvents; }
    void mouseReleaseEvent(QMouseEvent*) override { ++mouseEvents; }
    void mouseMoveEvent(QMouseEvent*) override { ++mouseEvents; }
    void mouseDoubleClickEvent(QMouseEvent*) override { ++mouseEvents; }
};

class FramelessHelperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FramelessHelper::setBorderWidth(5);
        FramelessHelper::setTitleHeight(60);
    }
    void TearDown() override { SetUp(); }

    // Shows the window and waits until the window system placed it.
    static void show(QWidget& w)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }

    // Left-button drag from one global point to another.
    static void drag(QWidget& w, QPoint from, QPoint to)
    {
        mousePressAt(&w, from);
        mouseMoveAt(&w, to, Qt::LeftButton);
        mouseReleaseAt(&w, to);
    }
};

// A window registered with default options and shown.
class RegisteredWindowTest : public FramelessHelperTest
{
protected:
    void SetUp() override
    {
        FramelessHelperTest::SetUp();
        helper.addWidget(&w);
        show(w);
    }

    Window w;
    FramelessHelper helper;
};

TEST_F(FramelessHelperTest, BorderBandsAreBorderWidthPlusOneDeepAndReachPastTheFrame)
{
    const QRect frame(100, 100, 300, 200);
    BorderHitTest hit;
    hit.recalculate({105, 150}, frame);
    EXPECT_TRUE(hit.onLeftEdge);
    EXPECT_TRUE(hit.onEdges);
    hit.recalculate({106, 150}, frame);
    EXPECT_FALSE(hit.onEdges);
    hit.recalculate({400, 150}, frame); // one past the right edge
    EXPECT_TRUE(hit.onRightEdge);
    hit.recalculate({395, 150}, frame);
    EXPECT_TRUE(hit.onRightEdge);
    hit.recalculate({394, 150}, frame);
    EXPECT_FALSE(hit.onRightEdge);
    hit.recalculate({401, 150}, frame);
    EXPECT_FALSE(hit.onEdges);
    hit.recalculate({400, 300}, frame);
    EXPECT_TRUE(hit.onBottomRightEdge);
    EXPECT_FALSE(hit.onTopRightEdge);
    hit.recalculate({100, 100}, frame);
    EXPECT_TRUE(hit.onTopLeftEdge);
    hit.reset();
    EXPECT_FALSE(hit.onTopLeftEdge || hit.onLeftEdge || hit.onTopEdge || hit.onEdges);

    FramelessHelper::setBorderWidth(0); // ignored
    EXPECT_EQ(FramelessHelper::borderWidth(), 5);
    FramelessHelper::setBorderWidth(2);
    hit.recalculate({103, 150}, frame);
    EXPECT_FALSE(hit.onLeftEdge);
}

TEST_F(FramelessHelperTest, MainWindowSettingsDragByTheTopOnlyAndNeverShowResizeCursors)
{
    Window w;
    FramelessHelper helper(&w);
    helper.addWidget(&w);
    FramelessHelper::setTitleHeight(130);
    FramelessHelper::setTitleHeight(0); // ignored
    helper.setMovable(true);
    helper.setResizable(false);
    EXPECT_EQ(FramelessHelper::titleHeight(), 130);
    show(w);
    const QPoint start = w.pos();

    // Inside the title height, on the left border too: moves.
    drag(w, w.mapToGlobal(QPoint(2, 129)), w.mapToGlobal(QPoint(2, 129)) + QPoint(30, 40));
    EXPECT_EQ(w.pos(), start + QPoint(30, 40));

    // At y = 130: nothing.
    const QPoint moved = w.pos();
    drag(w, w.mapToGlobal(QPoint(50, 130)), w.mapToGlobal(QPoint(50, 130)) + QPoint(30, 40));
    EXPECT_EQ(w.pos(), moved);
    EXPECT_EQ(w.size(), QSize(400, 300));

    // Hovering the border leaves the cursor alone; leaving always unsets it.
    hoverMove(&w, QPoint(1, 1));
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    w.setCursor(Qt::IBeamCursor);
    sendLeave(&w);
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);

    EXPECT_EQ(w.mouseEvents, 0) << "the helper consumes the window's mouse events";
}

TEST_F(RegisteredWindowTest, MoveFollowsThePointerFromThePressPosition)
{
    const QPoint start = w.pos();
    const QPoint press = w.mapToGlobal(QPoint(100, 30));
    mousePressAt(&w, press);
    mouseMoveAt(&w, press + QPoint(10, 5), Qt::LeftButton);
    EXPECT_EQ(w.pos(), start + QPoint(10, 5));
    mouseMoveAt(&w, press + QPoint(-60, 25), Qt::LeftButton);
    EXPECT_EQ(w.pos(), start + QPoint(-60, 25));
    mouseReleaseAt(&w, press + QPoint(-60, 25));
    // Without a press, moves do nothing.
    mouseMoveAt(&w, press + QPoint(200, 200), Qt::LeftButton);
    EXPECT_EQ(w.pos(), start + QPoint(-60, 25));

    // A release that went elsewhere (a prompt opened mid-drag): the first
    // move without the left button ends the drag.
    const QPoint again = w.mapToGlobal(QPoint(100, 30));
    mousePressAt(&w, again);
    mouseMoveAt(&w, again + QPoint(10, 10), Qt::NoButton);
    mouseMoveAt(&w, again + QPoint(50, 50), Qt::LeftButton);
    EXPECT_EQ(w.pos(), start + QPoint(-60, 25));
}

TEST_F(RegisteredWindowTest, ResizeByEdgesAndCornersKeepsTheMinimumWithoutMovingTheOppositeEdge)
{
    w.setMinimumSize(100, 80);
    QRect g = w.frameGeometry();

    // Right edge outwards.
    drag(w, QPoint(g.x() + g.width() - 1, g.y() + 150), QPoint(g.x() + g.width() + 49, g.y() + 150));
    EXPECT_EQ(w.frameGeometry(), QRect(g.x(), g.y(), 450, 300));

    // Bottom-left corner: left and bottom follow.
    g = w.frameGeometry();
    drag(w, QPoint(g.x() + 1, g.y() + g.height() - 1), QPoint(g.x() + 20, g.y() + g.height() + 9));
    EXPECT_EQ(w.frameGeometry().left(), g.left() + 20);
    EXPECT_EQ(w.frameGeometry().bottom(), g.bottom() + 10);
    EXPECT_EQ(w.frameGeometry().right(), g.right());
    EXPECT_EQ(w.frameGeometry().top(), g.top());

    // Left edge dragged to leave less than the minimum width: the left edge
    // snaps back, the right edge stays.
    g = w.frameGeometry();
    mousePressAt(&w, QPoint(g.x() + 2, g.y() + 150));
    mouseMoveAt(&w, QPoint(g.right() - 50, g.y() + 150), Qt::LeftButton);
    EXPECT_EQ(w.frameGeometry(), g);
    // Past the right edge: an invalid rectangle changes nothing.
    mouseMoveAt(&w, QPoint(g.right() + 30, g.y() + 150), Qt::LeftButton);
    EXPECT_EQ(w.frameGeometry(), g);
    mouseReleaseAt(&w, QPoint(g.right() + 30, g.y() + 150));

    // Right edge pulled in below the minimum: snaps back to its start.
    mousePressAt(&w, QPoint(g.right(), g.y() + 150));
    mouseMoveAt(&w, QPoint(g.left() + 40, g.y() + 150), Qt::LeftButton);
    EXPECT_EQ(w.frameGeometry(), g);
    mouseReleaseAt(&w, QPoint(g.left() + 40, g.y() + 150));

    // Top edge below the minimum height.
    mousePressAt(&w, QPoint(g.x() + 200, g.y() + 1));
    mouseMoveAt(&w, QPoint(g.x() + 200, g.bottom() - 20), Qt::LeftButton);
    EXPECT_EQ(w.frameGeometry(), g);
    mouseReleaseAt(&w, QPoint(g.x() + 200, g.bottom() - 20));
}

TEST_F(RegisteredWindowTest, CursorShapesFollowTheFirstMatchingBand)
{
    const QSize s = w.size();
    struct Case
    {
        QPoint local;
        Qt::CursorShape shape;
    } cases[] = {{{0, 0}, Qt::SizeFDiagCursor},
                 {{s.width() - 1, s.height() - 1}, Qt::SizeFDiagCursor},
                 {{s.width() - 1, 0}, Qt::SizeBDiagCursor},
                 {{0, s.height() - 1}, Qt::SizeBDiagCursor},
                 {{3, 150}, Qt::SizeHorCursor},
                 {{s.width() - 3, 150}, Qt::SizeHorCursor},
                 {{200, 4}, Qt::SizeVerCursor},
                 {{200, s.height() - 2}, Qt::SizeVerCursor}};
    for (const Case& c : cases) {
        hoverMove(&w, c.local);
        EXPECT_EQ(w.cursor().shape(), c.shape) << c.local.x() << "," << c.local.y();
    }
    // Inside: the helper's cursor goes again.
    hoverMove(&w, QPoint(200, 150));
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);

    // Narrow window on both side bands at once: left wins for the drag.
    Window narrow;
    narrow.setGeometry(100, 100, 8, 200);
    helper.addWidget(&narrow);
    show(narrow);
    hoverMove(&narrow, QPoint(4, 100));
    EXPECT_EQ(narrow.cursor().shape(), Qt::SizeHorCursor);
    const QRect g = narrow.frameGeometry();
    drag(narrow, QPoint(g.x() + 4, g.y() + 100), QPoint(g.x() - 6, g.y() + 100));
    EXPECT_EQ(narrow.frameGeometry().left(), g.left() - 6);
    EXPECT_EQ(narrow.frameGeometry().right(), g.right());
}

TEST_F(RegisteredWindowTest, MaximizedWindowShowsNoResizeCursorAndRestoresOnTitleDrag)
{
    w.showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMaximized(); }, 2000));
    hoverMove(&w, QPoint(0, 0));
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    mousePress(&w, QPoint(200, 20));
    mouseMove(&w, QPoint(220, 30), Qt::LeftButton);
    EXPECT_FALSE(w.isMaximized());
    mouseRelease(&w, QPoint(220, 30));
}

TEST_F(RegisteredWindowTest, DoubleClicksAndOtherButtonsAreSwallowedWithoutEffect)
{
    const QRect g = w.frameGeometry();
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        mousePress(&w, QPoint(100, 20), button);
        mouseMove(&w, QPoint(150, 60), button);
        mouseRelease(&w, QPoint(150, 60), button);
    }
    mouseDoubleClick(&w, QPoint(100, 20));
    mouseMove(&w, QPoint(150, 60), Qt::LeftButton);
    EXPECT_EQ(w.frameGeometry(), g);
    EXPECT_EQ(w.mouseEvents, 0);
    // Other events still reach the widget.
    QTest::keyClick(&w, Qt::Key_A);
}

TEST_F(FramelessHelperTest, RegistrationIsIdempotentAndRemovalRestoresTheWidget)
{
    Window w;
    const Qt::WindowFlags flags = w.windowFlags();
    ASSERT_FALSE(w.hasMouseTracking());
    {
        FramelessHelper helper;
        helper.addWidget(&w);
        helper.addWidget(&w);
        EXPECT_TRUE(w.hasMouseTracking());
        EXPECT_TRUE(w.testAttribute(Qt::WA_Hover));
        show(w);
        helper.removeWidget(&w);
        EXPECT_FALSE(w.hasMouseTracking());
        EXPECT_FALSE(w.testAttribute(Qt::WA_Hover));
        EXPECT_EQ(w.windowFlags(), flags);
        EXPECT_TRUE(w.isVisible()) << "giving back unchanged flags must not hide the window";
        // Unregistered after one removal, although added twice.
        mousePress(&w, QPoint(10, 10));
        EXPECT_EQ(w.mouseEvents, 1);
        helper.removeWidget(&w); // not registered: nothing
        helper.addWidget(&w);
        // Flags changed while registered go back to those at registration.
        w.setWindowFlags(flags | Qt::WindowStaysOnTopHint);
    }
    // The helper's destruction restores too.
    EXPECT_FALSE(w.hasMouseTracking());
    EXPECT_FALSE(w.testAttribute(Qt::WA_Hover));
    EXPECT_EQ(w.windowFlags(), flags);
}

TEST_F(FramelessHelperTest, AWidgetDestroyedFirstLeavesNothingBehind)
{
    FramelessHelper helper;
    auto* w = new Window;
    helper.addWidget(w);
    delete w;
    Window other;
    helper.addWidget(&other); // may reuse the address
    EXPECT_TRUE(other.hasMouseTracking());
}

TEST_F(RegisteredWindowTest, RubberBandsHoldTheGeometryUntilRelease)
{
    helper.setResizeRubberBand(true);
    EXPECT_TRUE(helper.hasResizeRubberBand());
    const QRect g = w.frameGeometry();
    const QPoint press(g.x() + g.width() - 1, g.y() + 150);
    mousePressAt(&w, press);
    mouseMoveAt(&w, press + QPoint(40, 0), Qt::LeftButton);
    EXPECT_EQ(w.frameGeometry(), g) << "the band moves, not the window";
    mouseReleaseAt(&w, press + QPoint(40, 0));
    EXPECT_EQ(w.frameGeometry().width(), g.width() + 40);

    helper.setResizeRubberBand(false);
    helper.setMoveRubberBand(true);
    const QPoint start = w.pos();
    const QPoint grip = w.mapToGlobal(QPoint(100, 30));
    mousePressAt(&w, grip);
    mouseMoveAt(&w, grip + QPoint(25, 15), Qt::LeftButton);
    EXPECT_EQ(w.pos(), start);
    mouseReleaseAt(&w, grip + QPoint(25, 15));
    EXPECT_EQ(w.pos(), start + QPoint(25, 15));
    helper.setMoveRubberBand(false);
    EXPECT_FALSE(helper.hasMoveRubberBand());
}

} // namespace
