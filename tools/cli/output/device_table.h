// The device list as a text table, with the page's columns and one more that
// names the status flags.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/device_list.h"

namespace velkarin::cli {

// "%06X": upper-case, at least six digits.
std::string SerialText(std::uint32_t serial);
// "Yes" for any non-zero value, "No" for 0.
std::string DhcpText(std::int32_t dhcp);
// The set bits in words, comma-separated, lowest bit first
// ("serial-shared-no-id,address-conflict"); unknown bits as "0x40"; "" for none.
std::string StatusFlagWords(std::uint32_t flags);
// The Status column: the words, or "-" for none.
std::string StatusText(std::uint32_t flags);

// The cells of the table, header row first: texts through DisplayDeviceText
// (UTF-8), "-" as the status of a record without flags.
std::vector<std::vector<std::string>> DeviceTableCells(const DeviceList& devices);

// Rows as a table: each column padded with blanks to the
// widest cell (counted in characters) and separated by two blanks; every line
// ends in '\n'. UTF-8.
std::string FormatTableRows(const std::vector<std::vector<std::string>>& rows);
// FormatTableRows of DeviceTableCells.
std::string FormatDeviceTable(const DeviceList& devices);

}  // namespace velkarin::cli
