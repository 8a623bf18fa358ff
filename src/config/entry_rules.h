// What a user may ask a device to take, and whether the device took it: one
// set of rules for the page and the command-line tool.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "protocol/device_record.h"

namespace velkarin {

constexpr std::size_t kMaxAddressTextLength = 15;

// A text that can stand as one field of a command: no blank and no control
// character, since either would split or end the field on the device's side.
bool IsCommandFieldText(const std::string& text);

// The whole text is one IPv4 address in the notation of inet_addr, at most 15
// characters, and not 0.0.0.0. Unlike inet_addr, nothing may follow the
// address: "10.0.0.5 x" would otherwise pass and shift every later field of
// the command.
bool IsValidAddressText(const std::string& text);
// Empty, exactly "0.0.0.0", or a valid address text.
bool IsValidGatewayText(const std::string& text);

// The first entry of a fixed configuration that fails its rule ("IP
// address", "netmask" or "gateway"), or null when all three are valid.
const char* FirstInvalidAddressEntry(const DeviceRecord& record);
bool AreAddressEntriesValid(const DeviceRecord& record);

// The three addresses of a record with valid entries, rewritten as plain
// dotted decimal of the values that were checked ("192.168.001.010" reads as
// octal and goes out as "192.168.1.8"), so that a device which reads decimal
// takes exactly what was checked. Plain dotted decimal stays as typed; an
// empty gateway stays empty.
void CanonicalizeAddressEntries(DeviceRecord& record);

// The first field that the record would put into a command and that is not
// a command field text ("device identifier", "IP address", "netmask",
// "gateway"), or null.
const char* FirstUnsafeCommandField(const DeviceRecord& record);

struct ConfigurationDifference {
  const char* field;  // "dhcp", "IP address", "netmask", "gateway"
  std::string sent;
  std::string announced;
};

// How the announced record differs from the configuration sent. Empty
// exactly when the device counts as configured: DHCP values equal, and for a
// fixed configuration the same IP address, the same netmask, and the same
// gateway when both gateways are non-empty.
std::vector<ConfigurationDifference> ConfigurationDifferences(const DeviceRecord& sent,
                                                              const DeviceRecord& announced);
bool IsDeviceConfigured(DeviceRecord sent, DeviceRecord reply);

}  // namespace velkarin
