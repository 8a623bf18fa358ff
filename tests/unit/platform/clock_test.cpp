#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace velkarin::platform {
namespace {

class TickBias : public testing::Test {
 protected:
  void TearDown() override { SetTickCountBias(0); }
};

// Puts the biased count `below` milliseconds short of its wrap.
void PutCountBelowWrap(std::uint32_t below) {
  SetTickCountBias(0);
  SetTickCountBias(0xFFFFFFFFu - below - TickCountMs());
}

TEST_F(TickBias, ElapsedTimeStaysRightAcrossTheWrap) {
  PutCountBelowWrap(100);
  const std::uint32_t start = TickCountMs();
  EXPECT_GT(start, 0xFFFFFFFFu - 1000u);
  SleepMs(300);
  const std::uint32_t now = TickCountMs();
  EXPECT_LT(now, start) << "the count should have wrapped";
  // The count may move in steps of the system timer (about 16 ms on Windows).
  const std::uint32_t elapsed = TickElapsed(start, now);
  EXPECT_GE(elapsed + 16, 300u);
  EXPECT_LT(elapsed, 10000u);
}

TEST_F(TickBias, ElapsedArithmetic) {
  EXPECT_EQ(TickElapsed(0xFFFFFFF0u, 0x10u), 0x20u);
  EXPECT_EQ(TickElapsed(0xFFFFFFFFu, 0u), 1u);
  EXPECT_EQ(TickElapsed(5u, 5u), 0u);
  EXPECT_EQ(TickElapsed(100u, 7100u), 7000u);
}

TEST_F(TickBias, BiasShiftsTheCount) {
  SetTickCountBias(0);
  const std::uint32_t plain = TickCountMs();
  SetTickCountBias(0x80000000u);
  const std::uint32_t shifted = TickCountMs();
  EXPECT_LT(TickElapsed(plain + 0x80000000u, shifted), 1000u);
}

TEST(Clock, SleepLastsAtLeastItsTime) {
  for (std::uint32_t ms : {1u, 60u, 250u}) {
    const std::int64_t before = ProcessClockMs();
    const std::uint32_t tickBefore = TickCountMs();
    SleepMs(ms);
    const std::int64_t slept = ProcessClockMs() - before;
    // The tick count may run in steps of the system timer (about 16 ms on
    // Windows); allow one step.
    const std::uint32_t ticked = TickElapsed(tickBefore, TickCountMs());
    EXPECT_GE(slept + 1, static_cast<std::int64_t>(ms)) << ms;
    EXPECT_GE(ticked + 16, ms) << ms;
  }
}

TEST(Clock, ProcessClockCountsFromProcessStartAndNeverGoesBack) {
  const std::int64_t first = ProcessClockMs();
  EXPECT_GE(first, 0);
  // The test program has been running for less than an hour.
  EXPECT_LT(first, 3600 * 1000);
  std::int64_t last = first;
  for (int i = 0; i < 1000; ++i) {
    const std::int64_t now = ProcessClockMs();
    ASSERT_GE(now, last);
    last = now;
  }
  SleepMs(120);
  EXPECT_GE(ProcessClockMs() - first, 119);
}

}  // namespace
}  // namespace velkarin::platform
