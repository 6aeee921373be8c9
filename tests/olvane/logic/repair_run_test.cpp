// The runtime repairs running fake installers to their finish signal.

#include "logic_support.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvtoolrepair.h"

#include "platform/profile.h"
#include "platform/registry.h"

#include "faketools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace logictest;
using platform::registry::Root;
using zavmo::test::FakeTools;

namespace {

class RepairRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("ZAVMO_WINDOWS_ROOT", (dir / "windows").toUtf8());
        qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "300");
        // Empty: the real /proc; a test points it elsewhere to fail scans.
        qputenv("ZAVMO_PROC_ROOT", "");
        QDir(getRepairDir()).removeRecursively();
    }
    void TearDown() override
    {
        fake.killAll();
        qunsetenv("ZAVMO_WINDOWS_ROOT");
        qunsetenv("ZAVMO_PROC_ROOT");
    }

    // Counts the repair's finish signals through a queued connection.
    void watch(ZvToolRepair& repair)
    {
        QObject::connect(
            &repair, &ZvToolRepair::sglRepairFinished, &repair, [this](const QString& name) { finished.append(name); },
            Qt::QueuedConnection);
    }

    TestFolder dir;
    FakeTools fake;
    QStringList finished;
};

TEST_F(RepairRunTest, NetFrameworkInstallerRunsOnceAndFixesTheRuntime)
{
    ZvNetFrameworkRepair repair(kNetFrameworkName, "NET_Framework4.exe");
    watch(repair);
    FakeTools::place(getRepairDir().toStdString(), "NET_Framework4.exe");
    ASSERT_TRUE(repair.needRepair());
    EXPECT_EQ(repair.startRepair(), 0);
    EXPECT_EQ(repair.startRepair(), 0);
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
    EXPECT_EQ(finished[0], kNetFrameworkName);
    settle(500);
    EXPECT_EQ(finished.size(), 1);
    ASSERT_EQ(fake.starts().size(), 1u);
    EXPECT_EQ(fake.starts()[0].args, std::vector<std::string>{"/S"});
    EXPECT_FALSE(repair.needRepair());
}

TEST_F(RepairRunTest, VcRedistInstallerRegistersBothProducts)
{
    ZvVCRedistRepair repair(kVcRedistName, "vcredist_x86.exe");
    watch(repair);
    FakeTools::place(getRepairDir().toStdString(), "vcredist_x86.exe");
    ASSERT_TRUE(repair.needRepair());
    ASSERT_EQ(repair.startRepair(), 0);
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
    EXPECT_FALSE(repair.needRepair());
}

