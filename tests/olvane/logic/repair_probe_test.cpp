// What the runtime repairs find missing, from the emulated registry and the
// mapped Windows folders.

#include "logic_support.h"

#include "core/stringconstants.h"
#include "logic/zvtoolrepair.h"

#include "platform/registry.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace logictest;
using platform::registry::Root;

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

void fillSystemFolder(const QString& folder, const char* skip = nullptr)
{
    QDir().mkpath(folder);
    for (size_t i = 0; i < platform::runtime::kDirectXRuntimeDllCount; ++i) {
        const char* name = platform::runtime::kDirectXRuntimeDlls[i];
        if (skip && QLatin1String(skip) == QLatin1String(name))
            continue;
        QFile file(folder + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
}

class RepairProbeTest : public ::testing::Test
{
protected:
    void TearDown() override { qunsetenv("ZAVMO_WINDOWS_ROOT"); }
    TestFolder dir;
};

TEST_F(RepairProbeTest, NetFrameworkIsMissingWithoutEitherKey)
{
    ZvNetFrameworkRepair repair(kNetFrameworkName, "NET_Framework4.exe");
    EXPECT_TRUE(repair.needRepair());
    platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727");
    EXPECT_FALSE(repair.needRepair());
    platform::registry::deleteKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727");
    platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319");
    EXPECT_FALSE(repair.needRepair());
}

TEST_F(RepairProbeTest, DirectXLooksInTheMappedSystemFoldersThatExist)
{
    ZvDirectXRepair repair(kDirectXName, "DirectX_Repair_win8.exe");
    // No root, or a root without the system folders: nothing to repair.
    EXPECT_FALSE(repair.needRepair());
    qputenv("ZAVMO_WINDOWS_ROOT", dir.path().toUtf8());
    EXPECT_FALSE(repair.needRepair());

    fillSystemFolder(dir / "C/Windows/SysWOW64", "XAudio2_7.dll");
    EXPECT_TRUE(repair.needRepair());
    EXPECT_FALSE(ZvDirectXRepair::isDllPresent("XAudio2_7.dll"));
    EXPECT_TRUE(ZvDirectXRepair::isDllPresent("XAudio2_6.dll"));
    // The names keep their case: another case is another file here.
    EXPECT_FALSE(ZvDirectXRepair::isDllPresent("xaudio2_6.dll"));

    fillSystemFolder(dir / "C/Windows/SysWOW64");
    EXPECT_FALSE(repair.needRepair());
    QDir().mkpath(dir / "C/Windows/Sysnative");
    EXPECT_TRUE(repair.needRepair());
    fillSystemFolder(dir / "C/Windows/Sysnative");
    EXPECT_FALSE(repair.needRepair());
}

TEST_F(RepairProbeTest, VcRedistIsFoundByItsUninstallEntryOrBothMsiProducts)
{
    ZvVCRedistRepair repair(kVcRedistName, "vcredist_x86.exe");
    EXPECT_TRUE(repair.needRepair());

    // Only sub-keys with braces in their name are looked at.
    const std::string display = std::string(platform::runtime::kVcRedistDisplayName) + " - 12.0.30501";
    platform::registry::writeString(Root::LocalMachine, kUninstall + "VC2013", "DisplayName", display);
    EXPECT_TRUE(repair.needRepair());
    platform::registry::writeString(Root::LocalMachine, kUninstall + "{ABC}", "DisplayName", display);
    EXPECT_TRUE(ZvVCRedistRepair::isVcRedistRegistered());
    EXPECT_FALSE(repair.needRepair());
    platform::registry::deleteKey(Root::LocalMachine, kUninstall + "{ABC}");

    const QString minimum = platform::runtime::kVcRedistProducts[0].productCode;
    const QString additional = platform::runtime::kVcRedistProducts[1].productCode;
    platform::runtime::setMsiProductState(minimum.toStdString(), platform::runtime::kMsiStateDefault);
    EXPECT_TRUE(repair.needRepair());
    platform::runtime::setMsiProductState(additional.toStdString(), 1); // advertised only
    EXPECT_TRUE(repair.needRepair());
    platform::runtime::setMsiProductState(additional.toStdString(), platform::runtime::kMsiStateAbsent);
    EXPECT_FALSE(repair.needRepair());

    bool currentUser = true;
    EXPECT_TRUE(ZvVCRedistRepair::isMsiProductInstalled(additional, &currentUser));
    EXPECT_FALSE(currentUser);
    EXPECT_TRUE(ZvVCRedistRepair::isMsiProductInstalled(minimum, &currentUser));
    EXPECT_TRUE(currentUser);
}

TEST_F(RepairProbeTest, AnInstallerThatCannotStartFailsWithoutASignal)
{
    ZvNetFrameworkRepair repair(kNetFrameworkName, "NET_Framework4.exe");
    int finished = 0;
    QObject::connect(&repair, &ZvToolRepair::sglRepairFinished, [&] { ++finished; });
    LogCapture log;
    EXPECT_EQ(repair.startRepair(), -1001);
    EXPECT_TRUE(log.contains("NET_Framework4.exe failed,err code : 2"));
    settle(300);
    EXPECT_EQ(finished, 0);
}

} // namespace
