// ParseAnnouncement on arbitrary datagrams, held against a second reading
// made here from the datagram's layout: sections cut at NULs, words split at
// blanks, every item taken from its position. The readers' number values are
// checked against the C library by their own targets; here each number item
// must be what its reader makes of that one word.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/announcement.h"
#include "protocol/token_readers.h"
#include "support/fuzz_check.h"
#include "support/record_fields.h"
#include "support/words.h"

using namespace velkarin;
using namespace velkarin::fuzz;

namespace {

std::uint32_t Hex(const std::string& word) {
  std::uint32_t value = 0;
  ReadHex(word.c_str(), value);
  return value;
}

std::int32_t DecimalOr(const std::string& word, std::int32_t otherwise) {
  std::int32_t value = otherwise;
  ReadDecimal(word.c_str(), value);
  return value;
}

// The text of a present section; a section ends at its NUL or the datagram's end.
struct Sections {
  std::string text[3];
  bool present[3] = {true, false, false};
};

Sections Cut(const char* bytes, std::size_t length) {
  Sections sections;
  std::size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      // Present only when a NUL ended the previous section and a byte follows it.
      if (start >= length) break;
      sections.present[i] = true;
    }
    const void* nul = std::memchr(bytes + start, '\0', length - start);
    const std::size_t end = nul ? static_cast<const char*>(nul) - bytes : length;
    sections.text[i].assign(bytes + start, end - start);
    if (nul == nullptr) break;
    start = end + 1;
  }
  return sections;
}

DeviceRecord Expected(const Sections& sections) {
  DeviceRecord r;
  const std::vector<std::string> w1 = SplitWords(sections.text[0]);
  r.serial = Hex(WordAt(w1, 0));
  r.dhcp = DecimalOr(WordAt(w1, 1), 0);
  r.ipAddress = WordAt(w1, 2);
  r.netmask = WordAt(w1, 3);
  r.gateway = WordAt(w1, 4);
  r.name = RestAfterWords(sections.text[0], 5);
  if (sections.present[1]) {
    const std::vector<std::string> w2 = SplitWords(sections.text[1]);
    r.extNumber1 = DecimalOr(WordAt(w2, 0), 0);
    for (std::size_t i = 0; i < 4; ++i) r.extTexts[i] = WordAt(w2, 1 + i);
    r.deviceId = WordAt(w2, 5);
    r.deviceIndex = DecimalOr(WordAt(w2, 6), 0);
    r.extNumber2 = DecimalOr(WordAt(w2, 7), 0);
    r.extTextA = WordAt(w2, 8);
    r.extTextB = WordAt(w2, 9);
    r.commandSuffix = DecimalOr(WordAt(w2, 10), -1);
  }
  if (sections.present[2]) {
    const std::vector<std::string> w3 = SplitWords(sections.text[2]);
    r.auxNumber = Hex(WordAt(w3, 0));
    r.auxTextA = WordAt(w3, 1);
    r.auxTextB = WordAt(w3, 2);
  }
  return r;
}

bool HasByte(const std::string& text, char c) { return text.find(c) != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // libFuzzer's block is exactly `size` bytes: a read past it is caught.
  const char* bytes = reinterpret_cast<const char*>(data);
  const DeviceRecord parsed = ParseAnnouncement(bytes, size);
  const DeviceRecord expected = Expected(Cut(bytes, size));
  FUZZ_CHECK(SameFields(parsed, expected),
             "parsed   " + Describe(parsed) + "\nexpected " + Describe(expected));

  // No text field holds a NUL; the word items hold no blank either.
  const std::string* words[] = {&parsed.ipAddress,   &parsed.netmask,     &parsed.gateway,
                                &parsed.deviceId,    &parsed.extTextA,    &parsed.extTextB,
                                &parsed.auxTextA,    &parsed.auxTextB,    &parsed.extTexts[0],
                                &parsed.extTexts[1], &parsed.extTexts[2], &parsed.extTexts[3]};
  for (const std::string* word : words) {
    FUZZ_CHECK(!HasByte(*word, '\0') && !HasByte(*word, ' '), "word item " + Quoted(*word));
  }
  FUZZ_CHECK(!HasByte(parsed.name, '\0') && (parsed.name.empty() || parsed.name[0] != ' '),
             "name " + Quoted(parsed.name));

  // The unconfigured sender replaces the three addresses and nothing else.
  DeviceRecord unconfigured = parsed;
  ApplyUnconfiguredSender(unconfigured);
  DeviceRecord restored = unconfigured;
  restored.ipAddress = parsed.ipAddress;
  restored.netmask = parsed.netmask;
  restored.gateway = parsed.gateway;
  FUZZ_CHECK(unconfigured.ipAddress == "0.0.0.0" && unconfigured.netmask == "0.0.0.0" &&
                 unconfigured.gateway == "0.0.0.0" && SameFields(restored, parsed),
             Describe(unconfigured));
  return 0;
}
