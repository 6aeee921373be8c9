#include "mouse.h"

#include <QApplication>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace zavmo::test {

bool sendMouse(QWidget* widget, QEvent::Type type, const QPoint& local, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(global), button, held, Qt::NoModifier);
    event.setAccepted(false);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

bool mousePress(QWidget* widget, const QPoint& local, Qt::MouseButton button)
{
    return sendMouse(widget, QEvent::MouseButtonPress, local, widget->mapToGlobal(local), button, button);
}

bool mouseRelease(QWidget* widget, const QPoint& local, Qt::MouseButton button)
{
    return sendMouse(widget, QEvent::MouseButtonRelease, local, widget->mapToGlobal(local), button, Qt::NoButton);
}

bool mouseDoubleClick(QWidget* widget, const QPoint& local, Qt::MouseButton button)
{
    return sendMouse(widget, QEvent::MouseButtonDblClick, local, widget->mapToGlobal(local), button, button);
}

bool mouseMove(QWidget* widget, const QPoint& local, Qt::MouseButtons held)
{
    return sendMouse(widget, QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton, held);
}

bool mousePressAt(QWidget* widget, const QPoint& global, Qt::MouseButton button)
{
    return sendMouse(widget, QEvent::MouseButtonPress, widget->mapFromGlobal(global), global, button, button);
}

bool mouseReleaseAt(QWidget* widget, const QPoint& global, Qt::MouseButton button)
{
    return sendMouse(widget, QEvent::MouseButtonRelease, widget->mapFromGlobal(global), global, button, Qt::NoButton);
}

bool mouseMoveAt(QWidget* widget, const QPoint& global, Qt::MouseButtons held)
{
    return sendMouse(widget, QEvent::MouseMove, widget->mapFromGlobal(global), global, Qt::NoButton, held);
}

bool hoverMove(QWidget* widget, const QPoint& local)
{
    QHoverEvent event(QEvent::HoverMove, QPointF(local), QPointF(local));
    event.setAccepted(false);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

bool sendLeave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

bool sendEnter(QWidget* widget, const QPoint& local)
{
    const QPointF pos(local);
    QEnterEvent event(pos, pos, QPointF(widget->mapToGlobal(local)));
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

void clickThroughWindow(QWidget* widget, const QPoint& local, Qt::MouseButton button)
{
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), button, Qt::NoModifier, widget->mapTo(top, local));
}

} // namespace zavmo::test
