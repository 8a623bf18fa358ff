#include "protocol/token_readers.h"

#include <cstddef>

namespace velkarin {
namespace {

constexpr char kBlank = ' ';

const char* SkipBlanks(const char* cursor) {
  while (*cursor == kBlank) ++cursor;
  return cursor;
}

const char* WordEnd(const char* cursor) {
  while (*cursor != '\0' && *cursor != kBlank) ++cursor;
  return cursor;
}

// White space as the C locale's isspace() defines it; scanf skips it before
// a number.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of `c` as a digit of `base` (10 or 16), or -1.
int DigitValue(char c, unsigned base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16) {
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  }
  return -1;
}

// Converts the number at the start of [begin, end) the way scanf's "%d"
// (base 10) and "%X" (base 16) do: white space skipped, an optional sign, for
// base 16 an optional 0x or 0X, then digits. A "0x" with no hex digit after it
// still converts, as 0, since its "0" is a digit. The magnitude is kept
// modulo 2^32 and the sign applied to it.
bool ScanInteger(const char* begin, const char* end, unsigned base, std::uint32_t& result) {
  const char* p = begin;
  while (p != end && IsSpace(*p)) ++p;

  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  bool converted = false;
  if (base == 16 && p != end && *p == '0') {
    converted = true;
    ++p;
    if (p != end && (*p == 'x' || *p == 'X')) ++p;
  }
  std::uint32_t magnitude = 0;
  for (; p != end; ++p) {
    const int digit = DigitValue(*p, base);
    if (digit < 0) break;
    magnitude = magnitude * base + static_cast<std::uint32_t>(digit);
    converted = true;
  }
  if (!converted) return false;
  result = negative ? 0u - magnitude : magnitude;
  return true;
}

}  // namespace

const char* ReadToken(const char* cursor, std::string& text) {
  const char* begin = SkipBlanks(cursor);
  const char* end = WordEnd(begin);
  if (end != begin) text.assign(begin, end);
  return end;
}

const char* ReadRest(const char* cursor, std::string& text) {
  const char* begin = SkipBlanks(cursor);
  const char* end = begin;
  while (*end != '\0') ++end;
  if (end != begin) text.assign(begin, end);
  return end;
}

const char* ReadHex(const char* cursor, std::uint32_t& value) {
  const char* begin = SkipBlanks(cursor);
  const char* end = WordEnd(begin);
  std::uint32_t converted = 0;
  if (ScanInteger(begin, end, 16, converted)) value = converted;
  return end;
}

const char* ReadDecimal(const char* cursor, std::int32_t& value) {
  const char* begin = SkipBlanks(cursor);
  const char* end = WordEnd(begin);
  std::uint32_t converted = 0;
  if (ScanInteger(begin, end, 10, converted)) value = static_cast<std::int32_t>(converted);
  return end;
}

const char* ReadDecimalOrZero(const char* cursor, std::int32_t& value) {
  value = 0;
  return ReadDecimal(cursor, value);
}

const char* ReadDecimalOrMinusOne(const char* cursor, std::int32_t& value) {
  value = -1;
  return ReadDecimal(cursor, value);
}

const char* ReadKey16(const char* cursor, std::array<std::uint8_t, 16>& key) {
  constexpr std::size_t kWordLength = std::size_t{2} * 16;  // two digits a byte
  const char* begin = SkipBlanks(cursor);
  const char* end = WordEnd(begin);
  if (static_cast<std::size_t>(end - begin) != kWordLength) return begin;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const char* pair = begin + 2 * i;
    // The pair alone is the field, as the width 2 of "%02X" makes it.
    std::uint32_t converted = 0;
    key[i] = ScanInteger(pair, pair + 2, 16, converted) ? static_cast<std::uint8_t>(converted)
                                                        : std::uint8_t{0};
  }
  return end;
}

}  // namespace velkarin
