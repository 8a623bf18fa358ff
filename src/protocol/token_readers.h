// Readers of blank-separated words in NUL-terminated text. Each skips blanks
// (0x20 only), consumes what it reads and returns the cursor behind it.
//
// A number word converts as sscanf's "%X" and "%d" convert it: white space at
// the start of the word skipped, an optional sign, for "%X" an optional 0x
// prefix, then the leading digits only ("12abc" gives 12; "0x" with no hex
// digit after it gives 0). A word that does not convert is still consumed.
// Where the C library leaves the result undefined we have a rule of our own,
// the same on every platform: a magnitude that does not fit 32 bits gives its
// low 32 bits, with the sign applied.
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
// any other word is not consumed and leaves `key` as it was. Each pair
// converts on its own as "%02X" would and keeps the low 8 bits ("1z" gives 1,
// "-1" gives 0xFF); a pair that does not convert at all ("zz") gives 0.
const char* ReadKey16(const char* cursor, std::array<std::uint8_t, 16>& key);

}  // namespace velkarin
