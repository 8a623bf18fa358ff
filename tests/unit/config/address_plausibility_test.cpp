#include "config/address_plausibility.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "static_configuration.h"

namespace velkarin {
namespace {

using Rule = PlausibilityRule;

using test::FixedAddresses;

std::vector<Rule> RulesOf(const std::vector<PlausibilityWarning>& warnings) {
  std::vector<Rule> rules;
  for (const PlausibilityWarning& w : warnings) rules.push_back(w.rule);
  return rules;
}

TEST(AddressPlausibilityWarnings, FlagsEachRuleAndOnlyIt) {
  const struct {
    const char* ip;
    const char* mask;
    const char* gw;
    std::vector<Rule> rules;
  } cases[] = {
      {"192.168.1.10", "255.255.255.0", "192.168.1.1", {}},
      {"192.168.1.10", "255.255.255.0", "", {}},
      {"192.168.1.10", "255.255.255.0", "0.0.0.0", {}},
      {"10.1.2.3", "255.0.0.0", "10.255.255.254", {}},
      {"192.168.1.10", "255.0.255.0", "192.168.1.1", {Rule::NETMASK_NOT_CONTIGUOUS}},
      {"192.168.1.10", "255.255.255.1", "192.168.1.2", {Rule::NETMASK_NOT_CONTIGUOUS}},
      {"192.168.1.10", "0.255.255.255", "", {Rule::NETMASK_NOT_CONTIGUOUS}},
      {"192.168.1.10", "255.255.255.0", "192.168.2.1", {Rule::GATEWAY_OUTSIDE_SUBNET}},
      {"172.20.5.10", "255.255.255.128", "172.20.5.129", {Rule::GATEWAY_OUTSIDE_SUBNET}},
      {"192.168.1.0", "255.255.255.0", "192.168.1.1", {Rule::ADDRESS_IS_NETWORK_ADDRESS}},
      {"192.168.1.255", "255.255.255.0", "192.168.1.1", {Rule::ADDRESS_IS_BROADCAST_ADDRESS}},
      {"10.0.0.63", "255.255.255.192", "", {Rule::ADDRESS_IS_BROADCAST_ADDRESS}},
      {"10.0.0.64", "255.255.255.252", "", {Rule::ADDRESS_IS_NETWORK_ADDRESS}},
      // A /31 link and a /32 host route have no network or broadcast address.
      {"10.0.0.0", "255.255.255.254", "10.0.0.1", {}},
      {"10.0.0.7", "255.255.255.255", "", {}},
      {"10.0.0.7", "255.255.255.255", "10.0.0.1", {Rule::GATEWAY_OUTSIDE_SUBNET}},
      // Several at once, in form order.
      {"192.168.1.255",
       "255.255.255.0",
       "10.0.0.1",
       {Rule::ADDRESS_IS_BROADCAST_ADDRESS, Rule::GATEWAY_OUTSIDE_SUBNET}},
      {"192.168.1.10",
       "255.0.255.0",
       "10.1.1.1",
       {Rule::NETMASK_NOT_CONTIGUOUS, Rule::GATEWAY_OUTSIDE_SUBNET}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RulesOf(AddressPlausibilityWarnings(FixedAddresses(c.ip, c.mask, c.gw))), c.rules)
        << c.ip << " " << c.mask << " " << c.gw;
  }
}

TEST(AddressPlausibilityWarnings, NoneForDhcp) {
  DeviceRecord r = FixedAddresses("192.168.1.0", "255.0.255.0", "10.0.0.1");
  r.dhcp = 1;
  EXPECT_TRUE(AddressPlausibilityWarnings(r).empty());
}

TEST(AddressPlausibilityWarnings, TextNamesTheValueAndTheRule) {
  const struct {
    const char* ip;
    const char* mask;
    const char* gw;
    std::vector<std::string> parts;
  } cases[] = {
      {"192.168.1.10", "255.0.255.0", "", {"netmask 255.0.255.0", "not contiguous"}},
      {"192.168.1.10",
       "255.255.255.0",
       "192.168.2.1",
       {"gateway 192.168.2.1", "outside subnet 192.168.1.0/24"}},
      {"192.168.1.10",
       "255.255.255.0",
       "10.1.1.1",
       {"gateway 10.1.1.1", "IP address 192.168.1.10 and netmask 255.255.255.0"}},
      {"192.168.1.10",
       "255.0.255.0",
       "10.1.1.1",
       {"netmask 255.0.255.0", "outside subnet 192.0.1.0 with netmask 255.0.255.0"}},
      {"192.168.1.0", "255.255.255.0", "", {"IP address 192.168.1.0", "network address"}},
      {"10.0.0.63",
       "255.255.255.192",
       "",
       {"IP address 10.0.0.63", "broadcast address of subnet 10.0.0.0/26"}},
  };
  for (const auto& c : cases) {
    std::string texts;
    for (const PlausibilityWarning& w :
         AddressPlausibilityWarnings(FixedAddresses(c.ip, c.mask, c.gw))) {
      texts += w.text + "\n";
    }
    for (const std::string& part : c.parts) {
      EXPECT_NE(texts.find(part), std::string::npos) << part << " in " << texts;
    }
  }
}

DeviceRecord Listed(std::uint32_t serial, const char* deviceId, const char* ip) {
  DeviceRecord r;
  r.serial = serial;
  r.deviceId = deviceId;
  r.ipAddress = ip;
  return r;
}

TEST(OtherDevicesAnnouncing, FindsEveryOtherHolderOfTheAddress) {
  const DeviceList devices = {
      Listed(0x10, "", "10.0.0.5"),  // the target, listed under its old setting too
      Listed(0x10, "", "10.0.0.9"),       Listed(0x20, "", "10.0.0.5"),
      Listed(0x30, "ID-A", "10.0.0.010"),  // octal: 10.0.0.8
      Listed(0x30, "ID-B", "10.0.0.8"),    // a twin by serial, told apart by identifier
      Listed(0x40, "", "0.0.0.0"),        Listed(0x50, "", "1.1.1.1"),
  };
  const struct {
    const char* address;
    std::uint32_t serial;
    const char* deviceId;
    std::vector<std::uint32_t> serials;
  } cases[] = {
      {"10.0.0.5", 0x10, "", {0x20}},
      {"10.0.0.9", 0x10, "", {}},
      {"10.0.0.9", 0x20, "", {0x10}},
      {"10.0.0.8", 0x30, "id-a", {0x30}},  // ID-B; case of the identifier ignored
      {"10.0.0.8", 0x30, "", {}},
      {"10.0.0.8", 0x10, "", {0x30, 0x30}},
      {"10.0.0.7", 0x10, "", {}},
      // Placeholders mean "no address": never a conflict.
      {"0.0.0.0", 0x10, "", {}},
      {"1.1.1.1", 0x10, "", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> serials;
    for (const DeviceRecord& r : OtherDevicesAnnouncing(devices, c.address, c.serial, c.deviceId)) {
      serials.push_back(r.serial);
    }
    EXPECT_EQ(serials, c.serials) << c.address << " for " << c.serial << "/" << c.deviceId;
  }
}

}  // namespace
}  // namespace velkarin
