#include "cli/output/device_csv.h"

#include "cli/output/device_table.h"

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

const std::vector<std::string>& DeviceCsvHeader() {
  // The table's header words are for people; a CSV header is for programs.
  static const std::vector<std::string> header = {"serialText", "name",    "dhcp",  "ipAddress",
                                                  "netmask",    "gateway", "status"};
  return header;
}

std::string FormatDeviceCsv(const DeviceList& devices, bool byteOrderMark) {
  return FormatCsvRows(DeviceTableCells(devices), DeviceCsvHeader(), byteOrderMark);
}

std::string FormatCsvRows(std::vector<std::vector<std::string>> rows,
                          const std::vector<std::string>& header, bool byteOrderMark) {
  if (!rows.empty()) rows.front() = header;
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
