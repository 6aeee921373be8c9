#pragma once
// Mouse events for widget tests with explicit buttons and global positions.
// QTest::mouseMove carries no held buttons in Qt 5, and drags of frameless
// windows are computed from global positions, so these build the QMouseEvent
// themselves and send it through the application (event filters see it).

#include <QEvent>
#include <QPoint>

class QWidget;

namespace zavmo::test {

// Sends one mouse event; true when a receiver accepted it.
bool sendMouse(QWidget* widget, QEvent::Type type, const QPoint& local, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons held);

// Positions given in the widget's coordinates (global = mapToGlobal).
bool mousePress(QWidget* widget, const QPoint& local, Qt::MouseButton button = Qt::LeftButton);
bool mouseRelease(QWidget* widget, const QPoint& local, Qt::MouseButton button = Qt::LeftButton);
bool mouseDoubleClick(QWidget* widget, const QPoint& local, Qt::MouseButton button = Qt::LeftButton);
bool mouseMove(QWidget* widget, const QPoint& local, Qt::MouseButtons held = Qt::NoButton);

// Positions given on the screen (local = mapFromGlobal at the time of sending).
bool mousePressAt(QWidget* widget, const QPoint& global, Qt::MouseButton button = Qt::LeftButton);
bool mouseReleaseAt(QWidget* widget, const QPoint& global, Qt::MouseButton button = Qt::LeftButton);
bool mouseMoveAt(QWidget* widget, const QPoint& global, Qt::MouseButtons held = Qt::NoButton);

// Hover and leave events as the window system would send them.
bool hoverMove(QWidget* widget, const QPoint& local);
bool sendLeave(QWidget* widget);
bool sendEnter(QWidget* widget, const QPoint& local);

// A click delivered through the widget's window, as a real click is: the
// receiver is found by position, so widget masks and stacking count.
void clickThroughWindow(QWidget* widget, const QPoint& local, Qt::MouseButton button = Qt::LeftButton);

} // namespace zavmo::test
