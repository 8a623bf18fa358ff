// The address parser against the C library's inet_aton, which reads the same
// notation as inet_addr but can tell 255.255.255.255 from an unreadable text.
#ifndef _WIN32

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "protocol/address.h"

namespace velkarin {
namespace {

std::optional<std::uint32_t> InetAton(const std::string& text) {
  in_addr address{};
  if (inet_aton(text.c_str(), &address) == 0) return std::nullopt;
  return ntohl(address.s_addr);
}

TEST(ParseIpv4AgainstInetAton, EveryShortTextOverTheCharactersThatMatter) {
  const std::string alphabet = "0189.xXaF \tz";
  std::string text;
  std::size_t combinations = 1;
  for (std::size_t length = 1; length <= 6; ++length) {
    combinations *= alphabet.size();
    for (std::size_t n = 0; n < combinations; ++n) {
      text.clear();
      for (std::size_t i = 0, rest = n; i < length; ++i, rest /= alphabet.size()) {
        text += alphabet[rest % alphabet.size()];
      }
      ASSERT_EQ(ParseIpv4(text), InetAton(text)) << '"' << text << '"';
    }
  }
}

// A text of one to five parts, each written in a random base with a value
// near the limits of its width, and now and then a flaw.
std::string RandomAddressText(std::mt19937& random) {
  auto pick = [&random](std::uint32_t n) {
    return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random);
  };
  const std::uint32_t parts = 1 + pick(5);
  std::string text;
  for (std::uint32_t i = 0; i < parts; ++i) {
    if (i > 0) text += '.';
    const unsigned bits = 1 + pick(34);  // up to 34 bits: some parts too big
    std::uint64_t value = (std::uint64_t{random()} << 32 | random()) >> (64 - bits);
    if (pick(6) == 0) {  // the largest value the part may have, or one more
      const bool last = i + 1 == parts;
      const unsigned width = last && parts <= 4 ? 8 * (5 - parts) : 8;
      value = (std::uint64_t{1} << width) - pick(2);
    }
    char digits[40];
    switch (pick(4)) {
      case 0:
        std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
        break;
      case 1:
        std::snprintf(digits, sizeof digits, "0%llo", static_cast<unsigned long long>(value));
        break;
      case 2:
        std::snprintf(digits, sizeof digits, "0x%llx", static_cast<unsigned long long>(value));
        break;
      default:
        std::snprintf(digits, sizeof digits, "0X%llX", static_cast<unsigned long long>(value));
        break;
    }
    text += digits;
  }
  const char* const flaws[] = {" ", "\t", " junk", ".", "x", "8", "\n1", "..", "g", "\v"};
  const std::uint32_t flaw = pick(40);
  if (flaw < 10) text += flaws[flaw];
  if (flaw == 10) text.insert(pick(static_cast<std::uint32_t>(text.size())), 1, '.');
  if (flaw == 11) text.insert(0, 1, ' ');
  return text;
}

TEST(ParseIpv4AgainstInetAton, RandomTexts) {
  std::mt19937 random(77001u);
  int readable = 0;
  for (int i = 0; i < 300000; ++i) {
    const std::string text = RandomAddressText(random);
    const std::optional<std::uint32_t> expected = InetAton(text);
    ASSERT_EQ(ParseIpv4(text), expected) << '"' << text << '"';
    if (expected) ++readable;
  }
  // The generator must exercise both outcomes in earnest.
  EXPECT_GT(readable, 30000);
  EXPECT_LT(readable, 270000);
}

}  // namespace
}  // namespace velkarin

#endif  // _WIN32
