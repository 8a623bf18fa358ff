#include "config/config_command.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "reference_md5.h"
#include "static_configuration.h"

namespace velkarin {
namespace {

const ConfigChallenge kChallenge = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

DeviceRecord FixedAddressRecord() {
  return test::StaticConfiguration(0xA1B2, "192.168.1.20", "255.255.255.0", "192.168.1.1");
}

std::string Build(const DeviceRecord& record, const char* password = nullptr,
                  const ConfigChallenge& challenge = kChallenge) {
  const std::optional<std::string> text = BuildConfigCommand(record, password, challenge);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The digest the device expects: MD5 over the password (20 bytes at most),
// the challenge and the command with 32 zeros where the digest goes.
std::string ExpectedDigest(const std::string& password, const ConfigChallenge& challenge,
                           const std::string& zeroedText) {
  std::string message = password.substr(0, 20);
  message.append(reinterpret_cast<const char*>(challenge.data()), challenge.size());
  message += zeroedText;
  return Upper(test::ReferenceMd5Hex(message));
}

const std::string kZeros(32, '0');

TEST(ConfigCommand, WorkedExamples) {
  DeviceRecord dhcp;
  dhcp.serial = 0xA1B2;
  dhcp.dhcp = 1;
  const std::string dhcpText = Build(dhcp);
  EXPECT_EQ(dhcpText, "00A1B2 5 1   ");
  EXPECT_EQ(dhcpText.size(), 13u);

  EXPECT_EQ(Build(FixedAddressRecord()), "00A1B2 5 0 192.168.1.20 255.255.255.0 192.168.1.1");

  DeviceRecord withId = FixedAddressRecord();
  withId.deviceId = "0050C2123456";
  withId.deviceIndex = 0;
  withId.commandSuffix = -1;
  EXPECT_EQ(Build(withId), "0050C2123456 4 0 0 192.168.1.20 255.255.255.0 192.168.1.1");

  withId.deviceIndex = 1;
  withId.commandSuffix = 2;
  EXPECT_EQ(Build(withId), "0050C2123456 3 1 0 192.168.1.20 255.255.255.0 192.168.1.1 2");

  const std::string zeroed = "00A1B2 8 " + kZeros + " 2 0 192.168.1.20 255.255.255.0 192.168.1.1 0";
  const std::string digest = ExpectedDigest("secret", kChallenge, zeroed);
  EXPECT_EQ(Build(FixedAddressRecord(), "secret"),
            "00A1B2 8 " + digest + " 2 0 192.168.1.20 255.255.255.0 192.168.1.1 0");
}

TEST(ConfigCommand, EmptyDeviceIdNamesTheSerialAndGivesFormFive) {
  DeviceRecord record = FixedAddressRecord();
  record.deviceIndex = 3;
  record.commandSuffix = 4;
  EXPECT_EQ(Build(record), "00A1B2 5 0 192.168.1.20 255.255.255.0 192.168.1.1");

  record.serial = 0x1234ABCD;  // more than six digits: all of them
  EXPECT_EQ(Build(record).substr(0, 11), "1234ABCD 5 ");
  record.serial = 0;
  EXPECT_EQ(Build(record).substr(0, 9), "000000 5 ");
}

TEST(ConfigCommand, FormChoiceWithoutPassword) {
  DeviceRecord record = FixedAddressRecord();
  record.deviceId = "dev-7";
  const std::string tail = " 0 192.168.1.20 255.255.255.0 192.168.1.1";

  record.deviceIndex = 0;
  record.commandSuffix = 0;
  EXPECT_EQ(Build(record), "dev-7 4 0" + tail);
  record.commandSuffix = -1;
  EXPECT_EQ(Build(record), "dev-7 4 0" + tail);
  record.deviceIndex = 12;
  record.commandSuffix = -5;
  EXPECT_EQ(Build(record), "dev-7 4 12" + tail);

  record.deviceIndex = -1;  // form 3 writes the index as it stands
  record.commandSuffix = 1;
  EXPECT_EQ(Build(record), "dev-7 3 -1" + tail + " 1");
  record.deviceIndex = -7;
  record.commandSuffix = 2147483647;
  EXPECT_EQ(Build(record), "dev-7 3 -7" + tail + " 2147483647");

  record.deviceIndex = -1;
  record.commandSuffix = 0;
  EXPECT_EQ(Build(record), "dev-7 5" + tail);
  record.deviceIndex = -2147483647 - 1;
  record.commandSuffix = -1;
  EXPECT_EQ(Build(record), "dev-7 5" + tail);
}

TEST(ConfigCommand, DhcpEmptiesTheAddressFields) {
  DeviceRecord record = FixedAddressRecord();
  record.dhcp = 7;  // any non-zero value means DHCP
  EXPECT_EQ(Build(record), "00A1B2 5 1   ");

  record.deviceId = "X";
  record.deviceIndex = 2;
  EXPECT_EQ(Build(record), "X 4 2 1   ");
  record.commandSuffix = 9;
  EXPECT_EQ(Build(record), "X 3 2 1    9");

  const std::string zeroed = "X 8 " + kZeros + " 2 1    9";
  EXPECT_EQ(Build(record, "pw"), "X 8 " + ExpectedDigest("pw", kChallenge, zeroed) + " 2 1    9");

  // Without DHCP, absent addresses are empty fields that keep their spaces.
  DeviceRecord empty;
  empty.serial = 1;
  EXPECT_EQ(Build(empty), "000001 5 0   ");
}

TEST(ConfigCommand, FormEightDefaultsReplaceOnlyMinusOne) {
  DeviceRecord record = FixedAddressRecord();
  record.deviceId = "ID";
  const std::string addresses = " 0 192.168.1.20 255.255.255.0 192.168.1.1 ";
  struct Case {
    std::int32_t index, suffix;
    const char* indexText;
    const char* suffixText;
  };
  const Case cases[] = {{-1, -1, "2", "0"}, {-2, -2, "-2", "-2"}, {0, 0, "0", "0"},
                        {5, 6, "5", "6"},   {-1, 3, "2", "3"},    {4, -1, "4", "0"}};
  for (const Case& c : cases) {
    record.deviceIndex = c.index;
    record.commandSuffix = c.suffix;
    const std::string rest = std::string(" ") + c.indexText + addresses + c.suffixText;
    const std::string zeroed = "ID 8 " + kZeros + rest;
    EXPECT_EQ(Build(record, "pw"), "ID 8 " + ExpectedDigest("pw", kChallenge, zeroed) + rest)
        << c.index << " " << c.suffix;
  }
}

TEST(ConfigCommand, DigestCoversPasswordChallengeAndText) {
  const DeviceRecord record = FixedAddressRecord();
  const std::string rest = " 2 0 192.168.1.20 255.255.255.0 192.168.1.1 0";
  const std::string zeroed = "00A1B2 8 " + kZeros + rest;

  // An empty password is present: form 8, digest over challenge and text only.
  const std::string emptyPassword = Build(record, "");
  EXPECT_EQ(emptyPassword, "00A1B2 8 " + ExpectedDigest("", kChallenge, zeroed) + rest);

  const std::string twenty = "abcdefghijklmnopqrst";
  const std::string sentTwenty = Build(record, twenty.c_str());
  EXPECT_EQ(sentTwenty, "00A1B2 8 " + ExpectedDigest(twenty, kChallenge, zeroed) + rest);
  EXPECT_NE(sentTwenty, Build(record, "abcdefghijklmnopqrs"));

  // Only the first 20 bytes of a longer password count.
  EXPECT_EQ(Build(record, (twenty + "u").c_str()), sentTwenty);
  EXPECT_EQ(Build(record, (twenty + "uvwxyz").c_str()), sentTwenty);

  // Another challenge, another digest; upper-case hexadecimal either way.
  ConfigChallenge other = kChallenge;
  other[15] ^= 1;
  const std::string withOther = Build(record, twenty.c_str(), other);
  EXPECT_EQ(withOther, "00A1B2 8 " + ExpectedDigest(twenty, other, zeroed) + rest);
  EXPECT_NE(withOther, sentTwenty);
  for (std::size_t i = 9; i < 41; ++i) {
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(withOther[i])) ||
                (withOther[i] >= 'A' && withOther[i] <= 'F'))
        << withOther;
  }
}

TEST(ConfigCommand, CommandsLongerThan255CharactersAreRefused) {
  // "<id> 5 0 1.2.3.4 255.0.0.0 " plus a gateway: 255 characters exactly fit.
  DeviceRecord record;
  record.deviceId = "ID";
  record.ipAddress = "1.2.3.4";
  record.netmask = "255.0.0.0";
  const std::string head = "ID 5 0 1.2.3.4 255.0.0.0 ";
  record.gateway = std::string(255 - head.size(), 'g');
  const std::optional<std::string> longest = BuildConfigCommand(record, nullptr, kChallenge);
  ASSERT_TRUE(longest.has_value());
  EXPECT_EQ(longest->size(), 255u);
  EXPECT_EQ(*longest, head + record.gateway);

  record.gateway += 'g';
  EXPECT_FALSE(BuildConfigCommand(record, nullptr, kChallenge).has_value());

  // DHCP sends no addresses, so the same record fits again.
  record.dhcp = 1;
  EXPECT_TRUE(BuildConfigCommand(record, nullptr, kChallenge).has_value());

  // The authenticated form is longer: it stops fitting sooner.
  DeviceRecord authenticated;
  authenticated.dhcp = 1;
  // id, " 8 ", digest, " 2 1    0"
  const std::size_t fixedPart = 3 + 32 + 9;
  authenticated.deviceId = std::string(255 - fixedPart, 'd');
  const std::optional<std::string> exact = BuildConfigCommand(authenticated, "pw", kChallenge);
  ASSERT_TRUE(exact.has_value());
  EXPECT_EQ(exact->size(), 255u);
  authenticated.deviceId += 'd';
  EXPECT_FALSE(BuildConfigCommand(authenticated, "pw", kChallenge).has_value());
  EXPECT_TRUE(BuildConfigCommand(authenticated, nullptr, kChallenge).has_value());

  // Texts far beyond any buffer.
  DeviceRecord huge;
  huge.serial = 5;
  huge.ipAddress = std::string(100000, '1');
  EXPECT_FALSE(BuildConfigCommand(huge, nullptr, kChallenge).has_value());
  EXPECT_FALSE(BuildConfigCommand(huge, "", kChallenge).has_value());
}

}  // namespace
}  // namespace velkarin
