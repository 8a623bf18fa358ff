#include "config/entry_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_command.h"
#include "static_configuration.h"

namespace velkarin {
namespace {

TEST(IsValidAddressText, AcceptsOneWholeAddressUpToFifteenCharacters) {
  for (const char* text : {"192.168.0.10", "255.255.255.0", "10.1", "10", "0x0A.0.0.1", "010.0.0.1",
                           "255.255.255.255", "123.123.123.123", "192.168.000.010"}) {
    EXPECT_TRUE(IsValidAddressText(text)) << text;
  }
}

TEST(IsValidAddressText, RefusesUnreadableZeroLongAndTrailingTexts) {
  for (const std::string& text :
       std::vector<std::string>{"", "0.0.0.0", "0", "192.168.0.300", "abc", "1.2.3.4.5", "1..2",
                                "1.2.3.", "192.168.000.0100", " 1.2.3.4", "10.0.0.5 x", "10.0.0.5 ",
                                "10.0.0.5\t", "10.0.0.5\n", std::string("10.0.0.5\0x", 10)}) {
    EXPECT_FALSE(IsValidAddressText(text)) << text;
  }
}

TEST(IsValidGatewayText, AlsoAcceptsEmptyAndAllZeros) {
  EXPECT_TRUE(IsValidGatewayText(""));
  EXPECT_TRUE(IsValidGatewayText("0.0.0.0"));
  EXPECT_TRUE(IsValidGatewayText("192.168.1.1"));
  EXPECT_FALSE(IsValidGatewayText("0"));  // only the exact text 0.0.0.0
  EXPECT_FALSE(IsValidGatewayText("192.168.1.256"));
  EXPECT_FALSE(IsValidGatewayText("10.0.0.1 x"));
}

using test::FixedAddresses;

TEST(FirstInvalidAddressEntry, NamesTheFirstFieldInFormOrder) {
  const struct {
    DeviceRecord record;
    const char* field;
  } cases[] = {
      {FixedAddresses("10.0.0.5", "255.255.255.0", ""), nullptr},
      {FixedAddresses("10.0.0.5 x", "255.255.255.0", ""), "IP address"},
      {FixedAddresses("10.0.0.5", "255.255.255.0 1", "x"), "netmask"},
      {FixedAddresses("10.0.0.5", "255.255.255.0", "10.0.0.1\r"), "gateway"},
  };
  for (const auto& c : cases) {
    const char* field = FirstInvalidAddressEntry(c.record);
    EXPECT_EQ(field == nullptr ? std::string("-") : field, c.field == nullptr ? "-" : c.field)
        << c.record.ipAddress;
  }
}

TEST(CanonicalizeAddressEntries, SendsTheValueThatWasChecked) {
  const struct {
    const char* typed;
    const char* sent;
  } cases[] = {
      {"192.168.001.010", "192.168.1.8"}, {"10.1", "10.0.0.1"},   {"0x0A.0.0.1", "10.0.0.1"},
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

}  // namespace
}  // namespace velkarin
