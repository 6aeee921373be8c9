#include "ui/mainwindow/widgets/mainwindowlink.h"

#include "core/appconfig.h"
#include "core/stringconstants.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>

#include <utility>

namespace {

std::function<bool()>& trayFunction()
{
    static std::function<bool()> function;
    return function;
}

std::function<void()>& quitFunction()
{
    static std::function<void()> function;
    return function;
}

} // namespace

MainWindowLink& mainWindowLink()
{
    static MainWindowLink link;
    return link;
}

ScopedMainWindowLink::ScopedMainWindowLink(MainWindowLink link)
    : m_previous(std::exchange(mainWindowLink(), std::move(link)))
{
}

ScopedMainWindowLink::~ScopedMainWindowLink()
{
    mainWindowLink() = std::move(m_previous);
}

bool saveSettings(AppConfig* config, const char* caller)
{
    if (!config)
        return false;
    if (config->saveConfig())
        return true;
    qWarning("[UI] by kx %s {save config failed}", caller);
    return false;
}

void showSettingsSaveFailed()
{
    if (const auto& toast = mainWindowLink().toast)
        toast(kSettingsSaveFailedText);
}

bool systemTrayAvailable()
{
    return trayFunction() ? trayFunction()() : QSystemTrayIcon::isSystemTrayAvailable();
}

void setSystemTrayAvailableFunction(std::function<bool()> available)
{
    trayFunction() = std::move(available);
}

void hideToTray(QWidget* window)
{
    if (!window)
        return;
    if (systemTrayAvailable())
        window->hide();
    else
        window->showMinimized();
}

void quitApplication()
{
    if (quitFunction())
        quitFunction()();
    else
        QCoreApplication::quit();
}

void setQuitFunction(std::function<void()> quit)
{
    quitFunction() = std::move(quit);
}
