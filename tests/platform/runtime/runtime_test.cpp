#include "platform/registry.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

using namespace platform::runtime;

namespace {

class WindowsRootTest : public ::testing::Test
{
protected:
    void TearDown() override { unsetenv("ZAVMO_WINDOWS_ROOT"); }
};

TEST_F(WindowsRootTest, DrivePathsResolveBelowTheRootWithEitherSeparator)
{
    setenv("ZAVMO_WINDOWS_ROOT", "/srv/win/", 1);
    EXPECT_EQ(toLocalPath("C:/Program Files (x86)/OBS/OBS.exe"), "/srv/win/C/Program Files (x86)/OBS/OBS.exe");
    EXPECT_EQ(toLocalPath("c:\\Windows\\SysWOW64"), "/srv/win/C/Windows/SysWOW64");
    EXPECT_EQ(toLocalPath("D:"), "/srv/win/D");
    // A ".." must not climb out of the root; a name merely containing dots may.
    EXPECT_EQ(toLocalPath("C:\\Windows\\..\\..\\etc\\passwd"), "");
    EXPECT_EQ(toLocalPath("C:/a..b/x"), "/srv/win/C/a..b/x");
}

TEST_F(WindowsRootTest, WithoutARootDrivePathsNameNothingAndOtherPathsStay)
{
    unsetenv("ZAVMO_WINDOWS_ROOT");
    EXPECT_EQ(toLocalPath("C:/Windows/SysWOW64"), "");
    setenv("ZAVMO_WINDOWS_ROOT", "", 1);
    EXPECT_EQ(toLocalPath("C:/Windows/SysWOW64"), "");
    EXPECT_EQ(toLocalPath("/opt/obs\\bin\\32bit\\obs32.exe"), "/opt/obs/bin/32bit/obs32.exe");
    EXPECT_EQ(toLocalPath("relative/x"), "relative/x");
    EXPECT_FALSE(isDrivePath("C"));
    EXPECT_FALSE(isDrivePath("C:x"));
    EXPECT_FALSE(isDrivePath("1:/x"));
    EXPECT_TRUE(isDrivePath("z:\\"));
}

TEST(MsiProductState, ComesFromTheEmulatedRegistry)
{
    const std::string code = kVcRedistProducts[0].productCode;
    EXPECT_EQ(msiProductState(code), kMsiStateUnknown);
    ASSERT_TRUE(setMsiProductState(code, kMsiStateAbsent));
    EXPECT_EQ(msiProductState(code), kMsiStateAbsent);
    EXPECT_EQ(msiProductState(kVcRedistProducts[1].productCode), kMsiStateUnknown);
    // A code that is no product code, or would split the key path, is refused.
    EXPECT_EQ(msiProductState("13A4EE12"), kMsiStateInvalidArg);
    EXPECT_FALSE(setMsiProductState("{a\\b}", kMsiStateDefault));
}

TEST(RuntimeTables, HoldTheLibrariesAndProductsOnce)
{
    ASSERT_EQ(kDirectXRuntimeDllCount, 92u);
    std::set<std::string> names(kDirectXRuntimeDlls, kDirectXRuntimeDlls + kDirectXRuntimeDllCount);
    EXPECT_EQ(names.size(), 92u);
    // The case is the installed files' own.
    EXPECT_EQ(std::string(kDirectXRuntimeDlls[0]), "d3dcompiler_33.dll");
    EXPECT_EQ(std::string(kDirectXRuntimeDlls[4]), "D3DCompiler_37.dll");
    EXPECT_TRUE(names.count("X3DAudio1_7.dll") && names.count("xactengine2_10.dll") && names.count("XAPOFX1_5.dll"));
    EXPECT_EQ(std::string(kDirectXRuntimeDlls[91]), "xinput9_1_0.dll");
    EXPECT_STREQ(kVcRedistProducts[1].productCode, "{F8CFEB22-A2E7-3971-9EDA-4B11EDEFC185}");
}

} // namespace
