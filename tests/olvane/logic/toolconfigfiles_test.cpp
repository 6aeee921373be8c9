#include "core/pathlayout.h"
#include "logic/toolconfigfiles.h"

#include <gtest/gtest.h>

#include "logictest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using logictest::bytesOf;
using logictest::put;

// Shaped like the files OBS Studio 29 (Debian's package) writes on first run
// in a Chinese locale, where the default profile is "未命名".
const QByteArray kStudioGlobal =
    "[General]\n"
    "Pre19Defaults=false\n"
    "Pre21Defaults=false\n"
    "Pre23Defaults=false\n"
    "Pre24.1Defaults=false\n"
    "MaxLogs=10\n"
    "InfoIncrement=-1\n"
    "ProcessPriority=Normal\n"
    "EnableAutoUpdates=true\n"
    "BrowserHWAccel=true\n"
    "FirstRun=true\n"
    "LastVersion=486539266\n"
    "Language=zh-CN\n"
    "\n"
    "[Video]\n"
    "Renderer=OpenGL\n"
    "\n"
    "[BasicWindow]\n"
    "geometry=AdnQywADAAAAAAAAAAAAAAAAB38AAAQ3AAAAAAAAABQAAAd/AAAENwAAAAACAAAAB4A=\n"
    "DockState=AAAA/wAAAAD9AAAAAQAAAAMAAAeAAAAA2fwBAAAABfsAAAAUAHMAYwBlAG4AZQBzAEQAbwBjAGsBAAA=\n"
    "\n"
    "[Basic]\n"
    "Profile=未命名\n"
    "ProfileDir=未命名\n"
    "SceneCollection=未命名\n"
    "SceneCollectionFile=未命名\n"
    "ConfigOnNewProfile=true\n";

const QByteArray kStudioBasic = "[General]\n"
                                "Name=未命名\n"
                                "\n"
                                "[Video]\n"
                                "BaseCX=1920\n"
                                "BaseCY=1080\n"
                                "OutputCX=1280\n"
                                "OutputCY=720\n"
                                "\n"
                                "[Panels]\n"
                                "CookieId=5A1C9E0F3B7D2864\n"
                                "\n"
                                "[Output]\n"
                                "Mode=Simple\n"
                                "\n"
                                "[SimpleOutput]\n"
                                "FilePath=/home/主播/视频\n"
                                "RecFormat2=mkv\n"
                                "VBitrate=2500\n"
                                "ABitrate=160\n"
                                "RecQuality=Stream\n"
                                "StreamEncoder=x264\n"
                                "RecEncoder=x264\n";

const QByteArray kStudioService = "{\n"
                                  "    \"settings\": {\n"
                                  "        \"bwtest\": false,\n"
                                  "        \"key\": \"live_123_abc\",\n"
                                  "        \"server\": \"auto\",\n"
                                  "        \"service\": \"Twitch\"\n"
                                  "    },\n"
                                  "    \"type\": \"rtmp_common\"\n"
                                  "}";

QString roaming(const QString& relative)
{
    return getRoamingAppDataRoot() + relative;
}

QString local(const QString& relative)
{
    return getLocalAppDataRoot() + relative;
}

int modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QJsonObject jsonOf(const QString& path)
{
    return QJsonDocument::fromJson(bytesOf(path)).object();
}

const QString kStudioProfile = QStringLiteral("obs-studio/basic/profiles/未命名/");

class ToolConfigFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(getRoamingAppDataRoot()).removeRecursively();
        QDir(getLocalAppDataRoot()).removeRecursively();
    }

    void putStudio()
    {
        put(roaming("obs-studio/global.ini"), kStudioGlobal);
        put(roaming(kStudioProfile + "basic.ini"), kStudioBasic);
        put(roaming(kStudioProfile + "service.json"), kStudioService);
    }

    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
};

} // namespace

TEST_F(ToolConfigFiles, RootsAreWhereOtherProgramsKeepTheirFolders)
{
    EXPECT_EQ(getRoamingAppDataRoot(), qEnvironmentVariable("XDG_CONFIG_HOME") + "/");
    EXPECT_EQ(getLocalAppDataRoot(), qEnvironmentVariable("XDG_DATA_HOME") + "/");
}

