#pragma once
// The single-instance application object: a QApplication that knows whether
// another copy with the same identifier runs for this user, can send that
// copy a message, and brings an activation window forward when a message
// arrives (QtLocalPeer does the work).

#include <QApplication>
#include <QPointer>
#include <QWidget>

class QtLocalPeer;

class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    QtSingleApplication(const QString& appId, int& argc, char** argv);
    ~QtSingleApplication() override;

    // True when another copy holds the identifier.
    bool isRunning() const;
    QString id() const;

    // With activateOnMessage, every message received shows, restores, raises
    // and activates the window.
    void setActivationWindow(QWidget* window, bool activateOnMessage = true);
    QWidget* activationWindow() const { return m_window; }

public slots:
    // To the first copy, waiting at most timeoutMs; true when delivered.
    bool sendMessage(const QString& message, int timeoutMs = 5000);
    void activateWindow();

signals:
    void messageReceived(const QString& message);

private:
    QtLocalPeer* m_peer;
    QPointer<QWidget> m_window;
};
