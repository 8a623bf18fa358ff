// The number readers against the C library: every word of the input is read
// by ReadHex, ReadDecimal, ReadDecimalOrZero and ReadDecimalOrMinusOne and
// compared with sscanf's "%X" and "%d" (low 32 bits beyond 32 bits); every
// 32-character word is read by ReadKey16 and compared with "%02X" per pair.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/token_readers.h"
#include "support/c_text.h"
#include "support/fuzz_check.h"
#include "support/libc_numbers.h"
#include "support/words.h"

using namespace velkarin;
using namespace velkarin::fuzz;

namespace {

constexpr std::uint32_t kUnsetHex = 0xA5A5A5A5u;
constexpr std::int32_t kUnsetDecimal = -123456789;

// The cursor behind `word`, read from `cursor`: blanks, then the word.
bool CursorBehindWord(const char* cursor, const char* next, const std::string& word) {
  if (next - cursor < static_cast<std::ptrdiff_t>(word.size())) return false;
  for (const char* p = cursor; p != next - word.size(); ++p) {
    if (*p != ' ') return false;
  }
  return std::string(next - word.size(), next) == word && (*next == ' ' || *next == '\0');
}

void CheckWord(const char* cursor, const std::string& word, const char*& next) {
  const std::string where = "word " + Quoted(word);
  const LibcNumber hexRef = LibcReadNumber(word, 16);
  const LibcNumber decRef = LibcReadNumber(word, 10);
  const std::int32_t decValue = static_cast<std::int32_t>(decRef.low32);

  std::uint32_t hex = kUnsetHex;
  next = ReadHex(cursor, hex);
  FUZZ_CHECK(CursorBehindWord(cursor, next, word), "ReadHex cursor, " + where);
  FUZZ_CHECK(hex == (hexRef.converted ? hexRef.low32 : kUnsetHex),
             where + ": ReadHex " + std::to_string(hex) + ", sscanf " +
                 (hexRef.converted ? std::to_string(hexRef.low32) : "no conversion"));

  std::int32_t decimal = kUnsetDecimal;
  FUZZ_CHECK(ReadDecimal(cursor, decimal) == next, "ReadDecimal cursor, " + where);
  FUZZ_CHECK(decimal == (decRef.converted ? decValue : kUnsetDecimal),
             where + ": ReadDecimal " + std::to_string(decimal) + ", sscanf " +
                 (decRef.converted ? std::to_string(decValue) : "no conversion"));

  std::int32_t orZero = kUnsetDecimal;
  FUZZ_CHECK(ReadDecimalOrZero(cursor, orZero) == next, "ReadDecimalOrZero cursor, " + where);
  FUZZ_CHECK(orZero == (decRef.converted ? decValue : 0), "ReadDecimalOrZero, " + where);

  std::int32_t orMinusOne = kUnsetDecimal;
  FUZZ_CHECK(ReadDecimalOrMinusOne(cursor, orMinusOne) == next,
             "ReadDecimalOrMinusOne cursor, " + where);
  FUZZ_CHECK(orMinusOne == (decRef.converted ? decValue : -1), "ReadDecimalOrMinusOne, " + where);

  if (word.size() == 32) {
    std::array<std::uint8_t, 16> key;
    key.fill(0xA5);
    FUZZ_CHECK(ReadKey16(cursor, key) == next, "ReadKey16 cursor, " + where);
    for (std::size_t i = 0; i < key.size(); ++i) {
      FUZZ_CHECK(key[i] == LibcReadKeyPair(word.c_str() + 2 * i),
                 where + ": ReadKey16 byte " + std::to_string(i));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The readers work on NUL-terminated text: an embedded NUL ends it.
  const CText text(data, size);
  const std::vector<std::string> words = SplitWords(text.get());
  const char* cursor = text.get();
  for (const std::string& word : words) {
    const char* next = nullptr;
    CheckWord(cursor, word, next);
    cursor = next;
  }
  // Past the last word only blanks are left: nothing converts, the
  // defaults of the Or-readers apply.
  const char* const end = text.end();
  std::uint32_t hex = kUnsetHex;
  FUZZ_CHECK(ReadHex(cursor, hex) == end && hex == kUnsetHex, "ReadHex past the last word");
  std::int32_t orZero = kUnsetDecimal;
  std::int32_t orMinusOne = kUnsetDecimal;
  FUZZ_CHECK(ReadDecimalOrZero(cursor, orZero) == end && orZero == 0,
             "ReadDecimalOrZero past the last word");
  FUZZ_CHECK(ReadDecimalOrMinusOne(cursor, orMinusOne) == end && orMinusOne == -1,
             "ReadDecimalOrMinusOne past the last word");
  return 0;
}
