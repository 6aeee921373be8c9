#pragma once
// Internals of FramelessHelper, visible to its tests.

#include <QHash>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QEvent;
class QHoverEvent;
class QMouseEvent;
class QRubberBand;
class FramelessWidgetState;

// Which border bands a global point lies on. Each band is borderWidth + 1
// pixels deep (inclusive comparisons), so the right and bottom bands reach
// one pixel past the frame.
struct BorderHitTest
{
    BorderHitTest() { reset(); }
    void reset();
    void recalculate(const QPoint& globalPos, const QRect& frameRect);

    bool onLeftEdge;
    bool onRightEdge;
    bool onTopEdge;
    bool onBottomEdge;
    bool onTopLeftEdge;
    bool onBottomLeftEdge;
    bool onTopRightEdge;
    bool onBottomRightEdge;
    bool onEdges;
};

class FramelessHelperPrivate
{
public:
    QHash<QWidget*, FramelessWidgetState*> widgets;
    bool movable = true;
    bool resizable = true;
    bool resizeRubberBand = false;
    bool moveRubberBand = false;
};

// The drag state of one registered widget.
class FramelessWidgetState
{
public:
    FramelessWidgetState(FramelessHelperPrivate* helper, QWidget* widget);
    ~FramelessWidgetState();

    void handleWidgetEvent(QEvent* event);
    void updateRubberBandStatus();

    QWidget* widget() const { return m_widget.data(); }
    QRubberBand* rubberBand() const { return m_rubberBand; }
    bool cursorChanged() const { return m_cursorChanged; }

private:
    void updateCursorShape(const QPoint& globalPos);
    void resizeWidget(const QPoint& globalPos);
    void moveWidget(const QPoint& globalPos);
    void handleMousePressEvent(QMouseEvent* event);
    void handleMouseReleaseEvent(QMouseEvent* event);
    // Ends a drag as a left release does: state cleared, a rubber band's
    // geometry taken.
    void endDrag();
    void handleMouseMoveEvent(QMouseEvent* event);
    void handleLeaveEvent(QEvent* event);
    void handleHoverMoveEvent(QHoverEvent* event);

    FramelessHelperPrivate* d;
    QRubberBand* m_rubberBand = nullptr;
    QPointer<QWidget> m_widget; // may be destroyed before its helper
    QPoint dragOffset;
    BorderHitTest pressHit;
    BorderHitTest hoverHit;
    bool leftButtonPressed = false;
    bool m_cursorChanged = false;
    bool pressedInTitle = false;
    Qt::WindowFlags savedWindowFlags;
    QPoint widgetPosAtPress;
    QPoint pressGlobalPos;
    QPoint lastGlobalPos;
};
