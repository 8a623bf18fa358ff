#include "cli/plan/assignable_address.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/address.h"

namespace velkarin::cli {
namespace {

struct AssignmentCase {
  const char* address;
  const char* netmask;
  const char* reason;  // part of the reason; nullptr: a device can have it
};

std::uint32_t Value(const char* text) { return ParseIpv4(text).value(); }

TEST(UnassignableReason, RefusesWhatWouldLoseTheDeviceAndNamesTheRule) {
  const AssignmentCase cases[] = {
      // Ranges no host address lies in, whatever the netmask.
      {"0.0.0.1", "255.0.0.0", "0.0.0.0/8"},
      {"0.255.255.254", "255.255.255.0", "0.0.0.0/8"},
      {"127.0.0.1", "255.0.0.0", "127.0.0.0/8 is the loopback range"},
      {"127.255.1.2", "255.255.0.0", "loopback"},
      {"224.0.0.1", "255.255.255.0", "224.0.0.0/4 is the multicast range"},
      {"239.255.255.250", "255.255.255.0", "multicast"},
      {"240.0.0.1", "255.255.255.0", "240.0.0.0/4 is reserved"},
      {"254.1.2.3", "255.0.0.0", "reserved"},
      {"255.255.255.255", "255.255.255.0", "255.255.255.255 is the limited broadcast address"},
      // Netmasks that leave the device unreachable.
      {"10.0.0.5", "255.0.255.0", "the netmask 255.0.255.0 is not a run of ones"},
      {"10.0.0.5", "0.255.255.255", "not a run of ones"},
      {"10.0.0.5", "255.255.255.255", "(/32)"},
      {"10.0.0.5", "0.0.0.0", "(/0)"},
      // The subnet's own two addresses.
      {"10.0.0.0", "255.255.255.0", "10.0.0.0 is the network address of 10.0.0.0/24"},
      {"10.0.0.255", "255.255.255.0", "10.0.0.255 is the broadcast address of 10.0.0.0/24"},
      {"192.168.7.4", "255.255.255.252", "the network address of 192.168.7.4/30"},
      {"192.168.7.7", "255.255.255.252", "the broadcast address of 192.168.7.4/30"},
      {"10.255.255.255", "255.0.0.0", "broadcast address of 10.0.0.0/8"},
      // Addresses a device can have.
      {"10.0.0.5", "255.0.0.0", nullptr},
      {"1.0.0.0", "255.0.0.0", "network address"},
      {"1.0.0.1", "255.0.0.0", nullptr},
      {"126.255.255.254", "255.0.0.0", nullptr},
      {"128.0.0.1", "255.255.0.0", nullptr},
      {"223.255.255.254", "255.255.255.0", nullptr},
      {"10.0.0.0", "255.0.0.0", "network address"},
      {"10.0.1.0", "255.255.0.0", nullptr},
      {"10.0.0.255", "255.255.0.0", nullptr},
      {"192.168.7.5", "255.255.255.252", nullptr},
      {"172.16.0.1", "128.0.0.0", nullptr},
      // A /31 is a point-to-point link: both of its addresses are hosts'.
      {"192.168.7.4", "255.255.255.254", nullptr},
      {"192.168.7.5", "255.255.255.254", nullptr},
  };
  for (const AssignmentCase& c : cases) {
    const std::optional<std::string> reason =
        UnassignableReason(Value(c.address), Value(c.netmask));
    if (c.reason == nullptr) {
      EXPECT_FALSE(reason) << c.address << "/" << c.netmask << ": " << *reason;
    } else {
      ASSERT_TRUE(reason) << c.address << "/" << c.netmask;
      EXPECT_NE(reason->find(c.reason), std::string::npos) << c.address << ": " << *reason;
    }
  }
}

TEST(UnusableGatewayReason, RefusesTheRangesOnly) {
  for (const char* address :
       {"0.0.0.1", "127.0.0.1", "224.0.0.1", "240.0.0.1", "255.255.255.255"}) {
    EXPECT_TRUE(UnusableGatewayReason(Value(address))) << address;
  }
  // A gateway is a neighbour's address; the device's netmask does not apply.
  for (const char* address : {"10.0.0.0", "10.0.0.255", "192.168.1.1", "223.255.255.255"}) {
    EXPECT_FALSE(UnusableGatewayReason(Value(address))) << address;
  }
}

TEST(PrefixNetmask, WritesTheLeadingOnesAsADottedNetmask) {
  const std::pair<int, const char*> cases[] = {
      {0, "0.0.0.0"},          {1, "128.0.0.0"},        {8, "255.0.0.0"},
      {12, "255.240.0.0"},     {23, "255.255.254.0"},   {24, "255.255.255.0"},
      {30, "255.255.255.252"}, {31, "255.255.255.254"}, {32, "255.255.255.255"},
  };
  for (const auto& [prefix, netmask] : cases) EXPECT_EQ(PrefixNetmask(prefix), netmask) << prefix;
}

TEST(SplitAddressPrefix, TakesOneOrTwoDigitsFrom1To32) {
  struct Case {
    const char* text;
    bool valid;
    const char* address;
    int prefix;  // 0: none
  };
  const Case cases[] = {
      {"10.0.0.5", true, "10.0.0.5", 0},
      {"10.0.0.5/24", true, "10.0.0.5", 24},
      {"10.0.0.5/1", true, "10.0.0.5", 1},
      {"10.0.0.5/08", true, "10.0.0.5", 8},
      {"10.0.0.5/32", true, "10.0.0.5", 32},
      {"/24", true, "", 24},  // the address is checked as any other
      {"10.0.0.5/0", false, "", 0},
      {"10.0.0.5/00", false, "", 0},
      {"10.0.0.5/33", false, "", 0},
      {"10.0.0.5/", false, "", 0},
      {"10.0.0.5/024", false, "", 0},
      {"10.0.0.5/2x", false, "", 0},
      {"10.0.0.5/-1", false, "", 0},
      {"10.0.0.5/24/8", false, "", 0},
      {"10.0.0.5/255.255.255.0", false, "", 0},
  };
  for (const Case& c : cases) {
    const std::optional<AddressWithPrefix> split = SplitAddressPrefix(c.text);
    ASSERT_EQ(split.has_value(), c.valid) << c.text;
    if (!split) continue;
    EXPECT_EQ(split->address, c.address) << c.text;
    EXPECT_EQ(split->prefix.value_or(0), c.prefix) << c.text;
  }
}

}  // namespace
}  // namespace velkarin::cli
