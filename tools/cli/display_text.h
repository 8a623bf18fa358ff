// Device texts come from the network and are printed to terminals.
#pragma once
#include <string>

namespace velkarin::cli {

// The text with every byte that a terminal could act on (C0 controls, DEL and
// the C1 range 0x80-0x9F) written as \xNN, and backslashes doubled so that the
// escapes stay unambiguous. Other bytes pass unchanged.
std::string DisplayText(const std::string& text);

}  // namespace velkarin::cli
