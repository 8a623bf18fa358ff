#include "protocol/token_readers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace velkarin {
namespace {

// Offset of the returned cursor in `text`.
template <typename Reader, typename Value>
std::ptrdiff_t Consumed(Reader reader, const std::string& text, Value& value) {
  return reader(text.c_str(), value) - text.c_str();
}

TEST(ReadToken, TakesOneBlankDelimitedWordAfterLeadingBlanks) {
  std::string word = "old";
  const std::string text = "   a\tb\nc  next";
  EXPECT_EQ(Consumed(ReadToken, text, word), 8);
  EXPECT_EQ(word, "a\tb\nc");  // only 0x20 separates words

  const char* rest = ReadToken(text.c_str() + 8, word);
  EXPECT_EQ(word, "next");
  EXPECT_EQ(*rest, '\0');
}

TEST(ReadToken, KeepsTheOldTextWhenNoWordIsLeft) {
  for (const std::string text : {"", "    "}) {
    std::string word = "old";
    EXPECT_EQ(Consumed(ReadToken, text, word), static_cast<std::ptrdiff_t>(text.size()));
    EXPECT_EQ(word, "old");
  }
}

TEST(ReadRest, TakesEverythingAfterTheLeadingBlanks) {
  std::string rest = "old";
  const std::string text = "  My  device \t name  ";
  EXPECT_EQ(Consumed(ReadRest, text, rest), static_cast<std::ptrdiff_t>(text.size()));
  EXPECT_EQ(rest, "My  device \t name  ");

  rest = "old";
  ReadRest("   ", rest);
  EXPECT_EQ(rest, "old");
}

TEST(ReadHex, ConvertsTheLeadingHexNumberOfTheWordAndConsumesAllOfIt) {
  struct Case {
    const char* text;
    std::uint32_t expected;
    std::ptrdiff_t consumed;
  };
  const Case cases[] = {{"1a2B3c", 0x1A2B3C, 6},
                        {"  DEADbeef x", 0xDEADBEEF, 10},
                        {"0x1F", 0x1F, 4},
                        {"0X1f", 0x1F, 4},
                        {"12xyz", 0x12, 5},
                        {"+ff", 0xFF, 3},
                        {"-1", 0xFFFFFFFF, 2},
                        {"-0x10", 0xFFFFFFF0, 5},
                        {"0x", 0, 2},
                        {"0xg", 0, 3},
                        {"-0x", 0, 3},
                        {"\t\t7", 7, 3},
                        {"0000000000000000000ff", 0xFF, 21}};
  for (const Case& c : cases) {
    std::uint32_t value = 0x55;
    EXPECT_EQ(Consumed(ReadHex, c.text, value), c.consumed) << c.text;
    EXPECT_EQ(value, c.expected) << c.text;
  }
}

TEST(ReadHex, LeavesTheValueWhenNothingConvertsButStillConsumesTheWord) {
  for (const char* text : {"xyz", "x12", "+", "-", "+-1", "g0", "\t", ".5", ""}) {
    std::uint32_t value = 0x1234;
    const std::ptrdiff_t consumed = Consumed(ReadHex, text, value);
    EXPECT_EQ(consumed, static_cast<std::ptrdiff_t>(std::string(text).size())) << text;
    EXPECT_EQ(value, 0x1234u) << text;
  }
}

TEST(ReadHex, KeepsTheLowThirtyTwoBitsOfALargerNumber) {
  std::uint32_t value = 0;
  ReadHex("123456789", value);
  EXPECT_EQ(value, 0x23456789u);
  ReadHex("fffffffff00000001", value);
  EXPECT_EQ(value, 1u);
  ReadHex("-100000001", value);
  EXPECT_EQ(value, 0xFFFFFFFFu);
}

TEST(ReadDecimal, ConvertsTheLeadingDecimalNumberOfTheWord) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {{"12abc", 12},
                        {"  -7 8", -7},
                        {"+42", 42},
                        {"0x10", 0},
                        {"007", 7},
                        {"1e5", 1},
                        {"2147483647", INT32_MAX},
                        {"-2147483648", INT32_MIN},
                        {"\v\r-3", -3}};
  for (const Case& c : cases) {
    std::int32_t value = 99;
    ReadDecimal(c.text, value);
    EXPECT_EQ(value, c.expected) << c.text;
  }
}

