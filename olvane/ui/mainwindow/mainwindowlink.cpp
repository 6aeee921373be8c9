#include "ui/mainwindow/mainwindowlink.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>

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
