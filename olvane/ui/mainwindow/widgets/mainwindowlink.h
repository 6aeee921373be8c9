#pragma once
// What the window chrome (title bar, quit prompt) and the install, repair
// and settings dialogs take from the main window: the window itself (parent
// of their dialogs, the one that closes), its settings object, its logic
// listener, its part in the settings dialog and its toast. The main window
// fills these in as it makes them; until then, and for the chrome on its
// own in tests, they are null. GUI thread only; nothing here is owned.
//
// Also the two ways out of sight that every closing path shares: hiding to
// the tray, and quitting the program.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class AppConfig;
class UILogicListener;

// What the settings dialog needs of the main window besides its settings
// object. Without it the current tool is "" and a picked path stays in the
// settings alone.
class SettingsDialogHost
{
public:
    // The live tool selected on the main window.
    virtual QString getCurrentToolName() const = 0;
    // A newly picked launch path for a tool, to hand to the tools manager.
    virtual void updateToolPath(QString tool, QString path) = 0;

protected:
    ~SettingsDialogHost() = default;
};

struct MainWindowLink
{
    QPointer<QWidget> window;
    AppConfig* config = nullptr;
    UILogicListener* listener = nullptr;
    SettingsDialogHost* settingsHost = nullptr;
    // Shows a message in the main window's toast.
    std::function<void(const QString&)> toast;
};

MainWindowLink& mainWindowLink();

// Sets the link for a scope and puts back the one before at its end: a test
// links only what the window under test takes.
class ScopedMainWindowLink
{
public:
    explicit ScopedMainWindowLink(MainWindowLink link = {});
    ~ScopedMainWindowLink();
    ScopedMainWindowLink(const ScopedMainWindowLink&) = delete;
    ScopedMainWindowLink& operator=(const ScopedMainWindowLink&) = delete;

    MainWindowLink* operator->() const { return &mainWindowLink(); }

private:
    MainWindowLink m_previous;
};

// Saves the settings right after the user changed them; a failure is logged
// under the caller's name. False when they were not written (the change
// stays in effect for this run).
bool saveSettings(AppConfig* config, const char* caller);
// Tells the user, in the main window's toast, that a save they asked for
// failed.
void showSettingsSaveFailed();

// Whether the desktop shows tray icons (QSystemTrayIcon), unless a test has
// said otherwise; an empty function restores the real answer.
bool systemTrayAvailable();
void setSystemTrayAvailableFunction(std::function<bool()> available);

// Hides the window to the tray; without a tray it would be unreachable, so
// it is minimised instead.
void hideToTray(QWidget* window);

// Ends the application's event loop: QCoreApplication::quit, or what a test
// put in its place (an empty function restores the real one). Every quit of
// the program goes through here.
void quitApplication();
void setQuitFunction(std::function<void()> quit);
