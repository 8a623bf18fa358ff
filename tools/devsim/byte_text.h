// Byte strings written as text: hex for exact bytes, C-style escapes for
// readable ones. Used for raw datagrams in the configuration and in the log.
#pragma once
#include <string>

namespace velkarin::devsim {

// "hex:30 20 31" -> the bytes (blanks, ':' and '-' between digits ignored);
// "text:..." or any other string -> escapes decoded: \0 \t \n \r \\ \" \xHH.
// Throws std::invalid_argument on a malformed byte text.
std::string DecodeByteText(const std::string& text);

// Upper-case hex, two digits per byte, no separators.
std::string EncodeHex(const std::string& bytes);

// Printable ASCII as is; '"' and '\' and every other byte escaped so that
// DecodeByteText gives the bytes back.
std::string EscapeBytes(const std::string& bytes);

// The "%06X" text of a serial number: the address token of a command.
std::string SerialText(unsigned long serial);

}  // namespace velkarin::devsim
