#include "command_parser.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "byte_text.h"
#include "config/md5.h"

namespace velkarin::devsim {
namespace {

std::vector<std::string> SplitOnSpaces(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ' ') {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

std::optional<int> ParseInt(const std::string& text) {
  if (text.empty() || text.size() > 11) return std::nullopt;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-') value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int>(value);
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsDiscovery(const std::string& datagram) { return datagram == std::string("0 1 A", 5); }

std::optional<ConfigCommand> ParseConfigCommand(const std::string& datagram) {
  std::vector<std::string> f = SplitOnSpaces(datagram);
  if (f.size() < 2 || f[0].empty()) return std::nullopt;
  ConfigCommand c;
  c.text = datagram;
  c.address = f[0];
  std::size_t next = 2;
  if (f[1] == "8") {
    if (f.size() != 9 || f[2].size() != 32) return std::nullopt;
    c.code = 8;
    c.digest = f[2];
    c.digestOffset = f[0].size() + 3;
    next = 3;
  } else if (f[1] == "3") {
    if (f.size() != 8) return std::nullopt;
    c.code = 3;
  } else if (f[1] == "4") {
    if (f.size() != 7) return std::nullopt;
    c.code = 4;
  } else if (f[1] == "5") {
    if (f.size() != 6) return std::nullopt;
    c.code = 5;
  } else {
    return std::nullopt;
  }
  if (c.code != 5) {
    c.index = ParseInt(f[next++]);
    if (!c.index) return std::nullopt;
  }
  c.dhcp = f[next++];
  c.ip = f[next++];
  c.netmask = f[next++];
  c.gateway = f[next++];
  if (c.code == 3 || c.code == 8) {
    c.suffix = ParseInt(f[next++]);
    if (!c.suffix) return std::nullopt;
  }
  return c;
}

bool CommandAddresses(const ConfigCommand& command, const DeviceProfile& device) {
  const Announced& a = device.announced;
  if (!a.deviceId.empty() && EqualIgnoringCase(command.address, a.deviceId)) {
    return !device.matchIndex || !command.index || *command.index == a.deviceIndex;
  }
  return command.address == SerialText(a.serial);
}

std::string ExpectedDigest(const ConfigCommand& command, const std::string& password,
                           const std::array<std::uint8_t, 16>& challenge) {
  std::string zeroed = command.text;
  zeroed.replace(command.digestOffset, 32, 32, '0');
  Md5 md5;
  md5.Add(password.data(), password.size() < 20 ? password.size() : 20);
  md5.Add(challenge.data(), challenge.size());
  md5.Add(zeroed.data(), zeroed.size());
  std::array<std::uint8_t, 16> digest = md5.Finish();
  return EncodeHex(std::string(digest.begin(), digest.end()));
}

}  // namespace velkarin::devsim
