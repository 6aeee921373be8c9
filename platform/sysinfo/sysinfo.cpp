#include "platform/sysinfo.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>

extern "C" {
#include <pci/pci.h>
}

namespace platform::sysinfo {
namespace {

std::string rootPath(const std::string& relative)
{
    const char* env = std::getenv("ZAVMO_SYSINFO_ROOT");
    std::string root = (env && *env) ? env : "/";
    if (root.back() != '/')
        root += '/';
    return root + relative;
}

bool readText(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

std::string trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool parseHex(const std::string& text, unsigned& value)
{
    std::string t = trim(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(t.c_str(), &end, 16);
    if (end == t.c_str() || *end != 0)
        return false;
    value = unsigned(v);
    return true;
}

// libpci reports a broken ID file through an error callback that must not
// return; we leave it by longjmp and fall back to numbers.
thread_local std::jmp_buf* t_pciEscape = nullptr;

[[noreturn]] void pciError(char*, ...)
{
    std::longjmp(*t_pciEscape, 1);
}
void pciQuiet(char*, ...) {}

// Looks names up in the PCI ID database; one database load per instance.
class PciNames
{
public:
    PciNames()
    {
        access_ = pci_alloc();
        if (access_) {
            access_->error = pciError;
            access_->warning = pciQuiet;
            access_->debug = pciQuiet;
        }
    }
    ~PciNames()
    {
        if (access_)
            pci_cleanup(access_);
    }
    PciNames(const PciNames&) = delete;
    PciNames& operator=(const PciNames&) = delete;

    std::string name(unsigned vendorId, unsigned deviceId)
    {
        char numeric[16];
        std::snprintf(numeric, sizeof numeric, "%04x:%04x", vendorId & 0xffff, deviceId & 0xffff);
        if (!access_ || broken_)
            return numeric;
        std::jmp_buf escape;
        t_pciEscape = &escape;
        if (setjmp(escape) != 0) {
            t_pciEscape = nullptr;
            broken_ = true;
            return numeric;
        }
        char buf[512];
        const char* found =
            pci_lookup_name(access_, buf, sizeof buf,
                            PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE | PCI_LOOKUP_NO_NUMBERS | PCI_LOOKUP_NO_HWDB,
                            int(vendorId), int(deviceId));
        t_pciEscape = nullptr;
        return found ? std::string(found) : std::string(numeric);
    }

private:
    pci_access* access_ = nullptr;
    bool broken_ = false;
};

} // namespace

OsVersion osVersion()
{
    const char* env = std::getenv("ZAVMO_OS_VERSION");
    if (!env)
        return OsVersion{10, 0};
    OsVersion v;
    int major = 0, minor = 0, used = 0;
    if (std::sscanf(env, "%d.%d%n", &major, &minor, &used) == 2 && env[used] == 0 && major >= 0 && minor >= 0) {
        v.major = major;
        v.minor = minor;
    }
    return v;
}

Processor processor()
{
    Processor p;
    std::ifstream in(rootPath("proc/cpuinfo"));
    std::string line;
    bool haveModel = false, haveVendor = false, haveMhz = false;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string key = trim(line.substr(0, colon));
        std::string value = trim(line.substr(colon + 1));
        if (key == "processor") {
            ++p.logicalCount;
        } else if (key == "model name" && !haveModel) {
            p.model = value;
            haveModel = true;
        } else if (key == "vendor_id" && !haveVendor) {
            p.vendor = value;
            haveVendor = true;
        } else if (key == "cpu MHz" && !haveMhz) {
            char* end = nullptr;
            double mhz = std::strtod(value.c_str(), &end);
            if (end != value.c_str()) {
                p.mhz = mhz;
                haveMhz = true;
            }
        }
    }
    return p;
}

std::string pciDeviceName(unsigned vendorId, unsigned deviceId)
{
    PciNames names;
    return names.name(vendorId, deviceId);
}

std::vector<DisplayAdapter> displayAdapters(bool* ok)
{
    std::vector<DisplayAdapter> result;
    std::string folder = rootPath("sys/bus/pci/devices");
    DIR* dir = opendir(folder.c_str());
    if (ok)
        *ok = dir != nullptr;
    if (!dir)
        return result;
    std::vector<std::string> addresses;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            addresses.push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(addresses.begin(), addresses.end());

    PciNames names;
    for (const std::string& address : addresses) {
        std::string base = folder + "/" + address + "/";
        std::string text;
        unsigned pciClass = 0;
        if (!readText(base + "class", text) || !parseHex(text, pciClass))
            continue;
        if ((pciClass >> 16) != 0x03)
            continue;
        DisplayAdapter a;
        a.pciAddress = address;
        if (readText(base + "vendor", text))
            parseHex(text, a.vendorId);
        if (readText(base + "device", text))
            parseHex(text, a.deviceId);
        a.name = names.name(a.vendorId, a.deviceId);
        result.push_back(a);
    }
    return result;
}

} // namespace platform::sysinfo
