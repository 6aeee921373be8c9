#include "core/appconfig.h"
#include "core/pathlayout.h"
#include "core/stringconstants.h"

#include "deaultdata.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

class AppConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(getSystemSettingPath());
        removeDeaultData();
    }
};

} // namespace

TEST_F(AppConfigTest, FreshInstallationHasTheDefaults)
{
    AppConfig config;
    const QString app = QCoreApplication::applicationDirPath();
    EXPECT_EQ(config.getCloseMode(), 1);
    EXPECT_TRUE(config.getShowCloseTipEnable());
    EXPECT_FALSE(config.getEnvironmentRepairIgnore());
    EXPECT_EQ(config.getZvToolInstallPath(), app + "/tools/ZVTool");
    EXPECT_EQ(config.getZvShowInstallPath(), app + "/tools/ZVShowTool");
    EXPECT_EQ(config.getObsStudioInstallPath(), app + "/tools/obs-studio");
    EXPECT_EQ(config.getObsInstallPath(), "C:/Program Files(x86)/OBS");
    EXPECT_EQ(config.getToolLaunchPath(kObsClassicToolName), "");
    EXPECT_EQ(config.getToolLaunchPath(kObsStudioToolName), "");
    // Loading creates the default tool folders beside the program.
    EXPECT_TRUE(QDir(app + "/tools/ZVShowTool").exists());
}

TEST_F(AppConfigTest, SavedValuesPersistAndObsClassicInstallPathIsNeverWritten)
{
    {
        AppConfig config;
        config.setCloseMode(0);
        config.setShowCloseTipEnable(false);
        config.setEnvironmentRepairIgnore(true);
        config.setToolInstallPath(kZvToolName, "/opt/zv");
        config.setToolInstallPath(kZvShowToolName, "/opt/秀场");
        config.setToolInstallPath(kObsStudioToolName, "/opt/obs-studio");
        config.setToolInstallPath(kObsClassicToolName, "/opt/obs");
        config.setToolLaunchPath(kObsClassicToolName, "/opt/obs/OBS.exe");
        config.setToolLaunchPath(kObsStudioToolName, "/opt/obs-studio/bin/obs64.exe");
        config.setToolLaunchPath(kZvToolName, "/ignored");
        EXPECT_TRUE(config.saveConfig());
    }
    QSettings file(getSystemSettingPath(), QSettings::IniFormat);
    EXPECT_FALSE(file.contains("OBS/installPath"));
    EXPECT_EQ(file.value("Basic/closeMode").toInt(), 0);
    EXPECT_TRUE(file.contains("EnvironmentRepair/ignore"));

    AppConfig reloaded;
    EXPECT_EQ(reloaded.getCloseMode(), 0);
    EXPECT_FALSE(reloaded.getShowCloseTipEnable());
    EXPECT_TRUE(reloaded.getEnvironmentRepairIgnore());
    EXPECT_EQ(reloaded.getToolInstallPath(kZvToolName), "/opt/zv");
    EXPECT_EQ(reloaded.getToolInstallPath(kZvShowToolName), "/opt/秀场");
    EXPECT_EQ(reloaded.getToolInstallPath(kObsStudioToolName), "/opt/obs-studio");
    EXPECT_EQ(reloaded.getToolInstallPath(kObsClassicToolName), "C:/Program Files(x86)/OBS");
    EXPECT_EQ(reloaded.getToolInstallPath("OBS"), "");
    EXPECT_EQ(reloaded.getToolLaunchPath(kObsClassicToolName), "/opt/obs/OBS.exe");
    EXPECT_EQ(reloaded.getToolLaunchPath(kZvToolName), "");
}

TEST_F(AppConfigTest, ObsClassicInstallPathIsReadFromTheFileAndWrongTypesConvert)
{
    {
        QSettings file(getSystemSettingPath(), QSettings::IniFormat);
        file.setValue("OBS/installPath", "/srv/obs");
        file.setValue("Basic/closeMode", "hide");
    }
    AppConfig config;
    EXPECT_EQ(config.getObsInstallPath(), "/srv/obs");
    EXPECT_EQ(config.getCloseMode(), 0);
}

TEST_F(AppConfigTest, FailedSaveIsReported)
{
    AppConfig config;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    // A data folder below a regular file cannot be created.
    qputenv("XDG_DATA_HOME", "/dev/null/data");
    EXPECT_FALSE(config.saveConfig());
    qputenv("XDG_DATA_HOME", saved);
    EXPECT_TRUE(config.saveConfig());
}

TEST_F(AppConfigTest, DeaultDataIsReadOnEveryCall)
{
    EXPECT_EQ(getAppVersion(), "V1.0.0");
    EXPECT_EQ(getAppEnvironment(), 0);
    EXPECT_EQ(getLiveToolDownloadSrcType(), 0);

    ASSERT_TRUE(
        writeDeaultData("[Version]\nversion=V2.3.4\n[AppEnvironment]\nenv=2\n[LiveTool]\nliveToolDownloadSrcType=1\n"));
    EXPECT_EQ(getAppVersion(), "V2.3.4");
    EXPECT_EQ(getAppEnvironment(), 2);
    EXPECT_EQ(getLiveToolDownloadSrcType(), 1);

    ASSERT_TRUE(writeDeaultData("[AppEnvironment]\nenv=1\n"));
    EXPECT_EQ(getAppEnvironment(), 1);
    EXPECT_EQ(getAppVersion(), "V1.0.0");
}
