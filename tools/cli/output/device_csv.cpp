#include "cli/output/device_csv.h"

#include "cli/output/device_table.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace velkarin::cli {
namespace {

// What a spreadsheet takes for the start of a formula.
bool StartsFormula(char c) {
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// "-1", "+2.5", "3,5": a spreadsheet shows it as the number it is.
bool PlainNumber(const std::string& text) {
  std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  const std::size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == digits) return false;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    const std::size_t fraction = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == fraction) return false;
  }
  return i == text.size();
}

// Quotes, then a formula's first character: the form a neutralised cell has.
bool QuotedFormula(const std::string& text) {
  const std::size_t after = text.find_first_not_of('\'');
  return after > 0 && after != std::string::npos && StartsFormula(text[after]);
}

}  // namespace

std::string SpreadsheetSafeCell(const std::string& text) {
  // A lone "-" (the tables' "none") runs nothing.
  const bool formula =
      !text.empty() && StartsFormula(text[0]) && !PlainNumber(text) && text != "-" && text != "+";
  return formula || QuotedFormula(text) ? "'" + text : text;
}

std::string CellAsWritten(const std::string& cell) {
  return QuotedFormula(cell) ? cell.substr(1) : cell;
}

char DefaultCsvSeparator() {
#ifdef _WIN32
  wchar_t list[8] = L"";
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SLIST, list, 8) > 0 &&
      std::wstring(list) == L";") {
    return ';';
  }
#endif
  return ',';
}

std::string CsvField(const std::string& text, char separator) {
  std::string safe = SpreadsheetSafeCell(text);
  const bool quoted = safe.find_first_of("\"\r\n") != std::string::npos ||
                      safe.find(separator) != std::string::npos ||
                      (!safe.empty() && (safe.front() == ' ' || safe.back() == ' '));
  if (!quoted) return safe;
  std::string field = "\"";
  for (char c : safe) {
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

std::string FormatDeviceCsv(const DeviceList& devices, const CsvForm& form) {
  return FormatCsvRows(DeviceTableCells(devices), DeviceCsvHeader(), form);
}

std::string FormatCsvRows(std::vector<std::vector<std::string>> rows,
                          const std::vector<std::string>& header, const CsvForm& form) {
  if (!rows.empty()) rows.front() = header;
  std::string csv = form.byteOrderMark ? "\xEF\xBB\xBF" : "";
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) csv += form.separator;
      csv += CsvField(row[c], form.separator);
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace velkarin::cli
