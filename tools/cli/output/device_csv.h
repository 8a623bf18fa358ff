// The device list as CSV (RFC 4180) for spreadsheets and scripts.
#pragma once
#include <string>
#include <vector>

#include "engine/device_list.h"

namespace velkarin::cli {

// One field, in double quotes (inner quotes doubled) when it holds a comma, a
// quote, a line break or a blank at either end; else as it is.
std::string CsvField(const std::string& text);

// A header row of the JSON field names of the table's columns (serialText,
// name, dhcp, ipAddress, netmask, gateway, status), then one row per record
// holding the table's cells; UTF-8, every row ended by "\r\n". With
// `byteOrderMark`, U+FEFF first, by which spreadsheets on Windows know UTF-8.
std::string FormatDeviceCsv(const DeviceList& devices, bool byteOrderMark);
// Table cells as CSV: the header row replaced by `header`, the rest as they are.
std::string FormatCsvRows(std::vector<std::vector<std::string>> rows,
                          const std::vector<std::string>& header, bool byteOrderMark);
// The header of FormatDeviceCsv.
const std::vector<std::string>& DeviceCsvHeader();

}  // namespace velkarin::cli
