#include "platform/netadapters.h"

#include "platform/sysinfo.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace platform::netadapters {

namespace {

std::string firstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool exists(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0;
}

// "aa:bb:cc:dd:ee:ff" to bytes; empty for anything else or all zero.
std::vector<uint8_t> parseMac(const std::string& text)
{
    std::vector<uint8_t> mac;
    size_t pos = 0;
    while (pos < text.size()) {
        char* end = nullptr;
        const unsigned long byte = std::strtoul(text.c_str() + pos, &end, 16);
        const size_t used = static_cast<size_t>(end - (text.c_str() + pos));
        if (used == 0 || used > 2 || byte > 0xff)
            return {};
        mac.push_back(static_cast<uint8_t>(byte));
        pos += used;
        if (pos < text.size() && text[pos] != ':')
            return {};
        ++pos;
    }
    if (std::all_of(mac.begin(), mac.end(), [](uint8_t b) { return b == 0; }))
        return {};
    return mac;
}

// The name of the bus a device link's subsystem points at ("pci", "usb").
std::string busOf(const std::string& subsystemLink)
{
    char target[512];
    const ssize_t n = ::readlink(subsystemLink.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return std::string();
    const std::string path(target, static_cast<size_t>(n));
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

unsigned parseHexId(const std::string& text)
{
    return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
}

} // namespace

bool listAdapters(std::vector<Adapter>& out)
{
    out.clear();
    const std::string folder = platform::sysinfo::rootPath("sys/class/net");
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    std::vector<Adapter> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string base = folder + "/" + name + "/";
        Adapter a;
        a.name = name;
        a.index = std::atoi(firstLine(base + "ifindex").c_str());
        const int arpType = std::atoi(firstLine(base + "type").c_str());
        if (arpType == 772 || name == "lo") // ARPHRD_LOOPBACK
            continue;
        a.mac = parseMac(firstLine(base + "address"));
        a.physical = exists(base + "device");
        a.pciBus = a.physical && busOf(base + "device/subsystem") == "pci";
        const bool wireless = exists(base + "wireless") || exists(base + "phy80211");
        a.type = wireless ? kTypeWireless : arpType == 1 ? kTypeEthernet : arpType == 65534 ? kTypeTunnel : kTypeOther;
        if (a.physical) {
            const std::string vendor = firstLine(base + "device/vendor");
            const std::string device = firstLine(base + "device/device");
            a.description = vendor.empty() || device.empty()
                                ? name
                                : sysinfo::pciDeviceName(parseHexId(vendor), parseHexId(device));
        } else {
            a.description = name + " Virtual Ethernet Adapter";
        }
        found.push_back(std::move(a));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const Adapter& x, const Adapter& y) {
        if (x.physical != y.physical)
            return x.physical;
        return x.index != y.index ? x.index < y.index : x.name < y.name;
    });
    int wired = 0, wlan = 0;
    for (Adapter& a : found) {
        if (a.physical && a.type == kTypeWireless)
            a.friendlyName = ++wlan == 1 ? "WLAN" : "WLAN " + std::to_string(wlan);
        else if (a.physical && a.type == kTypeEthernet)
            a.friendlyName = ++wired == 1 ? "以太网" : "以太网 " + std::to_string(wired);
        else
            a.friendlyName = a.name;
    }
    out = std::move(found);
    return true;
}

} // namespace platform::netadapters
