// The discovery cycle against devices played by the test: what gets
// published, when, and when the notification fires.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_fixture.h"
#include "fake_device.h"
#include "platform/clock.h"

namespace velkarin::test {
namespace {

FakeAnnouncement Device(std::uint32_t serial, const std::string& name, const std::string& ip,
                        const std::string& deviceId = "") {
  FakeAnnouncement device;
  device.serial = serial;
  device.name = name;
  device.ip = ip;
  device.deviceId = deviceId;
  return device;
}

DeviceList Published() {
  DeviceList devices;
  FinderGetDevices(devices);
  return devices;
}

std::vector<std::uint32_t> Serials(const DeviceList& devices) {
  std::vector<std::uint32_t> serials;
  for (const DeviceRecord& r : devices) serials.push_back(r.serial);
  return serials;
}

std::uint32_t Cycles() { return FinderInstance()->cyclesCompleted(); }

using DiscoveryCycle = EngineNetworkTest;

// The module's own constants: the first list is published by the end of
// the first cycle, cycles begin 3000 ms apart, each of the two passes lasts
// at least ten 60 ms sleeps, and the notification repeats until the list is
// copied.
TEST_F(DiscoveryCycle, RealCyclePublishesSortedDevicesAndRepeatsUntilCopied) {
  FakeDevice fake;
  fake.Answer({Device(0x300, "third", "10.0.0.3", "C"), Device(0x100, "first dev", "10.0.0.1", "A"),
               Device(0x200, "second", "10.0.0.2", "B")});
  CreateEngine(fake.port(), FinderTiming());
  FinderSetNotify(&NotifyCounter::Notify);
  const std::int64_t started = platform::ProcessClockMs();
  ASSERT_EQ(FinderStart(), 1);

  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls >= 1; }, 3000))
      << "nothing published within the first cycle";
  const std::int64_t firstNotification = platform::ProcessClockMs() - started;
  EXPECT_GE(firstNotification, 1200) << "two passes of ten 60 ms idle receives and 100 ms";
  EXPECT_EQ(NotifyCounter::lastFinder.load(), static_cast<void*>(FinderInstance()));
  EXPECT_TRUE(FinderInstance()->listChanged());

  // Not copied yet: the next cycle notifies again although nothing changed.
  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls >= 2; }, 4000));
  EXPECT_TRUE(FinderInstance()->listChanged());
  const DeviceList devices = Published();
  EXPECT_FALSE(FinderInstance()->listChanged());
  ASSERT_EQ(Serials(devices), (std::vector<std::uint32_t>{0x100, 0x200, 0x300}));
  const DeviceRecord& first = devices.front();
  EXPECT_EQ(first.name, "first dev");
  EXPECT_EQ(first.ipAddress, "10.0.0.1");
  EXPECT_EQ(first.netmask, "255.255.255.0");
  EXPECT_EQ(first.gateway, "10.0.0.254");
  EXPECT_EQ(first.deviceId, "A");
  EXPECT_EQ(first.deviceIndex, 1);
  EXPECT_EQ(first.statusFlags, 0u);
  EXPECT_EQ(first.sortKey, 0);

  // A third cycle with the same devices: no notification.
  const std::uint32_t cycles = Cycles();
  ASSERT_TRUE(WaitUntil([&] { return Cycles() > cycles; }, 4000));
  EXPECT_EQ(NotifyCounter::calls.load(), 2);
  EXPECT_FALSE(FinderInstance()->listChanged());

  const std::vector<std::int64_t> times = fake.DiscoveryTimes();
  ASSERT_GE(times.size(), 6u);
  for (std::size_t cycle = 0; cycle + 2 < times.size(); cycle += 2) {
    const std::int64_t betweenPasses = times[cycle + 1] - times[cycle];
    const std::int64_t period = times[cycle + 2] - times[cycle];
    EXPECT_GE(betweenPasses, 600) << "cycle " << cycle / 2;
    EXPECT_LT(betweenPasses, 1500) << "cycle " << cycle / 2;
    EXPECT_GE(period, 2990) << "cycle " << cycle / 2;
    EXPECT_LT(period, 3600) << "cycle " << cycle / 2;
  }
}

TEST_F(DiscoveryCycle, NoDevicesNoChangeNoNotification) {
  FakeDevice fake;
  ASSERT_NO_FATAL_FAILURE(StartCounting(fake.port(), FastTiming()));
  ASSERT_TRUE(WaitUntil([] { return Cycles() >= 3; }, 5000));
  EXPECT_GE(fake.discoveries(), 6) << "two discoveries per cycle";
  EXPECT_EQ(NotifyCounter::calls.load(), 0);
  EXPECT_FALSE(FinderInstance()->listChanged());
  DeviceList devices(2);
  FinderGetDevices(devices);
  EXPECT_TRUE(devices.empty());
}

