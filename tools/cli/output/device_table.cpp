#include "cli/output/device_table.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/output/display_text.h"
#include "cli/output/text_encoding.h"
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
      // Another device has the serial behind another interface.
      {STATUS_SERIAL_ELSEWHERE, "serial-on-other-interface"},
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

std::vector<std::vector<std::string>> DeviceTableCells(const DeviceList& devices) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"Snr", "Name", "DHCP", "IP", "Netmask", "Gateway", "Status"});
  for (const DeviceRecord& r : devices) {
    rows.push_back({SerialText(r.serial), DisplayDeviceText(r.name), DhcpText(r.dhcp),
                    DisplayDeviceText(r.ipAddress), DisplayDeviceText(r.netmask),
                    DisplayDeviceText(r.gateway), StatusText(r.statusFlags)});
  }
  return rows;
}

std::string FormatDeviceTable(const DeviceList& devices) {
  return FormatTableRows(DeviceTableCells(devices));
}

std::string FormatTableRows(const std::vector<std::vector<std::string>>& rows) {
  if (rows.empty()) return std::string();
  // In characters, not bytes: an umlaut takes two bytes and one column.
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      widths[c] = std::max(widths[c], CharacterCount(row[c]));
    }
  }
  std::string table;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      table += row[c];
      if (c + 1 < row.size()) table.append(widths[c] - CharacterCount(row[c]) + 2, ' ');
    }
    table += '\n';
  }
  return table;
}

}  // namespace velkarin::cli
