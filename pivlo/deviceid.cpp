#include "deviceid.h"

#include <platform/netadapters.h>

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <memory>
#include <sstream>

namespace pivlo {

namespace na = platform::netadapters;

namespace {

// Room of the adapter list of the Windows call: 16 records.
constexpr size_t kMaxAdapters = 16;
constexpr unsigned kTypeEthernet = 6;

bool isZero(const MacAddress& address)
{
    return std::all_of(address.begin(), address.end(), [](uint8_t b) { return b == 0; });
}

int classOf(const na::Adapter& adapter)
{
    if (adapter.type == na::kTypeWireless)
        return kClassWireless;
    if (adapter.type == na::kTypeEthernet)
        return adapter.pciBus ? kClassPciWired : kClassOtherWired;
    return kClassOther;
}

// The stand-in's list in interface-index order (the order Windows enumerates
// them in), not its physical-first order.
bool listByIndex(std::vector<na::Adapter>& list)
{
    if (!na::listAdapters(list))
        return false;
    std::stable_sort(list.begin(), list.end(),
                     [](const na::Adapter& a, const na::Adapter& b) { return a.index < b.index; });
    return true;
}

} // namespace

MacSources systemMacSources()
{
    // One reading of the adapters serves all methods of one identification.
    auto list = std::make_shared<std::vector<na::Adapter>>();
    const bool listed = listByIndex(*list);
    MacSources s;
    s.adapters = [list, listed](std::vector<AdapterRecord>& out) {
        out.clear();
        if (!listed || list->size() > kMaxAdapters)
            return false;
        for (const na::Adapter& a : *list)
            out.push_back(AdapterRecord{a.name, a.type, a.mac});
        return true;
    };
    s.adapterClass = [list](const std::string& name) {
        for (const na::Adapter& a : *list)
            if (a.name == name)
                return classOf(a);
        return static_cast<int>(kClassOther);
    };
    s.transports = [list, listed](std::vector<std::string>& out) {
        out.clear();
        for (const na::Adapter& a : *list) {
            std::string text;
            for (size_t i = 0; i < 6; ++i) {
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02X", i < a.mac.size() ? a.mac[i] : 0);
                text += pair;
            }
            out.push_back(text);
        }
        return listed && !out.empty();
    };
    s.netbios = [](std::vector<LanaStatus>&) { return false; };
    return s;
}

std::string FormatMacAddress(const MacAddress& address)
{
    std::ostringstream out;
    out << std::hex << std::setfill('0');
    for (uint8_t byte : address)
        out << std::setw(2) << static_cast<unsigned>(byte) << ':';
    return out.str();
}

bool GetMacFromAdapters(const MacSources& sources, MacAddress& address)
{
    std::vector<AdapterRecord> adapters;
    if (!sources.adapters || !sources.adapters(adapters))
        return false;
    int best = kClassOther;
    for (const AdapterRecord& adapter : adapters) {
        const int cls = sources.adapterClass ? sources.adapterClass(adapter.name) : kClassOther;
        if (isZero(address) || (adapter.type == kTypeEthernet && cls < best)) {
            address.fill(0);
            std::copy_n(adapter.mac.begin(), std::min<size_t>(adapter.mac.size(), 6), address.begin());
            best = cls;
        }
    }
    return !isZero(address);
}

bool GetMacFromTransports(const MacSources& sources, MacAddress& address)
{
    std::vector<std::string> transports;
    if (!sources.transports || !sources.transports(transports) || transports.empty())
        return false;
    for (const std::string& text : transports) {
        unsigned short f[6];
        if (std::sscanf(text.c_str(), "%2hx%2hx%2hx%2hx%2hx%2hx", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]) != 6)
            continue;
        for (size_t i = 0; i < 6; ++i)
            address[i] = static_cast<uint8_t>(f[i] & 0xff);
        if (!isZero(address))
            break;
    }
    return !isZero(address);
}

bool GetMacFromNetbios(const MacSources& sources, MacAddress& address)
{
    std::vector<LanaStatus> lanas;
    if (!sources.netbios || !sources.netbios(lanas))
        return false;
    for (auto lana = lanas.rbegin(); lana != lanas.rend(); ++lana) {
        if (!lana->resetOk || !lana->statusOk)
            continue;
        address = lana->address;
        if (!isZero(address))
            return true;
    }
    return false;
}

std::string GetDeviceId(const MacSources& sources)
{
    MacAddress address{};
    if (GetMacFromAdapters(sources, address) || GetMacFromTransports(sources, address) ||
        GetMacFromNetbios(sources, address))
        return FormatMacAddress(address);
    return std::string();
}

std::string GetDeviceId()
{
    return GetDeviceId(systemMacSources());
}

int GetAdapterClass(const std::string& adapterName)
{
    return systemMacSources().adapterClass(adapterName);
}

} // namespace pivlo
