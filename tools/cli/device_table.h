// The device list as a text table, with the page's columns and one more that
// names the status flags.
#pragma once
#include <cstdint>
#include <string>

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

// Header line, then one line per record, columns padded with blanks to the
// widest cell and separated by two blanks; every line ends in '\n'. Texts are
// shown through DisplayText. A record without flags shows "-" as its status.
std::string FormatDeviceTable(const DeviceList& devices);

}  // namespace velkarin::cli
