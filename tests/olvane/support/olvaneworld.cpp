#include "olvaneworld.h"

#include "core/appconfig.h"
#include "core/deployment.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"

#include <QByteArray>

#include <memory>

namespace {

std::unique_ptr<zavmo::test::Simulator> g_sim;
bool g_hub = false;
std::unique_ptr<UILogicListener> g_listener;
std::unique_ptr<AppConfig> g_config;

// Ends what was started, after the last test: the hub before the listener
// and settings it uses, the simulator last.
class WorldEnd : public ::testing::Environment
{
public:
    void TearDown() override
    {
        if (g_hub)
            ZvLogicFW::shutdownInstance();
        g_hub = false;
        g_listener.reset();
        g_config.reset();
        OlvaneWorld::sim = nullptr;
        g_sim.reset();
    }
};

} // namespace

void OlvaneWorld::startSimulator()
{
    if (g_sim)
        return;
    ::testing::AddGlobalTestEnvironment(new WorldEnd);
    g_sim = std::make_unique<zavmo::test::Simulator>();
    sim = g_sim.get();
    g_sim->setEnvironment();
    ASSERT_TRUE(deployment::installTrustedCertificates());
}

ZvLogicFW* OlvaneWorld::startHub()
{
    startSimulator();
    ZvLogicFW* hub = ZvLogicFW::instance();
    if (!g_hub) {
        g_hub = true;
        EXPECT_TRUE(hub->initialize(0));
    }
    return hub;
}

UILogicListener* OlvaneWorld::startListener()
{
    ZvLogicFW* hub = startHub();
    if (!g_listener) {
        g_listener = std::make_unique<UILogicListener>();
        hub->setLogicListener(g_listener.get());
    }
    return g_listener.get();
}

AppConfig* OlvaneWorld::sharedConfig()
{
    if (!g_config)
        g_config = std::make_unique<AppConfig>();
    return g_config.get();
}

void OlvaneWorld::setProcessFolder(const char* folder)
{
    qputenv("ZAVMO_PROC_ROOT", QByteArray(folder));
}
