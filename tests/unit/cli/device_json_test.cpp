#include "cli/output/device_json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/output/json_writer.h"
#include "cli/output/text_encoding.h"

namespace velkarin::cli {
namespace {

DeviceRecord SampleRecord() {
  DeviceRecord r;
  r.serial = 0xFFFFFFF0u;
  r.name = "Pump \xE9\x80 \"7\"";
  r.dhcp = 5;
  r.ipAddress = "192.168.1.20";
  r.netmask = "255.255.255.0";
  r.gateway = "192.168.1.1";
  r.extNumber1 = 12;
  r.extTextB = "tb";
  r.deviceId = "0050C2123456";
  r.deviceIndex = 2;
  r.commandSuffix = 7;
  r.extTexts = {"e0", "e1\t", "", "e3"};
  r.extNumber2 = -9;
  r.extTextA = "ta";
  r.auxTextB = "ab";
  r.auxNumber = 0x80000000u;
  r.auxTextA = "aa";
  r.statusFlags = 0x12;
  r.sortKey = 7;
  return r;
}

TEST(DeviceToJson, HasExactlyTheRecordFieldsInOrder) {
  const nlohmann::ordered_json o = DeviceToJson(SampleRecord());
  std::vector<std::string> keys;
  for (auto it = o.begin(); it != o.end(); ++it) keys.push_back(it.key());
  const std::vector<std::string> expected = {
      "serial",      "serialText", "name",     "dhcp",           "ipAddress",   "netmask",
      "gateway",     "extNumber1", "extTextB", "deviceId",       "deviceIndex", "commandSuffix",
      "extTexts",    "extNumber2", "extTextA", "auxTextB",       "auxNumber",   "auxTextA",
      "statusFlags", "status",     "sortKey",  "addressConflict"};
  EXPECT_EQ(keys, expected);
}

// What a script feeds to `set`, and the flags as the table names them.
TEST(DeviceToJson, GivesTheSerialAsSetTakesItAndTheStatusInTheTablesWords) {
  struct Case {
    std::uint32_t serial;
    std::uint32_t flags;
    const char* serialText;
    const char* status;
  };
  const Case cases[] = {
      {0x42F0, 0, "0042F0", "-"},
      {0, 0x2, "000000", "address-conflict"},
      {0x1A2B3C4D, 0x12, "1A2B3C4D", "address-conflict,serial-clash"},
      {0xFFFFFFF0u, 0x41, "FFFFFFF0", "serial-shared-no-id,0x40"},
  };
  for (const Case& c : cases) {
    DeviceRecord r;
    r.serial = c.serial;
    r.statusFlags = c.flags;
    const nlohmann::ordered_json o = DeviceToJson(r);
    EXPECT_EQ(o["serialText"], c.serialText) << c.serial;
    EXPECT_EQ(o["status"], c.status) << c.flags;
  }
}

TEST(DeviceToJson, NumbersStayNumbersAndTextsStayTexts) {
  const nlohmann::ordered_json o =
      nlohmann::ordered_json::parse(WriteJson(DeviceToJson(SampleRecord()), 2));
  EXPECT_EQ(o["serial"].get<std::uint64_t>(), 0xFFFFFFF0u);
  EXPECT_EQ(o["dhcp"].get<int>(), 5);
  EXPECT_EQ(o["extNumber1"].get<int>(), 12);
  EXPECT_EQ(o["deviceIndex"].get<int>(), 2);
  EXPECT_EQ(o["commandSuffix"].get<int>(), 7);
  EXPECT_EQ(o["extNumber2"].get<int>(), -9);
  EXPECT_EQ(o["auxNumber"].get<std::uint64_t>(), 0x80000000u);
  EXPECT_EQ(o["statusFlags"].get<int>(), 0x12);
  EXPECT_EQ(o["sortKey"].get<int>(), 7);
  EXPECT_EQ(o["addressConflict"], true);  // 0x12 holds the clash bit 0x02
  EXPECT_EQ(o["ipAddress"], "192.168.1.20");
  EXPECT_EQ(o["deviceId"], "0050C2123456");
  ASSERT_TRUE(o["extTexts"].is_array());
  EXPECT_EQ(o["extTexts"], nlohmann::ordered_json::array({"e0", "e1\t", "", "e3"}));
  EXPECT_EQ(o["auxTextA"], "aa");
}

TEST(DeviceToJson, HighBytesAreWrittenAsLatin1EscapesInLowerCaseHex) {
  const std::string text = WriteJson(DeviceToJson(SampleRecord()), -1);
  EXPECT_NE(text.find(R"("name":"Pump \u00e9\u0080 \"7\"")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("e1\t")"), std::string::npos) << text;
}

TEST(DeviceToJson, EveryByteComesBackFromTheJsonText) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  DeviceRecord r;
  r.name = all;
  const nlohmann::ordered_json parsed =
      nlohmann::ordered_json::parse(WriteJson(DeviceToJson(r), -1));
  std::string problem;
  EXPECT_EQ(Utf8ToLatin1(parsed["name"].get<std::string>(), problem), all) << problem;
}

TEST(DevicesToJson, KeepsTheListOrder) {
  DeviceList list;
  DeviceRecord a;
  a.serial = 2;
  DeviceRecord b;
  b.serial = 1;
  list.push_back(a);
  list.push_back(b);
  const nlohmann::ordered_json array = DevicesToJson(list);
  ASSERT_EQ(array.size(), 2u);
  EXPECT_EQ(array[0]["serial"], 2);
  EXPECT_EQ(array[1]["serial"], 1);
  EXPECT_EQ(WriteJson(DevicesToJson(DeviceList()), 2), "[]");
}

}  // namespace
}  // namespace velkarin::cli
