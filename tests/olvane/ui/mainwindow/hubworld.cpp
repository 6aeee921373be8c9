#include "hubworld.h"

#include "core/deployment.h"
#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "simulator.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"

#include <QFile>

namespace {

std::unique_ptr<zavmo::test::Simulator> g_sim;

class HubWorld : public ::testing::Environment
{
public:
    void TearDown() override
    {
        ZvLogicFW::shutdownInstance();
        g_sim.reset();
    }
};

} // namespace

void HubTest::SetUpTestSuite()
{
    if (g_sim)
        return;
    ::testing::AddGlobalTestEnvironment(new HubWorld);
    g_sim = std::make_unique<zavmo::test::Simulator>();
    g_sim->setEnvironment();
    ASSERT_TRUE(deployment::installTrustedCertificates());
    ASSERT_TRUE(ZvLogicFW::instance()->initialize(0));
}

ZvLiveToolsManager* HubTest::toolsManager()
{
    return ZvLogicFW::instance()->getLiveToolsManager();
}

void HubTest::SetUp()
{
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
