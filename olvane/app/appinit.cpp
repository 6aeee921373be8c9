#include "app/appinit.h"

#include "ui/mainwindow/widgets/draggabledialog.h"
#include "ui/mainwindow/widgets/x11windowhints.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QMutex>
#include <QMutexLocker>
#include <QWidget>

namespace {

bool dragging = false;
QPoint dragOffset;

} // namespace

AppInit* AppInit::instance()
{
    static AppInit* object = nullptr;
    static QMutex mutex;
    if (!object) {
        QMutexLocker locker(&mutex);
        if (!object)
            object = new AppInit;
    }
    return object;
}

void AppInit::installToApplication()
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool AppInit::eventFilter(QObject* watched, QEvent* event)
{
    // Only widgets move; anything else carrying the property is left alone.
    auto* widget = qobject_cast<QWidget*>(watched);
    // Sent before the window is mapped, so the window manager sees the hint.
    if (event->type() == QEvent::Show && widget && widget->isWindow() && widget->parentWidget())
        setSkipTaskbarHint(widget);
    if (!widget || !widget->property(kCanMoveProperty).toBool())
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() != Qt::LeftButton)
            break;
        if (press->pos().y() < widget->property(kTitleHeightProperty).toInt()) {
            dragging = true;
            dragOffset = press->globalPos() - widget->pos();
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        dragging = false;
        return true;
    case QEvent::MouseMove: {
        auto* move = static_cast<QMouseEvent*>(event);
        // A release that went elsewhere (to a prompt opened mid-drag) must
        // not leave the window following the pointer.
        if (!(move->buttons() & Qt::LeftButton))
            dragging = false;
        if (dragging) {
            widget->move(move->globalPos() - dragOffset);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
