// Readers of blank-separated words in NUL-terminated text. Each skips blanks
// (0x20 only), consumes what it reads and returns the cursor behind it.
//
// Numbers convert as sscanf's "%X" and "%d" would (optional sign, "%X" also an
// optional 0x prefix, leading part of the word only), with one rule of our own
// where the C library leaves the result undefined: a magnitude that does not
// fit 32 bits gives the value of its low 32 bits, with the sign applied
// (the same wrap-around that sscanf shows with glibc and with msvcrt).
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace velkarin {

const char* ReadToken(const char* cursor, std::string& text);
const char* ReadRest(const char* cursor, std::string& text);
const char* ReadHex(const char* cursor, std::uint32_t& value);
const char* ReadDecimal(const char* cursor, std::int32_t& value);
const char* ReadDecimalOrZero(const char* cursor, std::int32_t& value);
const char* ReadDecimalOrMinusOne(const char* cursor, std::int32_t& value);
// A word of exactly 32 bytes fills all 16 bytes, two characters a byte;
// any other word is not consumed and leaves `key` as it was. A pair that is
// not two hexadecimal digits converts as "%02X" would, and gives 0 when
// nothing converts.
const char* ReadKey16(const char* cursor, std::array<std::uint8_t, 16>& key);

}  // namespace velkarin
