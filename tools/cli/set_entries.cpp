#include "cli/set_entries.h"

#include "cli/assignable_address.h"
#include "config/config_command.h"
#include "config/config_transaction.h"
#include "protocol/address.h"

namespace velkarin::cli {

DeviceRecord ConfigurationRecord(const SetOptions& options) {
  DeviceRecord record;
  record.serial = options.serial;
  record.dhcp = options.dhcp ? 1 : 0;
  record.ipAddress = options.ipAddress;
  record.netmask = options.netmask;
  record.gateway = options.gateway;
  record.deviceId = options.deviceId;
  return record;
}

std::optional<std::string> TakeIpPrefix(SetOptions& options, bool netmaskGiven) {
  const std::optional<AddressWithPrefix> split = SplitAddressPrefix(options.ipAddress);
  if (!split) {
    return "invalid --ip '" + options.ipAddress + "': the prefix after '/' must be 1 to 32";
  }
  if (!split->prefix) {
    if (!netmaskGiven) return std::string("--ip needs --netmask, or a prefix (--ip 10.0.0.5/24)");
    return std::nullopt;
  }
  const std::string netmask = PrefixNetmask(*split->prefix);
  if (netmaskGiven && !SameAddress(options.netmask, netmask)) {
    return "--ip " + options.ipAddress + " gives the netmask " + netmask + ", but --netmask is '" +
           options.netmask + "'";
  }
  options.ipAddress = split->address;
  // The mask as typed when it agrees, so that the device gets what was asked.
  if (!netmaskGiven) options.netmask = netmask;
  return std::nullopt;
}

std::optional<std::string> AssignmentProblem(const SetOptions& options) {
  const std::optional<std::uint32_t> address = ParseIpv4(options.ipAddress);
  const std::optional<std::uint32_t> netmask = ParseIpv4(options.netmask);
  if (address && netmask) {
    if (const auto why = UnassignableReason(*address, *netmask)) {
      return "no device can be given --ip " + options.ipAddress + " with --netmask " +
             options.netmask + ": " + *why;
    }
  }
  const std::optional<std::uint32_t> gateway = ParseIpv4(options.gateway);
  if (gateway && *gateway != 0) {
    if (const auto why = UnusableGatewayReason(*gateway)) {
      return "no device can use --gateway " + options.gateway + ": " + *why;
    }
  }
  return std::nullopt;
}

std::optional<std::string> BadArgumentProblem(const SetOptions& options) {
  if (options.serial == 0 && options.deviceId.empty()) {
    return std::string("serial number 0 names no device; give its --device-id as well");
  }
  if (options.password && options.password->size() > kMaxPasswordLength) {
    return "--password has " + std::to_string(options.password->size()) +
           " characters; a device takes " + std::to_string(kMaxPasswordLength) + " at most";
  }
  // The command as the transaction would first build it: naming the device
  // by its identifier when one is given.
  const DeviceRecord record = ConfigurationRecord(options);
  const char* password = options.password ? options.password->c_str() : nullptr;
  if (!BuildConfigCommand(record, password, ConfigChallenge{})) {
    return "--device-id is too long: the command naming the device by it would exceed " +
           std::to_string(kCommandBufferSize - 1) + " characters";
  }
  return std::nullopt;
}

}  // namespace velkarin::cli
