#include "cli/plan/address_entry.h"

#include <gtest/gtest.h>

namespace velkarin::cli {
namespace {

TEST(ParseSerialText, OneToEightHexDigits) {
  EXPECT_EQ(ParseSerialText("001A2B"), 0x1A2Bu);
  EXPECT_EQ(ParseSerialText("1a2b"), 0x1A2Bu);
  EXPECT_EQ(ParseSerialText("0"), 0u);
  EXPECT_EQ(ParseSerialText("FFFFFFFF"), 0xFFFFFFFFu);
  for (const char* text : {"", "123456789", "0x1A", "1A2G", "-1", " 1", "1 "}) {
    EXPECT_FALSE(ParseSerialText(text)) << text;
  }
}

TEST(DescribeDifferences, OneLinePerFieldWithEmptyShownAsNone) {
  EXPECT_EQ(DescribeDifferences({{"dhcp", "1", "0"}, {"IP address", "10.0.0.5", ""}}),
            (std::vector<std::string>{"dhcp: sent 1, announced 0",
                                      "IP address: sent 10.0.0.5, announced (none)"}));
}

}  // namespace
}  // namespace velkarin::cli
