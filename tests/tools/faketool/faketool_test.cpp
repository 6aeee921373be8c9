// The fake tool program, run under the managed programs' names.

#include "faketools.h"

#include "platform/registry.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;
using platform::registry::Root;
using zavmo::test::FakeTools;

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Starts program with args; its pid, or -1.
pid_t spawn(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Waits for a started program (bounded); its exit status, or -1.
int finish(pid_t pid)
{
    if (pid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs program with args and waits for it (bounded); the exit status, or -1.
int run(const std::string& program, const std::vector<std::string>& args)
{
    return finish(spawn(program, args));
}

std::string value(const std::string& key, const std::string& name)
{
    std::string out = "<missing>";
    platform::registry::readString(Root::LocalMachine, key, name, out);
    return out;
}

class FakeToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = fs::path(std::getenv("ZAVMO_TEST_ROOT") ? std::getenv("ZAVMO_TEST_ROOT") : "/tmp") /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(base);
        windows = base / "windows";
        setenv("ZAVMO_FAKE_TOOL_DELAY_MS", "50", 1);
        setenv("ZAVMO_FAKE_TOOL_MAX_MS", "20000", 1);
    }
    void TearDown() override
    {
        fake.killAll();
        unsetenv("ZAVMO_WINDOWS_ROOT");
        std::error_code ec;
        fs::remove_all(base, ec);
    }

    FakeTools fake;
    fs::path base;
    fs::path windows;
};

TEST_F(FakeToolTest, InstallerTakesTheRestOfItsCommandLineAsADriveFolderAndUninstallerUndoesIt)
{
    setenv("ZAVMO_WINDOWS_ROOT", windows.c_str(), 1);
    const std::string installer = FakeTools::place((base / "download").string(), "OBS_Studio_installer.exe");
    // "/D=C:\Program Files (x86)\obs studio" split by the command-line rules.
    ASSERT_EQ(run(installer, {"/S", "/D=C:\\Program", "Files", "(x86)\\obs", "studio"}), 0);

    const fs::path folder = windows / "C/Program Files (x86)/obs studio";
    EXPECT_TRUE(fs::exists(folder / "bin/32bit/obs32.exe"));
    EXPECT_TRUE(fs::exists(folder / "bin/64bit/obs64.exe"));
    ASSERT_TRUE(fs::exists(folder / "Un_A.exe"));
    EXPECT_EQ(value(kUninstall + "OBS Studio", "UninstallString"), "\"" + (folder / "Un_A.exe").string() + "\"");

    ASSERT_EQ(run((folder / "Un_A.exe").string(), {"/S"}), 0);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(platform::registry::keyExists(Root::LocalMachine, kUninstall + "OBS Studio"));

    const auto starts = fake.starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].name, "OBS_Studio_installer.exe");
    EXPECT_EQ(starts[0].args.size(), 5u);
    EXPECT_EQ(starts[1].name, "Un_A.exe");
}

TEST_F(FakeToolTest, InstallerRefusesADriveFolderWithoutARoot)
{
    const std::string installer = FakeTools::place((base / "download").string(), "OBS_installer.exe");
    const fs::path cwd = fs::current_path();
    fs::current_path(base);
    const int status = run(installer, {"/S", "/D=C:\\OBS"});
    fs::current_path(cwd);
    EXPECT_EQ(status, 1);
    for (const auto& entry : fs::directory_iterator(base))
        EXPECT_EQ(entry.path().filename(), "download");
    EXPECT_FALSE(platform::registry::keyExists(Root::LocalMachine, kUninstall + "Open Broadcaster Software"));

    // A Linux folder needs no root.
    ASSERT_EQ(run(installer, {"/S", "/D=" + (base / "OBS").string()}), 0);
    EXPECT_TRUE(fs::exists(base / "OBS/OBS.exe"));
    EXPECT_EQ(run(FakeTools::place(base.string(), "Unknown.exe"), {}), 2);
}

TEST_F(FakeToolTest, AnUninstallerSharedByTwoToolsRemovesOnlyTheToolThatNamesIt)
{
    // OBS classic and ZVTool both uninstall through an "Au_.exe".
    ASSERT_EQ(run(FakeTools::place((base / "download").string(), "OBS_installer.exe"),
                  {"/S", "/D=" + (base / "OBS").string()}),
              0);
    ASSERT_EQ(run(FakeTools::place((base / "download").string(), "ZVTool_installer.exe"),
                  {"/S", "/D=" + (base / "ZVTool").string()}),
              0);
    const std::string zvToolKey = kUninstall + "Zavmo\xE7\x9B\xB4\xE6\x92\xAD\xE4\xBC\xB4\xE4\xBE\xA3";
    ASSERT_EQ(value(zvToolKey, "UninstallString"), "\"" + (base / "ZVTool/Au_.exe").string() + "\"");

    ASSERT_EQ(run((base / "ZVTool/Au_.exe").string(), {"/S"}), 0);
    EXPECT_FALSE(fs::exists(base / "ZVTool"));
    EXPECT_FALSE(platform::registry::keyExists(Root::LocalMachine, zvToolKey));
    EXPECT_TRUE(fs::exists(base / "OBS/OBS.exe"));
    EXPECT_TRUE(fs::exists(base / "OBS/Au_.exe"));
    EXPECT_EQ(value(kUninstall + "Open Broadcaster Software", "UninstallString"),
              "\"" + (base / "OBS/Au_.exe").string() + "\"");
}

