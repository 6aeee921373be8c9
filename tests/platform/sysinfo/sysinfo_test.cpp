#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "fakeroot.h"
#include "platform/sysinfo.h"

namespace si = platform::sysinfo;

namespace {

using zavmo::test::FakeRoot;

class OsVersionEnv
{
public:
    explicit OsVersionEnv(const char* value)
    {
        if (value)
            setenv("ZAVMO_OS_VERSION", value, 1);
        else
            unsetenv("ZAVMO_OS_VERSION");
    }
    ~OsVersionEnv() { unsetenv("ZAVMO_OS_VERSION"); }
};

const char kCpuInfo[] = "processor\t: 0\n"
                        "vendor_id\t: GenuineIntel\n"
                        "model name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
                        "cpu MHz\t\t: 3192.614\n"
                        "flags\t\t: fpu vme\n"
                        "\n"
                        "processor\t: 1\n"
                        "vendor_id\t: OtherVendor\n"
                        "model name\t: Second Model\n"
                        "cpu MHz\t\t: 800.000\n"
                        "\n";

} // namespace

TEST(SysinfoOsVersion, DefaultAndInjectedValues)
{
    {
        OsVersionEnv env(nullptr);
        EXPECT_EQ(si::osVersion().major, 10);
        EXPECT_EQ(si::osVersion().minor, 0);
    }
    {
        OsVersionEnv env("6.1");
        EXPECT_EQ(si::osVersion().major, 6);
        EXPECT_EQ(si::osVersion().minor, 1);
    }
    for (const char* bad : {"", "6", "6.1.2", "x.y", "-1.0", "6.1 "}) {
        OsVersionEnv env(bad);
        EXPECT_EQ(si::osVersion().major, 0) << bad;
        EXPECT_EQ(si::osVersion().minor, 0) << bad;
    }
}

TEST(SysinfoProcessor, ReadsFirstProcessorAndCountsAll)
{
    FakeRoot root;
    root.write("proc/cpuinfo", kCpuInfo);
    si::Processor p = si::processor();
    EXPECT_EQ(p.model, "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    EXPECT_EQ(p.vendor, "GenuineIntel");
    EXPECT_EQ(p.logicalCount, 2);
    EXPECT_DOUBLE_EQ(p.mhz, 3192.614);
}

TEST(SysinfoProcessor, MissingFileOrFieldsGiveEmptyValues)
{
    FakeRoot root;
    si::Processor p = si::processor();
    EXPECT_EQ(p.model, "");
    EXPECT_EQ(p.logicalCount, 0);
    EXPECT_EQ(p.mhz, 0);

    root.write("proc/cpuinfo", "processor : 0\nBogoMIPS : 48.00\ncpu MHz : fast\n");
    p = si::processor();
    EXPECT_EQ(p.model, "");
    EXPECT_EQ(p.vendor, "");
    EXPECT_EQ(p.logicalCount, 1);
    EXPECT_EQ(p.mhz, 0);
}

TEST(SysinfoDisplayAdapters, OnlyDisplayClassInAddressOrderWithNames)
{
    FakeRoot root;
    root.device("0000:01:00.0", "0x030000", "0x10de", "0x1c03"); // named by the database
    root.device("0000:00:1f.0", "0x060100", "0x8086", "0xa305"); // a bridge: skipped
    root.device("0000:00:02.0", "0x038000", "0x8086", "0x3e92");
    root.device("0000:02:00.0", "0x030200", "0xfffe", "0x1234"); // unknown vendor
    bool ok = false;
    auto adapters = si::displayAdapters(&ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(adapters.size(), 3u);
    EXPECT_EQ(adapters[0].pciAddress, "0000:00:02.0");
    EXPECT_EQ(adapters[0].vendorId, 0x8086u);
    EXPECT_EQ(adapters[0].deviceId, 0x3e92u);
    EXPECT_EQ(adapters[0].name, "Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]");
    EXPECT_EQ(adapters[1].name, "NVIDIA Corporation GP106 [GeForce GTX 1060 6GB]");
    EXPECT_EQ(adapters[2].name, "fffe:1234");
}

TEST(SysinfoDisplayAdapters, MissingFolderIsReportedApartFromNoAdapters)
{
    FakeRoot root;
    bool ok = true;
    EXPECT_TRUE(si::displayAdapters(&ok).empty());
    EXPECT_FALSE(ok);

    root.device("0000:00:1f.0", "0x060100", "0x8086", "0xa305");
    EXPECT_TRUE(si::displayAdapters(&ok).empty());
    EXPECT_TRUE(ok);
}

TEST(SysinfoDisplayAdapters, NumericFallbackForUnknownDevices)
{
    EXPECT_EQ(si::pciDeviceName(0x10de, 0xfffe), "10de:fffe");
    EXPECT_EQ(si::pciDeviceName(0xfffe, 0x0001), "fffe:0001");
    EXPECT_EQ(si::pciDeviceName(0x10de, 0x1c03), "NVIDIA Corporation GP106 [GeForce GTX 1060 6GB]");
}
