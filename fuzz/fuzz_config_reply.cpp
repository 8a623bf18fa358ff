// ParseConfigReply on arbitrary reply texts, held against the C library:
// code and status are sscanf's "%d" of the second and third word (0 when
// missing or not a number), and a fourth word of exactly 32 characters
// replaces the challenge pair by pair as "%02X"; any other leaves it alone.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/config_reply.h"
#include "support/c_text.h"
#include "support/fuzz_check.h"
#include "support/libc_numbers.h"
#include "support/words.h"

using namespace velkarin;
using namespace velkarin::fuzz;

namespace {

std::int32_t LibcDecimalOrZero(const std::string& word) {
  const LibcNumber number = LibcReadNumber(word, 10);
  return number.converted ? static_cast<std::int32_t>(number.low32) : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Like the reply wait, which terminates what it received.
  const CText text(data, size);
  const std::vector<std::string> words = SplitWords(text.get());

  ConfigChallenge challenge;
  for (std::size_t i = 0; i < challenge.size(); ++i) {
    challenge[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
  }
  ConfigChallenge expectedChallenge = challenge;
  const std::string key = WordAt(words, 3);
  if (key.size() == 32) {
    for (std::size_t i = 0; i < expectedChallenge.size(); ++i) {
      expectedChallenge[i] = LibcReadKeyPair(key.c_str() + 2 * i);
    }
  }

  std::uint32_t serial = 77;
  std::int32_t code = 77;
  std::int32_t status = 77;
  ParseConfigReply(text.get(), serial, code, status, challenge);
  const std::string where = "reply " + Quoted(text.get());
  const LibcNumber expectedSerial = LibcReadNumber(WordAt(words, 0), 16);
  FUZZ_CHECK(serial == (expectedSerial.converted ? expectedSerial.low32 : 0u),
             where + ": serial " + std::to_string(serial));
  FUZZ_CHECK(code == LibcDecimalOrZero(WordAt(words, 1)), where + ": code " + std::to_string(code));
  FUZZ_CHECK(status == LibcDecimalOrZero(WordAt(words, 2)),
             where + ": status " + std::to_string(status));
  FUZZ_CHECK(challenge == expectedChallenge, where + ": challenge");
  return 0;
}
