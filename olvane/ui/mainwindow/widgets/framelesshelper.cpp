#include "ui/mainwindow/widgets/framelesshelper.h"
#include "ui/mainwindow/widgets/framelesshelper_p.h"

#include <QEvent>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWidget>

namespace {
int g_borderWidth = 5;
int g_titleHeight = 60;
} // namespace

// ---- BorderHitTest ----

void BorderHitTest::reset()
{
    onLeftEdge = onRightEdge = onTopEdge = onBottomEdge = false;
    onTopLeftEdge = onBottomLeftEdge = onTopRightEdge = onBottomRightEdge = false;
    onEdges = false;
}

void BorderHitTest::recalculate(const QPoint& globalPos, const QRect& frameRect)
{
    const int x = globalPos.x();
    const int y = globalPos.y();
    const int b = g_borderWidth;
    const int left = frameRect.x();
    const int top = frameRect.y();
    const int right = frameRect.x() + frameRect.width();
    const int bottom = frameRect.y() + frameRect.height();

    onLeftEdge = x >= left && x <= left + b;
    onRightEdge = x >= right - b && x <= right;
    onTopEdge = y >= top && y <= top + b;
    onBottomEdge = y >= bottom - b && y <= bottom;
    onTopLeftEdge = onTopEdge && onLeftEdge;
    onBottomLeftEdge = onBottomEdge && onLeftEdge;
    onTopRightEdge = onTopEdge && onRightEdge;
    onBottomRightEdge = onBottomEdge && onRightEdge;
    onEdges = onLeftEdge || onRightEdge || onTopEdge || onBottomEdge;
}

// ---- FramelessWidgetState ----

FramelessWidgetState::FramelessWidgetState(FramelessHelperPrivate* helper, QWidget* widget)
    : d(helper), m_widget(widget), savedWindowFlags(widget->windowFlags())
{
    m_widget->setMouseTracking(true);
    m_widget->setAttribute(Qt::WA_Hover, true);
    updateRubberBandStatus();
}

FramelessWidgetState::~FramelessWidgetState()
{
    if (m_widget) {
        m_widget->setMouseTracking(false);
        // Setting flags re-creates (and hides) a window: only when they changed.
        if (m_widget->windowFlags() != savedWindowFlags)
            m_widget->setWindowFlags(savedWindowFlags);
        m_widget->setAttribute(Qt::WA_Hover, false);
    }
    delete m_rubberBand;
}

void FramelessWidgetState::updateRubberBandStatus()
{
    if ((d->resizeRubberBand || d->moveRubberBand) && !m_rubberBand)
        m_rubberBand = new QRubberBand(QRubberBand::Rectangle);
    else if (!d->resizeRubberBand && !d->moveRubberBand && m_rubberBand) {
        delete m_rubberBand;
        m_rubberBand = nullptr;
    }
}

void FramelessWidgetState::handleWidgetEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        handleMousePressEvent(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonRelease:
        handleMouseReleaseEvent(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseMove:
        handleMouseMoveEvent(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::Leave:
        handleLeaveEvent(event);
        break;
    case QEvent::HoverMove:
        handleHoverMoveEvent(static_cast<QHoverEvent*>(event));
        break;
    default:
        break;
    }
}

void FramelessWidgetState::updateCursorShape(const QPoint& globalPos)
{
    if (m_widget->isFullScreen() || m_widget->isMaximized()) {
        if (m_cursorChanged)
            m_widget->unsetCursor();
        return;
    }
    hoverHit.recalculate(globalPos, m_widget->frameGeometry());
    if (hoverHit.onTopLeftEdge || hoverHit.onBottomRightEdge)
        m_widget->setCursor(Qt::SizeFDiagCursor);
    else if (hoverHit.onTopRightEdge || hoverHit.onBottomLeftEdge)
        m_widget->setCursor(Qt::SizeBDiagCursor);
    else if (hoverHit.onLeftEdge || hoverHit.onRightEdge)
        m_widget->setCursor(Qt::SizeHorCursor);
    else if (hoverHit.onTopEdge || hoverHit.onBottomEdge)
        m_widget->setCursor(Qt::SizeVerCursor);
    else {
        if (m_cursorChanged) {
            m_widget->unsetCursor();
            m_cursorChanged = false;
        }
        return;
    }
    m_cursorChanged = true;
}

void FramelessWidgetState::resizeWidget(const QPoint& globalPos)
{
    // The band's own geometry, not its frame: a window system may give the
    // top-level band a frame, and setGeometry below places the inside.
    const QRect start = d->resizeRubberBand ? m_rubberBand->geometry() : m_widget->frameGeometry();
    int left = start.left();
    int top = start.top();
    int right = start.right();
    int bottom = start.bottom();
    const int minWidth = m_widget->minimumWidth();
    const int minHeight = m_widget->minimumHeight();
    const int x = globalPos.x();
    const int y = globalPos.y();

    if (pressHit.onTopLeftEdge) {
        left = x;
        top = y;
    } else if (pressHit.onBottomLeftEdge) {
        left = x;
        bottom = y;
    } else if (pressHit.onTopRightEdge) {
        right = x;
        top = y;
    } else if (pressHit.onBottomRightEdge) {
        right = x;
        bottom = y;
    } else if (pressHit.onLeftEdge) {
        left = x;
    } else if (pressHit.onRightEdge) {
        right = x;
    } else if (pressHit.onTopEdge) {
        top = y;
    } else if (pressHit.onBottomEdge) {
        bottom = y;
    }

    QRect next(QPoint(left, top), QPoint(right, bottom));
    if (!next.isValid())
        return;
    // Below the minimum the dragged edge snaps back; the opposite edge never moves.
    if (next.width() < minWidth) {
        if (next.left() == start.left())
            next.setRight(start.right());
        else
            next.setLeft(start.left());
    }
    if (next.height() < minHeight) {
        if (next.top() == start.top())
            next.setBottom(start.bottom());
        else
            next.setTop(start.top());
    }
    if (d->resizeRubberBand)
        m_rubberBand->setGeometry(next);
    else
        m_widget->setGeometry(next);
}

void FramelessWidgetState::moveWidget(const QPoint& globalPos)
{
    if (d->moveRubberBand)
        m_rubberBand->move(globalPos - dragOffset);
    else
        m_widget->move(widgetPosAtPress + (lastGlobalPos - pressGlobalPos));
}

void FramelessWidgetState::handleMousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    leftButtonPressed = true;
    pressedInTitle = event->pos().y() < g_titleHeight;

    const QRect frame = m_widget->frameGeometry();
    pressHit.recalculate(event->globalPos(), frame);
    dragOffset = event->globalPos() - frame.topLeft();
    widgetPosAtPress = m_widget->pos();
    pressGlobalPos = event->globalPos();

    if (pressHit.onEdges) {
        if (d->resizeRubberBand) {
            m_rubberBand->setGeometry(frame);
            m_rubberBand->show();
        }
    } else if (d->moveRubberBand) {
        m_rubberBand->setGeometry(frame);
        m_rubberBand->show();
    }
}

