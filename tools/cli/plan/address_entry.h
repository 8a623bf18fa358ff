// The tool's side of the entries: serial numbers as the table shows them, and
// the differences between what was sent and what a device announces, in
// words. The rules themselves live in the core (config/address_rules.h).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/address_rules.h"

namespace velkarin::cli {

// A serial number as the table shows it: 1 to 8 hexadecimal digits, either
// case, nothing else.
std::optional<std::uint32_t> ParseSerialText(const std::string& text);

// Each difference as "<what>: sent <x>, announced <y>", in UTF-8.
std::vector<std::string> DescribeDifferences(
    const std::vector<ConfigurationDifference>& differences);

}  // namespace velkarin::cli
