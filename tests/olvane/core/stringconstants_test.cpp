#include "core/stringconstants.h"

#include <gtest/gtest.h>

#include <QStringList>

TEST(StringConstants, TextsThatAreEasyToGetWrong)
{
    EXPECT_EQ(kObsClassicToolName, "Open Broadcaster Software");
    EXPECT_EQ(kObsStudioToolName, "OBS Studio");
    EXPECT_EQ(kOtherManagerObsPath, "resources\\tools\\OBS\\OBS.exe");
    EXPECT_EQ(kOtherManagerObsPath.count('\\'), 3);
    EXPECT_TRUE(kEnvAbnormalListText.endsWith("忽略 "));
    EXPECT_EQ(kInstallDirMissingText.arg(kZvToolName), "\"Zavmo直播伴侣\"安装目录不存在，请重新设置");
    EXPECT_EQ(kToolRunningText.arg("OBS Studio"), "检测到\"OBS Studio\"正在运行，请关闭后重试");
}

TEST(StringConstants, DescriptionsHaveEightLinesAndTheirOwnEndings)
{
    EXPECT_EQ(kZvToolIntro.split('\n').size(), 8);
    EXPECT_TRUE(kZvToolIntro.endsWith("等多款插件。"));
    EXPECT_TRUE(kZvShowToolIntro.endsWith("歌词。\n    "));
    EXPECT_TRUE(kObsClassicIntro.endsWith("更新。\n   "));
    EXPECT_TRUE(kObsStudioIntro.endsWith("频繁。\n "));
    for (const QString* intro : {&kZvShowToolIntro, &kObsClassicIntro, &kObsStudioIntro})
        EXPECT_EQ(intro->split('\n').size(), 8);
}

TEST(StringConstants, PreviewTable)
{
    EXPECT_EQ(kToolPreviewImages[0][2], ":/Resources/zavmo_classic_3.png");
    EXPECT_TRUE(kToolPreviewImages[1][2].isEmpty());
    EXPECT_EQ(kToolPreviewImages[3][1], ":/Resources/OBS_studio_2.png");
}
