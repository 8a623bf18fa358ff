// MD5 fed in pieces: however the bytes are split over Add calls (empty
// pieces, pieces across the 64-byte block edges), the digest is the one of
// the whole message given at once.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <vector>

#include "config/md5.h"
#include "support/fuzz_check.h"

using namespace velkarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint8_t pieces = input.ConsumeIntegral<std::uint8_t>();
  std::vector<std::size_t> lengths;
  for (std::uint8_t i = 0; i < pieces % 16; ++i) {
    lengths.push_back(input.ConsumeIntegralInRange<std::size_t>(0, 200));
  }
  const std::vector<std::uint8_t> message = input.ConsumeRemainingBytes<std::uint8_t>();

  const std::array<std::uint8_t, 16> whole = Md5Digest(message.data(), message.size());

  Md5 split;
  std::size_t at = 0;
  for (std::size_t length : lengths) {
    if (length > message.size() - at) length = message.size() - at;
    split.Add(message.data() + at, length);
    at += length;
  }
  split.Add(message.data() + at, message.size() - at);
  FUZZ_CHECK(split.Finish() == whole,
             "pieces of a " + std::to_string(message.size()) + "-byte message");

  Md5 bytewise;
  for (std::uint8_t byte : message) bytewise.Add(&byte, 1);
  FUZZ_CHECK(bytewise.Finish() == whole, "byte by byte");
  return 0;
}
