// The device list as CSV (RFC 4180) for spreadsheets and scripts.
#pragma once
#include <string>
#include <vector>

#include "engine/device_list.h"

namespace velkarin::cli {

// How a CSV file is written: its separator, and whether U+FEFF comes first,
// by which spreadsheets on Windows know UTF-8 (without it Excel reads the
// ANSI code page).
struct CsvForm {
  char separator = ',';
  bool byteOrderMark = false;
};

// One field, in double quotes (inner quotes doubled) when it holds the
// separator, a quote, a line break or a blank at either end; else as it is.
// The text is first made safe for spreadsheets (SpreadsheetSafeCell).
std::string CsvField(const std::string& text, char separator = ',');

// A cell that a spreadsheet would run as a formula (one starting with '=',
// '+', '-', '@', a tab or a CR, other than a plain number such as "-1" or a
// lone "-")
// gets a leading single quote, and so does one that already starts with
// quotes followed by such a character, so that reading it back
// (CellAsWritten) gives exactly the text: a device may name itself
// "=HYPERLINK(...)".
std::string SpreadsheetSafeCell(const std::string& text);
// The text of a cell SpreadsheetSafeCell wrote: one leading quote dropped
// where it had added one.
std::string CellAsWritten(const std::string& cell);

// The separator of CSV written for people: on Windows the user's list
// separator when it is a semicolon (as Excel reads CSV where the comma is the
// decimal sign), else the comma.
char DefaultCsvSeparator();

// A header row of the JSON field names of the table's columns (serialText,
// name, dhcp, ipAddress, netmask, gateway, status), then one row per record
// holding the table's cells; UTF-8, every row ended by "\r\n".
std::string FormatDeviceCsv(const DeviceList& devices, const CsvForm& form);
// Table cells as CSV: the header row replaced by `header`, the rest as they are.
std::string FormatCsvRows(std::vector<std::vector<std::string>> rows,
                          const std::vector<std::string>& header, const CsvForm& form);
// The header of FormatDeviceCsv.
const std::vector<std::string>& DeviceCsvHeader();

}  // namespace velkarin::cli
