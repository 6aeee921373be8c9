#include "core/pathlayout.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

TEST(PathLayout, SeparatorRules)
{
    EXPECT_EQ(pathlayout::withTrailingSeparator("/tmp"), "/tmp/");
    EXPECT_EQ(pathlayout::withTrailingSeparator("/tmp/"), "/tmp/");
    EXPECT_EQ(pathlayout::withTrailingSeparator("C:\\Temp\\"), "C:\\Temp\\");

    EXPECT_EQ(pathlayout::parentRootOf("/home/u/.local/share/Olvane"), "/home/u/.local/share/");
    EXPECT_EQ(pathlayout::parentRootOf("C:\\Users\\u\\AppData\\Local\\Olvane"), "C:\\Users\\u\\AppData\\Local\\");
    EXPECT_EQ(pathlayout::parentRootOf("Olvane"), "Olvane/");
}

TEST(PathLayout, TextsKeepTheirDoubledSeparators)
{
    const QString temp = QDir::tempPath();
    ASSERT_FALSE(temp.endsWith('/'));
    EXPECT_EQ(getTempAppDir(), temp + "/Olvane/");
    EXPECT_EQ(getTempDataDir(), temp + "/Olvane//data/");
    EXPECT_EQ(getDownloadDir(), temp + "/Olvane//data//download");
    EXPECT_EQ(getRepairDir(), temp + "/Olvane//data//repair");
    EXPECT_EQ(getImageDir(), temp + "/Olvane//data//image");
    EXPECT_TRUE(QDir(getImageDir()).exists());

    const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/" + QCoreApplication::applicationName();
    EXPECT_EQ(getDataLocationDir(), data + "/");
    EXPECT_EQ(getSystemSettingPath(), data + "//systemSetting");
    EXPECT_EQ(getUserInfoPath(), data + "//userInfo");
    EXPECT_EQ(getLocalAppDataRoot(), qEnvironmentVariable("XDG_DATA_HOME") + "/");
    EXPECT_EQ(getRoamingAppDataRoot(), qEnvironmentVariable("XDG_CONFIG_HOME") + "/");

    const QString app = QCoreApplication::applicationDirPath();
    EXPECT_EQ(getDeaultDataPath(), app + "/deault.data");
    EXPECT_EQ(getLiveCodeModuleExePath(), app + "/module/LiveCodeModule/LiveCodeModule.exe");
    EXPECT_FALSE(QDir(getLiveCodeModuleDir()).exists());
    EXPECT_EQ(getModuleDir(), app + "/module");
    EXPECT_TRUE(QDir(app + "/module").exists());
}

TEST(PathLayout, DeletedTemporaryFolderIsCreatedAgain)
{
    ASSERT_TRUE(QDir(getDownloadDir()).exists());
    ASSERT_TRUE(QDir(QDir::tempPath() + "/Olvane").removeRecursively());
    EXPECT_TRUE(QDir(getRepairDir()).exists());
}
