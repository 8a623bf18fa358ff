// What an IPv4 configuration may be, and whether a device took it: one set
// of rules for the page and the command-line tool. Each rule is one row of
// one table, with its severity for each caller and its words.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/device_list.h"
#include "protocol/device_record.h"

namespace velkarin {

constexpr std::size_t kMaxAddressTextLength = 15;

// The two addresses that mean "no usable address" in an announcement
// (0.0.0.0 and 1.1.1.1), in host byte order.
bool IsPlaceholder(std::uint32_t value);

// A text that can stand as one field of a command: no blank and no control
// character, since either would split or end the field on the device's side.
bool IsCommandFieldText(const std::string& text);

// The whole text is one IPv4 address in the notation of inet_addr, at most 15
// characters, and not 0.0.0.0. Unlike inet_addr, nothing may follow the
// address: "10.0.0.5 x" would otherwise pass and shift every later field of
// the command. Nor may a part have a leading zero (see HasZeroPaddedPart).
bool IsValidAddressText(const std::string& text);

// A part written with a leading zero ("192.168.001.010"), as plant documents
// pad addresses: inet_addr reads it as octal (010 is 8), a device or a person
// as decimal, so the text means two addresses. A lone 0 and hex (0x0A) are
// no such part.
bool HasZeroPaddedPart(const std::string& text);

// The text with the leading zeros of its parts dropped, as the person who
// padded it meant it: "192.168.1.10" for "192.168.001.010".
std::string WithoutZeroPadding(const std::string& text);

enum class AddressField { IP_ADDRESS, NETMASK, GATEWAY };

// In the order of the checks. The text rules come first: the later rules
// read the values of the texts that passed them.
enum class AddressRule {
  IP_ADDRESS_TEXT,   // not a valid address text
  NETMASK_TEXT,      // not a valid address text
  GATEWAY_TEXT,      // neither empty, exactly "0.0.0.0", nor a valid address text
  ADDRESS_RESERVED,  // 0.0.0.0/8, 127.0.0.0/8, 224.0.0.0/4, 240.0.0.0/4, 255.255.255.255
  NETMASK_NOT_CONTIGUOUS,
  NETMASK_ALL_ONES,   // a /32 leaves the device no neighbour, not even its gateway
  NETWORK_ADDRESS,    // up to /30; a /31 is a point-to-point link of two hosts
  BROADCAST_ADDRESS,  // likewise
  GATEWAY_RESERVED,   // the ranges of ADDRESS_RESERVED
  GATEWAY_OUTSIDE_SUBNET,
};
constexpr bool IsTextRule(AddressRule rule) { return rule <= AddressRule::GATEWAY_TEXT; }

// Both refuse what would lose a device until someone resets it by hand. The
// tool also warns of what is probably a mistake but still works; the page,
// which has no way to warn, lets that pass.
enum class RuleContext { PAGE, TOOL };
enum class Severity { REFUSED, WARNED };

struct AddressProblem {
  AddressRule rule;
  AddressField field;
  Severity severity;
  // The rule in words, naming the value: "invalid IP address '10.0.0.5 x'",
  // "10.0.0.0 is the network address of 10.0.0.0/24".
  std::string words;
};

// The problems of a fixed configuration that `context` checks, in rule
// order; none for DHCP. An empty or "0.0.0.0" gateway means no gateway.
std::vector<AddressProblem> CheckAddressConfiguration(const DeviceRecord& record,
                                                      RuleContext context);
// The first of them that refuses the configuration.
std::optional<AddressProblem> FirstRefusal(const DeviceRecord& record, RuleContext context);

// The three addresses of a record with valid entries, rewritten as plain
// dotted decimal of the values that were checked ("10.1" goes out as
// "10.0.0.1", "0x0A.0.0.1" as "10.0.0.1"), so that a device which reads
// decimal takes exactly what was checked. Plain dotted decimal stays as typed; an
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
// exactly when the device counts as configured. As the page judges it: DHCP
// values equal, and for a fixed configuration the same IP address, the same
// netmask, and the same gateway when both gateways are non-empty. As the
// tool judges devices as they are: any non-zero DHCP flag is DHCP, and the
// gateway always counts, one left out (or 0.0.0.0) being none, so that a
// gateway added or removed is a change.
std::vector<ConfigurationDifference> ConfigurationDifferences(
    const DeviceRecord& sent, const DeviceRecord& announced,
    RuleContext context = RuleContext::PAGE);
// The page's judgement.
bool IsDeviceConfigured(DeviceRecord sent, DeviceRecord reply);
// The tool's judgement (ConfigurationDifferences with RuleContext::TOOL).
bool AnnouncesConfiguration(const DeviceRecord& announced, const DeviceRecord& sent);

// The listed records that announce `address` (compared as addresses, so
// "10.0.0.010" and "10.0.0.8" are the same) and are not the device named by
// `serial` and `deviceId` (ignoring case; an empty `deviceId` names every
// record with that serial). Placeholder addresses never match.
std::vector<DeviceRecord> OtherDevicesAnnouncing(const DeviceList& devices,
                                                 const std::string& address, std::uint32_t serial,
                                                 const std::string& deviceId);

}  // namespace velkarin
