#include "cli/output/warnings.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#endif

#include "cli/commands/destination_text.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/text_encoding.h"
#include "cli/output/text_output.h"
#include "config/address_rules.h"
#include "config/config_command.h"
#include "protocol/address.h"

namespace velkarin::cli {

namespace {

// The answers come to a port the system chooses, and a factory-new device
// answers by broadcast from 0.0.0.0, which no stateful firewall matches to
// the discovery sent: a rule for the device port alone lets neither in.
std::string FirewallAdvice(const std::string& port) {
#ifdef _WIN32
  wchar_t path[MAX_PATH] = L"";
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::string program =
      length > 0 && length < MAX_PATH
          ? Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(path), length))
          : "velkarin.exe";
  return "Windows' firewall drops the answers: allow this program, as administrator: netsh "
         "advfirewall firewall add rule name=velkarin dir=in action=allow program=\"" +
         program + "\" enable=yes (a rule for UDP port " + port +
         " is not enough: answers come to a port the system chooses, and new devices answer "
         "from 0.0.0.0)";
#else
  return "a firewall drops the answers: allow incoming UDP from source port " + port +
         " (iptables -I INPUT -p udp --sport " + port +
         " -j ACCEPT; answers come to a port the system chooses, and new devices answer from "
         "0.0.0.0)";
#endif
}

}  // namespace

std::string NoDeviceAnsweredText(const Destination& destination,
                                 const std::vector<std::string>& interfaces) {
  const std::string port = std::to_string(destination.port);
  std::string where = DestinationText(destination);
  for (std::size_t i = 0; i < interfaces.size(); ++i) {
    where += (i == 0 ? " out of " : ", ") + interfaces[i];
  }
  return "velkarin: no device answered the discovery sent to " + where + "; usually " +
         FirewallAdvice(port) + ", or a network cable or adapter is down";
}

std::vector<std::string> AddressConflictWarnings(const DeviceList& heard,
                                                 const DeviceRecord& target,
                                                 const std::string& ipAddress) {
  std::vector<std::string> texts;
  for (const DeviceRecord& other :
       OtherDevicesAnnouncing(heard, ipAddress, target.serial, target.deviceId)) {
    std::string who = SerialText(other.serial);
    if (!other.name.empty()) who += " (" + DisplayDeviceText(other.name) + ")";
    texts.push_back("IP address " + ipAddress + " is already announced by device " + who +
                    "; giving it to " + SerialText(target.serial) +
                    " as well makes an address conflict");
  }
  return texts;
}

std::string OtherTakersText(const DeviceRecord& record, const DeviceRecord& target,
                            const std::vector<DeviceRecord>& heard, const std::string& idOption) {
  const std::vector<DeviceRecord> others = OtherTakers(record, target, heard);
  std::string text =
      "a command for " + DisplayDeviceText(CommandAddress(record)) + " would configure device";
  for (std::size_t i = 0; i < others.size(); ++i) {
    text += (i == 0 ? " " : ", ") + SerialText(others[i].serial);
    if (!others[i].deviceId.empty()) {
      text += " (identifier " + DisplayDeviceText(others[i].deviceId) + ")";
    }
  }
  text += " as well";
  DeviceRecord byId = record;
  byId.deviceId = target.deviceId;
  if (!target.deviceId.empty() && OtherTakers(byId, target, heard).empty()) {
    return text + "; name " + SerialText(target.serial) + " by its identifier: " + idOption + " " +
           DisplayDeviceText(target.deviceId);
  }
  return text + "; " + SerialText(target.serial) +
         " announces no identifier that names it alone: change the other device's identifier "
         "first";
}

std::vector<std::string> PlausibilityWarningTexts(const DeviceRecord& record) {
  std::vector<std::string> texts;
  for (const AddressProblem& problem : CheckAddressConfiguration(record, RuleContext::TOOL)) {
    if (problem.severity == Severity::WARNED) texts.push_back(problem.words);
  }
  return texts;
}

std::string OutsideSubnetWarning(const std::string& address, const std::string& interfaceName,
                                 const std::vector<platform::NetInterface>& all) {
  const std::optional<std::uint32_t> value = ParseIpv4(address);
  if (!value || interfaceName.empty()) return "";
  for (const platform::NetInterface& i : all) {
    if (i.name != interfaceName || i.loopback) continue;
    const std::uint32_t mask =
        i.prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(i.prefixLength, 32u));
    if ((*value & mask) == (i.address & mask)) return "";
    return "address " + address + " lies in no subnet of interface " + DisplayUtf8(interfaceName) +
           " (" + DottedDecimal(i.address & mask) + "/" + std::to_string(i.prefixLength) +
           "): the device will be reachable from here by broadcast, not by its address";
  }
  return "";
}

void PrintWarning(const std::string& text) {
  WriteText(stderr, "velkarin: warning: " + text + "\n");
}

}  // namespace velkarin::cli
