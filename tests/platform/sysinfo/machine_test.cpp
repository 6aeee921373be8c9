// Memory, drives, screen, processor numbers and display drivers, read from a
// prepared root.

#include "fakeroot.h"
#include "platform/sysinfo.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

namespace si = platform::sysinfo;
using zavmo::test::FakeRoot;

namespace {

unsigned long long sizeOf(const std::string& path)
{
    struct statvfs st
    {
    };
    return ::statvfs(path.c_str(), &st) == 0 ? static_cast<unsigned long long>(st.f_blocks) * st.f_frsize : 0;
}

TEST(SysinfoMachine, MemoryTotal)
{
    FakeRoot root;
    EXPECT_EQ(si::memoryTotalBytes(), 0u);
    root.write("proc/meminfo", "MemFree:  100 kB\nMemTotal:        3670016 kB\n");
    EXPECT_EQ(si::memoryTotalBytes(), 3670016ull * 1024);
}

TEST(SysinfoMachine, DrivesInMountOrderEachDeviceOnce)
{
    FakeRoot root;
    EXPECT_TRUE(si::disks().empty());
    root.write("proc/mounts", "sysfs /sys sysfs rw 0 0\n"
                              "/dev/sda2 / ext4 rw 0 0\n"
                              "tmpfs /run tmpfs rw 0 0\n"
                              "/dev/sda2 /home ext4 rw 0 0\n"
                              "/dev/nvme0n1p1 /data ext4 rw 0 0\n"
                              "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
                              "/dev/loop0 /snap/core squashfs ro 0 0\n"
                              "/dev/sr0 /media/cd iso9660 ro 0 0\n");
    root.makeFolder("data");
    root.makeFolder("media/usb stick");
    // A partition's removable flag sits on its disk, one folder up.
    root.write("sys/devices/block/sdb/removable", "1\n");
    root.makeFolder("sys/devices/block/sdb/sdb1");
    root.link("sys/class/block/sdb1", "../../devices/block/sdb/sdb1");
    root.write("sys/devices/block/sda/removable", "0\n");
    root.makeFolder("sys/devices/block/sda/sda2");
    root.link("sys/class/block/sda2", "../../devices/block/sda/sda2");

    const auto disks = si::disks();
    ASSERT_EQ(disks.size(), 5u);
    EXPECT_EQ(disks[0].device, "/dev/sda2");
    EXPECT_EQ(disks[0].mountPoint, "/");
    EXPECT_TRUE(disks[0].fixed);
    EXPECT_EQ(disks[0].totalBytes, sizeOf(root.path()));
    EXPECT_GT(disks[0].totalBytes, 0u);
    EXPECT_EQ(disks[1].device, "/dev/nvme0n1p1");
    EXPECT_TRUE(disks[1].fixed);
    EXPECT_EQ(disks[2].mountPoint, "/media/usb stick");
    EXPECT_FALSE(disks[2].fixed);
    EXPECT_GT(disks[2].totalBytes, 0u);
    EXPECT_FALSE(disks[3].fixed);       // loop
    EXPECT_EQ(disks[3].totalBytes, 0u); // no such folder
    EXPECT_FALSE(disks[4].fixed);       // optical
}

TEST(SysinfoMachine, MountPointsWithEscapedCharacters)
{
    // The kernel escapes blank, tab, newline and backslash in octal.
    FakeRoot root;
    root.write("proc/mounts", "/dev/sda1 /media/a\\011b\\134c\\040d\\012e ext4 rw 0 0\n"
                              "/dev/sda2 /x\\0 ext4 rw 0 0\n");
    root.makeFolder("media/a\tb\\c d\ne");
    const auto disks = si::disks();
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].mountPoint, "/media/a\tb\\c d\ne");
    EXPECT_GT(disks[0].totalBytes, 0u);
    EXPECT_EQ(disks[1].mountPoint, "/x\\0"); // not an escape: kept as it is
}

