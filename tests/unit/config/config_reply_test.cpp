#include "config/config_reply.h"

#include <gtest/gtest.h>

namespace velkarin {
namespace {

const ConfigChallenge kOld = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

struct Parsed {
  std::uint32_t serial = 99;
  std::int32_t code = 99;
  std::int32_t status = 99;
  ConfigChallenge challenge = kOld;
};

Parsed Parse(const char* text) {
  Parsed parsed;
  ParseConfigReply(text, parsed.serial, parsed.code, parsed.status, parsed.challenge);
  return parsed;
}

// Serial, code and status; a missing or unreadable word leaves zero, and
// without thirty-two digits the challenge stays.
TEST(ConfigReply, SerialCodeAndStatus) {
  const struct {
    const char* text;
    std::uint32_t serial;
    std::int32_t code;
    std::int32_t status;
  } cases[] = {
      {"A1B2 5 1", 0xA1B2, 5, 1}, {"  FFFFFFFF   8    -1   ", 0xFFFFFFFF, 8, -1},
      {"A1B2 4 2", 0xA1B2, 4, 2}, {"", 0, 0, 0},
      {"A1B2", 0xA1B2, 0, 0},     {"A1B2 3", 0xA1B2, 3, 0},
      {"A1B2 abc", 0xA1B2, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Parsed p = Parse(c.text);
    EXPECT_EQ(p.serial, c.serial);
    EXPECT_EQ(p.code, c.code);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.challenge, kOld);
  }
}

TEST(ConfigReply, ThirtyTwoDigitsRenewTheChallenge) {
  Parsed p = Parse("A1B2 8 -1 00112233445566778899AABBCCDDEEFF");
  EXPECT_EQ(p.code, 8);
  EXPECT_EQ(p.status, -1);
  const ConfigChallenge expected = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(p.challenge, expected);

  p = Parse("A1B2 8 -1 fedcba9876543210fedcba9876543210");
  const ConfigChallenge lower = {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10,
                                 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
  EXPECT_EQ(p.challenge, lower);

  // 31 or 33 characters: the challenge stays.
  EXPECT_EQ(Parse("A1B2 8 -1 00112233445566778899AABBCCDDEEF").challenge, kOld);
  EXPECT_EQ(Parse("A1B2 8 -1 00112233445566778899AABBCCDDEEFF0").challenge, kOld);
  EXPECT_EQ(Parse("A1B2 8 -1").challenge, kOld);
}

}  // namespace
}  // namespace velkarin
