// The number readers against the C library's own sscanf, on words that are
// made up to hit the corners of the conversion rules. Only numbers that fit
// 32 bits are compared: beyond that the C library's result is undefined and
// our readers follow their own rule (tested separately).
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "protocol/token_readers.h"

namespace velkarin {
namespace {

std::optional<std::uint32_t> ScanfHex(const std::string& word) {
  unsigned int value = 0;
  if (std::sscanf(word.c_str(), "%X", &value) != 1) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<std::int32_t> ScanfDecimal(const std::string& word) {
  int value = 0;
  if (std::sscanf(word.c_str(), "%d", &value) != 1) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// Runs both readers on `word` placed between blanks and other words, and
// compares value and cursor with sscanf on the word alone.
void ExpectSameAsScanf(const std::string& word, bool compareHex = true) {
  const std::string text = "  " + word + "  9 next";
  const char* const wordEnd = text.c_str() + 2 + word.size();

  constexpr std::uint32_t kUnsetHex = 0xA5A5A5A5u;
  std::uint32_t hex = kUnsetHex;
  EXPECT_EQ(ReadHex(text.c_str(), hex), wordEnd) << "word \"" << word << '"';
  if (compareHex) {
    EXPECT_EQ(hex, ScanfHex(word).value_or(kUnsetHex)) << "%X of \"" << word << '"';
  }

  constexpr std::int32_t kUnsetDecimal = -123456789;
  std::int32_t decimal = kUnsetDecimal;
  EXPECT_EQ(ReadDecimal(text.c_str(), decimal), wordEnd) << "word \"" << word << '"';
  EXPECT_EQ(decimal, ScanfDecimal(word).value_or(kUnsetDecimal)) << "%d of \"" << word << '"';
}

// Whether the hex number at the start of `word` has at most 8 significant
// digits, so that "%X" of it fits 32 bits.
bool HexFitsThirtyTwoBits(const std::string& word) {
  std::size_t p = word.find_first_not_of("\t\n\v\f\r");
  if (p == std::string::npos) return true;
  if (word[p] == '+' || word[p] == '-') ++p;
  if (word.compare(p, 2, "0x") == 0 || word.compare(p, 2, "0X") == 0) p += 2;
  while (p < word.size() && word[p] == '0') ++p;
  std::size_t digits = 0;
  while (p < word.size() && std::isxdigit(static_cast<unsigned char>(word[p]))) ++p, ++digits;
  return digits <= 8;
}

TEST(TokenReadersAgainstScanf, EveryShortWordOverTheCharactersThatMatter) {
  // Digits of both bases, letters around them, prefixes, signs, white space
  // that is not a blank, punctuation and a byte above 0x7F.
  const std::string alphabet = "0179aFgxX+-\t\n.z\x80";
  std::string word;
  std::size_t count = 0;
  for (std::size_t length = 1; length <= 4; ++length) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < length; ++i) combinations *= alphabet.size();
    for (std::size_t n = 0; n < combinations; ++n) {
      word.clear();
      for (std::size_t i = 0, rest = n; i < length; ++i, rest /= alphabet.size()) {
        word += alphabet[rest % alphabet.size()];
      }
      ExpectSameAsScanf(word);
      ++count;
      if (HasFailure()) return;
    }
  }
  EXPECT_EQ(count, 16u + 256u + 4096u + 65536u);
}

// A random word: white space, a sign, a prefix, leading zeros, digits of a
// number that fits 32 bits, and junk behind it.
std::string RandomWord(std::mt19937& random) {
  auto pick = [&random](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  std::string word;
  const char* const spaces[] = {"", "", "", "\t", "\n\v", "\f\r\t"};
  word += spaces[pick(6)];
  const char* const signs[] = {"", "", "+", "-"};
  word += signs[pick(4)];
  const char* const prefixes[] = {"", "", "", "0x", "0X", "0", "x"};
  word += prefixes[pick(7)];
  if (pick(4) == 0) word.append(pick(15), '0');

  // A magnitude of random bit width, written in hex or decimal, so that both
  // readers see numbers of every size. Decimal numbers stay within int.
  const unsigned bits = static_cast<unsigned>(pick(33));
  std::uint64_t magnitude = bits == 0 ? 0 : (std::uint64_t{random()} >> (32 - bits));
  char digits[32];
  if (pick(2) == 0) {
    std::snprintf(digits, sizeof digits, pick(2) == 0 ? "%llx" : "%llX",
                  static_cast<unsigned long long>(magnitude));
  } else {
    magnitude &= 0x7FFFFFFF;
    std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(magnitude));
  }
  if (pick(8) != 0) word += digits;

  const char* const junk[] = {"", "", "", "g", "xyz", "-1", "+", ".5", "\t7", "Z0", "\xff", "e9"};
  word += junk[pick(12)];
  return word;
}

TEST(TokenReadersAgainstScanf, RandomWordsWithinThirtyTwoBits) {
  std::mt19937 random(20240611u);
  for (int i = 0; i < 200000 && !HasFailure(); ++i) {
    const std::string word = RandomWord(random);
    if (word.empty()) continue;  // no word: the readers would go on to the next one
    // A decimal number read as hex may not fit 32 bits; such a word is still
    // compared for "%d".
    ExpectSameAsScanf(word, HexFitsThirtyTwoBits(word));
  }
}

TEST(TokenReadersAgainstScanf, EveryPairOfReadKey16) {
  // All pairs of bytes that can stand in a word, each at every position of
  // the key over the run; bytes that do not convert give 0.
  std::size_t position = 0;
  for (int first = 1; first < 256 && !HasFailure(); ++first) {
    for (int second = 1; second < 256; ++second) {
      if (first == ' ' || second == ' ') continue;
      const std::string pair = {static_cast<char>(first), static_cast<char>(second)};
      std::string word(32, '7');
      word.replace(2 * position, 2, pair);
      std::array<std::uint8_t, 16> key{};
      ASSERT_EQ(ReadKey16(word.c_str(), key), word.c_str() + 32);

      unsigned int scanned = 0;
      const std::uint8_t expected =
          std::sscanf(pair.c_str(), "%02X", &scanned) == 1 ? static_cast<std::uint8_t>(scanned) : 0;
      EXPECT_EQ(key[position], expected)
          << "pair " << std::hex << first << ' ' << second << " at " << position;
      for (std::size_t i = 0; i < 16; ++i) {
        if (i != position) {
          ASSERT_EQ(key[i], 0x77) << i;
        }
      }
      position = (position + 1) % 16;
    }
  }
}

}  // namespace
}  // namespace velkarin
