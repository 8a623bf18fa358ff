#include "config/address_plausibility.h"

#include <optional>

#include "protocol/address.h"

namespace velkarin {
namespace {

std::string DottedDecimal(std::uint32_t value) {
  return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
         std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

// One-bits first, then zero-bits only: the inverse plus one is a power of two.
bool IsContiguous(std::uint32_t mask) {
  const std::uint32_t hostBits = ~mask;
  return (hostBits & (hostBits + 1)) == 0;
}

int PrefixLength(std::uint32_t mask) {
  int length = 0;
  for (std::uint32_t bit = 0x80000000u; (mask & bit) != 0; bit >>= 1) ++length;
  return length;
}

// "192.168.1.0/24", or with a netmask that has no prefix length,
// "192.168.1.0 with netmask 255.0.255.0".
std::string SubnetText(std::uint32_t ip, std::uint32_t mask) {
  const std::string network = DottedDecimal(ip & mask);
  if (IsContiguous(mask)) return network + "/" + std::to_string(PrefixLength(mask));
  return network + " with netmask " + DottedDecimal(mask);
}

// The two addresses that mean "no usable address" in an announcement.
bool IsPlaceholder(std::uint32_t value) { return value == 0 || value == 0x01010101u; }

}  // namespace

std::vector<PlausibilityWarning> AddressPlausibilityWarnings(const DeviceRecord& record) {
  std::vector<PlausibilityWarning> warnings;
  if (record.dhcp != 0) return warnings;
  const std::optional<std::uint32_t> ip = ParseIpv4(record.ipAddress);
  const std::optional<std::uint32_t> mask = ParseIpv4(record.netmask);
  if (!ip || !mask) return warnings;
  const std::string subnet = SubnetText(*ip, *mask);

  // In a /31 or /32 every address is a host's own; only larger subnets
  // reserve their first and last address.
  const std::uint32_t hostBits = ~*mask;
  if (IsContiguous(*mask) && hostBits >= 3) {
    if ((*ip & hostBits) == 0) {
      warnings.push_back({PlausibilityRule::ADDRESS_IS_NETWORK_ADDRESS,
                          "IP address " + record.ipAddress + " is the network address of subnet " +
                              subnet + ", which no device can use"});
    } else if ((*ip & hostBits) == hostBits) {
      warnings.push_back({PlausibilityRule::ADDRESS_IS_BROADCAST_ADDRESS,
                          "IP address " + record.ipAddress +
                              " is the broadcast address of subnet " + subnet +
                              ", which no device can use"});
    }
  }
  if (!IsContiguous(*mask)) {
    warnings.push_back({PlausibilityRule::NETMASK_NOT_CONTIGUOUS,
                        "netmask " + record.netmask +
                            " is not contiguous: its one-bits must all come first, with no "
                            "zero-bit between them"});
  }
  const std::optional<std::uint32_t> gateway = ParseIpv4(record.gateway);
  if (gateway && *gateway != 0 && (*gateway & *mask) != (*ip & *mask)) {
    warnings.push_back({PlausibilityRule::GATEWAY_OUTSIDE_SUBNET,
                        "gateway " + record.gateway + " is outside subnet " + subnet +
                            " of IP address " + record.ipAddress + " and netmask " +
                            record.netmask + ", so the device cannot reach it"});
  }
  return warnings;
}

std::vector<DeviceRecord> OtherDevicesAnnouncing(const DeviceList& devices,
                                                 const std::string& address, std::uint32_t serial,
                                                 const std::string& deviceId) {
  std::vector<DeviceRecord> others;
  const std::optional<std::uint32_t> value = ParseIpv4(address);
  if (!value || IsPlaceholder(*value)) return others;
  for (const DeviceRecord& record : devices) {
    const bool target = record.serial == serial &&
                        (deviceId.empty() || SameTextIgnoringCase(record.deviceId, deviceId));
    if (target) continue;
    const std::optional<std::uint32_t> announced = ParseIpv4(record.ipAddress);
    if (announced && *announced == *value) others.push_back(record);
  }
  return others;
}

}  // namespace velkarin
