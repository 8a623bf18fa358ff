#include "cli/commands/destination_text.h"

#include <string>

#include "protocol/address.h"

namespace velkarin::cli {

std::optional<Destination> ParseDestination(const std::string& text) {
  Destination destination;
  std::string address = text;
  const std::size_t colon = text.find(':');
  if (colon != std::string::npos) {
    address = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5) return std::nullopt;
    unsigned long value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    destination.port = static_cast<std::uint16_t>(value);
  }
  const std::optional<std::uint32_t> value = ParseIpv4(address);
  if (!value || *value == 0) return std::nullopt;
  destination.address = *value;
  return destination;
}

std::string DestinationText(const Destination& destination) {
  return DottedDecimal(destination.address) + ":" + std::to_string(destination.port);
}

}  // namespace velkarin::cli
