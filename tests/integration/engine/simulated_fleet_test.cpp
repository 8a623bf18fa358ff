// The engine against velkarin-devsim: a fleet that appears and leaves, a
// device without an address, and floods of announcements.
#include <gtest/gtest.h>

#include <string>

#include "devsim_process.h"
#include "engine_fixture.h"
#include "platform/clock.h"

namespace velkarin::test {
namespace {

#define ASSERT_SIM_READY(sim) ASSERT_TRUE((sim).ready()) << (sim).error()

DeviceList Published() {
  DeviceList devices;
  FinderGetDevices(devices);
  return devices;
}

using SimulatedFleet = EngineNetworkTest;

TEST_F(SimulatedFleet, FleetAppearsWithinOneCycleAndLeavesWhenSilent) {
  DevsimProcess sim({"--port", "0", "--fleet", "50", "--fleet-serial-base", "A00000"});
  ASSERT_SIM_READY(sim);
  ASSERT_NO_FATAL_FAILURE(StartAndAwaitFirstList(sim.port(), FinderTiming(), 3000));
  DeviceList devices = Published();
  ASSERT_EQ(devices.size(), 50u);
  std::uint32_t expected = 0xA00000;
  for (const DeviceRecord& r : devices) {
    EXPECT_EQ(r.serial, expected++);
    EXPECT_EQ(r.statusFlags, 0u);
    EXPECT_EQ(r.netmask, "255.0.0.0");
  }
  EXPECT_EQ(devices.front().name, "Sim device 1");
  EXPECT_EQ(devices.front().ipAddress, "10.0.0.1");

  // The whole fleet goes quiet; the first cycle that begins afterwards
  // publishes an empty list and notifies.
  const int calls = NotifyCounter::calls;
  ASSERT_TRUE(sim.Stop());
  ASSERT_TRUE(WaitUntil([&] { return NotifyCounter::calls > calls; }, 6500));
  EXPECT_TRUE(Published().empty());
}

TEST_F(SimulatedFleet, UnconfiguredSenderIsListedWithZeroAddresses) {
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=10,name=configured,ip=10.0.0.10,netmask=255.255.255.0,"
                     "gateway=10.0.0.1",
                     "--device",
                     "serial=20,name=\"fresh from the factory\",ip=192.168.0.99,"
                     "netmask=255.255.0.0,gateway=192.168.0.1,unconfigured=true"});
  ASSERT_SIM_READY(sim);
  CreateEngine(sim.port(), FastTiming());
  ASSERT_EQ(FinderStart(), 1);
  ASSERT_TRUE(WaitUntil([] { return FinderInstance()->listChanged(); }, 5000));
  const DeviceList devices = Published();
  ASSERT_EQ(devices.size(), 2u);
  const DeviceRecord& configured = devices.front();
  const DeviceRecord& bare = devices.back();
  EXPECT_EQ(configured.ipAddress, "10.0.0.10");
  EXPECT_EQ(configured.netmask, "255.255.255.0");
  EXPECT_EQ(configured.gateway, "10.0.0.1");
  EXPECT_EQ(bare.serial, 0x20u);
  EXPECT_EQ(bare.name, "fresh from the factory");
  EXPECT_EQ(bare.ipAddress, "0.0.0.0");
  EXPECT_EQ(bare.netmask, "0.0.0.0");
  EXPECT_EQ(bare.gateway, "0.0.0.0");
}

TEST_F(SimulatedFleet, ThreeHundredAnnouncementsPerDiscoveryDoNotHoldTheCycle) {
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=100000,ip=10.9.0.1,floodPerDiscovery=300,floodVary=true"});
  ASSERT_SIM_READY(sim);
  ASSERT_NO_FATAL_FAILURE(StartCounting(sim.port(), FastTiming()));
  Watchdog watchdog("engine under a simulated flood", 60);
  ASSERT_TRUE(WaitUntil([] { return FinderInstance()->cyclesCompleted() >= 4; }, 8000));
  const DeviceList devices = Published();
  EXPECT_GE(devices.size(), 101u);
  EXPECT_LE(devices.size(), 202u) << "at most 101 datagrams in each of two passes";
  EXPECT_EQ(FinderStop(), 1);
}

TEST_F(SimulatedFleet, ContinuousFloodEndsEachPassAfter101Datagrams) {
  // repeat=0: no ordinary answer beside the flood, so every datagram carries
  // a serial of its own.
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=200000,ip=10.9.0.2,repeat=0,floodRate=20000,floodDurationMs=30000,"
                     "floodVary=true"});
  ASSERT_SIM_READY(sim);
  ASSERT_NO_FATAL_FAILURE(StartCounting(sim.port(), FastTiming()));
  Watchdog watchdog("engine under a continuous flood", 60);
  // Without the bound the pass that meets the flood would never end.
  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls >= 1; }, 5000));
  EXPECT_LE(Published().size(), 202u);
  // The flood begins with the first discovery; the cycles after the first
  // run wholly under it.
  const std::uint32_t cycles = FinderInstance()->cyclesCompleted();
  ASSERT_TRUE(WaitUntil([&] { return FinderInstance()->cyclesCompleted() >= cycles + 3; }, 8000));
  const DeviceList devices = Published();
  ASSERT_EQ(devices.size(), 202u) << "two passes of 101 datagrams, every one a new device";
  std::uint32_t previous = 0;
  for (const DeviceRecord& r : devices) {
    EXPECT_GT(r.serial, previous) << "sorted, one record per serial";
    previous = r.serial;
  }
  EXPECT_EQ(FinderStop(), 1);
  EXPECT_FALSE(FinderInstance()->running());
}

// More devices than one pass takes: each pass ends after 101 datagrams and
// leaves the rest queued. Those belong to an earlier cycle and must not make
// up a later cycle's result: the list stays complete while the fleet
// answers and empties at the first cycle after it went quiet.
TEST_F(SimulatedFleet, FleetLargerThanOnePassStaysCompleteAndCurrent) {
  DevsimProcess sim({"--port", "0", "--fleet", "200", "--fleet-serial-base", "B00000"});
  ASSERT_SIM_READY(sim);
  ASSERT_NO_FATAL_FAILURE(StartCounting(sim.port(), FastTiming()));
  for (std::uint32_t cycle = 1; cycle <= 8; ++cycle) {
    ASSERT_TRUE(WaitUntil([&] { return FinderInstance()->cyclesCompleted() >= cycle; }, 5000));
    EXPECT_EQ(FinderInstance()->CopyOut().size(), 200u) << "after cycle " << cycle;
  }
  EXPECT_EQ(NotifyCounter::calls.load(), 1) << "an unchanged fleet is published once";

  ASSERT_TRUE(sim.Stop());
  const std::uint32_t quietFrom = FinderInstance()->cyclesCompleted() + 2;
  ASSERT_TRUE(WaitUntil([&] { return FinderInstance()->cyclesCompleted() >= quietFrom; }, 5000));
  EXPECT_TRUE(FinderInstance()->CopyOut().empty());
}

}  // namespace
}  // namespace velkarin::test
