#include "config/entry_rules.h"

#include <cstdint>
#include <optional>

#include "protocol/address.h"

namespace velkarin {
namespace {

std::string DottedDecimal(std::uint32_t value) {
  return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
         std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

void Canonicalize(std::string& text) {
  if (const std::optional<std::uint32_t> value = ParseIpv4(text)) text = DottedDecimal(*value);
}

}  // namespace

bool IsCommandFieldText(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool IsValidAddressText(const std::string& text) {
  if (text.size() > kMaxAddressTextLength || !IsCommandFieldText(text)) return false;
  const std::optional<std::uint32_t> value = ParseIpv4(text);
  return value.has_value() && *value != 0;
}

bool IsValidGatewayText(const std::string& text) {
  return text.empty() || text == "0.0.0.0" || IsValidAddressText(text);
}

const char* FirstInvalidAddressEntry(const DeviceRecord& record) {
  if (!IsValidAddressText(record.ipAddress)) return "IP address";
  if (!IsValidAddressText(record.netmask)) return "netmask";
  if (!IsValidGatewayText(record.gateway)) return "gateway";
  return nullptr;
}

bool AreAddressEntriesValid(const DeviceRecord& record) {
  return FirstInvalidAddressEntry(record) == nullptr;
}

void CanonicalizeAddressEntries(DeviceRecord& record) {
  Canonicalize(record.ipAddress);
  Canonicalize(record.netmask);
  Canonicalize(record.gateway);
}

const char* FirstUnsafeCommandField(const DeviceRecord& record) {
  if (!IsCommandFieldText(record.deviceId)) return "device identifier";
  // With DHCP the addresses are not sent.
  if (record.dhcp != 0) return nullptr;
  if (!IsCommandFieldText(record.ipAddress)) return "IP address";
  if (!IsCommandFieldText(record.netmask)) return "netmask";
  if (!IsCommandFieldText(record.gateway)) return "gateway";
  return nullptr;
}

std::vector<ConfigurationDifference> ConfigurationDifferences(const DeviceRecord& sent,
                                                              const DeviceRecord& announced) {
  std::vector<ConfigurationDifference> differences;
  if (sent.dhcp != announced.dhcp) {
    differences.push_back({"dhcp", std::to_string(sent.dhcp), std::to_string(announced.dhcp)});
    return differences;
  }
  // A device on DHCP picks its own addresses.
  if (sent.dhcp != 0) return differences;
  if (!SameAddress(sent.ipAddress, announced.ipAddress)) {
    differences.push_back({"IP address", sent.ipAddress, announced.ipAddress});
  }
  if (!SameAddress(sent.netmask, announced.netmask)) {
    differences.push_back({"netmask", sent.netmask, announced.netmask});
  }
  if (!sent.gateway.empty() && !announced.gateway.empty() &&
      !SameAddress(sent.gateway, announced.gateway)) {
    differences.push_back({"gateway", sent.gateway, announced.gateway});
  }
  return differences;
}

// Copies by design: the page's interface takes both records by value.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool IsDeviceConfigured(DeviceRecord sent, DeviceRecord reply) {  // cppcheck-suppress passedByValue
  return ConfigurationDifferences(sent, reply).empty();
}

}  // namespace velkarin
