// The engine when the platform fails under it: a channel that cannot be
// opened, or that cannot send or receive, leaves a running engine with an
// empty list; no thread for the worker makes start fail and leaves stop and
// destroy prompt; memory running out costs a cycle or a copy, never the
// process.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "config/config_transaction.h"
#include "engine/finder_facade.h"
#include "fault_fixture.h"
#include "platform/clock.h"

namespace velkarin::test {
namespace {

using platform::Fault;

bool ChannelOpensAtConstruction(Fault fault) {
  return fault == Fault::SOCKETS_STARTUP || fault == Fault::SOCKET_CREATE ||
         fault == Fault::SOCKET_BIND;
}

// Starts an engine aimed at the simulator, with the notification counted.
DeviceFinder* StartEngine(const DevsimProcess& sim) {
  FinderSetCreateOptions(BroadcastTo(sim.port()), FastTiming());
  if (!FinderCreate()) return nullptr;
  FinderSetNotify(&NotifyCounter::Notify);
  if (FinderStart() != 1) return nullptr;
  return FinderInstance();
}

void EndEngine() {
  FinderSetNotify(nullptr);
  EXPECT_EQ(FinderStop(), 1);
  EXPECT_TRUE(FinderDestroy());
  EXPECT_EQ(FinderInstance(), nullptr);
}

bool ListsOnlyTheDevice(const DeviceList& devices) {
  return devices.size() == 1 && devices.front().serial == kDeviceSerial;
}

TEST_F(FaultTest, EverySocketFaultLeavesARunningEngineWithAnEmptyList) {
  DevsimProcess sim(OneDevice());
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("engine under socket faults", 120);

  for (const NamedFault& f : SocketFaults()) {
    SCOPED_TRACE(f.name);
    NotifyCounter::calls = 0;
    const Traffic before = TrafficOf(sim);
    platform::SetFault(f.fault, true);
    DeviceFinder* finder = StartEngine(sim);
    ASSERT_NE(finder, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return finder->cyclesCompleted() >= 4; }, 10000));

    DeviceList devices(1);  // a caller's stale row must go as well
    FinderGetDevices(devices);
    EXPECT_TRUE(devices.empty());
    EXPECT_FALSE(finder->listChanged());
    EXPECT_EQ(NotifyCounter::calls.load(), 0);
    const Traffic during = TrafficOf(sim);
    if (f.fault == Fault::SOCKET_RECEIVE) {
      // The device was asked and answered; only the engine did not hear it.
      EXPECT_GT(during.discoveries, before.discoveries);
    } else {
      EXPECT_EQ(during.discoveries, before.discoveries) << "nothing may leave a failed channel";
    }
    platform::SetFault(f.fault, false);

    if (ChannelOpensAtConstruction(f.fault)) {
      // The engine's channel was given up when it was made; the engine keeps
      // running deaf, and a new engine hears the device again.
      const std::uint32_t cycles = finder->cyclesCompleted();
      ASSERT_TRUE(WaitUntil([&] { return finder->cyclesCompleted() >= cycles + 3; }, 10000));
      FinderGetDevices(devices);
      EXPECT_TRUE(devices.empty());
      EXPECT_EQ(NotifyCounter::calls.load(), 0);
      EndEngine();
      finder = StartEngine(sim);
      ASSERT_NE(finder, nullptr);
    }
    // Without the fault the device is found: the fault alone kept the list empty.
    EXPECT_TRUE(WaitUntil([] { return NotifyCounter::calls.load() >= 1; }, 5000));
    FinderGetDevices(devices);
    EXPECT_TRUE(ListsOnlyTheDevice(devices)) << devices.size() << " records";
    EndEngine();
  }
}

TEST_F(FaultTest, NoThreadForTheWorkerFailsStartOnly) {
  DevsimProcess sim(OneDevice());
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("engine without a worker thread", 120);
  FinderSetCreateOptions(BroadcastTo(sim.port()), FastTiming());

  {
    platform::ScopedFault noThreads(Fault::THREAD_CREATE);
    // Made, failed to start, destroyed at once.
    ASSERT_TRUE(FinderCreate());
    EXPECT_EQ(FinderStart(), -1);
    EXPECT_FALSE(FinderInstance()->running());
    EXPECT_TRUE(FinderDestroy());
    EXPECT_EQ(FinderInstance(), nullptr);

    // Made, failed to start, then used as the page would.
    FinderSetCreateOptions(BroadcastTo(sim.port()), FastTiming());
    ASSERT_TRUE(FinderCreate());
    FinderSetNotify(&NotifyCounter::Notify);
    EXPECT_EQ(FinderStart(), -1);
    EXPECT_FALSE(FinderInstance()->running());
    const std::int64_t stopStart = NowMs();
    EXPECT_EQ(FinderStop(), 1);
    EXPECT_LT(NowMs() - stopStart, 500) << "no worker to wait for";
    platform::SleepMs(1000);
    EXPECT_EQ(FinderInstance()->cyclesCompleted(), 0u);
    EXPECT_EQ(TrafficOf(sim).discoveries, 0u);
    EXPECT_EQ(NotifyCounter::calls.load(), 0);
  }

  // Threads again: the same engine starts and finds the device.
  ASSERT_EQ(FinderStart(), 1);
  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls.load() >= 1; }, 5000));
  DeviceList devices;
  FinderGetDevices(devices);
  EXPECT_TRUE(ListsOnlyTheDevice(devices));

  {
    platform::ScopedFault noThreads(Fault::THREAD_CREATE);
    // A start that cannot make the next worker has still ended the last one.
    EXPECT_EQ(FinderStart(), -1);
    EXPECT_FALSE(FinderInstance()->running());
    const std::uint32_t cycles = FinderInstance()->cyclesCompleted();
    platform::SleepMs(1000);
    EXPECT_EQ(FinderInstance()->cyclesCompleted(), cycles);
    const std::int64_t stopStart = NowMs();
    EXPECT_EQ(FinderStop(), 1);
    EXPECT_LT(NowMs() - stopStart, 500);

    // The published list stays as the last worker left it, and a
    // configuration needs no thread of its own.
    FinderGetDevices(devices);
    EXPECT_TRUE(ListsOnlyTheDevice(devices));
    FastTransactionClock clock(500);
    EXPECT_EQ(FinderConfigure(NewConfiguration()), CONFIG_OK);
  }
  EXPECT_EQ(TrafficOf(sim).commands, 1u);

  FinderSetNotify(nullptr);
  EXPECT_TRUE(FinderDestroy());
  EXPECT_EQ(FinderInstance(), nullptr);
  EXPECT_EQ(FinderStart(), -1);
  EXPECT_EQ(FinderStop(), -1);
}

