// The device collectors against a prepared machine root.

#include "deviceinfo.h"

#include "fakeroot.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <chrono>
#include <regex>

namespace tresk {
namespace {

using zavmo::test::FakeRoot;

std::string ascii(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

// A physical adapter with the PCI ids of its controller.
void nic(const FakeRoot& root, const std::string& name, int index, const std::string& mac, const char* vendor,
         const char* device)
{
    root.netInterface(name, index, mac, true);
    root.write("sys/class/net/" + name + "/device/vendor", std::string(vendor) + "\n");
    root.write("sys/class/net/" + name + "/device/device", std::string(device) + "\n");
}

class EnvGuard
{
public:
    ~EnvGuard()
    {
        for (const char* name : {"ZAVMO_OS_VERSION", "ZAVMO_OS_PRODUCT", "ZAVMO_OS_BITS"})
            ::unsetenv(name);
    }
};

TEST(DeviceUid, BestScoredAdapterFirstOneWinsATie)
{
    FakeRoot root;
    EXPECT_EQ(getDeviceUid(), u"");
    // Both wired adapters are "以太网" (score 1); the virtual bridge scores -1.
    root.netInterface("docker0", 2, "02:42:ac:11:00:01", false);
    nic(root, "enp3s0", 3, "3c:7c:3f:1e:a0:01", "0x8086", "0x15bc");
    nic(root, "enp4s0", 4, "3c:7c:3f:1e:a0:02", "0x8086", "0x15bc");
    EXPECT_EQ(getDeviceUid(), u"3C-7C-3F-1E-A0-01");
}

TEST(DeviceUid, VmwareAndVirtualAdaptersLose)
{
    FakeRoot root;
    // A VMware controller: "VMware" costs the point "以太网" gains.
    nic(root, "ens160", 2, "00:50:56:aa:bb:01", "0x15ad", "0x07b0");
    root.netInterface("wlp2s0", 3, "a4:c3:f0:85:ac:2b", true, 1, true); // "WLAN": score 0
    root.netInterface("virbr0", 4, "52:54:00:00:00:01", false);
    EXPECT_EQ(getDeviceUid(), u"00-50-56-AA-BB-01");                 // 0 vs 0: the first
    nic(root, "enp5s0", 5, "3c:7c:3f:1e:a0:09", "0x8086", "0x15bc"); // "以太网 2": score 1
    EXPECT_EQ(getDeviceUid(), u"3C-7C-3F-1E-A0-09");

    FakeRoot virtualOnly;
    virtualOnly.netInterface("veth0", 2, "52:54:00:00:00:02", false);
    virtualOnly.netInterface("tun0", 3, "", false, 65534);
    EXPECT_EQ(getDeviceUid(), u"52-54-00-00-00-02");
}

TEST(DeviceInfo, ScreenOsAndBitness)
{
    EnvGuard env;
    FakeRoot root;
    EXPECT_EQ(getScreenResolution(), u"0*0");
    root.write("sys/class/drm/card0-HDMI-A-1/status", "connected\n");
    root.write("sys/class/drm/card0-HDMI-A-1/modes", "1920x1080\n");
    EXPECT_EQ(getScreenResolution(), u"1920*1080");

    EXPECT_EQ(getOsName(), u"Windows 10");
    EXPECT_EQ(getOsBitness(), u"64");
    ::setenv("ZAVMO_OS_PRODUCT", "server", 1);
    EXPECT_EQ(getOsName(), u"Windows 10");
    ::setenv("ZAVMO_OS_VERSION", "6.1", 1);
    EXPECT_EQ(getOsName(), u"Windows Server 2008 R2");
    ::setenv("ZAVMO_OS_VERSION", "6.4", 1);
    EXPECT_EQ(getOsName(), u"unknown OperatingSystem.");
    ::setenv("ZAVMO_OS_BITS", "32", 1);
    EXPECT_EQ(getOsBitness(), u"32");

    EXPECT_STREQ(windowsName(4, 0, true, true, false), "Windows_NT 4.0");
    EXPECT_STREQ(windowsName(4, 0, false, true, false), "Windows 95");
    EXPECT_STREQ(windowsName(5, 2, true, true, false), "Windows XP Professional x64 Edition");
    EXPECT_STREQ(windowsName(5, 2, true, false, false), "Windows Server 2003");
    EXPECT_STREQ(windowsName(5, 2, true, false, true), "Microsoft Windows Server 2003 R2");
    EXPECT_STREQ(windowsName(6, 0, true, true, false), "Microsoft Windows Vista");
    EXPECT_STREQ(windowsName(6, 3, true, false, false), "Windows Server 2012 R2");
    EXPECT_EQ(windowsName(0, 0, true, true, false), nullptr);
}

TEST(DeviceInfo, CpuRecordOfA32BitProcess)
{
    FakeRoot root;
    root.write("proc/cpuinfo", "processor\t: 0\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 10\n");
    root.write("sys/devices/system/cpu/online", "0-3\n");
    WideTree cpu = getCpuInfo();
    std::string keys, values;
    for (const auto& [key, value] : cpu) {
        keys += ascii(fromTreeText(key)) + ",";
        values += ascii(fromTreeText(value.data())) + ",";
    }
    EXPECT_EQ(keys, "OemId,ProcessorArchitecture,PageSize,MinimumApplicationAddress,MaximumApplicationAddress,"
                    "ActiveProcessorMask,NumberOfProcessors,ProcessorType,AllocationGranularity,ProcessorLevel,"
                    "ProcessorRevision,");
    EXPECT_EQ(values, "0,0,4096,00010000,7FFEFFFF,15,4,586,65536,6,40458,");

    root.write("sys/devices/system/cpu/online", "0-39\n");
    cpu = getCpuInfo();
    EXPECT_EQ(ascii(fromTreeText(cpu.get<std::wstring>(L"NumberOfProcessors"))), "32");
    EXPECT_EQ(ascii(fromTreeText(cpu.get<std::wstring>(L"ActiveProcessorMask"))), "4294967295");
}

TEST(DeviceInfo, SizesInGib)
{
    EXPECT_EQ(formatGiB(toGiB(8ull << 30)), "8GB");
    EXPECT_EQ(formatGiB(toGiB(7ull << 29)), "3.5GB");
    EXPECT_EQ(formatGiB(0), "0GB");
    EXPECT_EQ(formatGiB(1234567.0), "1.23457e+06GB");

    FakeRoot root;
    EXPECT_EQ(getMemoryInfo(), u"");
    root.write("proc/meminfo", "MemTotal:        8388608 kB\n");
    EXPECT_EQ(getMemoryInfo(), u"8GB");

    EXPECT_EQ(getDiskInfo(), u"0GB");
    // The walk stops at the first drive that is not fixed.
    root.write("proc/mounts", "/dev/sr0 /media/cd iso9660 ro 0 0\n/dev/sda1 / ext4 rw 0 0\n");
    EXPECT_EQ(getDiskInfo(), u"0GB");
    root.write("proc/mounts", "/dev/sda1 / ext4 rw 0 0\n/dev/sda2 /data ext4 rw 0 0\n"
                              "/dev/sr0 /media/cd iso9660 ro 0 0\n/dev/sdc1 /more ext4 rw 0 0\n");
    root.makeFolder("data");
    root.makeFolder("more");
    struct statvfs st
    {
    };
    ASSERT_EQ(::statvfs(root.path().c_str(), &st), 0);
    const double one = toGiB(static_cast<unsigned long long>(st.f_blocks) * st.f_frsize);
    EXPECT_EQ(ascii(getDiskInfo()), formatGiB(one + one));
}

TEST(DeviceInfo, VideoDriversAndStartTime)
{
    FakeRoot root;
    EXPECT_EQ(getVideoDriverVersion(), u"");
    root.device("0000:01:00.0", "0x030000", "0xfffe", "0x0001");
    root.device("0000:02:00.0", "0x030000", "0xfffe", "0x0002");
    root.device("0000:03:00.0", "0x030000", "0xfffe", "0x0003"); // no driver: left out
    root.makeFolder("sys/bus/pci/drivers/drva");
    root.makeFolder("sys/bus/pci/drivers/drvb");
    root.link("sys/bus/pci/devices/0000:01:00.0/driver", "../../../../bus/pci/drivers/drva");
    root.link("sys/bus/pci/devices/0000:02:00.0/driver", "../../../../bus/pci/drivers/drvb");
    root.write("sys/module/drva/version", "1.0\n");
    root.write("sys/module/drvb/version", "2.0\n");
    EXPECT_EQ(getVideoDriverVersion(), u"fffe:0001:1.0;fffe:0002:2.0;");

    using namespace std::chrono;
    const long long now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const long long stamp = std::stoll(ascii(getStartTime()));
    EXPECT_LE(std::llabs(stamp - now), 2000);
}

} // namespace
} // namespace tresk

namespace tresk {
namespace {

// The real /proc and /sys of the machine running the tests: every collector
// gives text of its form.
TEST(DeviceInfo, OnThisMachine)
{
    ::unsetenv("ZAVMO_SYSINFO_ROOT");
    const std::string uid = ascii(getDeviceUid());
    EXPECT_TRUE(uid.empty() || std::regex_match(uid, std::regex("([0-9A-F]{2}-){5}[0-9A-F]{2}"))) << uid;
    EXPECT_TRUE(std::regex_match(ascii(getScreenResolution()), std::regex(R"(\d+\*\d+)")));
    EXPECT_TRUE(std::regex_match(ascii(getDiskInfo()), std::regex(R"([0-9.e+]+GB)"))) << ascii(getDiskInfo());
    EXPECT_TRUE(std::regex_match(ascii(getMemoryInfo()), std::regex(R"([0-9.e+]+GB)"))) << ascii(getMemoryInfo());
    EXPECT_EQ(getCpuInfo().size(), 11u);
    const std::u16string drivers = getVideoDriverVersion();
    EXPECT_TRUE(drivers.empty() || drivers.back() == u';');
}

} // namespace
} // namespace tresk
