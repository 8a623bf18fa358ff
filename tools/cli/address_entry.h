// Checks of the addresses a user asks a device to take, and the comparison of
// what the device announces afterwards with what was sent.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/device_record.h"

namespace velkarin::cli {

// At most 15 characters, readable as an IPv4 address in inet_addr notation,
// and not 0.0.0.0.
bool IsValidAddressText(const std::string& text);
// Empty, exactly "0.0.0.0", or a valid address text.
bool IsValidGatewayText(const std::string& text);

// A serial number as the table shows it: 1 to 8 hexadecimal digits, either
// case, nothing else.
std::optional<std::uint32_t> ParseSerialText(const std::string& text);

// The ways in which the announced record differs from the configuration
// sent, each as "<what>: sent <x>, announced <y>". Empty exactly when the
// device counts as configured: DHCP values equal, and for a fixed
// configuration the same IP address, the same netmask, and the same gateway
// when both gateways are non-empty.
std::vector<std::string> ConfigurationDifferences(const DeviceRecord& sent,
                                                  const DeviceRecord& announced);
bool IsDeviceConfigured(const DeviceRecord& sent, const DeviceRecord& announced);

}  // namespace velkarin::cli
