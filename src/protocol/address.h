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

// The value that the address comparison uses: 0 for the empty text, all bits
// set for a text that cannot be read.
std::uint32_t AddressValue(const std::string& text);

bool SameAddress(const std::string& a, const std::string& b);
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

}  // namespace velkarin
