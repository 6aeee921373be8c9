#pragma once
// SIGTERM and SIGHUP (a logout, a shutdown, a kill) end the program the way
// its own quit does: through the event loop, so that the main window's
// destructor saves the settings. The handler only writes the signal's number
// into a pipe; a socket notifier reads it on the GUI thread and calls the
// quit function there.
//
// One object at a time; while it lives it owns both signals' handlers, and
// its destruction gives them back their default action.

#include <QObject>

#include <functional>

class QSocketNotifier;

class QuitSignals : public QObject
{
    Q_OBJECT

public:
    // Without the pipe (logged) the signals keep their default action.
    explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    void readSignal();

    std::function<void()> m_quit;
    QSocketNotifier* m_notifier = nullptr;
};
