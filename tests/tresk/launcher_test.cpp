// The launcher's pieces that the end-to-end runs cannot pin down: the INI
// integers and the two updater command lines, byte for byte.

#include "launcher.h"

#include "zipbuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tresk {
namespace {

TEST(LauncherTest, ReadsIntegersTheWayTheProfileFunctionsDo)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string ini = std::string(tmp && *tmp ? tmp : "/tmp") + "/launcher-int.ini";
    test::writeFile(ini, "[Update]\r\nVERSION= 12abc\r\nneg=-3\r\nword=abc\r\nempty=\r\nbig=99999999999\r\n");
    EXPECT_EQ(readProfileInt(ini, "update", "version", 0), 12);
    EXPECT_EQ(readProfileInt(ini, "update", "neg", 0), -3);
    EXPECT_EQ(readProfileInt(ini, "update", "word", 5), 0);
    EXPECT_EQ(readProfileInt(ini, "update", "empty", 5), 5);
    EXPECT_EQ(readProfileInt(ini, "update", "missing", 5), 5);
    EXPECT_EQ(readProfileInt(ini, "update", "big", 0), 2147483647);
    EXPECT_EQ(readProfileInt(ini + ".none", "update", "version", 4), 4);
    std::filesystem::remove(ini);
}

TEST(LauncherTest, DeleteRefusesNothingAndTheRootHoweverWritten)
{
    for (const char* root : {"", "/", "//", "\\", "/tmp/..", "/./", "/proc/self/root"})
        EXPECT_FALSE(folderMayBeDeleted(root)) << root;
    EXPECT_TRUE(folderMayBeDeleted("/tmp/old version"));
    EXPECT_TRUE(folderMayBeDeleted("relative\\folder"));
}

UpdaterInputs inputs()
{
    UpdaterInputs in;
    in.installFolder = "/opt/Zavmo Tool";
    in.configUrl = "https://cdn.example/pkg/8/ProgramConfig.zdb.zip";
    in.serverIni = "/tmp/SDKUpdate42/version.ini";
    in.processId = 42;
    in.tempFolder = "/tmp/SDKUpdate42";
    in.exePath = "/opt/Zavmo Tool/Tresk";
    in.related = "";
    return in;
}

TEST(LauncherTest, VistaAndLaterPassAParameterTextEndingInAdmin)
{
    const UpdaterStart s = updaterStart(inputs(), 10);
    EXPECT_EQ(s.text, "\"/opt/Zavmo Tool\" \"https://cdn.example/pkg/8/ProgramConfig.zdb.zip\" "
                      "\"/tmp/SDKUpdate42/version.ini\" 42 \"/tmp/SDKUpdate42\" \"/opt/Zavmo Tool/Tresk\" \"\" -Admin");
    EXPECT_EQ(s.program, "/tmp/SDKUpdate42/Update.exe");
    EXPECT_EQ(s.workDir, "/tmp/SDKUpdate42");
    // An empty "related" still takes its place.
    EXPECT_EQ(s.args, (std::vector<std::string>{"/opt/Zavmo Tool", "https://cdn.example/pkg/8/ProgramConfig.zdb.zip",
                                                "/tmp/SDKUpdate42/version.ini", "42", "/tmp/SDKUpdate42",
                                                "/opt/Zavmo Tool/Tresk", "", "-Admin"}));
    EXPECT_EQ(updaterStart(inputs(), 6).program, s.program);
}

TEST(LauncherTest, BeforeVistaTheCommandLineNamesTheUpdaterFirst)
{
    const UpdaterStart s = updaterStart(inputs(), 5);
    EXPECT_EQ(s.text, "\"/tmp/SDKUpdate42/Update.exe\" \"/opt/Zavmo Tool\" "
                      "\"https://cdn.example/pkg/8/ProgramConfig.zdb.zip\" \"/tmp/SDKUpdate42/version.ini\" 42 "
                      "\"/tmp/SDKUpdate42\" \"/opt/Zavmo Tool/Tresk\"");
    EXPECT_EQ(s.program, "/tmp/SDKUpdate42/Update.exe");
    EXPECT_TRUE(s.workDir.empty());
    EXPECT_EQ(s.args.size(), 6u);
    EXPECT_EQ(s.args.back(), "/opt/Zavmo Tool/Tresk");

    // A quote in the folder cannot make another program the updater.
    UpdaterInputs quoted = inputs();
    quoted.tempFolder = "/tmp/a\" \"/bin/sh";
    EXPECT_EQ(updaterStart(quoted, 5).program, quoted.tempFolder + "/Update.exe");
}

} // namespace
} // namespace tresk
