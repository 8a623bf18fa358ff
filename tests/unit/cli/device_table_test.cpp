#include "cli/output/device_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <utility>
#include <vector>

#include "cli/output/display_text.h"
#include "listed_record.h"

namespace velkarin::cli {
namespace {

using test::ListedRecord;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SerialText, SixDigitsAtLeastUpperCase) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0x1A2B, "001A2B"},       {0, "000000"}, {0xABCDEF, "ABCDEF"}, {0x1234567, "1234567"},
      {0xFFFFFFFF, "FFFFFFFF"},
  };
  for (const auto& [serial, text] : cases) EXPECT_EQ(SerialText(serial), text) << serial;
}

TEST(DhcpText, YesForAnyNonZeroValue) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "No"}, {1, "Yes"}, {5, "Yes"}, {-1, "Yes"}};
  for (const auto& [dhcp, text] : cases) EXPECT_EQ(DhcpText(dhcp), text) << dhcp;
}

TEST(StatusFlagWords, NamesEachBitLowestFirst) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, ""},
      {0x01, "serial-shared-no-id"},
      {0x02, "address-conflict"},
      {0x04, "no-serial"},
      {0x08, "no-ip"},
      {0x10, "serial-clash"},
      {0x13, "serial-shared-no-id,address-conflict,serial-clash"},
      {0x80000008u, "no-ip,0x80000000"},
  };
  for (const auto& [flags, words] : cases) EXPECT_EQ(StatusFlagWords(flags), words) << flags;
}

TEST(DisplayText, EscapesWhatATerminalWouldActOn) {
  EXPECT_EQ(DisplayText("Pump 7"), "Pump 7");
  EXPECT_EQ(DisplayText("\x1B[2Jx"), "\\x1B[2Jx");
  EXPECT_EQ(DisplayText("a\tb\nc\x7F"), "a\\x09b\\x0Ac\\x7F");
  EXPECT_EQ(DisplayText("\x9B"
                        "1m"),
            "\\x9B1m");  // C1 control sequence introducer
  EXPECT_EQ(DisplayText("a\\b"), "a\\\\b");
  EXPECT_EQ(DisplayText("\xE9\xA0"), "\xE9\xA0");  // printable Latin-1 passes
  EXPECT_EQ(DisplayText(std::string("\0", 1)), "\\x00");
}

TEST(DisplayUtf8, EscapesControlsAndMalformedBytesButKeepsLetters) {
  struct Case {
    std::string utf8;
    std::string shown;
  };
  const Case cases[] = {
      {"Pr\xC3\xBC"
       "f \xE2\x82\xAC",
       "Pr\xC3\xBC"
       "f \xE2\x82\xAC"},
      {"\x1B[2J", "\\x1B[2J"},
      {"\xC2\x85"
       "x",
       "\\x85x"},  // U+0085, a C1 control
      {"a\xFF"
       "b\xC3",
       "a\\xFFb\\xC3"},
      {"a\\b", "a\\\\b"},
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayUtf8(c.utf8), c.shown) << c.utf8;
}

TEST(FormatDeviceTable, EmptyListGivesTheHeaderAlone) {
  EXPECT_EQ(FormatDeviceTable(DeviceList()), "Snr  Name  DHCP  IP  Netmask  Gateway  Status\n");
}

TEST(FormatDeviceTable, OneAlignedRowPerRecordInListOrder) {
  const DeviceList list = {
      ListedRecord(0x1A2B, "Pump 7", 0, "192.168.1.20", "255.255.255.0", "", 0x02),
      ListedRecord(0x12345678, "V\x1B", 5, "0.0.0.0", "0.0.0.0", "0.0.0.0")};

  const std::vector<std::string> lines = Lines(FormatDeviceTable(list));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Snr       Name    DHCP  IP            Netmask        Gateway  Status");
  EXPECT_EQ(lines[1],
            "001A2B    Pump 7  No    192.168.1.20  255.255.255.0           address-conflict");
  EXPECT_EQ(lines[2], "12345678  V\\x1B   Yes   0.0.0.0       0.0.0.0        0.0.0.0  -");
}

TEST(FormatDeviceTable, LatinOneTextsComeOutInUtf8AndColumnsCountCharacters) {
  // Latin-1 bytes, as on the wire.
  const DeviceList list = {ListedRecord(1,
                                        "Pr\xFC"
                                        "fstand-\xC4",
                                        0, "10.0.0.1", "", ""),
                           ListedRecord(2, "Plain", 0, "10.0.0.2", "", "")};

  const std::vector<std::string> lines = Lines(FormatDeviceTable(list));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Snr     Name         DHCP  IP        Netmask  Gateway  Status");
  EXPECT_EQ(lines[1],
            "000001  Pr\xC3\xBC"
            "fstand-\xC3\x84  No    10.0.0.1                    -");
  EXPECT_EQ(lines[2], "000002  Plain        No    10.0.0.2                    -");
}

}  // namespace
}  // namespace velkarin::cli
