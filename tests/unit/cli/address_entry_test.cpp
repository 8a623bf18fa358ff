#include "cli/address_entry.h"

#include <gtest/gtest.h>

namespace velkarin::cli {
namespace {

TEST(IsValidAddressText, AcceptsInetAddrNotationUpToFifteenCharacters) {
  for (const char* text : {"192.168.0.10", "255.255.255.0", "10.1", "10", "0x0A.0.0.1", "010.0.0.1",
                           "255.255.255.255", "123.123.123.123", "192.168.000.010"}) {
    EXPECT_TRUE(IsValidAddressText(text)) << text;
  }
}

TEST(IsValidAddressText, RefusesUnreadableZeroAndLongTexts) {
  for (const char* text : {"", "0.0.0.0", "0", "192.168.0.300", "abc", "1.2.3.4.5", "1..2",
                           "1.2.3.", "192.168.000.0100", " 1.2.3.4"}) {
    EXPECT_FALSE(IsValidAddressText(text)) << text;
  }
}

TEST(IsValidGatewayText, AlsoAcceptsEmptyAndAllZeros) {
  EXPECT_TRUE(IsValidGatewayText(""));
  EXPECT_TRUE(IsValidGatewayText("0.0.0.0"));
  EXPECT_TRUE(IsValidGatewayText("192.168.1.1"));
  EXPECT_FALSE(IsValidGatewayText("0"));  // only the exact text 0.0.0.0
  EXPECT_FALSE(IsValidGatewayText("192.168.1.256"));
  EXPECT_FALSE(IsValidGatewayText("0000192.168.1.1"));
}

TEST(ParseSerialText, OneToEightHexDigits) {
  EXPECT_EQ(ParseSerialText("001A2B"), 0x1A2Bu);
  EXPECT_EQ(ParseSerialText("1a2b"), 0x1A2Bu);
  EXPECT_EQ(ParseSerialText("0"), 0u);
  EXPECT_EQ(ParseSerialText("FFFFFFFF"), 0xFFFFFFFFu);
  for (const char* text : {"", "123456789", "0x1A", "1A2G", "-1", " 1", "1 "}) {
    EXPECT_FALSE(ParseSerialText(text)) << text;
  }
}

DeviceRecord Fixed(const char* ip, const char* mask, const char* gw) {
  DeviceRecord r;
  r.dhcp = 0;
  r.ipAddress = ip;
  r.netmask = mask;
  r.gateway = gw;
  return r;
}

TEST(ConfigurationDifferences, DhcpComparesOnlyTheDhcpValue) {
  DeviceRecord sent;
  sent.dhcp = 1;
  DeviceRecord announced = Fixed("1.2.3.4", "255.0.0.0", "1.1.1.1");
  announced.dhcp = 1;
  EXPECT_TRUE(IsDeviceConfigured(sent, announced));
  announced.dhcp = 0;
  EXPECT_EQ(ConfigurationDifferences(sent, announced),
            std::vector<std::string>{"dhcp: sent 1, announced 0"});
  announced.dhcp = 2;
  EXPECT_FALSE(IsDeviceConfigured(sent, announced));
}

TEST(ConfigurationDifferences, FixedComparesAddressesAsAddresses) {
  const DeviceRecord sent = Fixed("10.0.0.5", "255.255.255.0", "");
  EXPECT_TRUE(IsDeviceConfigured(sent, Fixed("10.0.0.5", "255.255.255.0", "10.0.0.1")));
  EXPECT_TRUE(IsDeviceConfigured(sent, Fixed("10.0.0.05", "255.255.255.0", "")));
  EXPECT_TRUE(IsDeviceConfigured(Fixed("10.0.0.5", "255.255.255.0", "10.0.0.1"),
                                 Fixed("10.0.0.5", "255.255.255.0", "")));
  DeviceRecord dhcpOn = Fixed("10.0.0.5", "255.255.255.0", "");
  dhcpOn.dhcp = 1;
  EXPECT_EQ(ConfigurationDifferences(sent, dhcpOn),
            std::vector<std::string>{"dhcp: sent 0, announced 1"});

  const auto differences = ConfigurationDifferences(Fixed("10.0.0.5", "255.255.255.0", "10.0.0.1"),
                                                    Fixed("10.0.0.6", "255.255.0.0", "10.0.0.2"));
  EXPECT_EQ(differences,
            (std::vector<std::string>{"IP address: sent 10.0.0.5, announced 10.0.0.6",
                                      "netmask: sent 255.255.255.0, announced 255.255.0.0",
                                      "gateway: sent 10.0.0.1, announced 10.0.0.2"}));
  EXPECT_EQ(ConfigurationDifferences(sent, Fixed("", "255.255.255.0", "")),
            std::vector<std::string>{"IP address: sent 10.0.0.5, announced (none)"});
}

}  // namespace
}  // namespace velkarin::cli