TEST(SysinfoMachine, ScreenOfTheFirstConnectedConnector)
{
    FakeRoot root;
    EXPECT_EQ(si::screenSize().width, 0);
    root.write("sys/class/drm/card0-eDP-1/status", "disconnected\n");
    root.write("sys/class/drm/card0-eDP-1/modes", "2560x1600\n");
    root.write("sys/class/drm/card0-HDMI-A-1/status", "connected\n");
    root.write("sys/class/drm/card0-HDMI-A-1/modes", "");
    root.write("sys/class/drm/card1-DP-2/status", "connected\n");
    root.write("sys/class/drm/card1-DP-2/modes", "1920x1080\n1280x720\n");
    root.makeFolder("sys/class/drm/card0");
    const si::ScreenSize s = si::screenSize();
    EXPECT_EQ(s.width, 1920);
    EXPECT_EQ(s.height, 1080);
}

TEST(SysinfoMachine, ProcessorNumbersAndOnlineCount)
{
    FakeRoot root;
    root.write("proc/cpuinfo", "processor\t: 0\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 10\n\n"
                               "processor\t: 1\ncpu family\t: 15\nmodel\t\t: 1\nstepping\t: 1\n");
    si::Processor p = si::processor();
    EXPECT_EQ(p.family, 6);
    EXPECT_EQ(p.modelNumber, 158);
    EXPECT_EQ(p.stepping, 10);
    EXPECT_EQ(p.onlineCount, 2);
    root.write("sys/devices/system/cpu/online", "0-3,6\n");
    EXPECT_EQ(si::processor().onlineCount, 5);
}

TEST(SysinfoMachine, DisplayDriversAndTheirVersions)
{
    FakeRoot root;
    root.device("0000:00:02.0", "0x030000", "0x8086", "0x3e92");
    root.device("0000:01:00.0", "0x030000", "0x10de", "0x1c03");
    root.device("0000:02:00.0", "0x030000", "0x1234", "0x1111");
    root.makeFolder("sys/bus/pci/drivers/i915");
    root.makeFolder("sys/bus/pci/drivers/nvidia");
    root.link("sys/bus/pci/devices/0000:00:02.0/driver", "../../../../bus/pci/drivers/i915");
    root.link("sys/bus/pci/devices/0000:01:00.0/driver", "../../../../bus/pci/drivers/nvidia");
    root.write("sys/module/nvidia/version", "535.54.03\n");
    root.write("proc/sys/kernel/osrelease", "6.1.0-13-amd64\n");
    const auto adapters = si::displayAdapters();
    ASSERT_EQ(adapters.size(), 3u);
    EXPECT_EQ(adapters[0].driver, "i915");
    EXPECT_EQ(adapters[0].driverVersion, "6.1.0-13-amd64"); // in-tree: the kernel's
    EXPECT_EQ(adapters[1].driver, "nvidia");
    EXPECT_EQ(adapters[1].driverVersion, "535.54.03");
    EXPECT_EQ(adapters[2].driver, "");
    EXPECT_EQ(adapters[2].driverVersion, "");
}

TEST(SysinfoMachine, OsProductAndBitness)
{
    ::unsetenv("ZAVMO_OS_VERSION");
    si::OsVersion v = si::osVersion();
    EXPECT_TRUE(v.workstation);
    EXPECT_TRUE(v.is64Bit);
    ::setenv("ZAVMO_OS_PRODUCT", "server", 1);
    ::setenv("ZAVMO_OS_BITS", "32", 1);
    ::setenv("ZAVMO_OS_VERSION", "6.1", 1);
    v = si::osVersion();
    EXPECT_EQ(v.major, 6);
    EXPECT_FALSE(v.workstation);
    EXPECT_FALSE(v.is64Bit);
    ::unsetenv("ZAVMO_OS_PRODUCT");
    ::unsetenv("ZAVMO_OS_BITS");
    ::unsetenv("ZAVMO_OS_VERSION");
}

} // namespace
