#include "config/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "reference_md5.h"

namespace velkarin {
namespace {

std::string Hex(const std::array<std::uint8_t, 16>& digest) {
  std::string hex;
  char pair[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

std::string DigestHex(const std::string& text) { return Hex(Md5Digest(text.data(), text.size())); }

TEST(Md5, Rfc1321TestSuite) {
  EXPECT_EQ(DigestHex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(DigestHex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(DigestHex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestHex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(DigestHex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(DigestHex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(DigestHex("1234567890123456789012345678901234567890123456789012345678901234567890"
                      "1234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the padding boundaries, whole and in pieces of every size.
TEST(Md5, RandomDataMatchesReferenceDigest) {
  std::mt19937 random(20240601);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 130; ++n) lengths.push_back(n);
  for (std::size_t n : {183u, 1000u, 4095u, 4096u, 4097u, 65536u}) lengths.push_back(n);
  for (std::size_t length : lengths) {
    std::string data(length, '\0');
    for (char& c : data) c = static_cast<char>(random() & 0xFF);
    const std::string expected = test::ReferenceMd5Hex(data);
    EXPECT_EQ(DigestHex(data), expected) << "length " << length;

    const std::size_t piece = 1 + random() % 97;
    Md5 md5;
    for (std::size_t at = 0; at < length; at += piece) {
      md5.Add(data.data() + at, std::min(piece, length - at));
    }
    EXPECT_EQ(Hex(md5.Finish()), expected) << "length " << length << " in pieces of " << piece;
  }
}

#ifndef _WIN32
// The system's md5sum as a third opinion on a large random file.
TEST(Md5, RandomDataMatchesSystemMd5sum) {
  std::mt19937 random(7);
  std::string data(300001, '\0');
  for (char& c : data) c = static_cast<char>(random() & 0xFF);
  char path[] = "/tmp/velkarin-md5-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::FILE* file = fdopen(fd, "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
  std::fclose(file);

  const std::string command = std::string("md5sum ") + path;
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[128] = {};
  ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
  pclose(pipe);
  std::remove(path);
  EXPECT_EQ(DigestHex(data), std::string(line, 32));
}
#endif

}  // namespace
}  // namespace velkarin