TEST(ReadDecimal, WrapsNumbersBeyondThirtyTwoBits) {
  std::int32_t value = 0;
  ReadDecimal("2147483648", value);
  EXPECT_EQ(value, INT32_MIN);
  ReadDecimal("4294967295", value);
  EXPECT_EQ(value, -1);
  ReadDecimal("4294967297", value);
  EXPECT_EQ(value, 1);
  ReadDecimal("-4294967297", value);
  EXPECT_EQ(value, -1);
  ReadDecimal("99999999999999999999999", value);  // 10^23 - 1 is 0x...F67FFFFF
  EXPECT_EQ(value, static_cast<std::int32_t>(0xF67FFFFFu));
}

TEST(ReadDecimal, DefaultsOfTheZeroAndMinusOneReaders) {
  for (const char* text : {"", "   ", "x", "-", "abc 5"}) {
    std::int32_t zero = 77;
    std::int32_t minusOne = 77;
    std::int32_t plain = 77;
    const char* afterZero = ReadDecimalOrZero(text, zero);
    const char* afterMinusOne = ReadDecimalOrMinusOne(text, minusOne);
    const char* afterPlain = ReadDecimal(text, plain);
    EXPECT_EQ(zero, 0) << text;
    EXPECT_EQ(minusOne, -1) << text;
    EXPECT_EQ(plain, 77) << text;
    EXPECT_EQ(afterZero, afterPlain);
    EXPECT_EQ(afterMinusOne, afterPlain);
  }
  std::int32_t value = 0;
  ReadDecimalOrMinusOne(" 5", value);
  EXPECT_EQ(value, 5);
  ReadDecimalOrZero("-9x", value);
  EXPECT_EQ(value, -9);
}

TEST(ReadKey16, TakesExactlyAThirtyTwoByteWord) {
  const std::array<std::uint8_t, 16> untouched = {1, 2,  3,  4,  5,  6,  7,  8,
                                                  9, 10, 11, 12, 13, 14, 15, 16};
  const std::string hex32 = "00112233445566778899aAbBcCdDeEfF";
  ASSERT_EQ(hex32.size(), 32u);

  std::array<std::uint8_t, 16> key = untouched;
  const std::string text = "  " + hex32 + "  tail";
  EXPECT_EQ(Consumed(ReadKey16, text, key), 34);
  const std::array<std::uint8_t, 16> expected = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                                 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(key, expected);

  for (const std::string& word : {hex32.substr(1), hex32 + "0", std::string("zz")}) {
    key = untouched;
    EXPECT_EQ(Consumed(ReadKey16, "   " + word + " x", key), 3) << word;
    EXPECT_EQ(key, untouched) << word;
  }
}

TEST(ReadKey16, ConvertsEveryPairOnItsOwnAsTwoCharacterHex) {
  // Pairs that are not two hex digits: the leading part that converts counts,
  // and a pair with nothing to convert gives 0. A pair never borrows from the
  // next one ("\t1" followed by "20" is 0x01, not 0x12).
  const std::pair<const char*, std::uint8_t> pairs[16] = {
      {"1z", 0x01},   {"zz", 0x00}, {"-1", 0xFF}, {"+F", 0x0F}, {"0x", 0x00}, {"\t1", 0x01},
      {"20", 0x20},   {"--", 0x00}, {"x1", 0x00}, {"Ab", 0xAB}, {"-0", 0x00}, {"+-", 0x00},
      {"\n\n", 0x00}, {"F.", 0x0F}, {"9g", 0x09}, {"fF", 0xFF}};
  std::string word;
  std::array<std::uint8_t, 16> expected{};
  for (std::size_t i = 0; i < 16; ++i) {
    word += pairs[i].first;
    expected[i] = pairs[i].second;
  }
  std::array<std::uint8_t, 16> key{};
  key.fill(0x5A);
  EXPECT_EQ(Consumed(ReadKey16, word, key), 32);
  EXPECT_EQ(key, expected);
}

}  // namespace
}  // namespace velkarin
