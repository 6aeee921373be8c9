#pragma once
// Answers modal dialogs for widget tests. A timer watches
// QApplication::activeModalWidget(); each modal that appears takes the next
// queued response (click the button of that object name, press a key, or
// choose a file in a file dialog)
// and is recorded with its class, object name and visible texts. A modal
// without a queued response, or whose button is missing, is rejected and
// recorded as unexpected, so a test never hangs in exec(). Each showing of a
// modal is answered once (a dialog run twice is answered twice), and the
// answer runs from the event loop, so a prompt that the answer opens is
// answered in its turn.
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

#include <functional>

class QWidget;

namespace zavmo::test {

struct ModalRecord
{
    QString className;
    QString objectName;
    QString windowTitle;
    // Texts of the visible labels and buttons, in child order.
    QStringList texts;
    // What was done: "click:<name>", "key:<code>", "file:<path>", "call:<what>",
    // or "unexpected" / "missing:<name>" when the modal had to be rejected.
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
    // A QFileDialog takes this file and accepts (the file must exist for an
    // open dialog); any other modal is rejected as missing its file dialog.
    void chooseFile(const QString& path);
    // Hands the modal to `action` (from the event loop), recorded as
    // "call:<what>": for answers no button gives, such as a stand-in dialog
    // accepted once a login has been made.
    void call(const QString& what, std::function<void(QWidget*)> action);

    const QList<ModalRecord>& records() const { return m_records; }
    // Queued responses not used yet.
    int pending() const { return m_responses.size(); }

    // The visible texts of a widget's labels and buttons, in child order.
    static QStringList visibleTexts(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void poll();
    void forget(QObject* handled);

    struct Response
    {
        QString button;
        int key = 0;
        QString file;
        std::function<void(QWidget*)> action;
    };
    QQueue<Response> m_responses;
    QList<ModalRecord> m_records;
    // The modals answered, each until it hides: one answer per showing, even
    // when the same dialog is run again before the next poll, and none for a
    // dialog that is still closing when a prompt it opened has gone.
    QList<QPointer<QWidget>> m_handled;
    QTimer m_timer;
};

} // namespace zavmo::test
