// Address texts and identifiers compared as the device list needs them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace velkarin {

// IPv4 text in the notation of inet_addr: one to four parts separated by
// dots, each decimal, octal (leading 0) or hexadecimal (leading 0x). As with
// inet_addr, white space ends the address and what follows it is ignored.
// Gives nothing for a text it cannot read. The value is in host byte order
// ("1.2.3.4" gives 0x01020304).
std::optional<std::uint32_t> ParseIpv4(const std::string& text);

// Plain dotted decimal of a value in host byte order ("10.0.0.5").
std::string DottedDecimal(std::uint32_t value);

// The prefix length of a netmask, or nothing when a one-bit follows a
// zero-bit ("255.0.255.0" has none).
std::optional<std::uint32_t> PrefixLength(std::uint32_t netmask);

// The value that the address comparison uses: 0 for the empty text, all bits
// set for a text that cannot be read.
std::uint32_t AddressValue(const std::string& text);

bool SameAddress(const std::string& a, const std::string& b);
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

}  // namespace velkarin
