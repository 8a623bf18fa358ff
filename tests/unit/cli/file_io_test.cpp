#include "cli/output/file_io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace velkarin::cli {
namespace {

struct TextFileCase {
  const char* what;
  std::string content;
  const char* reason;  // part of it; nullptr: read
};

TEST(ReadTextFile, ReadsTextUpToItsBoundAndRefusesBinaryContent) {
  constexpr std::size_t kBound = std::size_t{1} << 20;
  const TextFileCase cases[] = {
      {"text", "serial,dhcp\nA1,yes\n", nullptr},
      {"exactly the bound, read in many pieces", std::string(kBound, 'a'), nullptr},
      {"a byte over the bound", std::string(kBound + 1, 'a'), "it is larger than 1 MiB"},
      {"a NUL byte", std::string("serial,dhcp\nA1,yes\0\n", 20), "not a text file: byte 18 is NUL"},
      {"a NUL in a later piece", std::string(10000, 'a') + '\0', "byte 10000 is NUL"},
      // Its reader says what to do with it.
      {"UTF-16 with its byte-order mark", std::string("\xFF\xFEs\0e\0", 6), nullptr},
  };
  const std::string path = testing::TempDir() + "velkarin-read-text-file-test";
  for (const TextFileCase& c : cases) {
    std::ofstream(path, std::ios::binary) << c.content;
    std::string content = "before";
    std::string reason;
    const bool read = ReadTextFile(path, kBound, content, reason);
    if (c.reason == nullptr) {
      EXPECT_TRUE(read) << c.what << ": " << reason;
      EXPECT_EQ(content, c.content) << c.what;
    } else {
      EXPECT_FALSE(read) << c.what;
      EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
  }
  std::remove(path.c_str());
#ifndef _WIN32
  // A file that never ends ends the read at once.
  std::string content;
  std::string reason;
  EXPECT_FALSE(ReadTextFile("/dev/zero", kBound, content, reason));
  EXPECT_EQ(reason, "not a text file: byte 0 is NUL");
#endif
}

}  // namespace
}  // namespace velkarin::cli
