#include "hubworld.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include <QFile>

ZvLiveToolsManager* HubTest::toolsManager()
{
    return ZvLogicFW::instance()->getLiveToolsManager();
}

void HubTest::SetUp()
{
    OlvaneWorld::SetUp();
    ASSERT_NE(toolsManager(), nullptr);
    toolsManager()->setLaunchPath(kObsClassicToolName, QString());
    toolsManager()->setLaunchPath(kObsStudioToolName, QString());
    QFile::remove(getSystemSettingPath());
    config = std::make_unique<AppConfig>();
    link->config = config.get();
}

void HubTest::install(const QString& toolName)
{
    logictest::writeUninstallEntry(toolName, "\"" + dir / toolName + "/uninst.exe\"");
}
