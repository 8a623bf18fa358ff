// Merging announcements into one record per device, the clash flags, the
// changed flag and the two finds.
#include "engine/device_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velkarin {
namespace {

DeviceRecord Device(std::uint32_t serial, const std::string& ip, const std::string& deviceId = "",
                    std::int32_t deviceIndex = -1) {
  DeviceRecord r;
  r.serial = serial;
  r.ipAddress = ip;
  r.netmask = "255.255.255.0";
  r.gateway = "10.0.0.1";
  r.deviceId = deviceId;
  r.deviceIndex = deviceIndex;
  r.name = "device " + std::to_string(serial);
  return r;
}

std::vector<DeviceRecord> Listed(DeviceCollector& collector) {
  DeviceList list = collector.Snapshot();
  return std::vector<DeviceRecord>(list.begin(), list.end());
}

TEST(CollectorAdd, SameAnnouncementTwiceIsListedOnceWithoutFlags) {
  DeviceCollector collector;
  EXPECT_FALSE(collector.TakeChanged(false));
  EXPECT_TRUE(collector.Add(Device(0x10, "10.0.0.5")));
  EXPECT_TRUE(collector.TakeChanged(false));
  EXPECT_TRUE(collector.TakeChanged(true)) << "TakeChanged(false) must not clear";
  EXPECT_FALSE(collector.TakeChanged(false));

  EXPECT_TRUE(collector.Add(Device(0x10, "10.0.0.5")));
  EXPECT_FALSE(collector.TakeChanged(false)) << "an equal announcement changes nothing";
  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].statusFlags, 0u) << "a device must not clash with itself";
}

TEST(CollectorAdd, FirstRecordOfEmptyCollectorGetsNoBits) {
  DeviceCollector collector;
  DeviceRecord bare = Device(0, "0.0.0.0");
  collector.Add(bare);
  auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].statusFlags, 0u);

  DeviceCollector other;
  other.Add(Device(0, "1.1.1.1"));
  other.Add(Device(0, ""));  // the empty address is 0.0.0.0, not 1.1.1.1
  listed = Listed(other);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].statusFlags, 0u) << "0x04 and 0x08 never reach a listed record";
  EXPECT_EQ(listed[1].statusFlags, STATUS_NO_SERIAL | STATUS_NO_IP);
}

TEST(CollectorAdd, LaterRecordsFlagTheFirstOnlyWithPairBits) {
  DeviceCollector collector;
  collector.Add(Device(0x22, "10.0.0.7", ""));
  collector.Add(Device(0x22, "10.0.0.7", "abc"));
  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].statusFlags,
            STATUS_SERIAL_SHARED_NO_ID | STATUS_IP_CLASH | STATUS_SERIAL_CLASH);
  EXPECT_EQ(listed[1].statusFlags, STATUS_IP_CLASH | STATUS_SERIAL_CLASH);
}

TEST(CollectorAdd, DeviceWithIdIsUpdatedInPlace) {
  DeviceCollector collector;
  collector.Add(Device(1, "10.0.0.1", "A1", 1));
  DeviceRecord target = Device(2, "10.0.0.2", "node", 4);
  target.commandSuffix = -1;
  collector.Add(target);
  collector.Add(Device(3, "10.0.0.3", "C3", 1));
  collector.Snapshot();

  DeviceRecord moved = target;
  moved.name = "renamed";
  moved.ipAddress = "10.0.0.3";  // now clashes with the record after it
  moved.commandSuffix = 6;       // -1 listed: no conflict
  moved.extNumber1 = 55;
  collector.Add(moved);
  EXPECT_TRUE(collector.TakeChanged(false));
  auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[1].name, "renamed") << "updated where it was listed";
  EXPECT_EQ(listed[1].ipAddress, "10.0.0.3");
  EXPECT_EQ(listed[1].extNumber1, 55);
  EXPECT_EQ(listed[1].commandSuffix, 6);
  EXPECT_EQ(listed[1].statusFlags, STATUS_IP_CLASH);
  EXPECT_EQ(listed[2].statusFlags, STATUS_IP_CLASH);
  EXPECT_EQ(listed[0].statusFlags, 0u);

  // Equal suffixes agree as well; a new address drops the overwritten bits,
  // but the bit it caused in the other record stays.
  moved.ipAddress = "10.0.0.9";
  moved.name = "renamed again";
  collector.Add(moved);
  listed = Listed(collector);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[1].name, "renamed again");
  EXPECT_EQ(listed[1].statusFlags, 0u);
  EXPECT_EQ(listed[2].statusFlags, STATUS_IP_CLASH);
}

