#include "config/config_command.h"

#include <cstdio>

#include "config/address_rules.h"
#include "config/md5.h"
#include "protocol/address.h"

namespace velkarin {
namespace {

constexpr std::size_t kDigestDigits = 32;
constexpr std::size_t kLongestCommand = kCommandBufferSize - 1;

std::size_t CappedLength(const char* text, std::size_t cap) {
  std::size_t length = 0;
  while (length < cap && text[length] != '\0') ++length;
  return length;
}

std::string Number(std::int32_t value) { return std::to_string(value); }

std::string SerialToken(std::uint32_t serial) {
  char token[16];
  std::snprintf(token, sizeof token, "%06X", static_cast<unsigned>(serial));
  return token;
}

}  // namespace

std::string CommandAddress(const DeviceRecord& record) {
  return record.deviceId.empty() ? SerialToken(record.serial) : record.deviceId;
}

bool DeviceTakesCommandFor(const DeviceRecord& device, const std::string& address) {
  return address == SerialToken(device.serial) ||
         (!device.deviceId.empty() && SameTextIgnoringCase(address, device.deviceId));
}

std::vector<DeviceRecord> OtherTakers(const DeviceRecord& record, const DeviceRecord& target,
                                      const std::vector<DeviceRecord>& heard) {
  const std::string address = CommandAddress(record);
  std::vector<DeviceRecord> others;
  for (const DeviceRecord& device : heard) {
    if (device.serial == target.serial) continue;
    if (DeviceTakesCommandFor(device, address)) others.push_back(device);
  }
  return others;
}

std::optional<std::string> BuildConfigCommand(const DeviceRecord& record, const char* password,
                                              const ConfigChallenge& challenge) {
  // A blank or a control character would split a field, and every later
  // field would shift on the device's side.
  if (FirstUnsafeCommandField(record) != nullptr) return std::nullopt;
  const std::string address = CommandAddress(record);
  std::int32_t index = record.deviceIndex;
  std::int32_t suffix = record.commandSuffix;
  if (record.deviceId.empty()) {
    index = -1;
    suffix = -1;
  }

  const bool useDhcp = record.dhcp != 0;
  const std::string dhcpField = useDhcp ? "1" : "0";
  // With DHCP the addresses are sent empty, whatever the record holds.
  const std::string ip = useDhcp ? std::string() : record.ipAddress;
  const std::string mask = useDhcp ? std::string() : record.netmask;
  const std::string gateway = useDhcp ? std::string() : record.gateway;
  const std::string addresses = dhcpField + " " + ip + " " + mask + " " + gateway;

  std::string text;
  std::size_t digestAt = 0;
  if (password != nullptr) {
    if (index == -1) index = 2;
    if (suffix == -1) suffix = 0;
    text = address + " 8 ";
    digestAt = text.size();
    text += std::string(kDigestDigits, '0') + " " + Number(index) + " " + addresses + " " +
            Number(suffix);
  } else if (suffix > 0) {
    text = address + " 3 " + Number(index) + " " + addresses + " " + Number(suffix);
  } else if (index >= 0) {
    text = address + " 4 " + Number(index) + " " + addresses;
  } else {
    text = address + " 5 " + addresses;
  }

  // The device reads the command into a buffer of this size: a longer one is
  // refused here rather than cut short.
  if (text.size() > kLongestCommand) return std::nullopt;

  if (password != nullptr) {
    Md5 md5;
    // Only the first 20 bytes of a longer password count.
    md5.Add(password, CappedLength(password, kPasswordDigestCap));
    md5.Add(challenge.data(), challenge.size());
    md5.Add(text.data(), text.size());
    const std::array<std::uint8_t, 16> digest = md5.Finish();
    static const char kHexDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < digest.size(); ++i) {
      text[digestAt + 2 * i] = kHexDigits[digest[i] >> 4];
      text[digestAt + 2 * i + 1] = kHexDigits[digest[i] & 0x0F];
    }
  }
  return text;
}

bool UdpChannel::SendConfigCommand(const DeviceRecord& record, const char* password,
                                   const ConfigChallenge& challenge) {
  const std::optional<std::string> text = BuildConfigCommand(record, password, challenge);
  if (!text) return false;
  // A failed send shows later as a command nobody answered.
  SendRaw(text->data(), text->size());
  return true;
}

}  // namespace velkarin