TEST_F(ToolConfigFiles, ObsStudioProfileIsReadAndOnlyTheServiceChanges)
{
    putStudio();
    EXPECT_EQ(getObsStudioRecordPath(), "/home/主播/视频");
    QString server = "stale", key = "stale";
    getObsStudioPushInfo(server, key);
    EXPECT_EQ(server, "auto");
    EXPECT_EQ(key, "live_123_abc");

    ASSERT_TRUE(setObsStudioPushInfo("rtmp://127.0.0.1/live", "zv_key&1"));
    const QByteArray written = bytesOf(roaming(kStudioProfile + "service.json"));
    EXPECT_TRUE(written.contains("\r\n"));
    EXPECT_FALSE(written.contains("\r\r"));
    const QJsonObject root = jsonOf(roaming(kStudioProfile + "service.json"));
    EXPECT_EQ(root.keys(), QStringList({"settings", "type"}));
    EXPECT_EQ(root.value("type").toString(), "rtmp_custom");
    const QJsonObject settings = root.value("settings").toObject();
    EXPECT_EQ(settings.keys(), QStringList({"bwtest", "key", "server", "service"}));
    EXPECT_EQ(settings.value("server").toString(), "rtmp://127.0.0.1/live");
    EXPECT_EQ(settings.value("key").toString(), "zv_key&1");
    EXPECT_EQ(settings.value("service").toString(), "Twitch");
    EXPECT_EQ(settings.value("bwtest"), QJsonValue(false));

    getObsStudioPushInfo(server, key);
    EXPECT_EQ(server, "rtmp://127.0.0.1/live");
    EXPECT_EQ(key, "zv_key&1");
    EXPECT_EQ(bytesOf(roaming("obs-studio/global.ini")), kStudioGlobal);
    EXPECT_EQ(bytesOf(roaming(kStudioProfile + "basic.ini")), kStudioBasic);
}

TEST_F(ToolConfigFiles, ObsStudioWithoutFilesGetsAMinimalService)
{
    EXPECT_EQ(getObsStudioRecordPath(), videos);
    QString server = "x", key = "y";
    getObsStudioPushInfo(server, key);
    EXPECT_TRUE(server.isEmpty() && key.isEmpty());

    // A global.ini that cannot be made: no service.json either.
    const QString blocked = roaming("obs-studio/global.ini.tmp.") + QString::number(::getpid());
    ASSERT_TRUE(QDir().mkpath(blocked));
    EXPECT_FALSE(setObsStudioPushInfo("rtmp://s", "k"));
    EXPECT_FALSE(QFileInfo::exists(roaming(kStudioProfile + "service.json")));
    ASSERT_TRUE(QDir().rmdir(blocked));

    ASSERT_TRUE(setObsStudioPushInfo("rtmp://s", "k"));
    const QJsonObject root = jsonOf(roaming(kStudioProfile + "service.json"));
    EXPECT_EQ(root, QJsonObject(
                        {{"settings", QJsonObject({{"key", "k"}, {"server", "rtmp://s"}})}, {"type", "rtmp_custom"}}));
    // A fresh OBS takes the profile written into; both files hold private data.
    EXPECT_EQ(bytesOf(roaming("obs-studio/global.ini")), "[Basic]\nProfile=未命名\nProfileDir=未命名\n");
    EXPECT_EQ(modeOf(roaming("obs-studio/global.ini")), 0600);
    EXPECT_EQ(modeOf(roaming(kStudioProfile + "service.json")), 0600);
}

TEST_F(ToolConfigFiles, ObsStudioWindowsShapedFilesAndFallbacks)
{
    // BOM, CR LF, a backslash path and another profile folder.
    put(roaming("obs-studio/global.ini"), "\xEF\xBB\xBF[General]\r\nFirstRun=true\r\n\r\n[Basic]\r\nProfile=直播\r\n"
                                          "ProfileDir=直播\r\n");
    put(roaming("obs-studio/basic/profiles/直播/basic.ini"),
        "\xEF\xBB\xBF[SimpleOutput]\r\nFilePath=C:\\Users\\a\\Videos\r\n");
    EXPECT_EQ(getObsStudioRecordPath(), "C:/Users/a/Videos");

    put(roaming("obs-studio/basic/profiles/直播/basic.ini"), "[SimpleOutput]\r\nFilePath=\r\n");
    EXPECT_EQ(getObsStudioRecordPath(), videos);
}

