// Device texts come from the network and are printed to terminals.
#pragma once
#include <cstddef>
#include <string>

namespace velkarin::cli {

// The text with every byte that a terminal could act on (C0 controls, DEL and
// the C1 range 0x80-0x9F) written as \xNN, and backslashes doubled so that the
// escapes stay unambiguous. Other bytes pass unchanged.
std::string DisplayText(const std::string& text);

// A device text (Latin-1 bytes) as the tool shows it: DisplayText's escapes,
// then UTF-8.
std::string DisplayDeviceText(const std::string& latin1);

// The same escapes for a UTF-8 text (an argument echoed in a message): control
// characters by their number (U+0085 as \x85), each byte of malformed UTF-8
// as \xNN; the rest passes as it is.
std::string DisplayUtf8(const std::string& utf8);

// A count and its noun: "1 device", "3 devices" (the plural with an "s").
std::string CountText(std::size_t count, const std::string& noun);

}  // namespace velkarin::cli
