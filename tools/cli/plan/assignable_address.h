// Addresses no device can be given: a device that takes one is lost to the
// network until someone resets it by hand, so the tool refuses to send them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace velkarin::cli {

// Why a device cannot be given `address` with `netmask` (both in host byte
// order), or nothing when it can. Refused: 0.0.0.0/8, loopback 127.0.0.0/8,
// multicast 224.0.0.0/4, 240.0.0.0/4 with 255.255.255.255; a netmask that is
// not a run of ones followed by zeros, or that has 32 ones (the device would
// have no neighbour, not even its gateway); and, up to /30, the network's own
// address and its broadcast address. A /31 has no such two (a point-to-point
// link: both addresses belong to hosts).
std::optional<std::string> UnassignableReason(std::uint32_t address, std::uint32_t netmask);

// Why no device can have `netmask`, whatever its address: the netmask rules
// of UnassignableReason.
std::optional<std::string> UnusableNetmaskReason(std::uint32_t netmask);

// Why a gateway cannot be `address`: the ranges above (0.0.0.0 itself, which
// means no gateway, is not passed here).
std::optional<std::string> UnusableGatewayReason(std::uint32_t address);

// The dotted netmask of a prefix length 0 to 32 ("255.255.255.0" for 24).
std::string PrefixNetmask(int prefix);

// "ADDRESS/PREFIX" as --ip takes it.
struct AddressWithPrefix {
  std::string address;
  std::optional<int> prefix;  // nothing: the text had no '/'
};
// Splits off a prefix of one or two decimal digits, 1 to 32; nothing for any
// other text after a '/' (including /0, which would be the netmask 0.0.0.0).
std::optional<AddressWithPrefix> SplitAddressPrefix(const std::string& text);

}  // namespace velkarin::cli