TEST_F(ToolConfigFiles, ObsStudioServiceThatCannotBeRewrittenFaithfullyIsLeftAlone)
{
    putStudio();
    const QString path = roaming(kStudioProfile + "service.json");
    const QList<QByteArray> refused = {
        "{\"settings\": {\"key\": \"a\"", // cut short
        "[1, 2]",
        "{\"settings\": {}, \"id\": 9007199254740993}",
        "{\"settings\": {}, \"id\": 12345678901234567}",
        "{\"settings\": {}, \"ids\": [-12345678901234567890]}",
    };
    for (const QByteArray& content : refused) {
        put(path, content);
        EXPECT_FALSE(setObsStudioPushInfo("rtmp://s", "k")) << content.constData();
        EXPECT_EQ(bytesOf(path), content);
    }
    // Exact doubles and 2^53 itself survive.
    put(path, "{\"n\": 9007199254740992, \"f\": 1.5e300, \"s\": \"99999999999999999999\"}");
    ASSERT_TRUE(setObsStudioPushInfo("rtmp://s", "k"));
    EXPECT_TRUE(bytesOf(path).contains("9007199254740992"));
    EXPECT_EQ(jsonOf(path).value("s").toString(), "99999999999999999999");
    // An empty file holds nothing to lose.
    put(path, "");
    EXPECT_TRUE(setObsStudioPushInfo("rtmp://s", "k"));

    // A folder where the file should be, and a profile name that leaves the
    // profiles folder.
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));
    EXPECT_FALSE(setObsStudioPushInfo("rtmp://s", "k"));
    put(roaming("obs-studio/global.ini"), "[Basic]\nProfileDir=../../escape\n");
    EXPECT_FALSE(setObsStudioPushInfo("rtmp://s", "k"));
    EXPECT_FALSE(QFileInfo::exists(roaming("obs-studio/escape")));
}

TEST_F(ToolConfigFiles, ObsClassicNewProfileStartsWithBomAndTheThreeKeys)
{
    EXPECT_EQ(getObsClassicRecordPath(), videos);
    // What a killed write left: a temporary holding a key.
    put(roaming("OBS/profiles/Untitled.ini.tmp.99999"), "[Publish]\r\nPlayPath=old key\r\n");
    ASSERT_TRUE(setObsClassicPushInfo("rtmp://127.0.0.1/live", "流名称"));
    EXPECT_EQ(bytesOf(roaming("OBS/profiles/Untitled.ini")),
              "\xEF\xBB\xBF[Publish]\r\nMode=0\r\nURL=rtmp://127.0.0.1/live\r\nPlayPath=流名称\r\n");
    EXPECT_EQ(modeOf(roaming("OBS/profiles/Untitled.ini")), 0600);
    EXPECT_EQ(QDir(roaming("OBS/profiles")).entryList(QDir::Files), QStringList{"Untitled.ini"});
    QString url, playPath;
    getObsClassicPushInfo(url, playPath);
    EXPECT_EQ(url, "rtmp://127.0.0.1/live");
    EXPECT_EQ(playPath, "流名称");
}

TEST_F(ToolConfigFiles, ObsClassicExistingProfileKeepsItsOtherLines)
{
    put(roaming("OBS/global.ini"), "\xEF\xBB\xBF[General]\r\nLanguage=zh\r\nProfile=主播档案\r\n");
    const QByteArray profile = "\xEF\xBB\xBF[Audio]\r\nDevice=Default\r\n\r\n[Publish]\r\nMode=1\r\n"
                               "Service=5\r\nURL=rtmp://old\r\nLastSaveDir=D:\\录像\r\n\r\n[Video]\r\nFPS=30\r\n";
    put(roaming("OBS/profiles/主播档案.ini"), profile);
    put(roaming("OBS/profiles/Untitled.ini"), "[Publish]\r\nLastSaveDir=C:\\Users\\a\\Videos\\\r\n");

    // A pasted value must not add keys or sections.
    ASSERT_TRUE(setObsClassicPushInfo("rtmp://new\r\nService=0", "key\n[Video]"));
    EXPECT_EQ(bytesOf(roaming("OBS/profiles/主播档案.ini")),
              "\xEF\xBB\xBF[Audio]\r\nDevice=Default\r\n\r\n[Publish]\r\nMode=0\r\nService=5\r\n"
              "URL=rtmp://newService=0\r\nLastSaveDir=D:\\录像\r\nPlayPath=key[Video]\r\n\r\n[Video]\r\nFPS=30\r\n");
    QString url, playPath;
    getObsClassicPushInfo(url, playPath);
    EXPECT_EQ(url, "rtmp://newService=0");
    EXPECT_EQ(playPath, "key[Video]");
    // The record folder always comes from "Untitled".
    EXPECT_EQ(getObsClassicRecordPath(), "C:/Users/a/Videos/");
}

