#include "protocol/address.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/netmask.h"

namespace velkarin {
namespace {

TEST(ParseIpv4, ReadsOneToFourPartsInEveryBase) {
  struct Case {
    const char* text;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"1.2.3.4", 0x01020304},
      {"255.255.255.255", 0xFFFFFFFF},
      {"0.0.0.0", 0},
      {"192.168.01.01", 0xC0A80101},
      {"0300.0250.1.010", 0xC0A80108},
      {"0xC0.0Xa8.0x1.0xff", 0xC0A801FF},
      {"10.1", 0x0A000001},
      {"10.0x10000", 0x0A010000},
      {"1.16777215", 0x01FFFFFF},
      {"10.1.65535", 0x0A01FFFF},
      {"3232235777", 0xC0A80101},
      {"4294967295", 0xFFFFFFFF},
      {"0xffffffff", 0xFFFFFFFF},
      {"037777777777", 0xFFFFFFFF},
      {"00000000000000001.2.3.4", 0x01020304},
      {"0x00000000000000ff.1", 0xFF000001},
      {"0", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseIpv4(c.text), std::optional<std::uint32_t>(c.value)) << c.text;
  }
}

TEST(ParseIpv4, RejectsWhatInetAddrCannotRead) {
  for (const char* text : {"",
                           ".",
                           "1.",
                           "1.2.3.",
                           "1.2.3.4.",
                           "1..2",
                           ".1.2.3",
                           "1.2.3.4.5",
                           "256.1.1.1",
                           "1.2.3.256",
                           "1.16777216",
                           "1.2.65536",
                           "4294967296",
                           "0x100000000",
                           "08",
                           "1.09",
                           "0x",
                           "0x.1",
                           "1.0xg",
                           "1.2.3.4x",
                           "a.b.c.d",
                           "localhost",
                           "+1.2.3.4",
                           "-1",
                           " 1.2.3.4",
                           "\t1.2.3.4",
                           "1. 2.3.4",
                           "1.2.3.4\x80",
                           "99999999999999999999999"}) {
    EXPECT_EQ(ParseIpv4(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(ParseIpv4, WhiteSpaceEndsTheAddressAndTheRestIsIgnored) {
  // As inet_addr does: the address is read up to a blank, tab or line break.
  EXPECT_EQ(ParseIpv4("10.0.0.1 "), std::optional<std::uint32_t>(0x0A000001));
  EXPECT_EQ(ParseIpv4("10.0.0.1\tjunk"), std::optional<std::uint32_t>(0x0A000001));
  EXPECT_EQ(ParseIpv4("10.0.0.1\n.2"), std::optional<std::uint32_t>(0x0A000001));
  EXPECT_EQ(ParseIpv4("10 .0.0.1"), std::optional<std::uint32_t>(10));
  // ... but white space is no substitute for the part after a dot.
  EXPECT_EQ(ParseIpv4("10.0.0. 1"), std::nullopt);
  // A NUL ends the text as it ends a C string.
  EXPECT_EQ(ParseIpv4(std::string("1.2.3.4\0junk", 12)), std::optional<std::uint32_t>(0x01020304));
}

TEST(PrefixLength, ReadsAndWritesTheLeadingOnesOfANetmask) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "0.0.0.0"},          {1, "128.0.0.0"},        {8, "255.0.0.0"},
      {12, "255.240.0.0"},     {23, "255.255.254.0"},   {24, "255.255.255.0"},
      {30, "255.255.255.252"}, {31, "255.255.255.254"}, {32, "255.255.255.255"},
  };
  for (const auto& [prefix, netmask] : cases) {
    EXPECT_EQ(DottedDecimal(platform::PrefixMask(prefix)), netmask) << prefix;
    EXPECT_EQ(PrefixLength(ParseIpv4(netmask).value()), prefix) << netmask;
  }
  for (const char* netmask : {"255.0.255.0", "0.255.255.255", "255.255.255.1"}) {
    EXPECT_FALSE(PrefixLength(ParseIpv4(netmask).value())) << netmask;
  }
}

TEST(AddressValue, EmptyIsZeroAndUnreadableIsAllOnes) {
  EXPECT_EQ(AddressValue(""), 0u);
  EXPECT_EQ(AddressValue("0.0.0.0"), 0u);
  EXPECT_EQ(AddressValue("not an address"), 0xFFFFFFFFu);
  EXPECT_EQ(AddressValue("1.2.3.4"), 0x01020304u);
}

// Texts compare by their values: the empty text is 0 and an unreadable one
// all ones.
TEST(SameAddress, ComparesTheValuesOfTheTexts) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"10.0.0.1", "10.0.0.1", true},
      {"10.0.0.1", "10.0.0.2", false},
      {"10.1", "10.0.0.1", true},
      {"192.168.1.1", "192.168.01.01", true},
      {"0xC0.168.1.1", "192.168.1.1", true},
      {"192.168.1.010", "192.168.1.10", false},  // octal 010 is 8
      {"0.0.0.0", "0.0.0.0", true},
      {"1.1.1.1", "1.1.1.1", true},
      {"0.0.0.0", "1.1.1.1", false},
      {"", "0.0.0.0", true},
      {"", "", true},
      {"", "255.255.255.255", false},
      {"abc", "xyz", true},
      {"abc", "255.255.255.255", true},
      {"1.2.3.4.5", "300.1.1.1", true},
      {"abc", "", false},
      {"abc", "0.0.0.0", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameAddress(c.a, c.b), c.same) << '"' << c.a << "\" \"" << c.b << '"';
    EXPECT_EQ(SameAddress(c.b, c.a), c.same) << '"' << c.b << "\" \"" << c.a << '"';
  }
}

TEST(SameTextIgnoringCase, FoldsOnlyTheAsciiLetters) {
  const struct {
    std::string a;
    std::string b;
    bool same;
  } cases[] = {
      {"IOX-4a", "iox-4A", true},
      {"", "", true},
      {"@[`{", "@[`{", true},
      {"abc", "abcd", false},
      {"abcd", "abc", false},
      {"", "a", false},
      {"abc", "abd", false},
      // Neighbours of the letters do not fold: '@' is 'A' - 1, '`' is 'a' - 1,
      // '[' is 'Z' + 1, '{' is 'z' + 1.
      {"@", "`", false},
      {"[", "{", false},
      // Bytes above 0x7F match only themselves: Latin-1 capital and small A
      // with grave accent, and the UTF-8 forms of the same two letters.
      {"\xC0", "\xE0", false},
      {"\xC3\x80", "\xC3\xA0", false},
      {"x\xC0y", "X\xC0Y", true},
      // Counted texts: an embedded NUL is compared like any byte.
      {std::string("a\0b", 3), std::string("a\0c", 3), false},
      {std::string("a\0B", 3), std::string("A\0b", 3), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameTextIgnoringCase(c.a, c.b), c.same) << '"' << c.a << "\" \"" << c.b << '"';
  }
}

TEST(SameTextIgnoringCase, EveryPairOfBytes) {
  for (int x = 0; x < 256; ++x) {
    for (int y = 0; y < 256; ++y) {
      const bool letters =
          (x >= 'A' && x <= 'Z' && y == x + 32) || (y >= 'A' && y <= 'Z' && x == y + 32);
      const std::string a = "k" + std::string(1, static_cast<char>(x));
      const std::string b = "K" + std::string(1, static_cast<char>(y));
      ASSERT_EQ(SameTextIgnoringCase(a, b), x == y || letters) << x << ' ' << y;
    }
  }
}

}  // namespace
}  // namespace velkarin
