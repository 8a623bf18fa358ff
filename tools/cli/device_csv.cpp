#include "cli/device_csv.h"

#include "cli/device_table.h"

namespace velkarin::cli {

std::string CsvField(const std::string& text) {
  const bool quoted = text.find_first_of(",\"\r\n") != std::string::npos ||
                      (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quoted) return text;
  std::string field = "\"";
  for (char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

std::string FormatDeviceCsv(const DeviceList& devices, bool byteOrderMark) {
  std::vector<std::vector<std::string>> rows = DeviceTableCells(devices);
  // The table's header words are for people; a CSV header is for programs.
  rows.front() = {"serialText", "name", "dhcp", "ipAddress", "netmask", "gateway", "status"};
  std::string csv = byteOrderMark ? "\xEF\xBB\xBF" : "";
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) csv += ',';
      csv += CsvField(row[c]);
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace velkarin::cli
