#include "page/address_entry.h"

#include "protocol/address.h"

namespace velkarin {

bool IsValidAddressText(const std::string& text) {
  if (text.size() > kMaxAddressTextLength) return false;
  const auto value = ParseIpv4(text);
  return value.has_value() && *value != 0;
}

bool AreAddressEntriesValid(const DeviceRecord& record) {
  if (!IsValidAddressText(record.ipAddress)) return false;
  if (!IsValidAddressText(record.netmask)) return false;
  return record.gateway.empty() || record.gateway == "0.0.0.0" ||
         IsValidAddressText(record.gateway);
}

// Copies by design: the page's interface takes both records by value.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool IsDeviceConfigured(DeviceRecord sent, DeviceRecord reply) {
  if (sent.dhcp != reply.dhcp) return false;
  // A device on DHCP picks its own addresses.
  if (sent.dhcp != 0) return true;
  if (!SameAddress(sent.ipAddress, reply.ipAddress)) return false;
  if (!SameAddress(sent.netmask, reply.netmask)) return false;
  if (!sent.gateway.empty() && !reply.gateway.empty() &&
      !SameAddress(sent.gateway, reply.gateway)) {
    return false;
  }
  return true;
}

}  // namespace velkarin
