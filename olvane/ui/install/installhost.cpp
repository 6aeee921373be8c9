#include "ui/install/installhost.h"

#include "ui/mainwindow/uilogiclistener.h"

#include <QPointer>

namespace {

QPointer<UILogicListener> g_listener;
AppConfig* g_config = nullptr;

} // namespace

void setInstallHost(UILogicListener* listener, AppConfig* config)
{
    g_listener = listener;
    g_config = config;
}

UILogicListener* installLogicListener()
{
    return g_listener.data();
}

AppConfig* installConfig()
{
    return g_config;
}
