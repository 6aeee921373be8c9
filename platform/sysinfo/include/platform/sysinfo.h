// System information stand-in: operating-system version, processor, memory,
// disks, display adapters with their drivers, and the screen.
//
// Test seams:
// - ZAVMO_OS_VERSION: "major.minor" reported as the OS version (default
//   "10.0", a Windows 10 workstation); a value that does not parse reads as a
//   failed query, 0.0.
// - ZAVMO_OS_PRODUCT: "server" reports a server edition (default a
//   workstation); ZAVMO_OS_BITS: "32" reports a 32-bit Windows (default 64).
// - ZAVMO_SYSINFO_ROOT: folder that stands for "/" when reading proc/ and
//   sys/ (cpuinfo, meminfo, mounts, PCI devices, modules, DRM connectors;
//   default "/"). Disk sizes are those of <root>/<mount point>.
#pragma once

#include <string>
#include <vector>

namespace platform::sysinfo {

// The path of a file of the machine, "/" + relative or below
// ZAVMO_SYSINFO_ROOT (for the other stand-ins that read proc/ and sys/).
std::string rootPath(const std::string& relative);

struct OsVersion
{
    int major = 0;
    int minor = 0;
    bool workstation = true;
    bool is64Bit = true;
};
OsVersion osVersion();

struct Processor
{
    std::string model;    // "model name" of the first processor
    std::string vendor;   // "vendor_id" of the first processor
    int logicalCount = 0; // number of "processor" entries
    double mhz = 0;       // "cpu MHz" of the first processor
    // "cpu family", "model" and "stepping" of the first processor; -1 when
    // absent.
    int family = -1;
    int modelNumber = -1;
    int stepping = -1;
    // Online processors (sys/devices/system/cpu/online), else logicalCount.
    int onlineCount = 0;
};
// Empty values when the file cannot be read or lacks a field.
Processor processor();

struct DisplayAdapter
{
    std::string pciAddress; // e.g. "0000:01:00.0"
    unsigned vendorId = 0;
    unsigned deviceId = 0;
    // "<vendor name> <device name>" from the PCI ID database, or "vvvv:dddd"
    // (lower-case hex) when the database does not know the device.
    std::string name;
    // The kernel driver bound to it ("" when none) and its version: the
    // module's own version, else the kernel release it was built with.
    std::string driver;
    std::string driverVersion;
};
// PCI devices of base class 0x03 (display controllers), ordered by address.
// ok (when given) is false when the device folder cannot be read.
std::vector<DisplayAdapter> displayAdapters(bool* ok = nullptr);

// "vvvv:dddd" or the database name, as used for DisplayAdapter::name.
std::string pciDeviceName(unsigned vendorId, unsigned deviceId);

// Total physical memory in bytes ("MemTotal" of proc/meminfo); 0 when unknown.
unsigned long long memoryTotalBytes();

struct Disk
{
    std::string device;     // e.g. "/dev/sda1"
    std::string mountPoint; // where it was first mounted
    // False for removable media, optical drives and loop devices.
    bool fixed = false;
    unsigned long long totalBytes = 0; // 0 when its size cannot be read
};
// The block-device file systems in mount order, each device once (the
// drives of a Windows machine). Empty when the mount table cannot be read.
std::vector<Disk> disks();

struct ScreenSize
{
    int width = 0;
    int height = 0;
};
// The preferred mode of the first connected display connector
// (sys/class/drm); 0 x 0 when none is connected.
ScreenSize screenSize();

} // namespace platform::sysinfo
