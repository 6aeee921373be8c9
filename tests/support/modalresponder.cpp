#include "modalresponder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTest>

namespace zavmo::test {

ModalResponder::ModalResponder(int pollMs, QObject* parent) : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalResponder::poll);
    m_timer.start(pollMs);
}

void ModalResponder::clickButton(const QString& objectName)
{
    m_responses.enqueue({objectName, 0});
}

void ModalResponder::pressKey(int key)
{
    m_responses.enqueue({QString(), key});
}

QStringList ModalResponder::visibleTexts(QWidget* widget)
{
    QStringList texts;
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(widget))
            continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(child))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(child))
            text = button->text();
        if (!text.isEmpty())
            texts << text;
    }
    return texts;
}

void ModalResponder::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        m_lastHandled = nullptr;
        return;
    }
    // A dialog answered a moment ago may still be on the modal stack.
    if (modal == m_lastHandled)
        return;
    m_lastHandled = modal;

    ModalRecord record{QString::fromLatin1(modal->metaObject()->className()), modal->objectName(), modal->windowTitle(),
                       visibleTexts(modal), QString()};
    auto giveUp = [&](const QString& why) {
        record.action = why;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    };

    if (m_responses.isEmpty()) {
        giveUp(QStringLiteral("unexpected"));
    } else {
        const Response response = m_responses.dequeue();
        if (response.key != 0) {
            record.action = QStringLiteral("key:%1").arg(response.key);
            QTest::keyClick(modal, static_cast<Qt::Key>(response.key));
        } else {
            auto* button = modal->findChild<QAbstractButton*>(response.button);
            if (button && button->isVisible() && button->isEnabled()) {
                record.action = QStringLiteral("click:") + response.button;
                QTest::mouseClick(button, Qt::LeftButton);
            } else {
                giveUp(QStringLiteral("missing:") + response.button);
            }
        }
    }
    m_records << record;
}

} // namespace zavmo::test
