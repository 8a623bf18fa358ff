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

TEST(ConfigReply, CodeAndStatus) {
  Parsed p = Parse("A1B2 5 1");
  EXPECT_EQ(p.serial, 0xA1B2u);
  EXPECT_EQ(p.code, 5);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.challenge, kOld);

  p = Parse("  FFFFFFFF   8    -1   ");
  EXPECT_EQ(p.code, 8);
  EXPECT_EQ(p.status, -1);
  EXPECT_EQ(p.challenge, kOld);

  p = Parse("A1B2 4 2");
  EXPECT_EQ(p.code, 4);
  EXPECT_EQ(p.status, 2);
}

TEST(ConfigReply, MissingWordsLeaveZero) {
  Parsed p = Parse("");
  EXPECT_EQ(p.serial, 0u);
  EXPECT_EQ(p.code, 0);
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.challenge, kOld);

  p = Parse("A1B2");
  EXPECT_EQ(p.code, 0);
  EXPECT_EQ(p.status, 0);

  p = Parse("A1B2 3");
  EXPECT_EQ(p.code, 3);
  EXPECT_EQ(p.status, 0);

  p = Parse("A1B2 abc");
  EXPECT_EQ(p.code, 0);
  EXPECT_EQ(p.challenge, kOld);
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
