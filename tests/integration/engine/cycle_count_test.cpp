// What a cycle counts: the cycles completed, by which a caller learns that the
// published list reflects a whole cycle even when nothing changed, and the
// sends and receives that make up a quiet cycle.
#include "engine_fixture.h"
#include "platform/faults.h"

namespace velkarin::test {
namespace {

TEST_F(EngineNetworkTest, CyclesAreCountedOnAQuietNetworkWithoutAnyChange) {
  Watchdog watchdog("cycle count", 60);
  // A port nobody listens on: every cycle ends empty.
  DeviceFinder finder(BroadcastTo(9), FastTiming());
  EXPECT_EQ(finder.cyclesCompleted(), 0u);
  ASSERT_TRUE(finder.Start());
  ASSERT_TRUE(WaitUntil([&] { return finder.cyclesCompleted() >= 3; }, 20000));
  EXPECT_FALSE(finder.listChanged());
  EXPECT_TRUE(finder.CopyOut().empty());
  finder.Stop();
  // Counted only by the worker: nothing moves once it has ended.
  const std::uint32_t stopped = finder.cyclesCompleted();
  EXPECT_FALSE(WaitUntil([&] { return finder.cyclesCompleted() != stopped; }, 700));
}

// The length of a quiet cycle is set by its counts: two passes, each one
// discovery and then ten empty receives (each followed by the idle sleep)
// before it gives up. One receive more would make every cycle longer; the
// faults count the calls, each of which then fails as on a silent network.
TEST_F(EngineNetworkTest, AQuietCycleIsTwoDiscoveriesOfTenEmptyReceivesEach) {
  Watchdog watchdog("quiet cycle counts", 60);
  platform::ClearFaults();
  DeviceFinder finder(BroadcastTo(9), FastTiming());
  {
    platform::ScopedFault countSends(platform::Fault::SOCKET_SEND);
    platform::ScopedFault countReceives(platform::Fault::SOCKET_RECEIVE);
    ASSERT_TRUE(finder.Start());
    ASSERT_TRUE(WaitUntil([&] { return finder.cyclesCompleted() >= 3; }, 20000));
    // A cycle under way when the stop comes is finished and counted.
    finder.Stop();
  }
  const std::uint32_t cycles = finder.cyclesCompleted();
  EXPECT_EQ(platform::FaultHits(platform::Fault::SOCKET_SEND), 2 * cycles);
  EXPECT_EQ(platform::FaultHits(platform::Fault::SOCKET_RECEIVE), 20 * cycles);
  platform::ClearFaults();
}

}  // namespace
}  // namespace velkarin::test
