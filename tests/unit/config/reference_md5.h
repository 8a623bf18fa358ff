// A second, separately written MD5 for checking digests: one-shot over a
// whole message, constants computed from the sine function at run time.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace velkarin::test {

inline std::string ReferenceMd5Hex(const std::string& message) {
  std::uint32_t t[64];
  for (int i = 0; i < 64; ++i) {
    t[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
  }
  std::vector<std::uint8_t> m(message.begin(), message.end());
  const std::uint64_t bitLength = static_cast<std::uint64_t>(m.size()) * 8;
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int i = 0; i < 8; ++i) m.push_back(static_cast<std::uint8_t>(bitLength >> (8 * i)));

  auto rotl = [](std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
  static const int shifts[4][4] = {
      {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  // Word order of each round, as the RFC lists the steps.
  static const int start[4] = {0, 1, 5, 0};
  static const int step[4] = {1, 5, 3, 7};

  std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  for (std::size_t block = 0; block < m.size(); block += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
      x[i] = 0;
      for (int b = 3; b >= 0; --b) x[i] = (x[i] << 8) | m[block + 4 * i + b];
    }
    std::uint32_t v[4] = {h[0], h[1], h[2], h[3]};  // a, b, c, d
    for (int i = 0; i < 64; ++i) {
      const int r = i / 16;
      // Each step updates the word that rotates into place: a, d, c, b, a, ...
      const int ai = (4 - i % 4) % 4;
      const std::uint32_t a = v[ai], b = v[(ai + 1) % 4], c = v[(ai + 2) % 4], d = v[(ai + 3) % 4];
      std::uint32_t f = 0;
      if (r == 0) f = (b & c) | (~b & d);
      if (r == 1) f = (b & d) | (c & ~d);
      if (r == 2) f = b ^ c ^ d;
      if (r == 3) f = c ^ (b | ~d);
      const int k = (start[r] + step[r] * (i % 16)) % 16;
      v[ai] = b + rotl(a + f + x[k] + t[i], shifts[r][i % 4]);
    }
    for (int i = 0; i < 4; ++i) h[i] += v[i];
  }
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (int i = 0; i < 16; ++i) {
    const std::uint8_t byte = static_cast<std::uint8_t>(h[i / 4] >> (8 * (i % 4)));
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return hex;
}

}  // namespace velkarin::test
