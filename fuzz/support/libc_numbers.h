// How the C library reads a number word: sscanf decides whether a conversion
// takes place and gives the value when it fits 32 bits; for larger values,
// where sscanf's 32-bit result is undefined, the 64-bit conversions give the
// low 32 bits, and beyond 64 bits the digits are reduced modulo 2^32 by hand.
#pragma once
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace velkarin::fuzz {

struct LibcNumber {
  bool converted = false;
  std::uint32_t low32 = 0;  // the value, or its low 32 bits with the sign applied
};

inline std::uint32_t DigitsModulo32(const char* begin, const char* end, unsigned base) {
  std::uint32_t value = 0;
  for (const char* p = begin; p != end; ++p) {
    const int c = static_cast<unsigned char>(*p);
    const unsigned digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
    value = value * base + digit;
  }
  return value;
}

// `base` is 16 for "%X" or 10 for "%d"; `word` holds no NUL.
inline LibcNumber LibcReadNumber(const std::string& word, unsigned base) {
  LibcNumber result;
  const char* text = word.c_str();
  if (base == 16) {
    unsigned int value = 0;
    result.converted = std::sscanf(text, "%X", &value) == 1;
    result.low32 = value;
  } else {
    int value = 0;
    result.converted = std::sscanf(text, "%d", &value) == 1;
    result.low32 = static_cast<std::uint32_t>(value);
  }
  if (!result.converted) return result;

  // The magnitude, to learn whether sscanf's own value is defined.
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  char* end = nullptr;
  errno = 0;
  const unsigned long long magnitude = std::strtoull(p, &end, static_cast<int>(base));
  if (errno == ERANGE) {
    const char* digits = p;
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && end > p + 1) digits += 2;
    const std::uint32_t low = DigitsModulo32(digits, end, base);
    result.low32 = negative ? 0u - low : low;
    return result;
  }
  if (base == 16) {
    if (magnitude > 0xFFFFFFFFull) {
      unsigned long long wide = 0;
      std::sscanf(text, "%llX", &wide);
      result.low32 = static_cast<std::uint32_t>(wide);
    }
    return result;
  }
  const unsigned long long limit32 = negative ? 0x80000000ull : 0x7FFFFFFFull;
  if (magnitude <= limit32) return result;
  const unsigned long long limit64 = negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull;
  if (magnitude <= limit64) {
    long long wide = 0;
    std::sscanf(text, "%lld", &wide);
    result.low32 = static_cast<std::uint32_t>(static_cast<unsigned long long>(wide));
  } else {
    const std::uint32_t low = static_cast<std::uint32_t>(magnitude);
    result.low32 = negative ? 0u - low : low;
  }
  return result;
}

// One pair of a 32-character key word as "%02X" reads it on its own; a pair
// that does not convert is taken as 0.
inline std::uint8_t LibcReadKeyPair(const char* pair) {
  const char text[3] = {pair[0], pair[1], '\0'};
  unsigned int value = 0;
  if (std::sscanf(text, "%02X", &value) != 1) return 0;
  return static_cast<std::uint8_t>(value);
}

}  // namespace velkarin::fuzz