TEST(CollectorAdd, ConflictingSuffixOrIndexMakesASecondRecord) {
  DeviceCollector collector;
  DeviceRecord first = Device(5, "10.0.0.5", "dev", 2);
  first.commandSuffix = 3;
  collector.Add(first);

  DeviceRecord suffix = first;
  suffix.name = "other suffix";
  suffix.commandSuffix = 4;
  collector.Add(suffix);

  DeviceRecord index = first;
  index.name = "other index";
  index.deviceIndex = 3;
  collector.Add(index);

  DeviceRecord noId = first;
  noId.deviceId = "";
  noId.name = "no id";
  collector.Add(noId);

  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0].name, "device 5");
  EXPECT_EQ(listed[1].name, "other suffix");
  EXPECT_EQ(listed[2].name, "other index");
  EXPECT_EQ(listed[3].name, "no id");
}

TEST(CollectorAdd, ChangedDeviceWithoutIdIsListedTwiceAndFlagged) {
  DeviceCollector collector;
  collector.Add(Device(0x77, "10.0.0.8"));
  DeviceRecord changed = Device(0x77, "10.0.0.8");
  changed.name = "changed name";
  collector.Add(changed);
  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].statusFlags, STATUS_SERIAL_SHARED_NO_ID | STATUS_IP_CLASH);
  EXPECT_EQ(listed[1].statusFlags, STATUS_SERIAL_SHARED_NO_ID | STATUS_IP_CLASH);

  DeviceCollector apart;
  apart.Add(Device(0x77, "10.0.0.8"));
  DeviceRecord moved = Device(0x77, "10.0.0.9");
  apart.Add(moved);
  const auto two = Listed(apart);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].statusFlags, STATUS_SERIAL_SHARED_NO_ID);
  EXPECT_EQ(two[1].statusFlags, STATUS_SERIAL_SHARED_NO_ID);
}

TEST(CollectorAdd, IgnoredFieldsChangeNothingButFlags) {
  DeviceCollector collector;
  DeviceRecord first = Device(9, "10.0.0.9", "id9", 1);
  first.extNumber1 = 1;
  first.commandSuffix = 2;
  collector.Add(first);
  collector.Snapshot();

  DeviceRecord again = first;
  again.extNumber1 = 100;
  again.commandSuffix = 200;
  again.statusFlags = 0;
  again.sortKey = 4;
  collector.Add(again);
  EXPECT_FALSE(collector.TakeChanged(false));
  auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].extNumber1, 1);
  EXPECT_EQ(listed[0].commandSuffix, 2);
  EXPECT_EQ(listed[0].sortKey, 0);

  // Flags are the one thing an equal announcement does change: the first
  // record announced 0.0.0.0 and gets 0x08 once a comparison flags it.
  DeviceCollector flags;
  DeviceRecord unconfigured = Device(4, "0.0.0.0");
  unconfigured.extNumber1 = 1;
  flags.Add(unconfigured);
  flags.Add(Device(5, "10.0.0.5"));
  flags.Snapshot();
  DeviceRecord repeat = unconfigured;
  repeat.extNumber1 = 2;
  flags.Add(repeat);
  EXPECT_TRUE(flags.TakeChanged(false));
  listed = Listed(flags);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].statusFlags, STATUS_NO_IP);
  EXPECT_EQ(listed[0].extNumber1, 1);
}

TEST(CollectorAdd, SerialClashIgnoresLetterCase) {
  DeviceCollector collector;
  collector.Add(Device(0x31, "10.0.1.1", "Pump-A"));
  collector.Add(Device(0x31, "10.0.1.2", "pump-a"));  // same ignoring case
  collector.Add(Device(0x31, "10.0.1.3", "pump-b"));
  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 3u) << "different bytes are different records";
  EXPECT_EQ(listed[0].statusFlags, STATUS_SERIAL_CLASH);
  EXPECT_EQ(listed[1].statusFlags, STATUS_SERIAL_CLASH);
  EXPECT_EQ(listed[2].statusFlags, STATUS_SERIAL_CLASH);

  DeviceCollector caseOnly;
  caseOnly.Add(Device(0x31, "10.0.1.1", "Pump-A"));
  caseOnly.Add(Device(0x31, "10.0.1.2", "PUMP-a"));
  const auto pair = Listed(caseOnly);
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_EQ(pair[0].statusFlags, 0u);
  EXPECT_EQ(pair[1].statusFlags, 0u);
}

