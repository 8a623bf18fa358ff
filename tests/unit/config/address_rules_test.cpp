#include "config/address_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_command.h"
#include "static_configuration.h"

namespace velkarin {
namespace {

TEST(IsValidAddressText, AcceptsOneWholeAddressUpToFifteenCharacters) {
  for (const char* text : {"192.168.0.10", "255.255.255.0", "10.1", "10", "0x0A.0.0.1",
                           "10.0.0.0x0", "255.255.255.255", "123.123.123.123", "10.0.0.100"}) {
    EXPECT_TRUE(IsValidAddressText(text)) << text;
  }
}

TEST(IsValidAddressText, RefusesUnreadableZeroLongAndTrailingTexts) {
  for (const std::string& text : std::vector<std::string>{
           "", "0.0.0.0", "0", "192.168.0.300", "abc", "1.2.3.4.5", "1..2", "1.2.3.",
           "192.168.000.0100", " 1.2.3.4", "010.0.0.1", "192.168.001.010", "10.0.00.1", "10.0.0.01",
           "10.0.0.5 x", "10.0.0.5 ", "10.0.0.5\t", "10.0.0.5\n", std::string("10.0.0.5\0x", 10)}) {
    EXPECT_FALSE(IsValidAddressText(text)) << text;
  }
}

using test::FixedAddresses;
using Rule = AddressRule;

std::vector<Rule> RulesOf(const std::vector<AddressProblem>& problems) {
  std::vector<Rule> rules;
  for (const AddressProblem& p : problems) rules.push_back(p.rule);
  return rules;
}

// Short names for the table below.
constexpr Rule kIpText = Rule::IP_ADDRESS_TEXT;
constexpr Rule kMaskText = Rule::NETMASK_TEXT;
constexpr Rule kGwText = Rule::GATEWAY_TEXT;
constexpr Rule kReserved = Rule::ADDRESS_RESERVED;
constexpr Rule kNotContiguous = Rule::NETMASK_NOT_CONTIGUOUS;
constexpr Rule kAllOnes = Rule::NETMASK_ALL_ONES;
constexpr Rule kNetwork = Rule::NETWORK_ADDRESS;
constexpr Rule kBroadcast = Rule::BROADCAST_ADDRESS;
constexpr Rule kGwReserved = Rule::GATEWAY_RESERVED;
constexpr Rule kOutside = Rule::GATEWAY_OUTSIDE_SUBNET;

struct RuleCase {
  const char* ip;
  const char* mask;
  const char* gw;
  std::vector<Rule> rules;  // as the tool sees them, in order
  const char* words;        // part of the problems' words; nullptr: not looked at
};

TEST(CheckAddressConfiguration, FindsEachRuleInOrderWithItsWords) {
  const RuleCase cases[] = {
      // What a text must be.
      {"10.0.0.5", "255.255.255.0", "", {}, nullptr},
      {"10.0.0.5 x", "255.255.255.0", "", {kIpText}, "invalid IP address '10.0.0.5 x'"},
      {"10.0.0.5", "255.255.255.0 1", "x", {kMaskText, kGwText}, "netmask '255.255.255.0 1'"},
      {"10.0.0.5", "255.255.255.0", "10.0.0.1\r", {kGwText}, "invalid gateway"},
      {"10.0.0.5", "0.0.0.0", "", {kMaskText}, "invalid netmask '0.0.0.0'"},
      // Zero-padded: octal to inet_addr, decimal to whoever wrote it; the page too.
      {"192.168.001.010", "255.255.255.0", "", {kIpText}, "invalid IP address '192.168.001.010'"},
      {"10.0.0.5", "255.255.255.0", "10.0.0.01", {kGwText}, "invalid gateway '10.0.0.01'"},
      // No gateway, in both of its spellings; only the exact text 0.0.0.0.
      {"192.168.1.10", "255.255.255.0", "", {}, nullptr},
      {"192.168.1.10", "255.255.255.0", "0.0.0.0", {}, nullptr},
      {"192.168.1.10", "255.255.255.0", "0", {kGwText}, nullptr},
      {"192.168.1.10", "255.255.255.0", "192.168.1.256", {kGwText}, nullptr},
      {"192.168.1.10", "255.255.255.0", "10.0.0.1 x", {kGwText}, nullptr},
      // Ranges no host address lies in, whatever the netmask.
      {"0.0.0.1", "255.0.0.0", "", {kReserved}, "0.0.0.0/8"},
      {"0.255.255.254", "255.255.255.0", "", {kReserved}, "0.0.0.0/8"},
      {"127.0.0.1", "255.0.0.0", "", {kReserved}, "127.0.0.0/8 is the loopback range"},
      {"127.255.1.2", "255.255.0.0", "", {kReserved}, "loopback"},
      {"224.0.0.1", "255.255.255.0", "", {kReserved}, "224.0.0.0/4 is the multicast range"},
      {"239.255.255.250", "255.255.255.0", "", {kReserved}, "multicast"},
      {"240.0.0.1", "255.255.255.0", "", {kReserved}, "240.0.0.0/4 is reserved"},
      {"254.1.2.3", "255.0.0.0", "", {kReserved}, "reserved"},
      {"255.255.255.255", "255.255.255.0", "", {kReserved, kBroadcast}, "is the limited broadcast"},
      // Netmasks that leave the device unreachable.
      {"10.0.0.5", "255.0.255.0", "", {kNotContiguous}, "255.0.255.0 is not a run of ones"},
      {"10.0.0.5", "0.255.255.255", "", {kNotContiguous}, nullptr},
      {"192.168.1.10", "255.255.255.1", "192.168.1.2", {kNotContiguous}, nullptr},
      {"192.168.1.10", "255.0.255.0", "192.168.1.1", {kNotContiguous}, nullptr},
      {"10.0.0.5", "255.255.255.255", "", {kAllOnes}, "(/32)"},
      // The subnet's own two addresses, up to /30.
      {"10.0.0.0", "255.255.255.0", "", {kNetwork}, "0.0 is the network address of 10.0.0.0/24"},
      {"10.0.0.255", "255.255.255.0", "", {kBroadcast}, "broadcast address of 10.0.0.0/24"},
      {"192.168.7.4", "255.255.255.252", "", {kNetwork}, "the network address of 192.168.7.4/30"},
      {"192.168.7.7", "255.255.255.252", "", {kBroadcast}, "broadcast address of 192.168.7.4/30"},
      {"10.255.255.255", "255.0.0.0", "", {kBroadcast}, "broadcast address of 10.0.0.0/8"},
      {"10.0.0.63", "255.255.255.192", "", {kBroadcast}, "broadcast address of 10.0.0.0/26"},
      {"10.0.0.64", "255.255.255.252", "", {kNetwork}, nullptr},
      {"1.0.0.0", "255.0.0.0", "", {kNetwork}, nullptr},
      {"10.0.0.0", "255.0.0.0", "", {kNetwork}, nullptr},
      {"192.168.1.0", "255.255.255.0", "192.168.1.1", {kNetwork}, nullptr},
      {"192.168.1.255", "255.255.255.0", "192.168.1.1", {kBroadcast}, nullptr},
      // Addresses a device can have; a /31 is a point-to-point link of two hosts.
      {"10.0.0.5", "255.0.0.0", "", {}, nullptr},
      {"1.0.0.1", "255.0.0.0", "", {}, nullptr},
      {"126.255.255.254", "255.0.0.0", "", {}, nullptr},
      {"128.0.0.1", "255.255.0.0", "", {}, nullptr},
      {"223.255.255.254", "255.255.255.0", "", {}, nullptr},
      {"10.0.1.0", "255.255.0.0", "", {}, nullptr},
      {"10.0.0.255", "255.255.0.0", "", {}, nullptr},
      {"192.168.7.5", "255.255.255.252", "", {}, nullptr},
      {"172.16.0.1", "128.0.0.0", "", {}, nullptr},
      {"192.168.7.4", "255.255.255.254", "", {}, nullptr},
      {"192.168.7.5", "255.255.255.254", "", {}, nullptr},
      {"10.0.0.0", "255.255.255.254", "10.0.0.1", {}, nullptr},
      {"10.1.2.3", "255.0.0.0", "10.255.255.254", {}, nullptr},
      // Gateways: the reserved ranges only; a neighbour's address otherwise.
      {"10.0.0.5", "255.0.0.0", "0.0.0.1", {kGwReserved, kOutside}, "0.0.0.0/8"},
      {"10.0.0.5", "255.0.0.0", "127.0.0.1", {kGwReserved, kOutside}, "127.0.0.0/8"},
      {"10.0.0.5", "255.0.0.0", "224.0.0.1", {kGwReserved, kOutside}, "224.0.0.0/4"},
      {"10.0.0.5", "255.0.0.0", "240.0.0.1", {kGwReserved, kOutside}, "240.0.0.0/4"},
      {"10.0.0.5", "255.0.0.0", "255.255.255.255", {kGwReserved, kOutside}, "limited broadcast"},
      {"192.168.1.10", "255.255.255.0", "192.168.1.1", {}, nullptr},
      {"10.0.0.5", "255.0.0.0", "10.0.0.0", {}, nullptr},
      {"10.0.0.5", "255.0.0.0", "10.0.0.255", {}, nullptr},
      {"10.0.0.5", "255.0.0.0", "223.255.255.255", {kOutside}, nullptr},
      {"192.168.1.10", "255.255.255.0", "192.168.2.1", {kOutside}, "outside subnet 192.168.1.0/24"},
      {"192.168.1.10",
       "255.255.255.0",
       "10.1.1.1",
       {kOutside},
       "gateway 10.1.1.1 is outside subnet 192.168.1.0/24 of IP address 192.168.1.10 and netmask "
       "255.255.255.0, so the device cannot reach it"},
      {"172.20.5.10", "255.255.255.128", "172.20.5.129", {kOutside}, nullptr},
      // Several at once, in order.
      {"10.0.0.7", "255.255.255.255", "10.0.0.1", {kAllOnes, kOutside}, nullptr},
      {"192.168.1.255", "255.255.255.0", "10.0.0.1", {kBroadcast, kOutside}, nullptr},
      {"192.168.1.10",
       "255.0.255.0",
       "10.1.1.1",
       {kNotContiguous, kOutside},
       "192.0.1.0 with netmask 255.0.255.0"},
  };
  for (const RuleCase& c : cases) {
    const DeviceRecord record = FixedAddresses(c.ip, c.mask, c.gw);
    const std::vector<AddressProblem> problems =
        CheckAddressConfiguration(record, RuleContext::TOOL);
    EXPECT_EQ(RulesOf(problems), c.rules) << c.ip << " " << c.mask << " " << c.gw;
    std::string words;
    for (const AddressProblem& p : problems) words += p.words + "\n";
    if (c.words != nullptr) {
      EXPECT_NE(words.find(c.words), std::string::npos) << words;
    }
    // A gateway outside the subnet still works through another route: the
    // tool warns of it and sends. The page, which cannot warn, checks the
    // rest and refuses what the tool refuses.
    std::vector<Rule> refusedRules;
    for (const Rule rule : c.rules) {
      if (rule != kOutside) refusedRules.push_back(rule);
    }
    const bool refused = !refusedRules.empty();
    EXPECT_EQ(FirstRefusal(record, RuleContext::TOOL).has_value(), refused) << c.ip << " " << c.gw;
    const std::vector<AddressProblem> onPage = CheckAddressConfiguration(record, RuleContext::PAGE);
    EXPECT_EQ(RulesOf(onPage), refusedRules) << c.ip << " " << c.mask << " " << c.gw;
    for (const AddressProblem& p : onPage) EXPECT_EQ(p.severity, Severity::REFUSED) << p.words;
    const std::optional<AddressProblem> pageRefusal = FirstRefusal(record, RuleContext::PAGE);
    EXPECT_EQ(pageRefusal.has_value(), refused) << c.ip << " " << c.mask << " " << c.gw;
    if (refused && pageRefusal) {
      EXPECT_EQ(pageRefusal->rule, refusedRules.front());
    }
  }
  // With DHCP the addresses are not sent, so nothing about them counts.
  DeviceRecord dhcp = FixedAddresses("192.168.1.0", "255.0.255.0", "x");
  dhcp.dhcp = 1;
  EXPECT_TRUE(CheckAddressConfiguration(dhcp, RuleContext::TOOL).empty());
  EXPECT_FALSE(FirstRefusal(dhcp, RuleContext::PAGE));
}

TEST(CanonicalizeAddressEntries, SendsTheValueThatWasChecked) {
  const struct {
    const char* typed;
    const char* sent;
  } cases[] = {
      {"192.168.0x1.10", "192.168.1.10"}, {"10.1", "10.0.0.1"},   {"0x0A.0.0.1", "10.0.0.1"},
      {"192.168.1.20", "192.168.1.20"},   {"0.0.0.0", "0.0.0.0"}, {"", ""},
  };
  for (const auto& c : cases) {
    DeviceRecord record = FixedAddresses(c.typed, c.typed, c.typed);
    CanonicalizeAddressEntries(record);
    EXPECT_EQ(record.ipAddress, c.sent);
    EXPECT_EQ(record.netmask, c.sent);
    EXPECT_EQ(record.gateway, c.sent);
  }
}

TEST(BuildConfigCommand, NoFieldWithABlankOrControlCharacterReachesACommand) {
  DeviceRecord sound = FixedAddresses("10.0.0.5", "255.255.255.0", "");
  sound.serial = 0xA1B2;
  ASSERT_TRUE(BuildConfigCommand(sound, nullptr, ConfigChallenge{}));
  const struct {
    const char* field;
    std::string DeviceRecord::*member;
    std::string text;
  } cases[] = {
      {"IP address", &DeviceRecord::ipAddress, "10.0.0.5 x"},
      {"netmask", &DeviceRecord::netmask, "255.255.255.0\t"},
      {"gateway", &DeviceRecord::gateway, std::string("1.2.3.4\0", 8)},
      {"device identifier", &DeviceRecord::deviceId, "PUMP 7"},
      {"device identifier", &DeviceRecord::deviceId, "PUMP\x7F"},
  };
  for (const auto& c : cases) {
    DeviceRecord record = sound;
    record.*c.member = c.text;
    EXPECT_STREQ(FirstUnsafeCommandField(record), c.field);
    EXPECT_FALSE(BuildConfigCommand(record, nullptr, ConfigChallenge{})) << c.text;
    EXPECT_FALSE(BuildConfigCommand(record, "pw", ConfigChallenge{})) << c.text;
  }
  // With DHCP the address fields are not sent, and Latin-1 letters are text.
  DeviceRecord dhcp = sound;
  dhcp.dhcp = 1;
  dhcp.ipAddress = "not an address";
  dhcp.deviceId =
      "Pr\xFC"
      "fstand";
  EXPECT_EQ(FirstUnsafeCommandField(dhcp), nullptr);
  EXPECT_TRUE(BuildConfigCommand(dhcp, nullptr, ConfigChallenge{}));
}

TEST(ConfigurationDifferences, DhcpComparesOnlyTheDhcpValue) {
  DeviceRecord sent;
  sent.dhcp = 1;
  DeviceRecord announced = FixedAddresses("1.2.3.4", "255.0.0.0", "1.1.1.1");
  announced.dhcp = 1;
  EXPECT_TRUE(IsDeviceConfigured(sent, announced));
  announced.dhcp = 0;
  ASSERT_EQ(ConfigurationDifferences(sent, announced).size(), 1u);
  EXPECT_STREQ(ConfigurationDifferences(sent, announced)[0].field, "dhcp");
  announced.dhcp = 2;
  EXPECT_FALSE(IsDeviceConfigured(sent, announced));
}

TEST(ConfigurationDifferences, FixedComparesAddressesAsAddresses) {
  const DeviceRecord sent = FixedAddresses("10.0.0.5", "255.255.255.0", "");
  EXPECT_TRUE(IsDeviceConfigured(sent, FixedAddresses("10.0.0.5", "255.255.255.0", "10.0.0.1")));
  EXPECT_TRUE(IsDeviceConfigured(sent, FixedAddresses("10.0.0.05", "255.255.255.0", "")));
  EXPECT_TRUE(IsDeviceConfigured(FixedAddresses("10.0.0.5", "255.255.255.0", "10.0.0.1"),
                                 FixedAddresses("10.0.0.5", "255.255.255.0", "")));
  const auto differences =
      ConfigurationDifferences(FixedAddresses("10.0.0.5", "255.255.255.0", "10.0.0.1"),
                               FixedAddresses("10.0.0.6", "255.255.0.0", "10.0.0.2"));
  ASSERT_EQ(differences.size(), 3u);
  EXPECT_STREQ(differences[0].field, "IP address");
  EXPECT_EQ(differences[0].announced, "10.0.0.6");
  EXPECT_STREQ(differences[1].field, "netmask");
  EXPECT_STREQ(differences[2].field, "gateway");
}

DeviceRecord Listed(std::uint32_t serial, const char* deviceId, const char* ip) {
  DeviceRecord r = test::StaticConfiguration(serial, ip, "", "");
  r.deviceId = deviceId;
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
