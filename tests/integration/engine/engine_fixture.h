// Shared pieces of the engine's network tests: the engine aimed at a port of
// the test's choosing, with notifications counted.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/finder_facade.h"
#include "engine_aim.h"
#include "notify_counter.h"
#include "waiting.h"

namespace velkarin::test {

// Every test starts and ends without an engine and without hooks.
class EngineNetworkTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // FinderCreate aimed at `port` with `timing`; asserts that an engine exists.
  void CreateEngine(std::uint16_t port, FinderTiming timing);
  // CreateEngine, notifications counted, started; asserts that it started.
  void StartCounting(std::uint16_t port, FinderTiming timing);
  // StartCounting; asserts that the first list is published within `waitMs`.
  void StartAndAwaitFirstList(std::uint16_t port, FinderTiming timing, std::int64_t waitMs);
};

}  // namespace velkarin::test
