#include "protocol/address.h"

#include <cstddef>

#include "platform/netmask.h"

namespace velkarin {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// White space as the C locale's isspace() defines it: it ends an address
// text, and whatever follows it is ignored, as inet_addr does.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one part at `p`, which starts with a digit: "0x" or "0X" and hex
// digits, "0" and octal digits, or decimal digits. Stops at the first
// character that is not a digit of the part's base and leaves `p` there;
// false when the part cannot be read or does not fit 32 bits.
bool ReadPart(const char*& p, std::uint32_t& value) {
  unsigned base = 10;
  if (*p == '0') {
    base = 8;
    if (p[1] == 'x' || p[1] == 'X') {
      // "0x" without a hex digit is the number 0 followed by an "x": the
      // text cannot be read.
      if (HexValue(p[2]) < 0) return false;
      base = 16;
      p += 2;
    }
  }
  std::uint64_t total = 0;
  for (;; ++p) {
    int digit = base == 16 ? HexValue(*p) : (IsDigit(*p) ? *p - '0' : -1);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    total = total * base + static_cast<unsigned>(digit);
    if (total > 0xFFFFFFFFu) return false;
  }
  value = static_cast<std::uint32_t>(total);
  return true;
}

}  // namespace

// Follows inet_addr (and inet_aton) exactly, so that an address reads the same
// on every platform: parts of 8 bits each, the last part filling the bits that
// are left (a -> 32, a.b -> 8.24, a.b.c -> 8.8.16); the text ends at its end,
// at a NUL or at white space, and anything after white space is ignored. Empty
// parts, a trailing dot, a sign, leading white space or any other character
// make the text unreadable.
std::optional<std::uint32_t> ParseIpv4(const std::string& text) {
  constexpr std::uint32_t kLastPartMax[4] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
  const char* p = text.c_str();
  std::uint32_t address = 0;
  std::size_t parts = 0;  // complete parts before the last one
  std::uint32_t value = 0;
  for (;;) {
    if (!IsDigit(*p)) return std::nullopt;
    if (!ReadPart(p, value)) return std::nullopt;
    if (*p != '.') break;
    if (parts == 3 || value > 0xFF) return std::nullopt;
    address |= value << (8 * (3 - parts));
    ++parts;
    ++p;
  }
  if (*p != '\0' && !IsSpace(*p)) return std::nullopt;
  if (value > kLastPartMax[parts]) return std::nullopt;
  return address | value;
}

std::string DottedDecimal(std::uint32_t value) {
  return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
         std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

std::optional<std::uint32_t> PrefixLength(std::uint32_t netmask) {
  const std::uint32_t ones = platform::LeadingOnes(netmask);
  if (platform::PrefixMask(ones) != netmask) return std::nullopt;
  return ones;
}

std::uint32_t AddressValue(const std::string& text) {
  if (text.empty()) return 0;
  return ParseIpv4(text).value_or(0xFFFFFFFFu);
}

bool SameAddress(const std::string& a, const std::string& b) {
  return AddressValue(a) == AddressValue(b);
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x == y) continue;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace velkarin
