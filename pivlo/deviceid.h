// The device identifier of the plug-in's events: the MAC address of one
// network adapter, found by up to three methods, each tried only when the one
// before found nothing.
//
// The methods read their lists through MacSources, so that their choices are
// tested on any list. On Linux (systemMacSources) the adapter list is the
// network-adapter stand-in's in interface-index order, refused beyond 16
// adapters as the fixed-size list of Windows is; the transports are those
// adapters' addresses as 12-digit hexadecimal texts, without that limit;
// there is no NetBIOS, so its method finds nothing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pivlo {

using MacAddress = std::array<uint8_t, 6>;

// Adapter classes: lower is better.
enum AdapterClass : int {
    kClassPciWired = 0,
    kClassWireless = 1,
    kClassOtherWired = 2,
    kClassOther = 3,
};

struct AdapterRecord
{
    std::string name;
    unsigned type = 0;        // Windows interface type; 6 is Ethernet
    std::vector<uint8_t> mac; // the first 6 bytes count; missing ones are 0
};

// One LANA of NetBIOS in enumeration order.
struct LanaStatus
{
    bool resetOk = false;
    bool statusOk = false;
    MacAddress address{};
};

struct MacSources
{
    // False when the list cannot be had whole (no list, or more than 16).
    std::function<bool(std::vector<AdapterRecord>&)> adapters;
    // The class of an adapter by its name; kClassOther when unknown.
    std::function<int(const std::string& name)> adapterClass;
    // The transports' address texts; false when the enumeration fails.
    std::function<bool(std::vector<std::string>&)> transports;
    // False when NetBIOS cannot enumerate its LANAs.
    std::function<bool(std::vector<LanaStatus>&)> netbios;
};

MacSources systemMacSources();

// The first address found by the adapters, transports and NetBIOS methods,
// formatted; "" when none found one.
std::string GetDeviceId(const MacSources& sources);
std::string GetDeviceId();

// "00:1a:2b:3c:4d:5e:": lower-case pairs, each followed by ":".
std::string FormatMacAddress(const MacAddress& address);

// Each writes the address it found and returns true when it is not all zero.
// Adapters: the first adapter with an address, replaced only by a later
// Ethernet adapter of a strictly lower class (ties keep the earlier one).
bool GetMacFromAdapters(const MacSources& sources, MacAddress& address);
// Transports: the first text of six hexadecimal pairs that is not all zero.
bool GetMacFromTransports(const MacSources& sources, MacAddress& address);
// NetBIOS: the LANAs from the last to the first; the first non-zero address
// of one whose reset and status query succeed.
bool GetMacFromNetbios(const MacSources& sources, MacAddress& address);

// The class of the stand-in's adapter of that name: wired on the PCI bus 0,
// wireless 1, other wired (USB, virtual Ethernet) 2, anything else or an
// unknown name 3.
int GetAdapterClass(const std::string& adapterName);

} // namespace pivlo
