// Record equality, the eighteen orderings, stable sorting and list comparison.
#include "engine/device_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace velkarin {
namespace {

DeviceRecord FullRecord() {
  DeviceRecord r;
  r.serial = 0x123456;
  r.name = "Hall sensor 2";
  r.dhcp = 1;
  r.ipAddress = "192.168.1.20";
  r.netmask = "255.255.255.0";
  r.gateway = "192.168.1.1";
  r.extNumber1 = 7;
  r.extTextB = "tb";
  r.deviceId = "DEV01";
  r.deviceIndex = 2;
  r.commandSuffix = 3;
  r.extTexts = {"e0", "e1", "e2", "e3"};
  r.extNumber2 = 9;
  r.extTextA = "ta";
  r.auxTextB = "xb";
  r.auxNumber = 0xABC;
  r.auxTextA = "xa";
  r.statusFlags = 0x02;
  r.sortKey = 0;
  return r;
}

using Mutation = std::function<void(DeviceRecord&)>;

TEST(RecordEquality, EveryComparedFieldMatters) {
  const std::vector<std::pair<const char*, Mutation>> mutations = {
      {"serial", [](DeviceRecord& r) { r.serial += 1; }},
      {"name", [](DeviceRecord& r) { r.name = "hall sensor 2"; }},
      {"dhcp", [](DeviceRecord& r) { r.dhcp = 2; }},
      {"ipAddress", [](DeviceRecord& r) { r.ipAddress = "192.168.1.21"; }},
      {"netmask", [](DeviceRecord& r) { r.netmask = "255.255.0.0"; }},
      {"gateway", [](DeviceRecord& r) { r.gateway = "192.168.1.254"; }},
      {"extTextB", [](DeviceRecord& r) { r.extTextB = "tB"; }},
      {"deviceId", [](DeviceRecord& r) { r.deviceId = "dev01"; }},
      {"deviceIndex", [](DeviceRecord& r) { r.deviceIndex = -1; }},
      {"extTexts[0]", [](DeviceRecord& r) { r.extTexts[0] = "x"; }},
      {"extTexts[1]", [](DeviceRecord& r) { r.extTexts[1] = "x"; }},
      {"extTexts[2]", [](DeviceRecord& r) { r.extTexts[2] = "x"; }},
      {"extTexts[3]", [](DeviceRecord& r) { r.extTexts[3] = "e3 "; }},
      {"extNumber2", [](DeviceRecord& r) { r.extNumber2 = -9; }},
      {"extTextA", [](DeviceRecord& r) { r.extTextA = ""; }},
      {"auxTextB", [](DeviceRecord& r) { r.auxTextB = "xbb"; }},
      {"auxNumber", [](DeviceRecord& r) { r.auxNumber = 0xABD; }},
      {"auxTextA", [](DeviceRecord& r) { r.auxTextA = "XA"; }},
  };
  const DeviceRecord base = FullRecord();
  for (const auto& [field, mutate] : mutations) {
    DeviceRecord other = base;
    mutate(other);
    EXPECT_FALSE(base == other) << field;
    EXPECT_FALSE(other == base) << field;
    EXPECT_TRUE(base != other) << field;
    EXPECT_FALSE(SameRecord(base, AddressValuesOf(base), other, AddressValuesOf(other))) << field;
  }
}

// The collector compares with the values it converted when a record was
// listed: those decide, not the texts beside them.
TEST(RecordEquality, SameRecordComparesTheGivenAddressValues) {
  const DeviceRecord a = FullRecord();
  DeviceRecord b = a;
  b.gateway = "192.168.257";
  const AddressValues values = AddressValuesOf(a);
  EXPECT_EQ(values.ip, 0xC0A80114u);
  EXPECT_EQ(values.netmask, 0xFFFFFF00u);
  EXPECT_EQ(values.gateway, 0xC0A80101u);
  EXPECT_TRUE(SameRecord(a, values, b, AddressValuesOf(b)));

  const std::vector<std::pair<const char*, std::uint32_t AddressValues::*>> fields = {
      {"ip", &AddressValues::ip},
      {"netmask", &AddressValues::netmask},
      {"gateway", &AddressValues::gateway},
  };
  for (const auto& [field, member] : fields) {
    AddressValues other = values;
    other.*member += 1;
    EXPECT_FALSE(SameRecord(a, values, a, other)) << field;
    EXPECT_FALSE(SameRecord(a, other, a, values)) << field;
  }
}

TEST(RecordEquality, IgnoresCarriedAndListFields) {
  const DeviceRecord base = FullRecord();
  DeviceRecord other = base;
  other.extNumber1 = -1;
  other.commandSuffix = 99;
  other.statusFlags = 0x1F;
  other.sortKey = 7;
  EXPECT_TRUE(base == other);
  EXPECT_FALSE(base != other);
  EXPECT_TRUE(DeviceRecord() == DeviceRecord());
}

TEST(RecordEquality, AddressesCompareAsAddresses) {
  DeviceRecord a = FullRecord();
  DeviceRecord b = a;
  b.ipAddress = "192.168.01.20";  // octal part, same value
  b.netmask = "255.255.255.00";
  b.gateway = "192.168.257";  // three-part form of 192.168.1.1
  EXPECT_TRUE(a == b);

  a.ipAddress = "";
  b.ipAddress = "0.0.0.0";
  EXPECT_TRUE(a == b) << "an empty address is the address 0.0.0.0";
  a.ipAddress = "junk";
  b.ipAddress = "other junk";
  EXPECT_TRUE(a == b) << "unreadable addresses are all the same address";
  b.ipAddress = "255.255.255.255";
  EXPECT_TRUE(a == b);
  b.ipAddress = "";
  EXPECT_FALSE(a == b);
}

// Two records whose `field` is ordered low < high; everything else equal.
struct KeyCase {
  std::int32_t key;
  Mutation setLow;
  Mutation setHigh;
};

TEST(RecordOrdering, EachKeyComparesItsField) {
  auto text = [](std::string DeviceRecord::*field, const char* value) {
    return [field, value](DeviceRecord& r) { r.*field = value; };
  };
  auto ext = [](int item, const char* value) {
    return [item, value](DeviceRecord& r) { r.extTexts[item] = value; };
  };
  const std::vector<KeyCase> cases = {
      {SORT_SERIAL, [](DeviceRecord& r) { r.serial = 1; },
       [](DeviceRecord& r) { r.serial = 0x80000000u; }},  // unsigned
      {SORT_NAME, text(&DeviceRecord::name, "Zebra"), text(&DeviceRecord::name, "apple")},
      {SORT_DHCP, [](DeviceRecord& r) { r.dhcp = -5; }, [](DeviceRecord& r) { r.dhcp = 0; }},
      {SORT_IP_ADDRESS, text(&DeviceRecord::ipAddress, "10.0.0.10"),
       text(&DeviceRecord::ipAddress, "10.0.0.9")},  // text order, not address order
      {SORT_NETMASK, text(&DeviceRecord::netmask, "255.0.0.0"),
       text(&DeviceRecord::netmask, "255.0.0.0.")},
      {SORT_GATEWAY, text(&DeviceRecord::gateway, ""), text(&DeviceRecord::gateway, "1")},
      {SORT_EXT_TEXT_B, text(&DeviceRecord::extTextB, "z"),
       text(&DeviceRecord::extTextB, "\x80")},  // bytes compare unsigned
      {SORT_DEVICE_ID, text(&DeviceRecord::deviceId, "DEV"), text(&DeviceRecord::deviceId, "dev")},
      {SORT_DEVICE_INDEX, [](DeviceRecord& r) { r.deviceIndex = -1; },
       [](DeviceRecord& r) { r.deviceIndex = 1; }},
      {SORT_EXT_TEXT_0, ext(0, "a"), ext(0, "b")},
      {SORT_EXT_TEXT_1, ext(1, "ab"), ext(1, "abc")},
      {SORT_EXT_TEXT_2, ext(2, "A"), ext(2, "a")},
      {SORT_EXT_TEXT_3, ext(3, "x\x7f"), ext(3, "x\xff")},
      {SORT_EXT_NUMBER_2, [](DeviceRecord& r) { r.extNumber2 = -2147483647 - 1; },
       [](DeviceRecord& r) { r.extNumber2 = 2147483647; }},
      {SORT_EXT_TEXT_A, text(&DeviceRecord::extTextA, "m"), text(&DeviceRecord::extTextA, "n")},
      {SORT_AUX_TEXT_B, text(&DeviceRecord::auxTextB, "q"), text(&DeviceRecord::auxTextB, "r")},
      {SORT_AUX_NUMBER, [](DeviceRecord& r) { r.auxNumber = 2; },
       [](DeviceRecord& r) { r.auxNumber = 0xFFFFFFFFu; }},  // unsigned
      {SORT_AUX_TEXT_A, text(&DeviceRecord::auxTextA, "0"), text(&DeviceRecord::auxTextA, "00")},
  };
  ASSERT_EQ(cases.size(), 18u);
  for (const KeyCase& c : cases) {
    DeviceRecord low = FullRecord();
    DeviceRecord high = FullRecord();
    c.setLow(low);
    c.setHigh(high);
    low.sortKey = high.sortKey = c.key;
    EXPECT_TRUE(low < high) << "key " << c.key;
    EXPECT_FALSE(high < low) << "key " << c.key;
    EXPECT_FALSE(low < low) << "key " << c.key;
    // Under every other key the two records are not ordered: only the named
    // field decides.
    for (std::int32_t other = 0; other < 18; ++other) {
      if (other == c.key) continue;
      low.sortKey = high.sortKey = other;
      EXPECT_FALSE(low < high) << "key " << c.key << " under key " << other;
      EXPECT_FALSE(high < low) << "key " << c.key << " under key " << other;
    }
  }
}

TEST(RecordOrdering, LeftOperandChoosesTheKey) {
  DeviceRecord a = FullRecord();
  DeviceRecord b = FullRecord();
  a.serial = 9;
  b.serial = 1;
  a.name = "a";
  b.name = "b";
  a.sortKey = SORT_NAME;
  b.sortKey = SORT_SERIAL;
  EXPECT_TRUE(a < b);  // by name
  EXPECT_TRUE(b < a);  // by serial
  a.sortKey = 18;      // not a key: nothing is ordered by it
  EXPECT_FALSE(a < b);
}

std::vector<std::string> Names(const DeviceList& list) {
  std::vector<std::string> names;
  for (const DeviceRecord& r : list) names.push_back(r.name);
  return names;
}

DeviceRecord Named(std::uint32_t serial, const char* name, std::int32_t sortKey = 5) {
  DeviceRecord r;
  r.serial = serial;
  r.name = name;
  r.sortKey = sortKey;
  return r;
}

TEST(SortDeviceList, BySerialUnsignedAndStable) {
  DeviceList list = {Named(7, "a"), Named(0xF0000000u, "b"), Named(7, "c"), Named(1, "d"),
                     Named(7, "e"), Named(0, "f"),           Named(1, "g")};
  SortDeviceList(list, SORT_SERIAL);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"f", "d", "g", "a", "c", "e", "b"}));
  for (const DeviceRecord& r : list) EXPECT_EQ(r.sortKey, SORT_SERIAL);
}

