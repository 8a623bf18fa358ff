// Checks that stop the fuzzer with a readable account of what went wrong;
// libFuzzer then keeps the input that caused it.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition, context)                                                        \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "\n%s:%d: check failed: %s\n%s\n", __FILE__, __LINE__, #condition, \
                   std::string(context).c_str());                                             \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

namespace velkarin::fuzz {

// Bytes written so that control characters and high bytes stay visible.
inline std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out + "\"";
}

}  // namespace velkarin::fuzz
