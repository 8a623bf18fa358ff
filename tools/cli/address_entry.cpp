#include "cli/address_entry.h"

#include "cli/display_text.h"
#include "protocol/address.h"

namespace velkarin::cli {

bool IsValidAddressText(const std::string& text) {
  if (text.size() > 15) return false;
  const std::optional<std::uint32_t> value = ParseIpv4(text);
  return value.has_value() && *value != 0;
}

bool IsValidGatewayText(const std::string& text) {
  return text.empty() || text == "0.0.0.0" || IsValidAddressText(text);
}

std::optional<std::uint32_t> ParseSerialText(const std::string& text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = (value << 4) | digit;
  }
  return value;
}

namespace {

std::string Shown(const std::string& address) {
  return address.empty() ? "(none)" : DisplayText(address);
}

}  // namespace

std::vector<std::string> ConfigurationDifferences(const DeviceRecord& sent,
                                                  const DeviceRecord& announced) {
  std::vector<std::string> differences;
  if (sent.dhcp != announced.dhcp) {
    differences.push_back("dhcp: sent " + std::to_string(sent.dhcp) + ", announced " +
                          std::to_string(announced.dhcp));
    return differences;
  }
  if (sent.dhcp != 0) return differences;
  if (!SameAddress(sent.ipAddress, announced.ipAddress)) {
    differences.push_back("IP address: sent " + Shown(sent.ipAddress) + ", announced " +
                          Shown(announced.ipAddress));
  }
  if (!SameAddress(sent.netmask, announced.netmask)) {
    differences.push_back("netmask: sent " + Shown(sent.netmask) + ", announced " +
                          Shown(announced.netmask));
  }
  if (!sent.gateway.empty() && !announced.gateway.empty() &&
      !SameAddress(sent.gateway, announced.gateway)) {
    differences.push_back("gateway: sent " + Shown(sent.gateway) + ", announced " +
                          Shown(announced.gateway));
  }
  return differences;
}

bool IsDeviceConfigured(const DeviceRecord& sent, const DeviceRecord& announced) {
  return ConfigurationDifferences(sent, announced).empty();
}

}  // namespace velkarin::cli