TEST(SortDeviceList, EqualKeysAndSingleRecordKeepArrivalOrder) {
  DeviceList one = {Named(3, "only")};
  SortDeviceList(one, SORT_SERIAL);
  EXPECT_EQ(Names(one), std::vector<std::string>{"only"});

  DeviceList same;
  for (const char* n : {"5", "1", "4", "2", "3"}) same.push_back(Named(42, n));
  SortDeviceList(same, SORT_SERIAL);
  EXPECT_EQ(Names(same), (std::vector<std::string>{"5", "1", "4", "2", "3"}));

  DeviceList empty;
  SortDeviceList(empty, SORT_SERIAL);
  EXPECT_TRUE(empty.empty());
}

TEST(SortDeviceList, ByDeviceIdBytewise) {
  DeviceList list;
  for (const char* id : {"dev", "DEV", "de", "", "Dev", "dev"}) {
    DeviceRecord r;
    r.deviceId = id;
    r.name = std::string("n") + id;
    list.push_back(r);
  }
  list.front().name = "first dev";
  SortDeviceList(list, SORT_DEVICE_ID);
  std::vector<std::string> ids;
  for (const DeviceRecord& r : list) ids.push_back(r.deviceId);
  EXPECT_EQ(ids, (std::vector<std::string>{"", "DEV", "Dev", "de", "dev", "dev"}));
  EXPECT_EQ(std::prev(list.end(), 2)->name, "first dev");
}

TEST(SameDevices, LengthAndPositionwiseEquality) {
  DeviceList a = {FullRecord(), Named(5, "x")};
  DeviceList b = a;
  EXPECT_TRUE(SameDevices(a, b));
  b.front().statusFlags = 0x1F;
  b.front().extNumber1 = 1234;
  b.front().commandSuffix = 77;
  b.back().sortKey = 3;
  EXPECT_TRUE(SameDevices(a, b)) << "ignored fields do not make lists differ";
  b.back().name = "y";
  EXPECT_FALSE(SameDevices(a, b));
  b = a;
  b.reverse();
  EXPECT_FALSE(SameDevices(a, b)) << "order matters";
  b = a;
  b.pop_back();
  EXPECT_FALSE(SameDevices(a, b));
  EXPECT_FALSE(SameDevices(b, a));
  EXPECT_TRUE(SameDevices(DeviceList(), DeviceList()));
  EXPECT_FALSE(SameDevices(DeviceList(), a));
}

}  // namespace
}  // namespace velkarin
