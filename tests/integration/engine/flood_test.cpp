// A flood of announcements must not hold a cycle open: a pass ends after
// 101 datagrams, whatever is still arriving.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "engine_fixture.h"
#include "fake_device.h"

namespace velkarin::test {
namespace {

std::string Announcement(std::uint32_t serial) {
  FakeAnnouncement device;
  device.serial = serial;
  device.name = "flood";
  device.ip = "10.1." + std::to_string((serial >> 8) & 0xFF) + "." + std::to_string(serial & 0xFF);
  return device.Bytes();
}

using Flood = EngineNetworkTest;

TEST_F(Flood, EndlessStreamEndsEachPassAfter101Datagrams) {
  // A device that announces nothing itself but, from the first discovery on,
  // sends announcements with ever new serials to the engine without pause
  // worth the name.
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=1,name=flood,ip=10.1.0.1,repeat=0,floodRate=20000,"
                     "floodDurationMs=60000,floodVary=true"});
  ASSERT_TRUE(sim.ready()) << sim.error();
  CreateEngine(sim.port(), FastTiming());
  FinderSetNotify(&NotifyCounter::Notify);
  ASSERT_EQ(FinderStart(), 1);
  Watchdog watchdog("flooded engine", 60);

  // Without the bound the pass that meets the flood would never end.
  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls >= 1; }, 5000));
  DeviceList devices;
  FinderGetDevices(devices);
  EXPECT_LE(devices.size(), 202u);

  // Cycles go on at their pace under the flood; one that ran wholly under it
  // took exactly 101 datagrams in each pass.
  const std::uint32_t cycles = FinderInstance()->cyclesCompleted();
  ASSERT_TRUE(WaitUntil([&] { return FinderInstance()->cyclesCompleted() >= cycles + 3; }, 5000));
  FinderGetDevices(devices);
  ASSERT_EQ(devices.size(), 202u) << "two passes of 101 datagrams, every one a new device";
  std::set<std::uint32_t> serials;
  std::uint32_t previous = 0;
  for (const DeviceRecord& r : devices) {
    EXPECT_GT(r.serial, previous) << "sorted, one record per serial";
    previous = r.serial;
    serials.insert(r.serial);
  }
  EXPECT_EQ(serials.size(), 202u);
  EXPECT_EQ(FinderStop(), 1);
  EXPECT_FALSE(FinderInstance()->running());
}

TEST_F(Flood, ThreeHundredAnswersPerDiscoveryStayWithinTheBound) {
  FakeDevice fake;
  std::vector<std::string> answers;
  for (std::uint32_t serial = 1; serial <= 300; ++serial) answers.push_back(Announcement(serial));
  fake.AnswerRaw(answers);
  CreateEngine(fake.port(), FastTiming());
  FinderSetNotify(&NotifyCounter::Notify);
  ASSERT_EQ(FinderStart(), 1);
  Watchdog watchdog("engine under a burst", 60);
  ASSERT_TRUE(WaitUntil([] { return FinderInstance()->cyclesCompleted() >= 4; }, 8000));
  DeviceList devices;
  FinderGetDevices(devices);
  EXPECT_GE(devices.size(), 101u);
  EXPECT_LE(devices.size(), 202u) << "at most 101 datagrams in each of two passes";
  EXPECT_GE(NotifyCounter::calls.load(), 1);
}

}  // namespace
}  // namespace velkarin::test
