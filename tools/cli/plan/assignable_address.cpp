#include "cli/plan/assignable_address.h"

namespace velkarin::cli {
namespace {

std::string Dotted(std::uint32_t value) {
  return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
         std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

std::uint32_t MaskOf(int prefix) { return prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix); }

// The number of leading ones, or nothing when ones follow a zero.
std::optional<int> PrefixLength(std::uint32_t netmask) {
  int ones = 0;
  while (ones < 32 && (netmask & (0x80000000u >> ones)) != 0) ++ones;
  if (MaskOf(ones) != netmask) return std::nullopt;
  return ones;
}

struct Range {
  std::uint32_t network;
  int prefix;
  const char* why;
};

}  // namespace

std::optional<std::string> UnusableGatewayReason(std::uint32_t address) {
  // The limited broadcast first: it lies in 240.0.0.0/4 but has a name of its own.
  static const Range kRanges[] = {
      {0xFFFFFFFFu, 32, "255.255.255.255 is the limited broadcast address"},
      {0x00000000u, 8, "0.0.0.0/8 means 'this network' and holds no host's address"},
      {0x7F000000u, 8, "127.0.0.0/8 is the loopback range: only the device itself is there"},
      {0xE0000000u, 4, "224.0.0.0/4 is the multicast range"},
      {0xF0000000u, 4, "240.0.0.0/4 is reserved"},
  };
  for (const Range& range : kRanges) {
    if ((address & MaskOf(range.prefix)) == range.network) return std::string(range.why);
  }
  return std::nullopt;
}

std::optional<std::string> UnusableNetmaskReason(std::uint32_t netmask) {
  const std::optional<int> prefix = PrefixLength(netmask);
  if (!prefix) {
    return "the netmask " + Dotted(netmask) + " is not a run of ones followed by zeros";
  }
  if (*prefix == 0) return std::string("the netmask 0.0.0.0 (/0) leaves no network");
  if (*prefix == 32) {
    return std::string(
        "the netmask 255.255.255.255 (/32) leaves the device without a neighbour, "
        "not even its gateway");
  }
  return std::nullopt;
}

std::optional<std::string> UnassignableReason(std::uint32_t address, std::uint32_t netmask) {
  if (auto why = UnusableGatewayReason(address)) return why;
  if (auto why = UnusableNetmaskReason(netmask)) return why;
  const std::optional<int> prefix = PrefixLength(netmask);
  if (*prefix <= 30) {
    const std::uint32_t network = address & netmask;
    const std::string subnet = Dotted(network) + "/" + std::to_string(*prefix);
    if (address == network) return Dotted(address) + " is the network address of " + subnet;
    if (address == (network | ~netmask)) {
      return Dotted(address) + " is the broadcast address of " + subnet;
    }
  }
  return std::nullopt;
}

std::string PrefixNetmask(int prefix) { return Dotted(MaskOf(prefix)); }

std::optional<AddressWithPrefix> SplitAddressPrefix(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return AddressWithPrefix{text, std::nullopt};
  const std::string digits = text.substr(slash + 1);
  if (digits.empty() || digits.size() > 2) return std::nullopt;
  int prefix = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    prefix = prefix * 10 + (c - '0');
  }
  if (prefix < 1 || prefix > 32) return std::nullopt;
  return AddressWithPrefix{text.substr(0, slash), prefix};
}

}  // namespace velkarin::cli
