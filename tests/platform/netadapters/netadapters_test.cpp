#include "fakeroot.h"
#include "platform/netadapters.h"

#include <gtest/gtest.h>

namespace na = platform::netadapters;
using zavmo::test::FakeRoot;

namespace {

TEST(NetAdapters, PhysicalFirstLoopbackSkippedWindowsNames)
{
    FakeRoot root;
    std::vector<na::Adapter> list;
    EXPECT_FALSE(na::listAdapters(list));

    root.netInterface("lo", 1, "00:00:00:00:00:00", false, 772);
    root.netInterface("docker0", 3, "02:42:ac:11:00:01", false);
    root.netInterface("enp3s0", 2, "3c:7c:3f:1e:a0:01", true);
    root.netInterface("wlp2s0", 5, "a4:c3:f0:85:ac:2b", true, 1, true);
    root.netInterface("enp4s0", 4, "3C:7C:3F:1E:A0:02", true);
    root.netInterface("tun0", 6, "", false, 65534);
    root.netInterface("odd0", 7, "zz:00", false);
    ASSERT_TRUE(na::listAdapters(list));
    ASSERT_EQ(list.size(), 6u);

    const char* order[] = {"enp3s0", "enp4s0", "wlp2s0", "docker0", "tun0", "odd0"};
    const char* friendly[] = {"以太网", "以太网 2", "WLAN", "docker0", "tun0", "odd0"};
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].name, order[i]);
        EXPECT_EQ(list[i].friendlyName, friendly[i]);
    }
    EXPECT_EQ(list[0].mac, (std::vector<uint8_t>{0x3c, 0x7c, 0x3f, 0x1e, 0xa0, 0x01}));
    EXPECT_EQ(list[1].mac, (std::vector<uint8_t>{0x3c, 0x7c, 0x3f, 0x1e, 0xa0, 0x02}));
    EXPECT_TRUE(list[0].physical);
    EXPECT_EQ(list[0].type, na::kTypeEthernet);
    EXPECT_EQ(list[2].type, na::kTypeWireless);
    EXPECT_EQ(list[4].type, na::kTypeTunnel);
    EXPECT_EQ(list[0].description.find("Virtual"), std::string::npos);
    EXPECT_FALSE(list[0].description.empty());
    EXPECT_EQ(list[3].description, "docker0 Virtual Ethernet Adapter");
    EXPECT_FALSE(list[3].physical);
    EXPECT_TRUE(list[4].mac.empty());
    EXPECT_TRUE(list[5].mac.empty());
}

} // namespace