TEST_F(DiscoveryCycle, DeviceThatStopsAnsweringLeavesAtTheNextCycle) {
  FakeDevice fake;
  fake.Answer({Device(0x11, "stays", "10.0.0.11"), Device(0x22, "leaves", "10.0.0.22")});
  ASSERT_NO_FATAL_FAILURE(StartAndAwaitFirstList(fake.port(), FastTiming(), 5000));
  ASSERT_EQ(Serials(Published()), (std::vector<std::uint32_t>{0x11, 0x22}));

  const int callsBefore = NotifyCounter::calls;
  fake.Answer({Device(0x11, "stays", "10.0.0.11")});
  // The cycle running now may still have heard it; the next one cannot.
  const std::uint32_t cycles = Cycles();
  ASSERT_TRUE(WaitUntil([&] { return Cycles() >= cycles + 2; }, 5000));
  EXPECT_GT(NotifyCounter::calls.load(), callsBefore);
  const DeviceList devices = Published();
  ASSERT_EQ(Serials(devices), std::vector<std::uint32_t>{0x11});
  EXPECT_EQ(devices.front().name, "stays");

  // And it comes back as soon as it answers again.
  fake.Answer({Device(0x22, "back", "10.0.0.22"), Device(0x11, "stays", "10.0.0.11")});
  ASSERT_TRUE(WaitUntil([] { return Published().size() == 2; }, 5000));
}

TEST_F(DiscoveryCycle, EqualResultKeepsPublishedRecordsAndSetsNoChange) {
  FakeDevice fake;
  FakeAnnouncement device = Device(0x5A, "steady", "10.0.0.5", "steady-id");
  device.extNumber1 = 5;
  device.commandSuffix = 3;
  fake.Answer({device});
  ASSERT_NO_FATAL_FAILURE(StartAndAwaitFirstList(fake.port(), FastTiming(), 5000));
  DeviceList devices = Published();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices.front().extNumber1, 5);
  EXPECT_EQ(devices.front().commandSuffix, 3);

  // Only fields outside the equality change.
  const int callsBefore = NotifyCounter::calls;
  device.extNumber1 = 9;
  device.commandSuffix = 8;
  device.ip = "10.0.0.005";  // the same address, written otherwise
  fake.Answer({device});
  std::uint32_t cycles = Cycles();
  ASSERT_TRUE(WaitUntil([&] { return Cycles() >= cycles + 3; }, 5000));
  EXPECT_EQ(NotifyCounter::calls.load(), callsBefore);
  EXPECT_FALSE(FinderInstance()->listChanged());
  devices = Published();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices.front().extNumber1, 5) << "the published record keeps its old values";
  EXPECT_EQ(devices.front().commandSuffix, 3);
  EXPECT_EQ(devices.front().ipAddress, "10.0.0.5");

  // A compared field changes: published again, now with the new values.
  device.name = "renamed";
  fake.Answer({device});
  ASSERT_TRUE(WaitUntil([&] { return NotifyCounter::calls > callsBefore; }, 5000));
  devices = Published();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices.front().name, "renamed");
  EXPECT_EQ(devices.front().extNumber1, 9);
  EXPECT_EQ(devices.front().ipAddress, "10.0.0.005");
}

TEST_F(DiscoveryCycle, ClashesAreFlaggedInThePublishedList) {
  FakeDevice fake;
  fake.Answer({Device(0x70, "one", "10.0.0.7", "dev-a"), Device(0x70, "two", "10.0.0.7", "dev-b"),
               Device(0, "no serial", "1.1.1.1")});
  CreateEngine(fake.port(), FastTiming());
  ASSERT_EQ(FinderStart(), 1);
  ASSERT_TRUE(WaitUntil([] { return FinderInstance()->listChanged(); }, 5000));
  const DeviceList devices = Published();
  ASSERT_EQ(devices.size(), 3u);
  auto it = devices.begin();
  EXPECT_EQ(it->serial, 0u);
  EXPECT_EQ(it->statusFlags, STATUS_NO_SERIAL | STATUS_NO_IP);
  ++it;
  EXPECT_EQ(it->name, "one") << "equal serials keep their order of arrival";
  EXPECT_EQ(it->statusFlags, STATUS_IP_CLASH | STATUS_SERIAL_CLASH);
  ++it;
  EXPECT_EQ(it->name, "two");
  EXPECT_EQ(it->statusFlags, STATUS_IP_CLASH | STATUS_SERIAL_CLASH);
}

}  // namespace
}  // namespace velkarin::test