void FramelessWidgetState::handleMouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        endDrag();
}

void FramelessWidgetState::endDrag()
{
    leftButtonPressed = false;
    pressedInTitle = false;
    pressHit.reset();
    if (m_rubberBand && m_rubberBand->isVisible()) {
        m_rubberBand->hide();
        m_widget->setGeometry(m_rubberBand->geometry());
    }
}

void FramelessWidgetState::handleMouseMoveEvent(QMouseEvent* event)
{
    // The release may have gone elsewhere (to a prompt opened mid-drag): a
    // move without the left button ends the drag as the release would.
    if (leftButtonPressed && !(event->buttons() & Qt::LeftButton))
        endDrag();
    if (!leftButtonPressed) {
        if (d->resizable)
            updateCursorShape(event->globalPos());
        return;
    }
    if (d->movable && m_widget->isMaximized() && event->pos().y() < g_titleHeight) {
        m_widget->showNormal();
        return;
    }
    lastGlobalPos = event->globalPos();
    if (d->resizable && pressHit.onEdges) {
        if (d->resizeRubberBand && m_rubberBand->isHidden())
            m_rubberBand->show();
        resizeWidget(event->globalPos());
    } else if (d->movable && pressedInTitle) {
        if (d->moveRubberBand && m_rubberBand->isHidden())
            m_rubberBand->show();
        moveWidget(event->globalPos());
    }
}

void FramelessWidgetState::handleLeaveEvent(QEvent*)
{
    if (!leftButtonPressed)
        m_widget->unsetCursor();
}

void FramelessWidgetState::handleHoverMoveEvent(QHoverEvent* event)
{
    if (d->resizable)
        updateCursorShape(m_widget->mapToGlobal(event->pos()));
}

// ---- FramelessHelper ----

FramelessHelper::FramelessHelper(QObject* parent) : QObject(parent), d(new FramelessHelperPrivate) {}

FramelessHelper::~FramelessHelper()
{
    qDeleteAll(d->widgets);
    delete d;
}

void FramelessHelper::addWidget(QWidget* widget)
{
    if (!widget || d->widgets.contains(widget))
        return;
    d->widgets.insert(widget, new FramelessWidgetState(d, widget));
    widget->installEventFilter(this);
    // A widget destroyed while registered leaves no dangling state behind.
    connect(widget, &QObject::destroyed, this, [this, widget] { delete d->widgets.take(widget); });
}

void FramelessHelper::removeWidget(QWidget* widget)
{
    FramelessWidgetState* state = d->widgets.take(widget);
    if (!state)
        return;
    widget->removeEventFilter(this);
    disconnect(widget, &QObject::destroyed, this, nullptr);
    delete state;
}

void FramelessHelper::setMovable(bool movable)
{
    d->movable = movable;
}

bool FramelessHelper::isMovable() const
{
    return d->movable;
}

void FramelessHelper::setResizable(bool resizable)
{
    d->resizable = resizable;
}

bool FramelessHelper::isResizable() const
{
    return d->resizable;
}

void FramelessHelper::setResizeRubberBand(bool enabled)
{
    d->resizeRubberBand = enabled;
    for (FramelessWidgetState* state : qAsConst(d->widgets))
        state->updateRubberBandStatus();
}

bool FramelessHelper::hasResizeRubberBand() const
{
    return d->resizeRubberBand;
}

void FramelessHelper::setMoveRubberBand(bool enabled)
{
    d->moveRubberBand = enabled;
    for (FramelessWidgetState* state : qAsConst(d->widgets))
        state->updateRubberBandStatus();
}

bool FramelessHelper::hasMoveRubberBand() const
{
    return d->moveRubberBand;
}

void FramelessHelper::setBorderWidth(int width)
{
    if (width != 0)
        g_borderWidth = width;
}

int FramelessHelper::borderWidth()
{
    return g_borderWidth;
}

void FramelessHelper::setTitleHeight(int height)
{
    if (height != 0)
        g_titleHeight = height;
}

int FramelessHelper::titleHeight()
{
    return g_titleHeight;
}

bool FramelessHelper::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Leave:
    case QEvent::HoverMove:
        if (FramelessWidgetState* state =
                watched->isWidgetType() ? d->widgets.value(static_cast<QWidget*>(watched)) : nullptr) {
            state->handleWidgetEvent(event);
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
