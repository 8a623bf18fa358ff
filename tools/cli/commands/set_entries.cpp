#include "cli/commands/set_entries.h"

#include "cli/output/text_encoding.h"
#include "config/address_rules.h"
#include "config/config_command.h"
#include "config/config_transaction.h"
#include "platform/netmask.h"
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

std::optional<AddressWithPrefix> SplitAddressPrefix(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return AddressWithPrefix{text, std::nullopt};
  const std::string digits = text.substr(slash + 1);
  if (digits.empty() || digits.size() > 2) return std::nullopt;
  std::uint32_t prefix = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    prefix = prefix * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (prefix < 1 || prefix > 32) return std::nullopt;
  return AddressWithPrefix{text.substr(0, slash), prefix};
}

std::optional<EntryProblem> TakeIpPrefix(SetOptions& options, bool netmaskGiven,
                                         const EntryNames& names) {
  const std::optional<AddressWithPrefix> split = SplitAddressPrefix(options.ipAddress);
  if (!split) {
    return EntryProblem{names.ip, "invalid " + names.ip + " '" + options.ipAddress +
                                      "': the prefix after '/' must be 1 to 32"};
  }
  if (!split->prefix) {
    if (!netmaskGiven) {
      return EntryProblem{names.ip, names.ip + " needs " + names.netmask + ", or a prefix (" +
                                        names.ip + " 10.0.0.5/24)"};
    }
    return std::nullopt;
  }
  const std::string netmask = DottedDecimal(platform::PrefixMask(*split->prefix));
  if (netmaskGiven && !SameAddress(options.netmask, netmask)) {
    return EntryProblem{names.netmask, names.ip + " " + options.ipAddress + " gives the netmask " +
                                           netmask + ", but " + names.netmask + " is '" +
                                           options.netmask + "'"};
  }
  options.ipAddress = split->address;
  // The mask as typed when it agrees, so that the device gets what was asked.
  if (!netmaskGiven) options.netmask = netmask;
  return std::nullopt;
}

std::optional<EntryProblem> AssignmentProblem(const SetOptions& options, const EntryNames& names) {
  const std::optional<AddressProblem> refused =
      FirstRefusal(ConfigurationRecord(options), RuleContext::TOOL);
  if (!refused) return std::nullopt;
  const std::string& field = refused->field == AddressField::IP_ADDRESS ? names.ip
                             : refused->field == AddressField::NETMASK  ? names.netmask
                                                                        : names.gateway;
  if (IsTextRule(refused->rule)) {
    const std::string& text = refused->field == AddressField::IP_ADDRESS ? options.ipAddress
                              : refused->field == AddressField::NETMASK  ? options.netmask
                                                                         : options.gateway;
    std::string hint;
    if (HasZeroPaddedPart(text)) {
      hint = ": write " + WithoutZeroPadding(text) +
             " (a part with a leading zero is read as octal by some systems: 010 is 8)";
    }
    return EntryProblem{field, "invalid IP configuration: " + refused->words + hint};
  }
  if (refused->field == AddressField::GATEWAY) {
    return EntryProblem{field, "no device can use " + names.gateway + " " + options.gateway + ": " +
                                   refused->words};
  }
  return EntryProblem{field, "no device can be given " + names.ip + " " + options.ipAddress +
                                 " with " + names.netmask + " " + options.netmask + ": " +
                                 refused->words};
}

std::optional<EntryProblem> BadArgumentProblem(const SetOptions& options, const EntryNames& names) {
  if (options.serial == 0 && options.deviceId.empty()) {
    return EntryProblem{names.serial,
                        "serial number 0 names no device; give its " + names.deviceId + " as well"};
  }
  if (options.password && options.password->size() > kMaxPasswordLength) {
    return EntryProblem{names.password, names.password + " has " +
                                            std::to_string(options.password->size()) +
                                            " characters; a device takes " +
                                            std::to_string(kMaxPasswordLength) + " at most"};
  }
  // The command as the transaction would first build it: naming the device
  // by its identifier when one is given.
  const DeviceRecord record = ConfigurationRecord(options);
  const char* password = options.password ? options.password->c_str() : nullptr;
  if (!BuildConfigCommand(record, password, ConfigChallenge{})) {
    return EntryProblem{names.deviceId,
                        names.deviceId +
                            " is too long: the command naming the device by it would exceed " +
                            std::to_string(kCommandBufferSize - 1) + " characters"};
  }
  return std::nullopt;
}

std::optional<std::string> WireText(const std::string& name, const std::string& utf8,
                                    std::string& problem) {
  std::string why;
  std::optional<std::string> latin1 = Utf8ToLatin1(utf8, why);
  if (!latin1)
    problem = "invalid " + name + " '" + utf8 + "': " + why + "; devices take Latin-1 text";
  return latin1;
}

std::optional<EntryProblem> CheckConfigurationEntries(SetOptions& options, bool netmaskGiven,
                                                      const EntryNames& names) {
  if (!options.dhcp) {
    if (auto problem = TakeIpPrefix(options, netmaskGiven, names)) return problem;
    // "--netmask 24" is a prefix length, which belongs after the address.
    const std::string& mask = options.netmask;
    if (!mask.empty() && mask.size() <= 2 &&
        mask.find_first_not_of("0123456789") == std::string::npos && std::stoi(mask) >= 1 &&
        std::stoi(mask) <= 32) {
      return EntryProblem{names.netmask, "invalid " + names.netmask + " '" + mask +
                                             "': a prefix length goes after the address (" +
                                             names.ip + " " + options.ipAddress + "/" + mask + ")"};
    }
    if (auto problem = AssignmentProblem(options, names)) {
      // A netmask that came with the address's prefix was typed as the address.
      if (problem->field == names.netmask && !netmaskGiven) problem->field = names.ip;
      return problem;
    }
    DeviceRecord entries = ConfigurationRecord(options);
    // The device gets the values that were checked, in plain dotted decimal.
    CanonicalizeAddressEntries(entries);
    options.ipAddress = entries.ipAddress;
    options.netmask = entries.netmask;
    options.gateway = entries.gateway;
  }
  // Device texts are Latin-1 bytes: the identifier is compared with the one
  // the device announces, so its letters must become those bytes.
  std::string problem;
  const std::optional<std::string> deviceId = WireText(names.deviceId, options.deviceId, problem);
  if (!deviceId) return EntryProblem{names.deviceId, problem};
  if (!IsCommandFieldText(*deviceId)) {
    return EntryProblem{names.deviceId, "invalid " + names.deviceId + " '" + options.deviceId +
                                            "': it may hold no blank and no control character"};
  }
  options.deviceId = *deviceId;
  return std::nullopt;
}

}  // namespace velkarin::cli
