#include "ui/login/webdialogsupport.h"

#include <QDebug>
#include <QMouseEvent>
#include <QWidget>

void WebDialogDrag::press(const QWidget& window, const QMouseEvent& event)
{
    m_windowPos = window.pos();
    m_mousePos = event.globalPos();
    m_offset = m_mousePos - m_windowPos;
}

void WebDialogDrag::move(QWidget& window, const QMouseEvent& event) const
{
    if (event.buttons() & Qt::LeftButton)
        window.move(event.globalPos() - m_offset);
}

void logSslErrors(const QList<QSslError>& errors)
{
    qDebug() << "handleSslErrors: ";
    for (const QSslError& error : errors)
        qDebug() << "ssl error: " << error;
}
