#include "config/address_rules.h"

#include <cstring>

#include "platform/netmask.h"
#include "protocol/address.h"

namespace velkarin {
namespace {

// The values the rules read: each only when its text passed its rule.
struct Entries {
  const DeviceRecord& record;
  std::optional<std::uint32_t> ip;
  std::optional<std::uint32_t> netmask;
  std::optional<std::uint32_t> gateway;  // nothing too when there is none
  std::optional<std::uint32_t> prefix;
};

Entries ReadEntries(const DeviceRecord& record) {
  const auto valueOf = [](const std::string& text) {
    return IsValidAddressText(text) ? ParseIpv4(text) : std::nullopt;
  };
  const std::optional<std::uint32_t> netmask = valueOf(record.netmask);
  return Entries{record, valueOf(record.ipAddress), netmask, valueOf(record.gateway),
                 netmask ? PrefixLength(*netmask) : std::nullopt};
}

// Empty and exactly "0.0.0.0" mean no gateway.
bool IsValidGatewayText(const std::string& text) {
  return text.empty() || text == "0.0.0.0" || IsValidAddressText(text);
}

struct Range {
  std::uint32_t network;
  std::uint32_t prefix;
  const char* words;
};

// No host's address lies in these. The limited broadcast first: it lies in
// 240.0.0.0/4 but has a name of its own.
constexpr Range kReservedRanges[] = {
    {0xFFFFFFFFu, 32, "255.255.255.255 is the limited broadcast address"},
    {0x00000000u, 8, "0.0.0.0/8 means 'this network' and holds no host's address"},
    {0x7F000000u, 8, "127.0.0.0/8 is the loopback range: only the device itself is there"},
    {0xE0000000u, 4, "224.0.0.0/4 is the multicast range"},
    {0xF0000000u, 4, "240.0.0.0/4 is reserved"},
};

const char* ReservedRange(std::optional<std::uint32_t> address) {
  if (!address) return nullptr;
  for (const Range& range : kReservedRanges) {
    if ((*address & platform::PrefixMask(range.prefix)) == range.network) return range.words;
  }
  return nullptr;
}

// The host part of the address is all zeros (`ones` false) or all ones, in a
// subnet large enough to keep those two addresses from hosts.
bool HostPartIs(const Entries& e, bool ones) {
  if (!e.ip || !e.netmask || !e.prefix || *e.prefix > 30) return false;
  const std::uint32_t hostBits = ~*e.netmask;
  return (*e.ip & hostBits) == (ones ? hostBits : 0);
}

struct RuleRow {
  AddressRule rule;
  AddressField field;
  std::optional<Severity> page;  // nothing: not checked there
  std::optional<Severity> tool;
  bool (*broken)(const Entries&);
  // {field} and {text}: the field's name and text as given; {ip},
  // {netmask}, {gateway}: values in dotted decimal; {subnet}: "10.0.0.0/24";
  // {range}: the reserved range the field's value lies in.
  const char* words;
};

constexpr std::optional<Severity> kRefused = Severity::REFUSED;
constexpr std::optional<Severity> kWarned = Severity::WARNED;
constexpr std::optional<Severity> kUnchecked = std::nullopt;
constexpr AddressField kIp = AddressField::IP_ADDRESS;
constexpr AddressField kNetmask = AddressField::NETMASK;
constexpr AddressField kGateway = AddressField::GATEWAY;

constexpr RuleRow kRules[] = {
    {AddressRule::IP_ADDRESS_TEXT, kIp, kRefused, kRefused, [](const Entries& e) { return !e.ip; },
     "invalid {field} '{text}'"},
    {AddressRule::NETMASK_TEXT, kNetmask, kRefused, kRefused,
     [](const Entries& e) { return !e.netmask; }, "invalid {field} '{text}'"},
    {AddressRule::GATEWAY_TEXT, kGateway, kRefused, kRefused,
     [](const Entries& e) { return !IsValidGatewayText(e.record.gateway); },
     "invalid {field} '{text}'"},
    {AddressRule::ADDRESS_RESERVED, kIp, kRefused, kRefused,
     [](const Entries& e) { return ReservedRange(e.ip) != nullptr; }, "{range}"},
    {AddressRule::NETMASK_NOT_CONTIGUOUS, kNetmask, kRefused, kRefused,
     [](const Entries& e) { return e.netmask && !e.prefix; },
     "the netmask {netmask} is not a run of ones followed by zeros"},
    {AddressRule::NETMASK_ALL_ONES, kNetmask, kRefused, kRefused,
     [](const Entries& e) { return e.prefix == 32u; },
     "the netmask 255.255.255.255 (/32) leaves the device without a neighbour, not even its "
     "gateway"},
    {AddressRule::NETWORK_ADDRESS, kIp, kRefused, kRefused,
     [](const Entries& e) { return HostPartIs(e, false); },
     "{ip} is the network address of {subnet}"},
    {AddressRule::BROADCAST_ADDRESS, kIp, kRefused, kRefused,
     [](const Entries& e) { return HostPartIs(e, true); },
     "{ip} is the broadcast address of {subnet}"},
    {AddressRule::GATEWAY_RESERVED, kGateway, kRefused, kRefused,
     [](const Entries& e) { return ReservedRange(e.gateway) != nullptr; }, "{range}"},
    // Still reachable through another route: warned of, and the page, which
    // cannot warn, sends it.
    {AddressRule::GATEWAY_OUTSIDE_SUBNET, kGateway, kUnchecked, kWarned,
     [](const Entries& e) {
       return e.ip && e.netmask && e.gateway && (*e.gateway & *e.netmask) != (*e.ip & *e.netmask);
     },
     "gateway {gateway} is outside subnet {subnet} of IP address {ip} and netmask {netmask}, so "
     "the device cannot reach it"},
};

// By AddressField: each field's name in words and its text in a record.
constexpr const char* kFieldNames[] = {"IP address", "netmask", "gateway"};
constexpr std::string DeviceRecord::*kFieldTexts[] = {
    &DeviceRecord::ipAddress, &DeviceRecord::netmask, &DeviceRecord::gateway};

std::string Dotted(std::optional<std::uint32_t> value) { return DottedDecimal(value.value_or(0)); }

// "192.168.1.0/24", or with a netmask that has no prefix length,
// "192.168.1.0 with netmask 255.0.255.0".
std::string SubnetText(const Entries& e) {
  const std::string network = Dotted(e.ip.value_or(0) & e.netmask.value_or(0));
  if (e.prefix) return network + "/" + std::to_string(*e.prefix);
  return network + " with netmask " + Dotted(e.netmask);
}

std::string Placeholder(const std::string& name, AddressField field, const Entries& e) {
  const auto index = static_cast<std::size_t>(field);
  if (name == "field") return kFieldNames[index];
  if (name == "text") return e.record.*kFieldTexts[index];
  if (name == "ip") return Dotted(e.ip);
  if (name == "netmask") return Dotted(e.netmask);
  if (name == "gateway") return Dotted(e.gateway);
  if (name == "subnet") return SubnetText(e);
  const char* range = ReservedRange(field == AddressField::GATEWAY ? e.gateway : e.ip);
  return range != nullptr ? range : "";
}

std::string Words(const RuleRow& row, const Entries& e) {
  std::string words;
  for (const char* p = row.words; *p != '\0'; ++p) {
    const char* end = *p == '{' ? std::strchr(p, '}') : nullptr;
    if (end == nullptr) {
      words += *p;
      continue;
    }
    words += Placeholder(std::string(p + 1, end), row.field, e);
    p = end;
  }
  return words;
}

void Canonicalize(std::string& text) {
  if (const std::optional<std::uint32_t> value = ParseIpv4(text)) text = DottedDecimal(*value);
}

}  // namespace

bool IsPlaceholder(std::uint32_t value) { return value == 0 || value == 0x01010101u; }

bool IsCommandFieldText(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool HasZeroPaddedPart(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const bool partStart = i == 0 || text[i - 1] == '.';
    if (partStart && text[i] == '0' && text[i + 1] >= '0' && text[i + 1] <= '9') return true;
  }
  return false;
}

std::string WithoutZeroPadding(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool partStart = i == 0 || text[i - 1] == '.';
    if (partStart) {
      while (text[i] == '0' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
    }
    result += text[i];
  }
  return result;
}

bool IsValidAddressText(const std::string& text) {
  if (text.size() > kMaxAddressTextLength || !IsCommandFieldText(text)) return false;
  if (HasZeroPaddedPart(text)) return false;
  const std::optional<std::uint32_t> value = ParseIpv4(text);
  return value.has_value() && *value != 0;
}

std::vector<AddressProblem> CheckAddressConfiguration(const DeviceRecord& record,
                                                      RuleContext context) {
  std::vector<AddressProblem> problems;
  if (record.dhcp != 0) return problems;
  const Entries entries = ReadEntries(record);
  for (const RuleRow& row : kRules) {
    const std::optional<Severity> severity = context == RuleContext::PAGE ? row.page : row.tool;
    if (severity && row.broken(entries)) {
      problems.push_back({row.rule, row.field, *severity, Words(row, entries)});
    }
  }
  return problems;
}

std::optional<AddressProblem> FirstRefusal(const DeviceRecord& record, RuleContext context) {
  const std::vector<AddressProblem> problems = CheckAddressConfiguration(record, context);
  for (const AddressProblem& problem : problems) {
    if (problem.severity == Severity::REFUSED) return problem;
  }
  return std::nullopt;
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

namespace {

// A gateway as the tool compares it: left out and 0.0.0.0 are both none.
std::string GatewayOrNone(const std::string& gateway) {
  return gateway.empty() || SameAddress(gateway, "0.0.0.0") ? std::string() : gateway;
}

}  // namespace

std::vector<ConfigurationDifference> ConfigurationDifferences(const DeviceRecord& sent,
                                                              const DeviceRecord& announced,
                                                              RuleContext context) {
  const bool tool = context == RuleContext::TOOL;
  std::vector<ConfigurationDifference> differences;
  // Field devices announce DHCP with any non-zero flag.
  const bool sameDhcp =
      tool ? (sent.dhcp != 0) == (announced.dhcp != 0) : sent.dhcp == announced.dhcp;
  if (!sameDhcp) {
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
  if (!tool && !sent.gateway.empty() && !announced.gateway.empty() &&
      !SameAddress(sent.gateway, announced.gateway)) {
    differences.push_back({"gateway", sent.gateway, announced.gateway});
  }
  if (tool) {
    const std::string sentGateway = GatewayOrNone(sent.gateway);
    const std::string announcedGateway = GatewayOrNone(announced.gateway);
    if (sentGateway.empty() != announcedGateway.empty() ||
        (!sentGateway.empty() && !SameAddress(sentGateway, announcedGateway))) {
      differences.push_back({"gateway", sentGateway.empty() ? "none" : sent.gateway,
                             announcedGateway.empty() ? "none" : announced.gateway});
    }
  }
  return differences;
}

bool AnnouncesConfiguration(const DeviceRecord& announced, const DeviceRecord& sent) {
  return ConfigurationDifferences(sent, announced, RuleContext::TOOL).empty();
}

// Copies by design: the page's interface takes both records by value.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool IsDeviceConfigured(DeviceRecord sent, DeviceRecord reply) {  // cppcheck-suppress passedByValue
  return ConfigurationDifferences(sent, reply).empty();
}

std::vector<DeviceRecord> OtherDevicesAnnouncing(const DeviceList& devices,
                                                 const std::string& address, std::uint32_t serial,
                                                 const std::string& deviceId) {
  std::vector<DeviceRecord> others;
  const std::optional<std::uint32_t> value = ParseIpv4(address);
  if (!value || IsPlaceholder(*value)) return others;
  for (const DeviceRecord& record : devices) {
    const bool target = record.serial == serial &&
                        (deviceId.empty() || SameTextIgnoringCase(record.deviceId, deviceId));
    if (target) continue;
    const std::optional<std::uint32_t> announced = ParseIpv4(record.ipAddress);
    if (announced && *announced == *value) others.push_back(record);
  }
  return others;
}

}  // namespace velkarin
