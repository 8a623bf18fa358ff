// The address parser against the C library's inet_aton and inet_addr, which
// read the same notation. They agree on every text but one, on purpose: the
// empty text is the address 0 for AddressValue, while inet_addr gives it
// all bits set as for any text it cannot read. Both stop at the first NUL
// and both take white space as the end of the address, ignoring what follows.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/address.h"
#include "support/c_text.h"
#include "support/fuzz_check.h"

using namespace velkarin;
using namespace velkarin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const CText text(data, size);
  const std::string address = text.get();

  in_addr converted{};
  std::optional<std::uint32_t> libc;
  if (inet_aton(text.get(), &converted) != 0) libc = ntohl(converted.s_addr);
  const std::optional<std::uint32_t> ours = ParseIpv4(address);
  FUZZ_CHECK(ours == libc, Quoted(address) + ": ParseIpv4 " +
                               (ours ? std::to_string(*ours) : "unreadable") + ", inet_aton " +
                               (libc ? std::to_string(*libc) : "unreadable"));

  if (!address.empty()) {
    FUZZ_CHECK(AddressValue(address) == ntohl(inet_addr(text.get())), Quoted(address));
  } else {
    FUZZ_CHECK(AddressValue(address) == 0 && ntohl(inet_addr("")) == 0xFFFFFFFFu, "the empty text");
  }
  return 0;
}