TEST_F(RepairRunTest, DirectXUnpacksItsPackageThenRunsTheToolForTheNetRuntime)
{
    QDir().mkpath(dir / "windows/C/Windows/SysWOW64");
    platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727");
    platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319");
    ZvDirectXRepair repair(kDirectXName, "DirectX_Repair_win8.exe");
    watch(repair);
    FakeTools::place(getRepairDir().toStdString(), "DirectX.exe");
    ASSERT_TRUE(repair.needRepair());

    // The start returns while the package unpacks; meanwhile the repair runs:
    // a second start starts nothing and keeps the tool chosen first.
    fake.hold();
    ASSERT_EQ(repair.startRepair(), 0);
    const auto unpacker = fake.waitForStarts("DirectX.exe", 1, 5000);
    ASSERT_EQ(unpacker.size(), 1u);
    EXPECT_TRUE(FakeTools::isRunning(unpacker[0].pid, "DirectX.exe"));
    platform::registry::deleteKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319");
    ASSERT_EQ(repair.startRepair(), 0);
    EXPECT_EQ(repair.getInstallerFile(), "DirectX_Repair_win8.exe");
    // The unpacker ends while the process list cannot be read: the unpack
    // wait goes on instead of taking the failed scans for its end.
    qputenv("ZAVMO_PROC_ROOT", (dir / "no-proc").toUtf8());
    fake.release();
    ASSERT_TRUE(fake.waitUntilGone("DirectX.exe", 5000));
    settle(600);
    EXPECT_TRUE(fake.waitForStarts("DirectX_Repair_win8.exe", 0, 0).empty());
    qputenv("ZAVMO_PROC_ROOT", "");
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
    EXPECT_EQ(finished[0], kDirectXName);
    const auto unpack = fake.waitForStarts("DirectX.exe", 1, 0);
    ASSERT_EQ(unpack.size(), 1u);
    EXPECT_EQ(unpack[0].args, (std::vector<std::string>{"-y", "-o" + getRepairDir().toStdString()}));
    const std::string settings = (getRepairDir() + "/DirectX Repair V3.3/Settings.ini").toStdString();
    EXPECT_EQ(platform::profile::readString(settings, "DirectX Repair", "FormStyle", ""), "Simple");
    EXPECT_EQ(platform::profile::readString(settings, "DirectX Repair", "Language", ""), "zh-CN");
    // .NET 4 wins over .NET 2.
    EXPECT_EQ(fake.waitForStarts("DirectX_Repair_win8.exe", 1, 0).size(), 1u);
    EXPECT_FALSE(repair.needRepair());
    EXPECT_EQ(repair.getInstallerFile(), "DirectX_Repair_win8.exe");
    settle(400);
    EXPECT_EQ(finished.size(), 1);
}

TEST_F(RepairRunTest, DirectXPackageThatUnpacksNothingFinishesTheRepairOnce)
{
    QDir().mkpath(dir / "windows/C/Windows/SysWOW64");
    ZvDirectXRepair repair(kDirectXName, "DirectX_Repair_win8.exe");
    watch(repair);
    QDir().mkpath(getRepairDir());
    ASSERT_TRUE(QFile::copy("/bin/true", getRepairDir() + "/DirectX.exe"));
    ASSERT_EQ(repair.startRepair(), 0);
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }, 5000));
    settle(400);
    EXPECT_EQ(finished.size(), 1);
    EXPECT_TRUE(repair.needRepair());
}

TEST_F(RepairRunTest, DirectXAlreadyUnpackedRunsTheOlderToolWithOnlyNet2)
{
    platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727");
    const QString tool = getRepairDir() + "/DirectX Repair V3.3";
    FakeTools::place(tool.toStdString(), "DirectX Repair.exe");
    {
        QFile ini(tool + "/Settings.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[DirectX Repair]\r\nFormStyle=Normal\r\n");
    }
    FakeTools::place(getRepairDir().toStdString(), "DirectX.exe");
    ZvDirectXRepair repair(kDirectXName, "DirectX_Repair_win8.exe");
    watch(repair);
    ASSERT_EQ(repair.startRepair(), 0);
    EXPECT_EQ(repair.getInstallerFile(), "DirectX Repair.exe");
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
    EXPECT_TRUE(fake.waitForStarts("DirectX.exe", 0, 0).empty());
    EXPECT_EQ(fake.waitForStarts("DirectX Repair.exe", 1, 0).size(), 1u);
    QFile ini(tool + "/Settings.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), "[DirectX Repair]\r\nFormStyle=Simple\r\n");
}

TEST_F(RepairRunTest, AFailedProcessScanIsNotTheInstallersEnd)
{
    ZvNetFrameworkRepair repair(kNetFrameworkName, "NET_Framework4.exe");
    watch(repair);
    qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "0");
    FakeTools::place(getRepairDir().toStdString(), "NET_Framework4.exe");
    qputenv("ZAVMO_PROC_ROOT", (dir / "no-proc").toUtf8());
    ASSERT_EQ(repair.startRepair(), 0);
    settle(600);
    EXPECT_TRUE(finished.isEmpty());
    qputenv("ZAVMO_PROC_ROOT", "");
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }, 3000));
}

} // namespace
