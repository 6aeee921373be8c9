#include "modalresponder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <functional>

namespace zavmo::test {

ModalResponder::ModalResponder(int pollMs, QObject* parent) : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalResponder::poll);
    m_timer.start(pollMs);
}

void ModalResponder::clickButton(const QString& objectName)
{
    m_responses.enqueue({objectName, 0, QString(), {}});
}

void ModalResponder::pressKey(int key)
{
    m_responses.enqueue({QString(), key, QString(), {}});
}

void ModalResponder::chooseFile(const QString& path)
{
    m_responses.enqueue({QString(), 0, path, {}});
}

void ModalResponder::call(const QString& what, std::function<void(QWidget*)> action)
{
    m_responses.enqueue({what, 0, QString(), std::move(action)});
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

void ModalResponder::forget(QObject* handled)
{
    for (auto it = m_handled.begin(); it != m_handled.end();) {
        if (!*it || *it == handled) {
            if (*it)
                (*it)->removeEventFilter(this);
            it = m_handled.erase(it);
        } else {
            ++it;
        }
    }
}

bool ModalResponder::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide)
        forget(watched);
    return QObject::eventFilter(watched, event);
}

void ModalResponder::poll()
{
    forget(nullptr); // the destroyed ones
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    // A dialog answered a moment ago may still be on the modal stack.
    if (m_handled.contains(modal))
        return;
    m_handled.append(modal);
    modal->installEventFilter(this);

    ModalRecord record{QString::fromLatin1(modal->metaObject()->className()), modal->objectName(), modal->windowTitle(),
                       visibleTexts(modal), QString()};
    // The answer runs from the event loop, not inside this timer slot: a
    // prompt that the answer opens runs a nested loop, where this timer must
    // be free to fire again to answer it.
    auto later = [](QWidget* target, std::function<void()> action) { QTimer::singleShot(0, target, action); };
    auto giveUp = [&](const QString& why) {
        record.action = why;
        later(modal, [modal] {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        });
    };

    if (m_responses.isEmpty()) {
        giveUp(QStringLiteral("unexpected"));
    } else {
        const Response response = m_responses.dequeue();
        if (response.action) {
            record.action = QStringLiteral("call:") + response.button;
            later(modal, [modal, action = response.action] { action(modal); });
        } else if (!response.file.isEmpty()) {
            if (auto* fileDialog = qobject_cast<QFileDialog*>(modal)) {
                record.action = QStringLiteral("file:") + response.file;
                later(modal, [fileDialog, file = response.file] {
                    fileDialog->selectFile(file);
                    // selectFile leaves the name field alone while it has
                    // the focus, as it has in a shown dialog.
                    if (auto* name = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                        name->setText(file);
                    // QFileDialog hides its accept, which checks the file.
                    static_cast<QDialog*>(fileDialog)->accept();
                });
            } else {
                giveUp(QStringLiteral("missing:QFileDialog"));
            }
        } else if (response.key != 0) {
            record.action = QStringLiteral("key:%1").arg(response.key);
            later(modal, [modal, key = response.key] { QTest::keyClick(modal, static_cast<Qt::Key>(key)); });
        } else {
            auto* button = modal->findChild<QAbstractButton*>(response.button);
            if (button && button->isVisible() && button->isEnabled()) {
                record.action = QStringLiteral("click:") + response.button;
                later(button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
            } else {
                giveUp(QStringLiteral("missing:") + response.button);
            }
        }
    }
    m_records << record;
}

} // namespace zavmo::test
