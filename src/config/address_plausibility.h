// Entries that pass the entry rules but are probably mistakes, and addresses
// another device already uses: reasons to warn, never to refuse. Shared by
// every command that sends a fixed configuration.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/device_list.h"
#include "protocol/device_record.h"

namespace velkarin {

enum class PlausibilityRule {
  NETMASK_NOT_CONTIGUOUS,
  GATEWAY_OUTSIDE_SUBNET,
  ADDRESS_IS_NETWORK_ADDRESS,
  ADDRESS_IS_BROADCAST_ADDRESS,
};

struct PlausibilityWarning {
  PlausibilityRule rule;
  std::string text;  // names the value and the rule, e.g. "netmask 255.0.255.0 ..."
};

// Warnings for a fixed configuration whose entries pass
// FirstInvalidAddressEntry, in form order; none for DHCP. An empty or
// 0.0.0.0 gateway means "no gateway" and is never outside the subnet.
std::vector<PlausibilityWarning> AddressPlausibilityWarnings(const DeviceRecord& record);

// The listed records that announce `address` (compared as addresses, so
// "10.0.0.010" and "10.0.0.8" are the same) and are not the device named by
// `serial` and `deviceId` (ignoring case; an empty `deviceId` names every
// record with that serial). Placeholder addresses never match.
std::vector<DeviceRecord> OtherDevicesAnnouncing(const DeviceList& devices,
                                                 const std::string& address, std::uint32_t serial,
                                                 const std::string& deviceId);

}  // namespace velkarin
