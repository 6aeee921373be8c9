#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "core/crashhandler.h"
#include "crash_harness.h"

namespace {

const std::string kChild = "olvane_crash_child";
const std::string kVersion = "V2.5.1";
const std::string kHost = "crash-archive.test";
const std::string kCaption = "崩溃提示: ";
const std::string kGeneral = "直播伴侣已经崩溃，请重试！\n"
                             "如果多次出现此问题，请加入平台的用户支持群，并向管理员反馈。";

std::string graphicsHint(const std::string& module)
{
    return "程序崩溃在" + module + "中,可能是显卡驱动没更新！\n请更新显卡驱动后重新尝试";
}

std::string encoderHint(const std::string& module)
{
    return "程序崩溃在" + module + "中,可能是显卡驱动没更新！\n请更新显卡驱动后重新尝试或者将编码器设置为软件编码器";
}

std::string tempFile(const std::string& name, const std::string& text)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/olvane-crash-files";
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/" + name;
    std::ofstream(path) << text;
    return path;
}

crashtest::Result crash(std::vector<std::string> args, std::vector<std::string> libraries = {},
                        const std::string& hostsExtra = std::string())
{
    crashtest::Setup setup;
    setup.program = CRASH_CHILD_PATH;
    setup.args = std::move(args);
    setup.extraFiles.push_back(tempFile("deault.data", "[Version]\nversion=" + kVersion + "\n"));
    for (const std::string& lib : libraries) {
        setup.args.push_back(lib);
        setup.extraFiles.push_back(std::string(CHAIN_LIBRARY_DIR) + "/" + lib);
    }
    setup.env.push_back("ZAVMO_HOSTS=" + tempFile("hosts.ini", "[crash_ftp]\nhost=" + kHost + "\n" + hostsExtra));
    return crashtest::run(setup);
}

void expectReported(const crashtest::Result& r, const std::string& port = "3747")
{
    crashtest::expectReported(r, kChild, kVersion, "ftp://" + kHost + "//Olvane//", "crashup_acct:Wq7vLp2sXk9dRm4T",
                              port);
    if (r.dumpNames.empty())
        return;
    const std::string dump = crashtest::readFile(r.appDir + "/" + r.dumpNames[0]);
    EXPECT_EQ(dump.rfind("ZAVMO CRASH DUMP 1\n", 0), 0u);
    EXPECT_NE(dump.find("\nversion: " + kVersion + "\n"), std::string::npos);
}

} // namespace

// ---------------------------------------------------------------- pieces

TEST(OlvaneCrashPieces, DumpFileNameAndReporterCommandLine)
{
    EXPECT_EQ(crashDumpFileName("Olvane", "V1.0.0", QDateTime(QDate(2026, 12, 8), QTime(9, 29, 26))),
              "Olvane_2026-1208-0929-26_V1.0.0.dmp");
    EXPECT_EQ(crashDumpFileName("Olvane", "V1.0.0", QDateTime(QDate(2027, 1, 4), QTime(9, 5, 3))),
              "Olvane_2027-0104-0905-03_V1.0.0.dmp");

    const QString line = crashReporterCommandLine("ftp.example", "/opt/olvane/Olvane_2026-1208-0929-26_V1.0.0.dmp");
    EXPECT_EQ(line, "\"ftp://ftp.example//Olvane//\"   \"/opt/olvane/Olvane_2026-1208-0929-26_V1.0.0.dmp\"    "
                    "\"crashup_acct:Wq7vLp2sXk9dRm4T\"   \"3747\"");

    // Exactly four arguments after the program, the first the FTP folder URL;
    // blanks inside a field stay.
    const QStringList argv = crashReporterArguments("/opt/olvane/Faultmail",
                                                    crashReporterCommandLine("ftp.example", "/home/a b/Olvane_x.dmp"));
    EXPECT_EQ(argv, (QStringList{"/opt/olvane/Faultmail", "ftp://ftp.example//Olvane//", "/home/a b/Olvane_x.dmp",
                                 "crashup_acct:Wq7vLp2sXk9dRm4T", "3747"}));
    EXPECT_TRUE(crashReporterCommandLine("127.0.0.1", "/a.dmp", 2121).endsWith("\"   \"2121\""));
}

TEST(OlvaneCrashPieces, MessageHintsFollowTheCallChain)
{
    const QString general = QString::fromStdString(kCaption + kGeneral);
    // A graphics driver called from a render system: graphics hint naming the driver.
    EXPECT_EQ(crashMessage("nvwgf2umx.dll", {"D3D11RenderSystem.dll", "Olvane"}),
              QString::fromStdString(kCaption + graphicsHint("nvwgf2umx.dll")));
    EXPECT_EQ(crashMessage("drv.so", {"x.so", "d3d10rendersystem.DLL"}),
              QString::fromStdString(kCaption + graphicsHint("drv.so")));
    // Called from the media engine: encoder hint, unless the fault is in x264.
    EXPECT_EQ(crashMessage("amfrt64.dll", {"VEXMEDIAENGINE.dll"}),
              QString::fromStdString(kCaption + encoderHint("amfrt64.dll")));
    EXPECT_EQ(crashMessage("LIBX264-140.DLL", {"vexmediaengine.dll"}), general);
    EXPECT_EQ(crashMessage("libx264-140.dll", {"vexmediaengine.dll", "D3D11RenderSystem.dll"}),
              QString::fromStdString(kCaption + graphicsHint("libx264-140.dll")));
    // A fault inside the listed modules themselves: the general message.
    for (const char* inside : {"D3D10RenderSystem.dll", "d3d11rendersystem.dll", "VexMediaEngine.dll"})
        EXPECT_EQ(crashMessage(inside, {"D3D11RenderSystem.dll", "vexmediaengine.dll"}), general) << inside;
    EXPECT_EQ(crashMessage("Olvane", {"libQt5Core.so.5", "libc.so.6"}), general);
}

// ---------------------------------------------------------------- real crashes

TEST(OlvaneCrash, NullPointerLeavesDumpAndStartsFaultmail)
{
    auto r = crash({"null"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, kCaption + kGeneral + "\n");
}

TEST(OlvaneCrash, ReporterPortComesFromTheHostsFile)
{
    // A test FTP server listens where the hosts file says.
    auto r = crash({"null"}, {}, "port=2121\n");
    expectReported(r, "2121");
}

TEST(OlvaneCrash, FaultWhileOtherThreadsUseTheHeap)
{
    for (int round = 0; round < 3; ++round) {
        auto r = crash({"heap"});
        expectReported(r);
        EXPECT_EQ(r.stderrText, kCaption + kGeneral + "\n");
    }
}

TEST(OlvaneCrash, HintsFromTheModulesOnTheStack)
{
    auto r = crash({"chain"}, {"D3D11RenderSystem.dll", "libgfxdriver.so"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, kCaption + graphicsHint("libgfxdriver.so") + "\n");

    r = crash({"chain"}, {"VexMediaEngine.DLL", "libgfxdriver.so"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, kCaption + encoderHint("libgfxdriver.so") + "\n");

    r = crash({"chain"}, {"VexMediaEngine.DLL", "libx264-140.dll"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, kCaption + kGeneral + "\n");

    r = crash({"chain"}, {"D3D11RenderSystem.dll", "VexMediaEngine.DLL", "libx264-140.dll"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, kCaption + graphicsHint("libx264-140.dll") + "\n");

    // The fault inside a render system itself.
    r = crash({"chain"}, {"D3D11RenderSystem.dll", "d3d10rendersystem.dll"});
    expectReported(r);
    EXPECT_EQ(r.stderrText, kCaption + kGeneral + "\n");
}