TEST(CollectorAdd, PlaceholderAddressesFlagTheNewRecordOnly) {
  for (const char* placeholder : {"0.0.0.0", "1.1.1.1", "", "1.1.257"}) {
    DeviceCollector collector;
    collector.Add(Device(1, placeholder));
    collector.Add(Device(2, placeholder));
    collector.Add(Device(3, "10.0.0.3"));
    const auto listed = Listed(collector);
    ASSERT_EQ(listed.size(), 3u) << placeholder;
    EXPECT_EQ(listed[0].statusFlags, 0u) << placeholder;
    EXPECT_EQ(listed[1].statusFlags, STATUS_NO_IP) << placeholder;
    EXPECT_EQ(listed[2].statusFlags, 0u) << placeholder;
  }
}

TEST(CollectorAdd, SameOrdinaryAddressFlagsBoth) {
  DeviceCollector collector;
  collector.Add(Device(1, "192.168.1.10"));
  collector.Add(Device(2, "10.0.0.2"));
  auto listed = Listed(collector);
  EXPECT_EQ(listed[0].statusFlags, 0u);
  collector.Add(Device(3, "192.168.001.012"));  // same address, octal parts
  listed = Listed(collector);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].statusFlags, STATUS_IP_CLASH);
  EXPECT_EQ(listed[1].statusFlags, 0u);
  EXPECT_EQ(listed[2].statusFlags, STATUS_IP_CLASH);
  // Behind another adapter the address belongs to another network.
  DeviceRecord elsewhere = Device(4, "192.168.1.10");
  elsewhere.interfaceIndex = 7;
  collector.Add(elsewhere);
  listed = Listed(collector);
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[3].statusFlags, 0u);
}

TEST(CollectorAdd, SerialZeroIsNeverComparedBySerial) {
  DeviceCollector collector;
  collector.Add(Device(0, "10.0.0.1"));
  collector.Add(Device(0, "10.0.0.2"));
  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].statusFlags, 0u) << "serial 0 shares nothing";
  EXPECT_EQ(listed[1].statusFlags, STATUS_NO_SERIAL);

  DeviceCollector mixed;
  mixed.Add(Device(8, "10.0.0.1"));
  mixed.Add(Device(0, "10.0.0.1"));
  const auto two = Listed(mixed);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].statusFlags, STATUS_IP_CLASH);
  EXPECT_EQ(two[1].statusFlags, STATUS_IP_CLASH | STATUS_NO_SERIAL);
}

TEST(CollectorAdd, BitsOutliveTheRecordThatCausedThem) {
  DeviceCollector collector;
  collector.Add(Device(0x40, "10.0.0.4", "left", 1));
  collector.Add(Device(0x40, "10.0.0.4", "right", 1));
  // "right" moves away to another serial and address.
  collector.Add(Device(0x41, "10.0.0.5", "right", 1));
  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].statusFlags, STATUS_IP_CLASH | STATUS_SERIAL_CLASH);
  EXPECT_EQ(listed[1].serial, 0x41u);
  EXPECT_EQ(listed[1].statusFlags, 0u);
}

TEST(CollectorAdd, ClearEmptiesTheList) {
  DeviceCollector collector;
  collector.Add(Device(1, "10.0.0.1"));
  collector.Add(Device(2, "10.0.0.1"));
  collector.Clear();
  EXPECT_TRUE(Listed(collector).empty());
  collector.Add(Device(2, "10.0.0.1"));
  const auto listed = Listed(collector);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].statusFlags, 0u);
}

TEST(CollectorSnapshot, CopiesInArrivalOrderAndClearsChanged) {
  DeviceCollector collector;
  collector.Add(Device(3, "10.0.0.3"));
  collector.Add(Device(1, "10.0.0.1"));
  collector.Add(Device(2, "10.0.0.2"));
  DeviceRecord out;
  collector.FindBySerial(2, out);
  collector.FindByDeviceId("", -1, out);
  EXPECT_TRUE(collector.TakeChanged(false)) << "finds do not clear changed";
  DeviceList snapshot = collector.Snapshot();
  EXPECT_FALSE(collector.TakeChanged(false));
  std::vector<std::uint32_t> serials;
  for (const DeviceRecord& r : snapshot) serials.push_back(r.serial);
  EXPECT_EQ(serials, (std::vector<std::uint32_t>{3, 1, 2}));
  snapshot.front().name = "edited copy";
  EXPECT_EQ(collector.Snapshot().front().name, "device 3") << "a copy, not the list";
}

