// Every token reader on arbitrary text; the first byte picks the reader, the
// rest is the text. The reader is applied again and again from its own
// cursor until the text is used up, and each step must consume exactly the
// blanks and the one word (or the rest) it is meant to, never look past the
// terminator, leave its result alone when there is nothing to read, and give
// for a word the same value it gives for that word standing alone.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/token_readers.h"
#include "support/c_text.h"
#include "support/fuzz_check.h"
#include "support/libc_numbers.h"

using namespace velkarin;
using namespace velkarin::fuzz;

namespace {

enum Reader { kToken, kRest, kHex, kDecimal, kOrZero, kOrMinusOne, kKey16, kReaderCount };

const char* const kNames[kReaderCount] = {
    "ReadToken", "ReadRest", "ReadHex", "ReadDecimal", "ReadDecimalOrZero", "ReadDecimalOrMinusOne",
    "ReadKey16"};

const std::string kUnsetText = "\x01unset";
constexpr std::uint32_t kUnsetNumber = 0xA5A5A5A5u;

// The value a number reader gives for `word` alone, from a fresh start.
std::uint32_t AloneValue(Reader reader, const std::string& word) {
  std::uint32_t hex = kUnsetNumber;
  std::int32_t decimal = static_cast<std::int32_t>(kUnsetNumber);
  switch (reader) {
    case kHex:
      ReadHex(word.c_str(), hex);
      return hex;
    case kDecimal:
      ReadDecimal(word.c_str(), decimal);
      break;
    case kOrZero:
      ReadDecimalOrZero(word.c_str(), decimal);
      break;
    default:
      ReadDecimalOrMinusOne(word.c_str(), decimal);
      break;
  }
  return static_cast<std::uint32_t>(decimal);
}

// For a failed check only: the text is quoted from the cursor on.
std::string Where(Reader reader, const char* cursor) {
  return std::string(kNames[reader]) + " at " + Quoted(cursor);
}

// One step from `cursor`; returns where the next step starts.
const char* Step(Reader reader, const char* cursor, const char* end) {
  const char* begin = cursor;
  while (*begin == ' ') ++begin;
  const char* wordEnd = begin;
  while (*wordEnd != '\0' && *wordEnd != ' ') ++wordEnd;
  const std::string word(begin, wordEnd);

  switch (reader) {
    case kToken: {
      std::string text = kUnsetText;
      FUZZ_CHECK(ReadToken(cursor, text) == wordEnd, Where(reader, cursor));
      FUZZ_CHECK(text == (word.empty() ? kUnsetText : word),
                 Where(reader, cursor) + " gave " + Quoted(text));
      return wordEnd;
    }
    case kRest: {
      std::string text = kUnsetText;
      FUZZ_CHECK(ReadRest(cursor, text) == end, Where(reader, cursor));
      const std::string rest(begin, end);
      FUZZ_CHECK(text == (rest.empty() ? kUnsetText : rest),
                 Where(reader, cursor) + " gave " + Quoted(text));
      return end;
    }
    case kKey16: {
      std::array<std::uint8_t, 16> key;
      key.fill(0xA5);
      const std::array<std::uint8_t, 16> before = key;
      const char* next = ReadKey16(cursor, key);
      if (word.size() != 32) {
        FUZZ_CHECK(next == begin && key == before, Where(reader, cursor));
        return wordEnd;  // step over the word ourselves
      }
      FUZZ_CHECK(next == wordEnd, Where(reader, cursor));
      for (std::size_t i = 0; i < key.size(); ++i) {
        FUZZ_CHECK(key[i] == LibcReadKeyPair(begin + 2 * i),
                   Where(reader, cursor) + " byte " + std::to_string(i));
      }
      return wordEnd;
    }
    default:
      break;
  }

  std::uint32_t value = kUnsetNumber;
  std::int32_t signedValue = static_cast<std::int32_t>(kUnsetNumber);
  const char* next = nullptr;
  switch (reader) {
    case kHex:
      next = ReadHex(cursor, value);
      break;
    case kDecimal:
      next = ReadDecimal(cursor, signedValue);
      break;
    case kOrZero:
      next = ReadDecimalOrZero(cursor, signedValue);
      break;
    default:
      next = ReadDecimalOrMinusOne(cursor, signedValue);
      break;
  }
  if (reader != kHex) value = static_cast<std::uint32_t>(signedValue);
  FUZZ_CHECK(next == wordEnd, Where(reader, cursor));
  if (word.empty()) {
    const std::uint32_t expected = reader == kOrZero       ? 0u
                                   : reader == kOrMinusOne ? 0xFFFFFFFFu
                                                           : kUnsetNumber;
    FUZZ_CHECK(value == expected,
               Where(reader, cursor) + " with no word gave " + std::to_string(value));
  } else {
    FUZZ_CHECK(value == AloneValue(reader, word),
               Where(reader, cursor) + ": the word alone reads otherwise");
  }
  return next;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Reader reader = static_cast<Reader>(data[0] % kReaderCount);
  const CText text(data + 1, size - 1);
  const char* const end = text.end();
  const char* cursor = text.get();
  // Each step consumes at least one byte until only the terminator is left;
  // one more step there must stay there.
  for (;;) {
    const char* next = Step(reader, cursor, end);
    FUZZ_CHECK(next >= cursor && next <= end, "cursor left the text");
    if (next == end && cursor == end) break;
    FUZZ_CHECK(next > cursor || *cursor == '\0', "no progress");
    cursor = next;
  }
  return 0;
}
