#include "cli/plan/address_entry.h"

#include "cli/output/display_text.h"

namespace velkarin::cli {

std::optional<std::uint32_t> ParseSerialText(const std::string& text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = (value << 4) | digit;
  }
  return value;
}

namespace {

std::string Shown(const std::string& text) {
  return text.empty() ? "(none)" : DisplayDeviceText(text);
}

}  // namespace

std::vector<std::string> DescribeDifferences(
    const std::vector<ConfigurationDifference>& differences) {
  std::vector<std::string> lines;
  lines.reserve(differences.size());
  for (const ConfigurationDifference& d : differences) {
    lines.push_back(std::string(d.field) + ": sent " + Shown(d.sent) + ", announced " +
                    Shown(d.announced));
  }
  return lines;
}

}  // namespace velkarin::cli
