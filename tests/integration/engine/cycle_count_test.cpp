// The count of completed cycles, by which a caller learns that the published
// list reflects a whole cycle even when nothing changed.
#include "engine_fixture.h"

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

}  // namespace
}  // namespace velkarin::test
