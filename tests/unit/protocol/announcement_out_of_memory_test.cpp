// Running out of memory in the middle of an announcement: the section being
// read stops, the others are read in full, and nothing escapes the parser.
// The test binary's operator new fails one chosen allocation on request.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "failing_new.h"
#include "protocol/announcement.h"

namespace {

std::atomic<long> allocationsToFail{-1};  // -1: none; otherwise the index of the one to fail
std::atomic<long> allocationCount{0};

}  // namespace

bool velkarin::test::FailThisAllocation() {
  return allocationsToFail.load() >= 0 && allocationCount.fetch_add(1) == allocationsToFail.load();
}

namespace velkarin {
namespace {

using namespace std::string_literals;

// Every text is longer than a string keeps without allocating, so copying a
// section and setting each text field are the allocations of a parse.
const std::string kDatagram =
    "ABCDEF 1 ip-address-text-01 netmask-text-00001 gateway-text-00001 the name of it\0"
    "7 ext-text-0-aaaaaaaa ext-text-1-aaaaaaaa ext-text-2-aaaaaaaa ext-text-3-aaaaaaaa "
    "device-identifier-01 2 13 ext-text-a-aaaaaaaa ext-text-b-aaaaaaaa 5\0"
    "fF01 aux-text-a-aaaaaaaa aux-text-b-aaaaaaaa\0"s;

// One field of the record, in the order the parser reads it: whether it
// holds the announced value, and whether it still holds its default.
struct Field {
  const char* name;
  std::function<bool(const DeviceRecord&)> announced;
  std::function<bool(const DeviceRecord&)> atDefault;
};

template <typename T, typename Member>
Field MakeField(const char* name, Member member, T announced, T byDefault) {
  return {name, [=](const DeviceRecord& r) { return r.*member == announced; },
          [=](const DeviceRecord& r) { return r.*member == byDefault; }};
}

Field ExtText(int i, const std::string& announced) {
  return {"extTexts", [=](const DeviceRecord& r) { return r.extTexts[i] == announced; },
          [=](const DeviceRecord& r) { return r.extTexts[i].empty(); }};
}

std::vector<std::vector<Field>> Sections() {
  using R = DeviceRecord;
  const std::string none;
  return {{MakeField("serial", &R::serial, 0xABCDEFu, 0u), MakeField("dhcp", &R::dhcp, 1, 0),
           MakeField("ipAddress", &R::ipAddress, "ip-address-text-01"s, none),
           MakeField("netmask", &R::netmask, "netmask-text-00001"s, none),
           MakeField("gateway", &R::gateway, "gateway-text-00001"s, none),
           MakeField("name", &R::name, "the name of it"s, none)},
          {MakeField("extNumber1", &R::extNumber1, 7, -1), ExtText(0, "ext-text-0-aaaaaaaa"),
           ExtText(1, "ext-text-1-aaaaaaaa"), ExtText(2, "ext-text-2-aaaaaaaa"),
           ExtText(3, "ext-text-3-aaaaaaaa"),
           MakeField("deviceId", &R::deviceId, "device-identifier-01"s, none),
           MakeField("deviceIndex", &R::deviceIndex, 2, -1),
           MakeField("extNumber2", &R::extNumber2, 13, 0),
           MakeField("extTextA", &R::extTextA, "ext-text-a-aaaaaaaa"s, none),
           MakeField("extTextB", &R::extTextB, "ext-text-b-aaaaaaaa"s, none),
           MakeField("commandSuffix", &R::commandSuffix, 5, -1)},
          {MakeField("auxNumber", &R::auxNumber, 0xFF01u, 0u),
           MakeField("auxTextA", &R::auxTextA, "aux-text-a-aaaaaaaa"s, none),
           MakeField("auxTextB", &R::auxTextB, "aux-text-b-aaaaaaaa"s, none)}};
}

TEST(ParseAnnouncementOutOfMemory, AFailedAllocationCostsOnlyTheRestOfItsSection) {
  const std::vector<std::vector<Field>> sections = Sections();

  // A parse with memory to spare fills every field; count its allocations.
  allocationCount = 0;
  allocationsToFail = 1L << 30;
  const DeviceRecord whole = ParseAnnouncement(kDatagram.data(), kDatagram.size());
  const long allocations = allocationCount.load();
  allocationsToFail = -1;
  for (const auto& section : sections) {
    for (const Field& field : section) EXPECT_TRUE(field.announced(whole)) << field.name;
  }
  // Three section copies and twelve long texts.
  ASSERT_EQ(allocations, 3 + 12);

  for (long failing = 0; failing < allocations; ++failing) {
    SCOPED_TRACE("failing allocation " + std::to_string(failing));
    DeviceRecord r;
    allocationCount = 0;
    allocationsToFail = failing;
    bool threw = false;
    try {
      r = ParseAnnouncement(kDatagram.data(), kDatagram.size());
    } catch (...) {
      threw = true;
    }
    const long made = allocationCount.load();
    allocationsToFail = -1;
    ASSERT_FALSE(threw);
    ASSERT_GT(made, failing);  // the failure did happen

    // Exactly one section is cut short: a run of announced fields, then
    // fields at their defaults. The other sections are complete.
    int sectionsCut = 0;
    for (const auto& section : sections) {
      std::size_t read = 0;
      while (read < section.size() && section[read].announced(r)) ++read;
      if (read == section.size()) continue;
      ++sectionsCut;
      for (std::size_t i = read; i < section.size(); ++i) {
        EXPECT_TRUE(section[i].atDefault(r)) << section[i].name;
      }
    }
    EXPECT_EQ(sectionsCut, 1);
  }
}

}  // namespace
}  // namespace velkarin
