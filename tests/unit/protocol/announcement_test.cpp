#include "protocol/announcement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace velkarin {
namespace {

using namespace std::string_literals;

// Parses exactly the bytes of `datagram` from a heap block of that size, so
// that any read beyond them is a fault the address sanitizer reports.
DeviceRecord Parse(const std::string& datagram) {
  std::unique_ptr<char[]> bytes(new char[datagram.size()]);
  std::memcpy(bytes.get(), datagram.data(), datagram.size());
  return ParseAnnouncement(bytes.get(), datagram.size());
}

void ExpectSection2Defaults(const DeviceRecord& r) {
  EXPECT_EQ(r.extNumber1, -1);
  for (const std::string& text : r.extTexts) EXPECT_EQ(text, "");
  EXPECT_EQ(r.deviceId, "");
  EXPECT_EQ(r.deviceIndex, -1);
  EXPECT_EQ(r.extNumber2, 0);
  EXPECT_EQ(r.extTextA, "");
  EXPECT_EQ(r.extTextB, "");
  EXPECT_EQ(r.commandSuffix, -1);
}

void ExpectSection3Defaults(const DeviceRecord& r) {
  EXPECT_EQ(r.auxNumber, 0u);
  EXPECT_EQ(r.auxTextA, "");
  EXPECT_EQ(r.auxTextB, "");
}

TEST(ParseAnnouncement, ReadsEveryItemOfAllThreeSections) {
  const DeviceRecord r = Parse(
      "00A1b2 1 192.168.1.20 255.255.255.0 192.168.1.1 Hall sensor 2\0"
      "7 t0 t1 t2 t3 IOX-4 2 13 ta tb 5\0"
      "fF01 aa bb\0"s);
  EXPECT_EQ(r.serial, 0xA1B2u);
  EXPECT_EQ(r.dhcp, 1);
  EXPECT_EQ(r.ipAddress, "192.168.1.20");
  EXPECT_EQ(r.netmask, "255.255.255.0");
  EXPECT_EQ(r.gateway, "192.168.1.1");
  EXPECT_EQ(r.name, "Hall sensor 2");
  EXPECT_EQ(r.extNumber1, 7);
  EXPECT_EQ(r.extTexts, (std::array<std::string, 4>{"t0", "t1", "t2", "t3"}));
  EXPECT_EQ(r.deviceId, "IOX-4");
  EXPECT_EQ(r.deviceIndex, 2);
  EXPECT_EQ(r.extNumber2, 13);
  EXPECT_EQ(r.extTextA, "ta");
  EXPECT_EQ(r.extTextB, "tb");
  EXPECT_EQ(r.commandSuffix, 5);
  EXPECT_EQ(r.auxNumber, 0xFF01u);
  EXPECT_EQ(r.auxTextA, "aa");
  EXPECT_EQ(r.auxTextB, "bb");
  EXPECT_EQ(r.statusFlags, 0u);
  EXPECT_EQ(r.sortKey, 0);
}

// Section one alone: how its words are split, read and defaulted.
TEST(ParseAnnouncement, SectionOne) {
  struct Case {
    const char* what;
    std::string datagram;
    std::uint32_t serial;
    int dhcp;
    const char* ip;
    const char* netmask;
    const char* gateway;
    const char* name;
  };
  const Case cases[] = {
      {"a NUL alone", "\0"s, 0, 0, "", "", "", ""},
      {"a blank alone", " "s, 0, 0, "", "", "", ""},
      {"blanks alone", "      "s, 0, 0, "", "", "", ""},
      {"blanks and a NUL", "   \0"s, 0, 0, "", "", "", ""},
      {"a serial alone", "abcdef"s, 0xABCDEF, 0, "", "", "", ""},
      {"the name is the rest of the section with its blanks",
       "  1   0  10.0.0.5 255.0.0.0   10.0.0.1    big  old\tbox  \0"s, 1, 0, "10.0.0.5",
       "255.0.0.0", "10.0.0.1", "big  old\tbox  "},
      // "12\t34" is one word; its number ends at the tab.
      {"tabs and line breaks are part of a word", "12\t34 1 10.0.0.5\t\n x\0"s, 0x12, 1,
       "10.0.0.5\t\n", "x", "", ""},
      {"a serial that does not convert is still consumed", "xyz 1 10.0.0.5\0"s, 0, 1, "10.0.0.5",
       "", "", ""},
      {"numbers end where their digits do", "aB 1x 1.2.3.4\0"s, 0xAB, 1, "1.2.3.4", "", "", ""},
      {"a flag that does not convert is still consumed", "aB x 1.2.3.4\0"s, 0xAB, 0, "1.2.3.4", "",
       "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DeviceRecord r = Parse(c.datagram);
    EXPECT_EQ(r.serial, c.serial);
    EXPECT_EQ(r.dhcp, c.dhcp);
    EXPECT_EQ(r.ipAddress, c.ip);
    EXPECT_EQ(r.netmask, c.netmask);
    EXPECT_EQ(r.gateway, c.gateway);
    EXPECT_EQ(r.name, c.name);
    ExpectSection2Defaults(r);
    ExpectSection3Defaults(r);
  }
}

TEST(ParseAnnouncement, WordsOfSectionTwoThatDoNotConvertAreStillConsumed) {
  const DeviceRecord r = Parse("1\0x a b c d id y 3 e f -z\0"s);
  EXPECT_EQ(r.extNumber1, 0);
  EXPECT_EQ(r.deviceId, "id");
  EXPECT_EQ(r.deviceIndex, 0);
  EXPECT_EQ(r.extNumber2, 3);
  EXPECT_EQ(r.commandSuffix, -1);
}

TEST(ParseAnnouncement, ASecondSectionNeedsAByteAfterTheFirstNul) {
  // NUL as the last byte: no section 2.
  DeviceRecord r = Parse("1 0 10.0.0.5\0"s);
  ExpectSection2Defaults(r);

  // One more byte of any kind: section 2 is there, empty.
  for (const std::string& extra : {"\0"s, " "s, "\t"s}) {
    r = Parse("1 0 10.0.0.5\0"s + extra);
    EXPECT_EQ(r.extNumber1, 0) << int(extra[0]);
    EXPECT_EQ(r.deviceIndex, 0);
    EXPECT_EQ(r.extNumber2, 0);
    EXPECT_EQ(r.commandSuffix, -1);
    EXPECT_EQ(r.deviceId, "");
    ExpectSection3Defaults(r);
  }
}

TEST(ParseAnnouncement, AThirdSectionNeedsAByteAfterTheSecondNul) {
  DeviceRecord r = Parse(
      "1\0"
      "2\0"s);
  EXPECT_EQ(r.extNumber1, 2);
  ExpectSection3Defaults(r);

  r = Parse(
      "1\0"
      "2\0"
      "\0"s);
  EXPECT_EQ(r.extNumber1, 2);
  ExpectSection3Defaults(r);  // present but empty: nothing to read, defaults stay

  r = Parse(
      "1\0\0"
      "ab cd\0ignored 77\0"s);  // empty section 2, then section 3
  EXPECT_EQ(r.deviceIndex, 0);
  EXPECT_EQ(r.auxNumber, 0xABu);
  EXPECT_EQ(r.auxTextA, "cd");
  EXPECT_EQ(r.auxTextB, "");
}

TEST(ParseAnnouncement, ReadersStopAtTheEndOfEachSection) {
  // Short sections: the items after the last word are missing, never taken
  // from the section that follows.
  const DeviceRecord r = Parse(
      "5 1 10.0.0.9\0"
      "3 a\0"
      "c0 x y z\0"
      "99 junk after"s);
  EXPECT_EQ(r.serial, 5u);
  EXPECT_EQ(r.ipAddress, "10.0.0.9");
  EXPECT_EQ(r.netmask, "");
  EXPECT_EQ(r.name, "");
  EXPECT_EQ(r.extNumber1, 3);
  EXPECT_EQ(r.extTexts[0], "a");
  EXPECT_EQ(r.extTexts[1], "");
  EXPECT_EQ(r.deviceId, "");
  EXPECT_EQ(r.deviceIndex, 0);
  EXPECT_EQ(r.auxNumber, 0xC0u);
  EXPECT_EQ(r.auxTextA, "x");
  EXPECT_EQ(r.auxTextB, "y");
}

TEST(ParseAnnouncement, WordsAfterTheEleventhItemOfSectionTwoAreIgnored) {
  const DeviceRecord r = Parse(
      "1\0"
      "1 a b c d id 4 5 e f 6 7 8 nine\0"
      "22\0"s);
  EXPECT_EQ(r.extTextB, "f");
  EXPECT_EQ(r.commandSuffix, 6);
  EXPECT_EQ(r.auxNumber, 0x22u);
  EXPECT_EQ(r.auxTextA, "");
}

TEST(ParseAnnouncement, WithoutANulTheWholeDatagramIsSectionOneAndNothingMore) {
  // The receive buffer still holds a longer, older announcement behind the
  // new bytes; only the new bytes count.
  std::vector<char> buffer(1024, 'q');
  const std::string old =
      "ABCDEF 1 10.1.1.1 255.255.0.0 10.1.0.1 Old name\0"
      "9 a b c d old 3\0"s;
  std::memcpy(buffer.data(), old.data(), old.size());
  const std::string fresh = "12 0 10.2.2.2 255.0.0.0";
  std::memcpy(buffer.data(), fresh.data(), fresh.size());

  const DeviceRecord r = ParseAnnouncement(buffer.data(), fresh.size());
  EXPECT_EQ(r.serial, 0x12u);
  EXPECT_EQ(r.dhcp, 0);
  EXPECT_EQ(r.ipAddress, "10.2.2.2");
  EXPECT_EQ(r.netmask, "255.0.0.0");
  EXPECT_EQ(r.gateway, "");
  EXPECT_EQ(r.name, "");
  ExpectSection2Defaults(r);

  // The same cut inside a word: the word ends with the datagram.
  const DeviceRecord cut = ParseAnnouncement(buffer.data(), 4);
  EXPECT_EQ(cut.serial, 0x12u);
  EXPECT_EQ(cut.dhcp, 0);
  EXPECT_EQ(cut.ipAddress, "");
}

TEST(ParseAnnouncement, LongTextsAreKeptWhole) {
  const std::string name(900, 'n');
  const std::string id(60, 'I');
  const DeviceRecord r = Parse("1 1 a b c " + name + "\0"s + "1 w x y z " + id + " 3\0"s);
  EXPECT_EQ(r.name, name);
  EXPECT_EQ(r.deviceId, id);
  EXPECT_EQ(r.deviceIndex, 3);
}

TEST(ParseAnnouncement, ParsesOnSeveralThreadsAtOnce) {
  // The discovery worker and a configuration run parse at the same time;
  // each parse must depend on its own bytes alone.
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 5000; ++i) {
        const std::string serial = std::to_string(t) + std::to_string(i % 10);
        const std::string name = "device " + std::to_string(t) + " with a long name";
        const std::string datagram = serial + " 1 10.0.0." + std::to_string(t) +
                                     " 255.0.0.0 10.0.0.254 " + name + "\0"s + "1 a b c d id" +
                                     std::to_string(t) + " " + std::to_string(i) + "\0"s;
        const DeviceRecord r = ParseAnnouncement(datagram.data(), datagram.size());
        if (r.serial != std::stoul(serial, nullptr, 16) || r.name != name ||
            r.deviceId != "id" + std::to_string(t) || r.deviceIndex != i) {
          ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(ApplyUnconfiguredSender, ReplacesTheThreeAddressesOnly) {
  const DeviceRecord parsed = Parse(
      "C0FFEE 1 192.168.1.20 255.255.255.0 192.168.1.1 Pump\0"
      "7 t0 t1 t2 t3 IOX 2 13 ta tb 5\0"
      "1 aa bb\0"s);
  DeviceRecord r = parsed;
  r.statusFlags = 3;
  r.sortKey = 2;
  ApplyUnconfiguredSender(r);
  EXPECT_EQ(r.ipAddress, "0.0.0.0");
  EXPECT_EQ(r.netmask, "0.0.0.0");
  EXPECT_EQ(r.gateway, "0.0.0.0");

  EXPECT_EQ(r.statusFlags, 3u);
  EXPECT_EQ(r.sortKey, 2);
  EXPECT_EQ(r.serial, parsed.serial);
  EXPECT_EQ(r.name, parsed.name);
  EXPECT_EQ(r.dhcp, parsed.dhcp);
  EXPECT_EQ(r.extNumber1, parsed.extNumber1);
  EXPECT_EQ(r.extTexts, parsed.extTexts);
  EXPECT_EQ(r.deviceId, parsed.deviceId);
  EXPECT_EQ(r.deviceIndex, parsed.deviceIndex);
  EXPECT_EQ(r.extNumber2, parsed.extNumber2);
  EXPECT_EQ(r.extTextA, parsed.extTextA);
  EXPECT_EQ(r.extTextB, parsed.extTextB);
  EXPECT_EQ(r.commandSuffix, parsed.commandSuffix);
  EXPECT_EQ(r.auxNumber, parsed.auxNumber);
  EXPECT_EQ(r.auxTextA, parsed.auxTextA);
  EXPECT_EQ(r.auxTextB, parsed.auxTextB);

  DeviceRecord empty;  // a record that announced no address at all
  ApplyUnconfiguredSender(empty);
  EXPECT_EQ(empty.ipAddress, "0.0.0.0");
  EXPECT_EQ(empty.gateway, "0.0.0.0");
  EXPECT_EQ(empty.name, "");
}

}  // namespace
}  // namespace velkarin
