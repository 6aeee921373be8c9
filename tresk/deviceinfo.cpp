#include "deviceinfo.h"

#include <platform/netadapters.h>
#include <platform/sysinfo.h>

#include <algorithm>
#include <cstdio>

namespace tresk {

namespace {

namespace si = platform::sysinfo;

bool contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

std::u16string decimal(long long value)
{
    return widen(std::to_string(value));
}

} // namespace

const char* windowsName(int major, int minor, bool ntPlatform, bool workstation, bool serverR2)
{
    if (major == 4 && minor == 0)
        return ntPlatform ? "Windows_NT 4.0" : "Windows 95";
    if (major == 4 && minor == 10)
        return "Windows 98";
    if (major == 4 && minor == 90)
        return "Windows Me";
    if (major == 5 && minor == 0)
        return "Windows 2000";
    if (major == 5 && minor == 1)
        return "Windows XP";
    if (major == 5 && minor == 2)
        return workstation ? "Windows XP Professional x64 Edition"
                           : (serverR2 ? "Microsoft Windows Server 2003 R2" : "Windows Server 2003");
    if (major == 6 && minor == 0)
        return workstation ? "Microsoft Windows Vista" : "Microsoft Windows Server 2008";
    if (major == 6 && minor == 1)
        return workstation ? "Windows 7" : "Windows Server 2008 R2";
    if (major == 6 && minor == 2)
        return workstation ? "Windows 8" : "Windows Server 2012";
    if (major == 6 && minor == 3)
        return workstation ? "Windows 8.1" : "Windows Server 2012 R2";
    if (major == 10 && minor == 0)
        return "Windows 10";
    return nullptr;
}

const char* currentWindowsName()
{
    const si::OsVersion v = si::osVersion();
    return windowsName(v.major, v.minor, true, v.workstation, false);
}

double toGiB(unsigned long long bytes)
{
    // Computed in double, as the long double of a Windows compiler is.
    return static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
}

std::string formatGiB(double gib)
{
    char text[108];
    std::snprintf(text, sizeof text, "%Lg", static_cast<long double>(gib));
    return std::string(text) + "GB";
}

std::u16string getDeviceUid()
{
    std::vector<platform::netadapters::Adapter> adapters;
    if (!platform::netadapters::listAdapters(adapters))
        return std::u16string();
    int best = -100;
    std::u16string result;
    for (const auto& a : adapters) {
        if (a.mac.size() != 6)
            continue;
        const std::string text = a.description + ":" + a.friendlyName;
        int score = 0;
        if (contains(text, "Virtual") || contains(text, "VMware"))
            score -= 1;
        if (contains(text, "以太网") || contains(text, "本地连接"))
            score += 1;
        if (score > best) {
            char formatted[32];
            std::snprintf(formatted, sizeof formatted, "%02X-%02X-%02X-%02X-%02X-%02X", a.mac[0], a.mac[1], a.mac[2],
                          a.mac[3], a.mac[4], a.mac[5]);
            result = widen(formatted);
            best = score;
        }
    }
    return result;
}

std::u16string getScreenResolution()
{
    const si::ScreenSize size = si::screenSize();
    return decimal(size.width) + u"*" + decimal(size.height);
}

std::u16string getOsName()
{
    const char* name = currentWindowsName();
    return widen(name ? name : "unknown OperatingSystem.");
}

std::u16string getOsBitness()
{
    return si::osVersion().is64Bit ? u"64" : u"32";
}

WideTree getCpuInfo()
{
    const si::Processor p = si::processor();
    // A 32-bit process sees at most 32 processors.
    const int count = std::clamp(p.onlineCount, 1, 32);
    const unsigned long mask = count == 32 ? 0xFFFFFFFFul : (1ul << count) - 1;
    const int level = p.family > 0 ? p.family : 0;
    const int revision = ((p.modelNumber > 0 ? p.modelNumber : 0) << 8 | (p.stepping > 0 ? p.stepping : 0)) & 0xFFFF;

    WideTree cpu;
    const auto add = [&cpu](const wchar_t* key, const std::string& value) {
        cpu.push_back(WideTree::value_type(key, WideTree(std::wstring(value.begin(), value.end()))));
    };
    add(L"OemId", "0"); // PROCESSOR_ARCHITECTURE_INTEL, reserved 0
    add(L"ProcessorArchitecture", "0");
    add(L"PageSize", "4096");
    add(L"MinimumApplicationAddress", "00010000");
    add(L"MaximumApplicationAddress", "7FFEFFFF");
    add(L"ActiveProcessorMask", std::to_string(mask));
    add(L"NumberOfProcessors", std::to_string(count));
    add(L"ProcessorType", "586"); // PROCESSOR_INTEL_PENTIUM
    add(L"AllocationGranularity", "65536");
    add(L"ProcessorLevel", std::to_string(level & 0xFFFF));
    add(L"ProcessorRevision", std::to_string(revision));
    return cpu;
}

std::u16string getDiskInfo()
{
    double gib = 0;
    for (const si::Disk& d : si::disks()) {
        if (!d.fixed)
            break;
        gib += toGiB(d.totalBytes);
    }
    return widen(formatGiB(gib));
}

std::u16string getMemoryInfo()
{
    const unsigned long long bytes = si::memoryTotalBytes();
    return bytes == 0 ? std::u16string() : widen(formatGiB(toGiB(bytes)));
}

std::u16string getVideoDriverVersion()
{
    std::string text;
    for (const si::DisplayAdapter& a : si::displayAdapters())
        if (!a.name.empty() && !a.driverVersion.empty())
            text += a.name + ":" + a.driverVersion + ";";
    return utf8ToWide(text);
}

std::u16string getStartTime()
{
    return decimal(eventTimeMs());
}

} // namespace tresk
