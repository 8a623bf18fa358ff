// Fuzz bytes as NUL-terminated text in a heap block of exactly the right
// size, so that AddressSanitizer catches any read past the terminator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace velkarin::fuzz {

class CText {
 public:
  CText(const std::uint8_t* data, std::size_t size) : bytes_(new char[size + 1]) {
    if (size != 0) std::memcpy(bytes_.get(), data, size);
    bytes_[size] = '\0';
  }
  const char* get() const { return bytes_.get(); }
  // Where the text ends: its first NUL.
  const char* end() const { return bytes_.get() + std::strlen(bytes_.get()); }

 private:
  std::unique_ptr<char[]> bytes_;
};

}  // namespace velkarin::fuzz
