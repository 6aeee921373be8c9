// The tools manager before init: no monitor, so every query and action
// reports why and gives nothing. And the install progress of a task.

#include "logic_support.h"

#include "core/stringconstants.h"
#include "logic/zvlivetoolsmanager.h"

#include <gtest/gtest.h>

using namespace logictest;

namespace {

TEST(LiveToolTaskProgress, AnInstallerHungForHoursStaysAtAHundred)
{
    LiveToolTask task;
    task.expectedMs = 15000;
    task.elapsedMs = 7500;
    EXPECT_EQ(task.installPercent(), 50);
    task.elapsedMs = 6LL * 3600 * 1000;
    EXPECT_EQ(task.installPercent(), 100);
}

TEST(ToolsManagerWithoutMonitor, EachOperationLogsAndGivesNothing)
{
    ZvLiveToolsManager manager;
    LogCapture log;
    const QString prefix = "[Logic] by kx ZvLiveToolsManager::";
    const QString reason = " {ZvAppStatusMonitor is NULL}";

    EXPECT_EQ(manager.getAppStatus(kObsStudioToolName), 0);
    EXPECT_TRUE(log.contains(prefix + "getAppStatus" + reason));
    EXPECT_EQ(manager.getAppInstallStatus(kObsStudioToolName), 0);
    EXPECT_TRUE(log.contains(prefix + "getAppInstallStatus" + reason));
    EXPECT_FALSE(manager.launchApplication(kObsStudioToolName));
    EXPECT_TRUE(log.contains(prefix + "launchApplication" + reason));
    EXPECT_FALSE(manager.killAppProcess(kObsStudioToolName));
    EXPECT_TRUE(log.contains(prefix + "killAppProcess" + reason));
    EXPECT_FALSE(manager.uninstallLiveTool(kObsStudioToolName));
    EXPECT_TRUE(log.contains(prefix + "uninstallLiveTool" + reason));
    EXPECT_EQ(manager.getLaunchPath(kObsStudioToolName), "");
    EXPECT_FALSE(manager.knowsInstallState(kObsStudioToolName));
    EXPECT_TRUE(log.contains(prefix + "getLaunchPath" + reason));

    // Tasks need no monitor; without a network manager nothing is asked.
    EXPECT_EQ(manager.getInstallProgress(kObsStudioToolName), -1);
    EXPECT_FALSE(manager.isUnInstalling(kObsStudioToolName));
    EXPECT_EQ(manager.getDownloadUrl("unknown"), "");
}

} // namespace
