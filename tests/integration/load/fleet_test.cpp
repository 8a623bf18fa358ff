// A thousand devices answering every discovery at once. A pass takes at
// most 101 datagrams, so a cycle lists at most 202 of them; the test shows
// which, and that the list stays a sorted list of real devices, one record
// each, while cycles go on at their pace.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <vector>

#include "config/config_transaction.h"
#include "devsim_process.h"
#include "engine/finder_facade.h"
#include "load_support.h"
#include "private_network.h"

namespace velkarin::test {
namespace {

constexpr std::uint32_t kFleet = 1000;
constexpr std::uint32_t kFirstSerial = 0x200000;
constexpr std::size_t kMostPerCycle = 2 * 101;

class FleetOfAThousand : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  void TearDown() override {
    FinderStop();
    FinderDestroy();
  }
};

TEST_F(FleetOfAThousand, EachCycleListsAtMostTwoPassesOfDevices) {
  DevsimProcess sim(
      {"--port", "0", "--fleet", std::to_string(kFleet), "--fleet-serial-base", "200000"});
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("a thousand devices", 60);
  FinderSetCreateOptions(BroadcastTo(sim.port()), FinderTiming());
  ASSERT_TRUE(FinderCreate());
  DeviceFinder* finder = FinderInstance();
  const std::int64_t start = NowMs();
  ASSERT_EQ(FinderStart(), 1);

  std::set<std::uint32_t> everListed;
  std::int64_t previousEnd = start;
  for (std::uint32_t cycle = 1; cycle <= 3; ++cycle) {
    ASSERT_TRUE(WaitUntil([&] { return finder->cyclesCompleted() >= cycle; }, 6000));
    const std::int64_t end = NowMs();
    DeviceList devices;
    const auto copyStart = std::chrono::steady_clock::now();
    FinderGetDevices(devices);
    const double copyUs =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - copyStart)
            .count();

    SCOPED_TRACE("cycle " + std::to_string(cycle));
    EXPECT_GE(devices.size(), 101u) << "a pass takes what is queued, up to 101";
    EXPECT_LE(devices.size(), kMostPerCycle);
    std::uint32_t previous = 0;
    std::uint32_t lowest = ~0u;
    std::uint32_t highest = 0;
    for (const DeviceRecord& record : devices) {
      EXPECT_GT(record.serial, previous) << "sorted, one record per device";
      EXPECT_GE(record.serial, kFirstSerial);
      EXPECT_LT(record.serial, kFirstSerial + kFleet);
      EXPECT_EQ(record.statusFlags, 0u);
      previous = record.serial;
      lowest = std::min(lowest, record.serial - kFirstSerial);
      highest = std::max(highest, record.serial - kFirstSerial);
      everListed.insert(record.serial);
    }
    std::printf(
        "cycle %u: %zu of %u devices listed (fleet numbers %u to %u), ended %lld ms after the "
        "last; copy of the list %.1f us\n",
        cycle, devices.size(), kFleet, lowest + 1, highest + 1,
        static_cast<long long>(end - previousEnd), copyUs);
    previousEnd = end;
  }
  std::printf("devices listed in any cycle: %zu of %u\n", everListed.size(), kFleet);
  EXPECT_EQ(FinderStop(), 1);

  // A transaction's poll reads whatever its socket queued in its pause, with
  // no bound of its own: as many devices as the socket holds.
  DeviceCollector collector;
  PollOnce(*finder, collector);
  const DeviceList polled = collector.Snapshot();
  EXPECT_GE(polled.size(), 1u);
  for (const DeviceRecord& record : polled) {
    EXPECT_GE(record.serial, kFirstSerial);
    EXPECT_LT(record.serial, kFirstSerial + kFleet);
  }
  std::printf("one poll of a configuration search: %zu of %u devices\n", polled.size(), kFleet);
}

}  // namespace
}  // namespace velkarin::test
