// Two devices with one address: the collector's mark, as the table and the
// JSON show it, and the warning `set` gives before it sends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/output/device_json.h"
#include "cli/output/device_table.h"
#include "cli/output/warnings.h"
#include "engine/device_collector.h"

namespace velkarin::cli {
namespace {

DeviceRecord Device(std::uint32_t serial, const char* name, std::int32_t dhcp, const char* ip) {
  DeviceRecord r;
  r.serial = serial;
  r.name = name;
  r.dhcp = dhcp;
  r.ipAddress = ip;
  r.netmask = "255.255.255.0";
  r.gateway = "";
  r.deviceId = "ID-" + std::to_string(serial);
  return r;
}

// The last column of each row after the header.
std::vector<std::string> StatusColumn(const DeviceList& list) {
  std::vector<std::string> status;
  const std::string table = FormatDeviceTable(list);
  std::size_t start = table.find('\n') + 1;
  while (start < table.size()) {
    const std::size_t end = table.find('\n', start);
    const std::string line = table.substr(start, end - start);
    status.push_back(line.substr(line.rfind(' ') + 1));
    start = end + 1;
  }
  return status;
}

TEST(AddressConflictMarks, BothHoldersAreMarkedInTheTableAndTheJson) {
  const struct {
    const char* what;
    std::vector<DeviceRecord> devices;
    std::vector<std::string> status;
  } cases[] = {
      {"distinct addresses",
       {Device(1, "A", 0, "10.0.0.5"), Device(2, "B", 0, "10.0.0.6")},
       {"-", "-"}},
      {"one fixed address twice",
       {Device(1, "A", 0, "10.0.0.5"), Device(2, "B", 0, "10.0.0.5")},
       {"address-conflict", "address-conflict"}},
      {"the same address written in octal",
       {Device(1, "A", 0, "10.0.0.8"), Device(2, "B", 0, "10.0.0.010"),
        Device(3, "C", 0, "10.0.0.9")},
       {"address-conflict", "address-conflict", "-"}},
      {"a DHCP lease on a fixed device's address",
       {Device(1, "A", 1, "10.0.0.5"), Device(2, "B", 0, "10.0.0.5")},
       {"address-conflict", "address-conflict"}},
      // The collector marks a missing address when a later record is compared.
      {"no address is no conflict",
       {Device(1, "A", 0, "0.0.0.0"), Device(2, "B", 0, "0.0.0.0")},
       {"-", "no-ip"}},
  };
  for (const auto& c : cases) {
    DeviceCollector collector;
    for (const DeviceRecord& d : c.devices) collector.Add(d);
    const DeviceList list = collector.Snapshot();
    EXPECT_EQ(StatusColumn(list), c.status) << c.what;
    const nlohmann::ordered_json json = DevicesToJson(list);
    ASSERT_EQ(json.size(), c.status.size()) << c.what;
    for (std::size_t i = 0; i < c.status.size(); ++i) {
      EXPECT_EQ(json[i]["addressConflict"], c.status[i] == "address-conflict") << c.what << i;
    }
  }
}

TEST(AddressConflictWarnings, NameTheAddressTheHolderAndTheTarget) {
  DeviceList heard = {Device(0x42F0, "Lab-Bench", 0, "172.20.5.9"),
                      Device(0x42F1, "Pump\x1B", 0, "172.20.5.10"),
                      Device(0x42F2, "", 0, "172.20.5.10")};
  const DeviceRecord target = heard.front();
  const struct {
    const char* address;
    std::vector<std::string> texts;
  } cases[] = {
      {"172.20.5.11", {}},
      // The target's own address is no conflict.
      {"172.20.5.9", {}},
      {"172.20.5.10",
       {"IP address 172.20.5.10 is already announced by device 0042F1 (Pump\\x1B); giving it "
        "to 0042F0 as well makes an address conflict",
        "IP address 172.20.5.10 is already announced by device 0042F2; giving it to 0042F0 as "
        "well makes an address conflict"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AddressConflictWarnings(heard, target, c.address), c.texts) << c.address;
  }
}

}  // namespace
}  // namespace velkarin::cli