TEST_F(FakeToolTest, AHeldInstallerWorksUntilReleased)
{
    fake.hold();
    const pid_t pid = spawn(FakeTools::place((base / "download").string(), "OBS_installer.exe"),
                            {"/S", "/D=" + (base / "OBS").string()});
    ASSERT_GT(pid, 0);
    // Well past its delay it still works and has installed nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(FakeTools::isRunning(pid, "OBS_installer.exe"));
    EXPECT_FALSE(fs::exists(base / "OBS"));
    fake.release();
    EXPECT_EQ(finish(pid), 0);
    EXPECT_TRUE(fs::exists(base / "OBS/OBS.exe"));
}

TEST_F(FakeToolTest, ToolsRunUntilKilledAndTreskStartsItsTarget)
{
    const std::string folder = (base / "ZVTool").string();
    const std::string tresk = FakeTools::place(folder, "Tresk.exe");
    FakeTools::place(folder, "ZVTool.exe");
    ASSERT_EQ(run(tresk, {"-a"}), 0);

    const auto tools = fake.waitForStarts("ZVTool.exe", 1, 5000);
    ASSERT_EQ(tools.size(), 1u);
    EXPECT_EQ(tools[0].args, std::vector<std::string>{"-a"});
    EXPECT_TRUE(FakeTools::isRunning(tools[0].pid, "ZVTool.exe"));
    fake.killAll();
    EXPECT_TRUE(fake.waitUntilGone("ZVTool.exe", 5000));
}

TEST_F(FakeToolTest, RuntimeInstallersRegisterTheirRuntimes)
{
    setenv("ZAVMO_WINDOWS_ROOT", windows.c_str(), 1);
    const fs::path repair = base / "repair dir";
    ASSERT_EQ(run(FakeTools::place(repair.string(), "NET_Framework4.exe"), {"/S"}), 0);
    EXPECT_TRUE(platform::registry::keyExists(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319"));

    ASSERT_EQ(run(FakeTools::place(repair.string(), "vcredist_x86.exe"), {"/S"}), 0);
    for (const auto& product : platform::runtime::kVcRedistProducts)
        EXPECT_EQ(platform::runtime::msiProductState(product.productCode), platform::runtime::kMsiStateDefault);
    EXPECT_NE(value(kUninstall + platform::runtime::kVcRedistProducts[0].productCode, "DisplayName")
                  .find(platform::runtime::kVcRedistDisplayName),
              std::string::npos);

    // "-o" is followed directly by the folder, blanks and all.
    const std::string package = FakeTools::place(repair.string(), "DirectX.exe");
    ASSERT_EQ(run(package, {"-y", "-o" + (base / "repair").string(), "dir"}), 0);
    const fs::path tool = repair / "DirectX Repair V3.3";
    EXPECT_TRUE(fs::exists(tool / "DirectX Repair.exe"));
    ASSERT_TRUE(fs::exists(tool / "DirectX_Repair_win8.exe"));
    EXPECT_TRUE(fs::exists(tool / "Settings.ini"));

    fs::create_directories(windows / "C/Windows/SysWOW64");
    ASSERT_EQ(run((tool / "DirectX_Repair_win8.exe").string(), {"/S"}), 0);
    EXPECT_TRUE(fs::exists(windows / "C/Windows/SysWOW64/D3DCompiler_43.dll"));
    EXPECT_TRUE(fs::exists(windows / "C/Windows/SysWOW64/xinput9_1_0.dll"));
    // Only the system folders that exist are filled.
    EXPECT_FALSE(fs::exists(windows / "C/Windows/Sysnative"));

    unsetenv("ZAVMO_WINDOWS_ROOT");
    EXPECT_EQ(run((tool / "DirectX Repair.exe").string(), {"/S"}), 1);
}

} // namespace

TEST_F(FakeToolTest, UpdaterLogsItsArgumentsAndMarksItsWorkingFolder)
{
    const fs::path folder = base / "SDKUpdate1";
    const std::string updater = FakeTools::place(folder.string(), "Update.exe");
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    const int status = run(updater, {"/opt/app", "x y", "-Admin"});
    fs::current_path(previous);
    ASSERT_EQ(status, 0);

    const auto starts = fake.waitForStarts("Update.exe", 1, 5000);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].args, (std::vector<std::string>{"/opt/app", "x y", "-Admin"}));
    std::ifstream marker(folder / "updater-started");
    std::string line;
    std::getline(marker, line);
    EXPECT_EQ(line, folder.string());
}
