#pragma once
// Answers modal dialogs for widget tests. A timer watches
// QApplication::activeModalWidget(); each modal that appears takes the next
// queued response (click the button of that object name, or press a key)
// and is recorded with its class, object name and visible texts. A modal
// without a queued response, or whose button is missing, is rejected and
// recorded as unexpected, so a test never hangs in exec().
//
//   zavmo::test::ModalResponder responder;
//   responder.clickButton("button_confirm");
//   EXPECT_EQ(dialog.exec(), QDialog::Accepted);
//   EXPECT_EQ(responder.records().at(0).className, "zvMsgTipWidget");

#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>

class QWidget;

namespace zavmo::test {

struct ModalRecord
{
    QString className;
    QString objectName;
    QString windowTitle;
    // Texts of the visible labels and buttons, in child order.
    QStringList texts;
    // What was done: "click:<name>", "key:<code>", or "unexpected" /
    // "missing:<name>" when the modal had to be rejected.
    QString action;

    bool expected() const { return !action.startsWith(QLatin1String("unexpected")) && !action.startsWith("missing:"); }
};

class ModalResponder : public QObject
{
    Q_OBJECT

public:
    explicit ModalResponder(int pollMs = 10, QObject* parent = nullptr);

    void clickButton(const QString& objectName);
    void pressKey(int key);

    const QList<ModalRecord>& records() const { return m_records; }
    // Queued responses not used yet.
    int pending() const { return m_responses.size(); }

    // The visible texts of a widget's labels and buttons, in child order.
    static QStringList visibleTexts(QWidget* widget);

private:
    void poll();

    struct Response
    {
        QString button;
        int key = 0;
    };
    QQueue<Response> m_responses;
    QList<ModalRecord> m_records;
    QPointer<QWidget> m_lastHandled;
    QTimer m_timer;
};

} // namespace zavmo::test
