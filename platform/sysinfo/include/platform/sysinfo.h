// System information stand-in: operating-system version, processor and
// display adapters.
//
// Test seams:
// - ZAVMO_OS_VERSION: "major.minor" reported as the OS version (default
//   "10.0", a Windows 10 workstation); a value that does not parse reads as a
//   failed query, 0.0.
// - ZAVMO_SYSINFO_ROOT: folder that stands for "/" when reading
//   proc/cpuinfo and sys/bus/pci/devices (default "/").
#pragma once

#include <string>
#include <vector>

namespace platform::sysinfo {

struct OsVersion
{
    int major = 0;
    int minor = 0;
};
OsVersion osVersion();

struct Processor
{
    std::string model;    // "model name" of the first processor
    std::string vendor;   // "vendor_id" of the first processor
    int logicalCount = 0; // number of "processor" entries
    double mhz = 0;       // "cpu MHz" of the first processor
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
};
// PCI devices of base class 0x03 (display controllers), ordered by address.
// ok (when given) is false when the device folder cannot be read.
std::vector<DisplayAdapter> displayAdapters(bool* ok = nullptr);

// "vvvv:dddd" or the database name, as used for DisplayAdapter::name.
std::string pciDeviceName(unsigned vendorId, unsigned deviceId);

} // namespace platform::sysinfo
