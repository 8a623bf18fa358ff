#include "cli/device_table.h"

#include <array>
#include <cstdio>
#include <vector>

#include "cli/display_text.h"
#include "engine/device_collector.h"

namespace velkarin::cli {

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(serial));
  return text;
}

std::string DhcpText(std::int32_t dhcp) { return dhcp != 0 ? "Yes" : "No"; }

std::string StatusFlagWords(std::uint32_t flags) {
  struct Word {
    std::uint32_t bit;
    const char* word;
  };
  static const Word kWords[] = {
      {STATUS_SERIAL_SHARED_NO_ID, "serial-shared-no-id"},
      // Another listed device announces the same address.
      {STATUS_IP_CLASH, "address-conflict"},
      {STATUS_NO_SERIAL, "no-serial"},
      {STATUS_NO_IP, "no-ip"},
      {STATUS_SERIAL_CLASH, "serial-clash"},
  };
  std::string words;
  for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
    if ((flags & bit) == 0) continue;
    if (!words.empty()) words += ',';
    const char* known = nullptr;
    for (const Word& w : kWords) {
      if (w.bit == bit) known = w.word;
    }
    if (known != nullptr) {
      words += known;
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(bit));
      words += hex;
    }
  }
  return words;
}

std::string StatusText(std::uint32_t flags) {
  std::string words = StatusFlagWords(flags);
  return words.empty() ? "-" : words;
}

std::string FormatDeviceTable(const DeviceList& devices) {
  using Row = std::array<std::string, 7>;
  std::vector<Row> rows;
  rows.push_back({"Snr", "Name", "DHCP", "IP", "Netmask", "Gateway", "Status"});
  for (const DeviceRecord& r : devices) {
    rows.push_back({SerialText(r.serial), DisplayText(r.name), DhcpText(r.dhcp),
                    DisplayText(r.ipAddress), DisplayText(r.netmask), DisplayText(r.gateway),
                    StatusText(r.statusFlags)});
  }
  std::array<std::size_t, 7> widths{};
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (row[c].size() > widths[c]) widths[c] = row[c].size();
    }
  }
  std::string table;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] - row[c].size() + 2, ' ');
    }
    table += line;
    table += '\n';
  }
  return table;
}

}  // namespace velkarin::cli
