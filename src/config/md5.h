// MD5 message digest, RFC 1321.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace velkarin {

class Md5 {
 public:
  Md5();
  void Add(const void* data, std::size_t size);
  std::array<std::uint8_t, 16> Finish();

 private:
  void Transform(const std::uint8_t block[64]);
  std::uint32_t state_[4];
  std::uint64_t length_ = 0;  // bytes added
  std::uint8_t buffer_[64];
};

std::array<std::uint8_t, 16> Md5Digest(const void* data, std::size_t size);

}  // namespace velkarin
