// Netmask arithmetic, kept this low so that the interface lists and the
// address rules above them count a prefix the same way.
#pragma once
#include <cstdint>

namespace velkarin::platform {

// The number of one-bits before the first zero-bit (32 for all ones).
constexpr std::uint32_t LeadingOnes(std::uint32_t mask) {
  std::uint32_t ones = 0;
  while (ones < 32 && (mask & (0x80000000u >> ones)) != 0) ++ones;
  return ones;
}

// The netmask of a prefix length 0 to 32: that many one-bits, then zeros.
constexpr std::uint32_t PrefixMask(std::uint32_t prefix) {
  return prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
}

}  // namespace velkarin::platform
