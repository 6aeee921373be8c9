// The device identifier: which adapter each method picks, the fall-through
// from one method to the next, and the Linux adapter list behind them.
#include "deviceid.h"

#include "fakeroot.h"

#include <gtest/gtest.h>

#include <map>

namespace pivlo {
namespace {

constexpr unsigned kEthernet = 6, kWireless = 71, kOther = 1;

std::vector<uint8_t> mac(uint8_t last)
{
    return {0x3c, 0x7c, 0x3f, 0x1e, 0xa0, last};
}

MacSources fromAdapters(std::vector<AdapterRecord> list, std::map<std::string, int> classes)
{
    MacSources s;
    s.adapters = [list](std::vector<AdapterRecord>& out) {
        out = list;
        return true;
    };
    s.adapterClass = [classes](const std::string& name) {
        const auto it = classes.find(name);
        return it == classes.end() ? static_cast<int>(kClassOther) : it->second;
    };
    return s;
}

std::string idOf(const std::vector<uint8_t>& m)
{
    MacAddress a{};
    std::copy(m.begin(), m.end(), a.begin());
    return FormatMacAddress(a);
}

TEST(DeviceId, FormatIsLowerCasePairsEachWithAColon)
{
    EXPECT_EQ(FormatMacAddress({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}), "00:1a:2b:3c:4d:5e:");
    EXPECT_EQ(FormatMacAddress({0xff, 0xab, 0, 1, 0x10, 0xc0}), "ff:ab:00:01:10:c0:");
}

TEST(DeviceId, AdapterMethodPrefersLowerClassEthernetAndKeepsTheEarlierOnTies)
{
    // A first adapter that is not Ethernet stays unless a later Ethernet one
    // has a lower class.
    auto s = fromAdapters({{"wlan", kWireless, mac(1)}, {"vpn", kEthernet, mac(2)}, {"virt", kOther, mac(3)}},
                          {{"wlan", kClassWireless}, {"vpn", kClassOther}, {"virt", kClassPciWired}});
    EXPECT_EQ(GetDeviceId(s), idOf(mac(1)));
    s = fromAdapters({{"tap", kOther, mac(1)}, {"usb", kEthernet, mac(2)}, {"pci", kEthernet, mac(3)}},
                     {{"tap", kClassOther}, {"usb", kClassOtherWired}, {"pci", kClassPciWired}});
    EXPECT_EQ(GetDeviceId(s), idOf(mac(3)));
    // Same class: the earlier one.
    s = fromAdapters({{"a", kEthernet, mac(1)}, {"b", kEthernet, mac(2)}},
                     {{"a", kClassPciWired}, {"b", kClassPciWired}});
    EXPECT_EQ(GetDeviceId(s), idOf(mac(1)));
    // A wireless adapter never counts as Ethernet, whatever its class.
    s = fromAdapters({{"usb", kEthernet, mac(1)}, {"wlan", kWireless, mac(2)}},
                     {{"usb", kClassOtherWired}, {"wlan", kClassWireless}});
    EXPECT_EQ(GetDeviceId(s), idOf(mac(1)));
    // An all-zero address does not stop the walk.
    s = fromAdapters({{"pci0", kEthernet, {0, 0, 0, 0, 0, 0}}, {"usb", kEthernet, mac(4)}},
                     {{"pci0", kClassPciWired}, {"usb", kClassOtherWired}});
    EXPECT_EQ(GetDeviceId(s), idOf(mac(4)));
}

TEST(DeviceId, MethodsFallThroughInTurn)
{
    MacSources s;
    EXPECT_EQ(GetDeviceId(s), "");                                  // no method at all
    s.adapters = [](std::vector<AdapterRecord>&) { return false; }; // more than 16
    s.transports = [](std::vector<std::string>& out) {
        out = {"not hex", "000000000000", "0A1B2C3D4E5F", "112233445566"};
        return true;
    };
    EXPECT_EQ(GetDeviceId(s), "0a:1b:2c:3d:4e:5f:");

    s.transports = [](std::vector<std::string>& out) {
        out = {"000000000000", "zz"};
        return true;
    };
    s.netbios = [](std::vector<LanaStatus>& out) {
        out = {{true, true, {1, 1, 1, 1, 1, 1}},
               {true, true, {2, 2, 2, 2, 2, 2}},
               {false, true, {3, 3, 3, 3, 3, 3}},
               {true, false, {4, 4, 4, 4, 4, 4}},
               {true, true, {0, 0, 0, 0, 0, 0}}};
        return true;
    };
    // From the last LANA down, skipping failed resets and queries.
    EXPECT_EQ(GetDeviceId(s), "02:02:02:02:02:02:");
    s.netbios = [](std::vector<LanaStatus>& out) {
        out = {{true, true, {0, 0, 0, 0, 0, 0}}};
        return true;
    };
    EXPECT_EQ(GetDeviceId(s), "");
}

TEST(DeviceId, LinuxAdaptersInIndexOrderWithTheirClasses)
{
    zavmo::test::FakeRoot root;
    EXPECT_EQ(GetDeviceId(), ""); // no adapter folder
    root.makeFolder("sys/class/net");
    EXPECT_EQ(GetDeviceId(), ""); // no adapters
    root.netInterface("lo", 1, "00:00:00:00:00:00", false, 772);
    root.netInterface("tun0", 2, "", false, 65534);
    root.netInterface("docker0", 3, "02:42:ac:11:00:01", false);
    root.netInterface("wlp2s0", 4, "a4:c3:f0:85:ac:2b", true, 1, true);
    root.link("sys/class/net/wlp2s0/device/subsystem", "../../../../bus/pci");
    root.netInterface("enx0", 5, "00:e0:4c:68:00:01", true);
    root.link("sys/class/net/enx0/device/subsystem", "../../../../bus/usb");
    EXPECT_EQ(GetAdapterClass("tun0"), kClassOther);
    EXPECT_EQ(GetAdapterClass("docker0"), kClassOtherWired);
    EXPECT_EQ(GetAdapterClass("wlp2s0"), kClassWireless);
    EXPECT_EQ(GetAdapterClass("enx0"), kClassOtherWired);
    EXPECT_EQ(GetAdapterClass("nothere"), kClassOther);
    // docker0 comes first by index; nothing of a lower class is Ethernet.
    EXPECT_EQ(GetDeviceId(), "02:42:ac:11:00:01:");

    root.netInterface("enp3s0", 6, "3C:7C:3F:1E:A0:0B", true);
    root.link("sys/class/net/enp3s0/device/subsystem", "../../../../bus/pci");
    EXPECT_EQ(GetAdapterClass("enp3s0"), kClassPciWired);
    EXPECT_EQ(GetDeviceId(), "3c:7c:3f:1e:a0:0b:");

    // Beyond 16 adapters the list method fails; the transports take the first
    // address in index order.
    for (int i = 0; i < 12; ++i)
        root.netInterface("veth" + std::to_string(i), 10 + i, "", false);
    EXPECT_EQ(GetDeviceId(), "02:42:ac:11:00:01:");
}

} // namespace
} // namespace pivlo