TEST(CollectorFind, ByDeviceIdIgnoresCaseAndHonoursIndex) {
  DeviceCollector collector;
  DeviceRecord a = Device(1, "10.0.0.1", "sensor", 2);
  DeviceRecord b = Device(2, "10.0.0.2", "SENSOR", 5);
  DeviceRecord c = Device(3, "10.0.0.3", "other", 5);
  collector.Add(a);
  collector.Add(b);
  collector.Add(c);

  DeviceRecord found;
  ASSERT_TRUE(collector.FindByDeviceId("Sensor", 5, found));
  EXPECT_EQ(found.serial, 2u);
  EXPECT_EQ(found.sortKey, SORT_DEVICE_ID);
  ASSERT_TRUE(collector.FindByDeviceId("sensor", 2, found));
  EXPECT_EQ(found.serial, 1u);
  // Any index below 1 accepts every index; "SENSOR" sorts before "sensor".
  for (std::int32_t wildcard : {0, -1, -100}) {
    ASSERT_TRUE(collector.FindByDeviceId("sensor", wildcard, found)) << wildcard;
    EXPECT_EQ(found.serial, 2u) << wildcard;
  }

  DeviceRecord untouched = Device(99, "10.9.9.9", "keep", 7);
  DeviceRecord out = untouched;
  EXPECT_FALSE(collector.FindByDeviceId("sensor", 3, out));
  EXPECT_FALSE(collector.FindByDeviceId("sensors", 0, out));
  EXPECT_FALSE(collector.FindByDeviceId("", 0, out)) << "no listed record has an empty id";
  EXPECT_TRUE(out == untouched);
  EXPECT_EQ(out.extNumber1, untouched.extNumber1);
}

TEST(CollectorFind, BySerialTakesFirstArrivalOfEqualSerials) {
  DeviceCollector collector;
  collector.Add(Device(0x90, "10.0.0.1", ""));
  collector.Add(Device(0x50, "10.0.0.2", "x"));
  DeviceRecord later = Device(0x50, "10.0.0.3", "y");
  later.name = "later";
  collector.Add(later);
  DeviceRecord found;
  ASSERT_TRUE(collector.FindBySerial(0x50, found));
  EXPECT_EQ(found.deviceId, "x");
  EXPECT_EQ(found.statusFlags, STATUS_SERIAL_CLASH);
  EXPECT_FALSE(collector.FindBySerial(0x51, found));
  EXPECT_EQ(found.deviceId, "x");
}

// The check after a configuration: a device without an identifier that
// announces its old settings and then its new ones (or reverts) is judged by
// what it announced last; twins are told apart by their identifiers.
TEST(CollectorFind, NewestTakesTheLastAnnouncementOfTheDevice) {
  DeviceCollector collector;
  const struct {
    DeviceRecord added;
    std::uint32_t serial;
    const char* deviceId;
    const char* expectedIp;  // null: not found
  } steps[] = {
      {Device(0xA1, "10.0.0.1"), 0xA1, "", "10.0.0.1"},
      {Device(0xA1, "10.0.0.2"), 0xA1, "", "10.0.0.2"},
      {Device(0xB2, "10.0.0.9"), 0xA1, "", "10.0.0.2"},
      {Device(0xA1, "10.0.0.1"), 0xA1, "", "10.0.0.1"},  // reverted
      {Device(0xC1, "10.0.1.1", "TWIN-A"), 0xC1, "twin-b", nullptr},
      {Device(0xC1, "10.0.1.2", "TWIN-B"), 0xC1, "twin-a", "10.0.1.1"},
      {Device(0xC1, "10.0.1.1", "TWIN-A"), 0xC1, "TWIN-B", "10.0.1.2"},
  };
  for (const auto& step : steps) {
    collector.Add(step.added);
    DeviceRecord found;
    const bool ok = collector.FindNewest(step.serial, step.deviceId, found);
    EXPECT_EQ(ok, step.expectedIp != nullptr) << step.added.ipAddress;
    if (ok && step.expectedIp != nullptr) {
      EXPECT_EQ(found.ipAddress, step.expectedIp);
    }
  }
}

TEST(CollectorFind, EmptyCollectorLeavesOutputAsItWas) {
  DeviceCollector collector;
  DeviceRecord out = Device(0x1234, "10.1.2.3", "mine", 3);
  out.statusFlags = 0x10;
  out.sortKey = 9;
  const DeviceRecord before = out;
  EXPECT_FALSE(collector.FindBySerial(0x1234, out));
  EXPECT_FALSE(collector.FindByDeviceId("mine", 3, out));
  EXPECT_TRUE(out == before);
  EXPECT_EQ(out.statusFlags, 0x10u);
  EXPECT_EQ(out.sortKey, 9);
}

}  // namespace
}  // namespace velkarin
