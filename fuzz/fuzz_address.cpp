// The address texts: ParseIpv4, AddressValue, SameAddress and
// SameTextIgnoringCase on two arbitrary texts and on a value written in
// every notation the parser accepts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "protocol/address.h"
#include "support/fuzz_check.h"

using namespace velkarin;
using namespace velkarin::fuzz;

namespace {

std::string Format(const char* format, std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0,
                   std::uint32_t d = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

// `value` written in each of the accepted notations.
void CheckNotations(std::uint32_t value) {
  const std::uint32_t b0 = value >> 24, b1 = (value >> 16) & 0xFF, b2 = (value >> 8) & 0xFF,
                      b3 = value & 0xFF;
  const std::string texts[] = {
      Format("%u.%u.%u.%u", b0, b1, b2, b3),
      Format("0%o.0%o.0%o.0%o", b0, b1, b2, b3),
      Format("0x%x.0X%X.0x%02x.%u", b0, b1, b2, b3),
      Format("%u.%u.%u", b0, b1, value & 0xFFFF),
      Format("%u.0x%X", b0, value & 0xFFFFFF),
      Format("%u", value),
      Format("0x%08x", value),
      Format("0%o", value),
      Format("%u.%u.%u.%u\tjunk", b0, b1, b2, b3),
  };
  for (const std::string& text : texts) {
    FUZZ_CHECK(ParseIpv4(text) == value,
               "value " + std::to_string(value) + " written " + Quoted(text));
    FUZZ_CHECK(SameAddress(text, texts[0]), Quoted(text));
  }
  // The same texts with their last part one too big for its width or with
  // a trailing dot cannot be read.
  FUZZ_CHECK(!ParseIpv4(Format("%u.%u.%u.%u", b0, b1, b2, b3 + 256)), "part above 255");
  FUZZ_CHECK(!ParseIpv4(Format("%u.%u.%u", b0, b1, 0x10000 + (value & 0xFFFF))), "c above 16 bits");
  FUZZ_CHECK(!ParseIpv4(texts[0] + "."), "trailing dot");
}

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void CheckText(const std::string& a) {
  const std::optional<std::uint32_t> parsed = ParseIpv4(a);
  FUZZ_CHECK(AddressValue(a) == (a.empty() ? 0u : parsed.value_or(0xFFFFFFFFu)), Quoted(a));

  // The text ends at a NUL or at white space: what follows never matters.
  std::size_t cut = 0;
  while (cut < a.size() && a[cut] != '\0' && !std::isspace(static_cast<unsigned char>(a[cut]))) {
    ++cut;
  }
  FUZZ_CHECK(ParseIpv4(a.substr(0, cut)) == parsed, Quoted(a));

  if (parsed) {
    CheckNotations(*parsed);
    if (cut == a.size()) FUZZ_CHECK(!ParseIpv4(a + "."), "trailing dot after " + Quoted(a));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint32_t value = input.ConsumeIntegral<std::uint32_t>();
  const std::string a = input.ConsumeRandomLengthString(64);
  const std::string b = input.ConsumeRemainingBytesAsString();

  CheckNotations(value);
  CheckText(a);
  CheckText(b);

  FUZZ_CHECK(SameAddress(a, b) == (AddressValue(a) == AddressValue(b)),
             Quoted(a) + " " + Quoted(b));
  FUZZ_CHECK(SameAddress(a, b) == SameAddress(b, a), Quoted(a) + " " + Quoted(b));
  FUZZ_CHECK(SameAddress(a, a), Quoted(a));

  FUZZ_CHECK(SameTextIgnoringCase(a, b) == (Folded(a) == Folded(b)), Quoted(a) + " " + Quoted(b));
  FUZZ_CHECK(SameTextIgnoringCase(a, b) == SameTextIgnoringCase(b, a), Quoted(a) + " " + Quoted(b));
  std::string upper = a;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  FUZZ_CHECK(SameTextIgnoringCase(a, upper), Quoted(a));
  FUZZ_CHECK(!SameTextIgnoringCase(a, a + 'x'), Quoted(a));
  return 0;
}
