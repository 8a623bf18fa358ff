// Configuration commands as a device reads them: one line of fields
// separated by single spaces, empty fields allowed.
//   <address> 8 <digest> <index> <dhcp> <ip> <mask> <gw> <suffix>
//   <address> 3 <index> <dhcp> <ip> <mask> <gw> <suffix>
//   <address> 4 <index> <dhcp> <ip> <mask> <gw>
//   <address> 5 <dhcp> <ip> <mask> <gw>
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "device_profile.h"

namespace velkarin::devsim {

struct ConfigCommand {
  std::string text;     // the whole datagram
  std::string address;  // deviceId or "%06X" serial
  int code = 0;         // 3, 4, 5 or 8
  std::string digest;   // form 8 only
  std::size_t digestOffset = 0;
  std::optional<int> index;  // forms 3, 4, 8
  std::string dhcp;
  std::string ip;
  std::string netmask;
  std::string gateway;
  std::optional<int> suffix;  // forms 3, 8
};

// The exact discovery datagram.
bool IsDiscovery(const std::string& datagram);

// Nothing when the datagram is not one of the four forms with the right
// number of fields and numeric index and suffix.
std::optional<ConfigCommand> ParseConfigCommand(const std::string& datagram);

// The command names this device: its deviceId ignoring ASCII case, or the
// "%06X" text of its serial; with matchIndex, a command by deviceId that
// carries an index must carry the device's own.
bool CommandAddresses(const ConfigCommand& command, const DeviceProfile& device);

// The digest a device expects in a form 8 command: MD5 over the first 20
// bytes of the password, the 16 challenge bytes and the command text with the
// digest field replaced by 32 '0', as 32 upper-case hex digits.
std::string ExpectedDigest(const ConfigCommand& command, const std::string& password,
                           const std::array<std::uint8_t, 16>& challenge);

}  // namespace velkarin::devsim