TEST_F(ToolConfigFiles, ObsClassicUnreadableFilesAreNotGuessedAround)
{
    // A global.ini that exists but cannot be read must not send the address
    // into "Untitled" instead of the profile OBS uses.
    ASSERT_TRUE(QDir().mkpath(roaming("OBS/global.ini")));
    EXPECT_FALSE(setObsClassicPushInfo("rtmp://s", "k"));
    EXPECT_FALSE(QFileInfo::exists(roaming("OBS/profiles/Untitled.ini")));
    ASSERT_TRUE(QDir(roaming("OBS/global.ini")).removeRecursively());

    put(roaming("OBS/global.ini"), "[General]\r\nProfile=..\\..\\x\r\n");
    EXPECT_FALSE(setObsClassicPushInfo("rtmp://s", "k"));

    // Profiles folder blocked by a file: creation fails and is reported.
    QDir(roaming("OBS")).removeRecursively();
    put(roaming("OBS/profiles"), "not a folder");
    EXPECT_FALSE(setObsClassicPushInfo("rtmp://s", "k"));
}

TEST_F(ToolConfigFiles, ZvToolAndZvShowSettings)
{
    EXPECT_EQ(getZVToolRecordPath(), "");
    EXPECT_EQ(getZVShowRecordPath(), "");
    EXPECT_FALSE(setZVToolNumberSetting("guide.live.type", 9));
    EXPECT_FALSE(QFileInfo::exists(local("ZVTool/SystemSetting")));

    const QString zv = local("ZVTool/SystemSetting");
    put(zv, "{\"other.video.file.path\": \"D:\\\\录像\\\\zv\", \"guide.live.type\": 3, \"other\": {\"a\": [1, true]}}");
    EXPECT_EQ(getZVToolRecordPath(), "D:/录像/zv");
    ASSERT_TRUE(setZVToolNumberSetting("guide.live.type", 9));
    const QJsonObject root = jsonOf(zv);
    EXPECT_EQ(root.value("guide.live.type").toInt(), 9);
    EXPECT_EQ(root.value("other.video.file.path").toString(), "D:\\录像\\zv");
    EXPECT_EQ(root.value("other").toObject().value("a").toArray().size(), 2);

    const QByteArray asText = "{\"guide.live.type\": \"3\"}";
    put(zv, asText);
    EXPECT_FALSE(setZVToolNumberSetting("guide.live.type", 9));
    EXPECT_FALSE(setZVToolNumberSetting("absent", 9));
    EXPECT_EQ(bytesOf(zv), asText);

    // Written by a Windows program: a byte-order mark and CR LF.
    put(zv, "\xEF\xBB\xBF{\r\n\"other.video.file.path\": \"D:\\\\zv\",\r\n\"guide.live.type\": 3\r\n}\r\n");
    EXPECT_EQ(getZVToolRecordPath(), "D:/zv");
    ASSERT_TRUE(setZVToolNumberSetting("guide.live.type", 9));
    EXPECT_EQ(jsonOf(zv).value("guide.live.type").toInt(), 9);

    put(local("ZavmoShow/SysConfig.config"), "{\"sys\": {\"sys_record_path\": \"E:\\\\show\\\\rec\"}}");
    EXPECT_EQ(getZVShowRecordPath(), "E:/show/rec");
    put(local("ZavmoShow/SysConfig.config"), "{\"sys\": {\"sys_record_path\": 5}}");
    EXPECT_EQ(getZVShowRecordPath(), "");
}

TEST_F(ToolConfigFiles, TextFiles)
{
    const QString path = local("t.json");
    EXPECT_EQ(readTextFile(path), "{}");
    put(path, "");
    EXPECT_EQ(readTextFile(path), "");
    ASSERT_TRUE(writeTextFile(path, "{\n  \"名\": 1\n}\n"));
    EXPECT_EQ(bytesOf(path), "{\r\n  \"名\": 1\r\n}\r\n");
    EXPECT_FALSE(writeTextFile(local("missing/folder/t.json"), "{}"));
}
