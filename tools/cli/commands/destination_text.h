// The --broadcast argument: where discovery and commands are sent.
#pragma once
#include <optional>
#include <string>

#include "protocol/udp_channel.h"

namespace velkarin::cli {

// "ADDRESS" or "ADDRESS:PORT". ADDRESS in the notation that the address
// checks read (dotted, one to four parts, decimal, octal or hex) and not
// 0.0.0.0; PORT decimal digits, 1 to 65535, 8001 when absent.
std::optional<Destination> ParseDestination(const std::string& text);

// "255.255.255.255:8001"
std::string DestinationText(const Destination& destination);

}  // namespace velkarin::cli
