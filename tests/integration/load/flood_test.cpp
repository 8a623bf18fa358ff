// Ten seconds of announcements at the simulator's full speed (well over
// 100,000 a second on an ordinary machine), aimed at a running engine with its
// real timing: every pass still ends after 101 datagrams, cycles go on,
// memory stays flat, stop answers at once, and once the flood is over the
// next cycle lists only the devices that really answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "devsim_process.h"
#include "engine/finder_facade.h"
#include "load_support.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "private_network.h"

namespace velkarin::test {
namespace {

constexpr std::uint32_t kQuietSerial = 0x500000;
constexpr std::int64_t kFloodMs = 10000;
constexpr std::size_t kMostPerCycle = 2 * 101;  // two passes of at most 101 datagrams
constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kMemoryBound = 64 * kMiB;

// Ends the flooding device's flood: the device vanishes once it has accepted
// a command, and its reply tells that the command was taken.
bool EndFlood(std::uint16_t simulatorPort) {
  UdpChannel channel(BroadcastTo(simulatorPort));
  const std::string command = "100000 5 0 10.0.0.9 255.0.0.0 10.0.0.1";
  if (channel.SendRaw(command.data(), command.size()) <= 0) return false;
  const std::int64_t end = NowMs() + 5000;
  char reply[128];
  while (NowMs() < end) {
    if (platform::SocketWaitReadable(channel.socket(), 100) != 1) continue;
    const int length =
        platform::SocketReceiveFrom(channel.socket(), reply, sizeof reply, nullptr, nullptr);
    if (length > 0 && std::string(reply, static_cast<std::size_t>(length)) == "100000 5 1") {
      return true;
    }
  }
  return false;
}

class EngineUnderFlood : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  void TearDown() override {
    FinderStop();
    FinderDestroy();
  }
};

TEST_F(EngineUnderFlood, TenSecondsKeepCyclesBoundedMemoryFlatAndStopPrompt) {
  // Each flood datagram announces a new serial number, so a cycle's list
  // counts the datagrams it took.
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=500000,name=Quiet,ip=10.0.0.5,netmask=255.0.0.0,gateway=10.0.0.1",
                     "--device",
                     "serial=100000,name=Flood,ip=10.0.0.6,repeat=0,floodRate=1000000,"
                     "floodDurationMs=5000,floodVary=true,afterAccept=vanish"});
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("engine under a ten-second flood", 120);

  FinderSetCreateOptions(BroadcastTo(sim.port()), FinderTiming());
  ASSERT_TRUE(FinderCreate());
  DeviceFinder* finder = FinderInstance();
  DeviceList devices;
  const std::uint64_t residentBefore = ResidentBytes();
  ASSERT_EQ(FinderStart(), 1);  // the first discovery starts the flood
  const std::int64_t floodStart = NowMs();

  // Memory every 50 ms; the list whenever a cycle has ended (it changes only
  // then, and copies of it are all this thread allocates).
  std::uint64_t residentMost = residentBefore;
  std::uint32_t cyclesSeen = 0;
  std::string sizes;
  std::size_t largestList = 0;
  while (NowMs() - floodStart < kFloodMs) {
    platform::SleepMs(50);
    residentMost = std::max(residentMost, ResidentBytes());
    if (finder->cyclesCompleted() == cyclesSeen) continue;
    cyclesSeen = finder->cyclesCompleted();
    FinderGetDevices(devices);
    sizes += " " + std::to_string(devices.size());
    largestList = std::max(largestList, devices.size());
    ASSERT_LE(devices.size(), kMostPerCycle) << "a pass took more than 101 datagrams";
  }
  const std::uint32_t floodCycles = finder->cyclesCompleted();

  // Stop under the flood: the passes end after 101 datagrams each, so only
  // the pause after them and the wait's poll stand between stop and its end.
  std::int64_t stopStart = NowMs();
  EXPECT_EQ(FinderStop(), 1);
  const std::int64_t stopUnderFloodMs = NowMs() - stopStart;
  EXPECT_FALSE(finder->running());
  EXPECT_LT(stopUnderFloodMs, 1500);
  const std::uint64_t residentAfter = ResidentBytes();

  ASSERT_TRUE(EndFlood(sim.port())) << "the flooding device did not take its command";
  const std::int64_t floodMs = NowMs() - floodStart;
  const SentFigures sent = CountSent(sim.directory() + "/devsim.log");

  // Cycles went on at their pace, each ending on its bound.
  EXPECT_GE(floodCycles, 3u);
  EXPECT_EQ(largestList, kMostPerCycle) << "the flood never filled a pass";
  EXPECT_GT(sent.datagrams, 100000u) << "no flood to speak of";
  EXPECT_LT(residentMost - residentBefore, kMemoryBound);

  // The flood's leftovers queued on the engine's socket are discarded when
  // the next cycle begins, not taken as answers. A stop that meets that
  // cycle's collection waits for it: the discard, two runs of ten empty
  // receives (2 x 10 x 60 ms) and the pause after them, nominally 1.3 s,
  // noticed at stop's next 100 ms look; then the cycle is published.
  ASSERT_EQ(FinderStart(), 1);
  platform::SleepMs(50);
  stopStart = NowMs();
  EXPECT_EQ(FinderStop(), 1);
  const std::int64_t stopAfterFloodMs = NowMs() - stopStart;
  EXPECT_LT(stopAfterFloodMs, 2500);
  EXPECT_EQ(finder->cyclesCompleted(), floodCycles + 1);
  FinderGetDevices(devices);
  ASSERT_EQ(devices.size(), 1u) << "leftovers of the flood were listed";
  EXPECT_EQ(devices.front().serial, kQuietSerial);

  std::printf(
      "flood: %llu datagrams sent in %.2f s by the simulator's log = %.0f per second "
      "(%s 100000); %.1f s from the engine's start to the flood's end\n",
      static_cast<unsigned long long>(sent.datagrams), sent.spanSeconds(), sent.perSecond(),
      sent.perSecond() > 100000 ? "above" : "BELOW", static_cast<double>(floodMs) / 1000.0);
  std::printf("cycles completed under the flood: %u; records listed after them:%s (bound %zu)\n",
              floodCycles, sizes.c_str(), kMostPerCycle);
  std::printf("resident memory: %.1f MiB before, at most %.1f MiB during (+%.1f), %.1f MiB after\n",
              static_cast<double>(residentBefore) / kMiB, static_cast<double>(residentMost) / kMiB,
              static_cast<double>(residentMost - residentBefore) / kMiB,
              static_cast<double>(residentAfter) / kMiB);
  std::printf("stop: %lld ms under the flood, %lld ms in the collection after it\n",
              static_cast<long long>(stopUnderFloodMs), static_cast<long long>(stopAfterFloodMs));
}

}  // namespace
}  // namespace velkarin::test
