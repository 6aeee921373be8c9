// Network adapter stand-in: the adapter list that Windows' IP Helper gives,
// read from /sys/class/net.
//
// Order: physical adapters (those with a "device" link) first, then virtual
// ones, each by interface index; the loopback adapter is left out.
// Descriptions and friendly names follow what Windows shows, so that code
// scoring them by those texts works unchanged:
// - description: the PCI device name of a physical adapter (its interface name
//   when unknown); "<name> Virtual Ethernet Adapter" for a virtual one;
// - friendly name: "以太网", "以太网 2", ... for wired physical adapters,
//   "WLAN", "WLAN 2", ... for wireless ones, the interface name otherwise.
//
// Test seam: ZAVMO_SYSINFO_ROOT stands for "/" (as for platform/sysinfo.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::netadapters {

// Windows' interface types (IF_TYPE_*).
enum Type : unsigned {
    kTypeOther = 1,
    kTypeEthernet = 6,
    kTypeTunnel = 131,
    kTypeWireless = 71,
};

struct Adapter
{
    std::string name;         // interface name, e.g. "enp3s0"
    std::string description;  // UTF-8
    std::string friendlyName; // UTF-8
    std::vector<uint8_t> mac; // hardware address; empty when it has none
    unsigned type = kTypeOther;
    bool physical = false;
    bool pciBus = false; // its device sits on the PCI bus (device/subsystem is "pci")
    int index = 0;       // interface index
};

// False (and out empty) when the adapter folder cannot be read at all.
bool listAdapters(std::vector<Adapter>& out);

} // namespace platform::netadapters
