#include "platform/sysinfo.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/statvfs.h>
#include <unistd.h>

extern "C" {
#include <pci/pci.h>
}

namespace platform::sysinfo {
namespace {

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
// return; we leave it by longjmp and fall back to numbers. The callback's type
// carries libpci's own noreturn attribute, which clang does not see in a
// function declared [[noreturn]].
thread_local std::jmp_buf* t_pciEscape = nullptr;

void pciError(char*, ...) PCI_NONRET;
void pciError(char*, ...)
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

OsVersion osProduct()
{
    OsVersion v;
    const char* product = std::getenv("ZAVMO_OS_PRODUCT");
    const char* bits = std::getenv("ZAVMO_OS_BITS");
    v.workstation = !(product && std::strcmp(product, "server") == 0);
    v.is64Bit = !(bits && std::strcmp(bits, "32") == 0);
    return v;
}

std::string firstLine(const std::string& path)
{
    std::string text;
    if (!readText(path, text))
        return {};
    return trim(text.substr(0, text.find('\n')));
}

// A field of the mount table, where the kernel writes blank, tab, newline
// and backslash as "\ooo" (octal).
std::string unescapeMountField(const std::string& field)
{
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) &&
            octal(field[i + 3])) {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The count of processors in a kernel CPU list such as "0-3,6".
int countCpuList(const std::string& list)
{
    int count = 0;
    std::stringstream in(list);
    std::string part;
    while (std::getline(in, part, ',')) {
        int first = 0, last = 0, used = 0;
        if (std::sscanf(part.c_str(), "%d-%d%n", &first, &last, &used) == 2 && last >= first)
            count += last - first + 1;
        else if (std::sscanf(part.c_str(), "%d", &first) == 1)
            ++count;
    }
    return count;
}

// The kernel driver of a device folder and its version.
void driverOf(const std::string& deviceFolder, std::string& driver, std::string& version)
{
    char target[4096];
    const ssize_t n = ::readlink((deviceFolder + "driver").c_str(), target, sizeof target - 1);
    if (n <= 0)
        return;
    target[n] = 0;
    const char* slash = std::strrchr(target, '/');
    driver = slash ? slash + 1 : target;
    version = firstLine(rootPath("sys/module/" + driver + "/version"));
    if (version.empty())
        version = firstLine(rootPath("proc/sys/kernel/osrelease"));
}

} // namespace

std::string rootPath(const std::string& relative)
{
    const char* env = std::getenv("ZAVMO_SYSINFO_ROOT");
    std::string root = (env && *env) ? env : "/";
    if (root.back() != '/')
        root += '/';
    return root + relative;
}

OsVersion osVersion()
{
    const char* env = std::getenv("ZAVMO_OS_VERSION");
    if (!env) {
        OsVersion v = osProduct();
        v.major = 10;
        return v;
    }
    OsVersion v = osProduct();
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
        } else if (key == "cpu family" && p.family < 0) {
            p.family = std::atoi(value.c_str());
        } else if (key == "model" && p.modelNumber < 0) {
            p.modelNumber = std::atoi(value.c_str());
        } else if (key == "stepping" && p.stepping < 0) {
            p.stepping = std::atoi(value.c_str());
        } else if (key == "cpu MHz" && !haveMhz) {
            char* end = nullptr;
            double mhz = std::strtod(value.c_str(), &end);
            if (end != value.c_str()) {
                p.mhz = mhz;
                haveMhz = true;
            }
        }
    }
    const int online = countCpuList(firstLine(rootPath("sys/devices/system/cpu/online")));
    p.onlineCount = online > 0 ? online : p.logicalCount;
    return p;
}

std::string pciDeviceName(unsigned vendorId, unsigned deviceId)
{
    // libpci's name lookup uses process-wide state (getpwuid for its cache):
    // one lookup at a time. The ID database is read once, on the first.
    static std::mutex lookups;
    std::lock_guard<std::mutex> lock(lookups);
    // Never destroyed: a lookup may still run on another thread while the
    // statics are torn down (a plug-in unloaded, or the process exiting, with
    // its event threads busy), and it must not find the table freed.
    static PciNames* const names = new PciNames;
    return names->name(vendorId, deviceId);
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
        driverOf(base, a.driver, a.driverVersion);
        result.push_back(a);
    }
    return result;
}

unsigned long long memoryTotalBytes()
{
    std::ifstream in(rootPath("proc/meminfo"));
    std::string line;
    while (std::getline(in, line)) {
        unsigned long long kib = 0;
        if (std::sscanf(line.c_str(), "MemTotal: %llu kB", &kib) == 1)
            return kib * 1024;
    }
    return 0;
}

std::vector<Disk> disks()
{
    std::vector<Disk> result;
    std::ifstream in(rootPath("proc/mounts"));
    std::string line;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Disk d;
        if (!(fields >> d.device >> d.mountPoint) || d.device.rfind("/dev/", 0) != 0 || !seen.insert(d.device).second)
            continue;
        d.device = unescapeMountField(d.device);
        d.mountPoint = unescapeMountField(d.mountPoint);
        const std::string name = d.device.substr(d.device.rfind('/') + 1);
        const bool special = name.rfind("loop", 0) == 0 || name.rfind("sr", 0) == 0 || name.rfind("fd", 0) == 0;
        std::string removable = firstLine(rootPath("sys/class/block/" + name + "/removable"));
        if (removable.empty())
            removable = firstLine(rootPath("sys/class/block/" + name + "/../removable"));
        d.fixed = !special && removable != "1";
        struct statvfs st
        {
        };
        const std::string path = rootPath(d.mountPoint.substr(d.mountPoint.front() == '/' ? 1 : 0));
        if (::statvfs(path.c_str(), &st) == 0)
            d.totalBytes = static_cast<unsigned long long>(st.f_blocks) * st.f_frsize;
        result.push_back(d);
    }
    return result;
}

ScreenSize screenSize()
{
    ScreenSize size;
    const std::string folder = rootPath("sys/class/drm");
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return size;
    std::vector<std::string> connectors;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            connectors.push_back(entry->d_name);
    closedir(dir);
    std::sort(connectors.begin(), connectors.end());
    for (const std::string& c : connectors) {
        if (firstLine(folder + "/" + c + "/status") != "connected")
            continue;
        int w = 0, h = 0;
        if (std::sscanf(firstLine(folder + "/" + c + "/modes").c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0) {
            size.width = w;
            size.height = h;
            return size;
        }
    }
    return size;
}

} // namespace platform::sysinfo
