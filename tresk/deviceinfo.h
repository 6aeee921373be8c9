#pragma once
// What the update check tells the release service about the machine. No
// collector fails: what cannot be found gives its fallback or the empty text.
//
// On Linux the answers are those a 32-bit Tresk on a 64-bit Windows would get
// on this hardware, from the platform stand-ins (platform/sysinfo.h,
// platform/netadapters.h): the OS version and bitness are the stand-in's
// (default Windows 10, 64-bit), the drives are the fixed file systems in mount
// order, the video controllers are the display adapters with their kernel
// driver's version.

#include "widetext.h"

#include <string>

namespace tresk {

// The hardware address of the best-scored adapter, "AA-BB-CC-DD-EE-FF", or
// empty. Scores: "Virtual" (or else "VMware") in description:friendly name
// costs 1, "以太网" (or else "本地连接") gains 1; the first best one wins.
std::u16string getDeviceUid();
// "WIDTH*HEIGHT" of the primary screen (0*0 when unknown).
std::u16string getScreenResolution();
// The Windows name of the OS version, or "unknown OperatingSystem.".
std::u16string getOsName();
// "64" or "32".
std::u16string getOsBitness();
// The processor record as GetSystemInfo fills it for a 32-bit process.
WideTree getCpuInfo();
// Total size of the leading fixed drives in GiB, "%Lg" + "GB".
std::u16string getDiskInfo();
// Total physical memory in GiB, "%Lg" + "GB"; empty when unknown.
std::u16string getMemoryInfo();
// "Name:DriverVersion;" for each video controller that has both.
std::u16string getVideoDriverVersion();
// eventTimeMs() in decimal.
std::u16string getStartTime();

// The name of a Windows version by the table both the update check and the
// analytics event use; null for versions outside it.
const char* windowsName(int major, int minor, bool ntPlatform, bool workstation, bool serverR2);
// The stand-in's OS version named by windowsName; null when unknown.
const char* currentWindowsName();

// Bytes in GiB, and a GiB figure as "%Lg" prints it followed by "GB".
double toGiB(unsigned long long bytes);
std::string formatGiB(double gib);

} // namespace tresk