TEST_F(FaultTest, MemoryRunningOutCostsTheCycleAndKeepsTheLastList) {
  DevsimProcess sim(OneDevice());
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("engine without memory", 120);
  const auto hits = [] { return platform::FaultHits(Fault::ALLOCATION); };
  DeviceFinder* finder = StartEngine(sim);
  ASSERT_NE(finder, nullptr);
  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls.load() >= 1; }, 5000));
  DeviceList devices;
  FinderGetDevices(devices);
  ASSERT_TRUE(ListsOnlyTheDevice(devices));

  // Every cycle fails from here on, while the device goes away.
  platform::SetFault(Fault::ALLOCATION, true);
  ASSERT_TRUE(WaitUntil([&] { return hits() >= 1; }, 5000));
  const std::uint32_t cycles = finder->cyclesCompleted();
  const int notifications = NotifyCounter::calls.load();
  ASSERT_TRUE(sim.Stop());
  const std::uint32_t hitsWithoutDevice = hits();
  // The second of these cycles began after the device had gone.
  ASSERT_TRUE(WaitUntil([&] { return hits() >= hitsWithoutDevice + 2; }, 5000));
  EXPECT_TRUE(finder->running());
  EXPECT_EQ(finder->cyclesCompleted(), cycles);
  EXPECT_EQ(NotifyCounter::calls.load(), notifications);
  // Stopped meanwhile, the worker leaves the list it published last.
  EXPECT_EQ(FinderStop(), 1);
  platform::SetFault(Fault::ALLOCATION, false);
  FinderGetDevices(devices);
  EXPECT_TRUE(ListsOnlyTheDevice(devices)) << devices.size() << " records";

  // A worker failing from its first cycle on publishes once memory is back.
  platform::SetFault(Fault::ALLOCATION, true);
  const std::uint32_t hitsBeforeStart = hits();
  ASSERT_EQ(FinderStart(), 1);
  ASSERT_TRUE(WaitUntil([&] { return hits() >= hitsBeforeStart + 2; }, 5000));
  EXPECT_EQ(finder->cyclesCompleted(), cycles);
  platform::SetFault(Fault::ALLOCATION, false);
  ASSERT_TRUE(WaitUntil([&] { return NotifyCounter::calls.load() > notifications; }, 5000));
  FinderGetDevices(devices);
  EXPECT_TRUE(devices.empty());

  // A copy that fails leaves the caller's list as it was, and the worker
  // offers the list again although it has not changed.
  const int beforeFailedCopy = NotifyCounter::calls.load();
  DeviceList callers(1);
  {
    platform::ScopedFault noMemory(Fault::ALLOCATION);
    FinderGetDevices(callers);
  }
  ASSERT_EQ(callers.size(), 1u);
  EXPECT_EQ(callers.front().serial, 0u);
  ASSERT_TRUE(WaitUntil([&] { return NotifyCounter::calls.load() > beforeFailedCopy; }, 5000));
  FinderGetDevices(callers);
  EXPECT_TRUE(callers.empty());
  EndEngine();
}

TEST_F(FaultTest, MemoryRunningOutFailsAConfigurationRunAlone) {
  DevsimProcess sim(OneDevice());
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("configuration without memory", 120);
  FinderSetCreateOptions(BroadcastTo(sim.port()), FastTiming());
  ASSERT_TRUE(FinderCreate());
  FastTransactionClock clock(500);
  const std::vector<std::pair<const char*, std::function<bool()>>> runs = {
      {"configure", [] { return FinderConfigure(NewConfiguration()) == CONFIG_OK; }},
      {"wait for the device",
       [] {
         DeviceRecord found;
         return FinderWaitForDevice(kDeviceSerial, 2000, found) && found.serial == kDeviceSerial;
       }},
  };
  for (const auto& [name, run] : runs) {
    SCOPED_TRACE(name);
    const std::uint32_t hits = platform::FaultHits(Fault::ALLOCATION);
    const std::size_t commands = TrafficOf(sim).commands;
    {
      platform::ScopedFault noMemory(Fault::ALLOCATION);
      EXPECT_FALSE(run());
    }
    EXPECT_GT(platform::FaultHits(Fault::ALLOCATION), hits) << "nothing met the failure";
    EXPECT_EQ(TrafficOf(sim).commands, commands);
    // The failure alone made it fail.
    EXPECT_TRUE(run());
  }
}

}  // namespace
}  // namespace velkarin::test
