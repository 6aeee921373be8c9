#include "ui/install/zvinstallafteruninstall.h"

#include "logic/zvlivetoolsmanager.h"
#include "ui/install/installdialogs.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"

#include <QDebug>

ZvInstallAfterUninstall::ZvInstallAfterUninstall(UILogicListener* listener, QObject* parent) : QObject(parent)
{
    if (!listener) {
        qWarning().noquote() << "[UI] by kx ZvInstallAfterUninstall {no logic listener: reinstalls cannot follow}";
        return;
    }
    // Queued: a wizard's prompt may run from here.
    connect(listener, &UILogicListener::sglLiveToolUnInstallFinished, this,
            &ZvInstallAfterUninstall::sltLiveToolUnInstallFinished, Qt::QueuedConnection);
}

ZvInstallAfterUninstall* ZvInstallAfterUninstall::forListener(UILogicListener* listener)
{
    if (!listener)
        return nullptr;
    auto* record = listener->findChild<ZvInstallAfterUninstall*>(QString(), Qt::FindDirectChildrenOnly);
    return record ? record : new ZvInstallAfterUninstall(listener, listener);
}

bool ZvInstallAfterUninstall::uninstallThenInstall(const QString& toolName, const QString& installerFile)
{
    ZvLiveToolsManager* manager = installdialogs::toolsManager();
    // Recorded first: the finish is never delivered inside the call, but a
    // record must not depend on that.
    m_installers.insert(toolName, installerFile);
    if (manager && manager->uninstallLiveTool(toolName))
        return true;
    m_installers.remove(toolName);
    return false;
}

QString ZvInstallAfterUninstall::waitingInstaller(const QString& toolName) const
{
    return m_installers.value(toolName);
}

void ZvInstallAfterUninstall::sltLiveToolUnInstallFinished(QString toolName)
{
    if (!m_installers.contains(toolName))
        return;
    const QString installer = m_installers.take(toolName);
    const bool started = installdialogs::startInstall(toolName, installer);
    emit sglInstallAfterUninstall(toolName, started);
}
