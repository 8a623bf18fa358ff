// Shared pieces of the engine's network tests: the engine aimed at a port of
// the test's choosing, a recorder of notifications, waiting with a deadline,
// and a watchdog that ends a test that hangs.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/finder_facade.h"

namespace velkarin::test {

// Short constants for tests that need many cycles; one cycle takes about
// 2 x 10 x 5 ms + 10 ms of collection and ends 300 ms after it began.
FinderTiming FastTiming();

Destination BroadcastTo(std::uint16_t port);

// Counts the engine's notifications; installed with FinderSetNotify.
struct NotifyCounter {
  static void Notify(void* finder);
  static void Reset();
  static std::atomic<int> calls;
  static std::atomic<void*> lastFinder;
};

// Polls `condition` every 5 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& condition, std::int64_t timeoutMs);

// Ends the process with a message if it is still armed after `seconds`:
// a deadlock then fails the test instead of hanging the suite.
class Watchdog {
 public:
  Watchdog(const char* what, int seconds);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool disarmed_ = false;
  std::thread thread_;
};

// Every test starts and ends without an engine and without hooks.
class EngineNetworkTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // FinderCreate aimed at `port` with `timing`; asserts that an engine exists.
  void CreateEngine(std::uint16_t port, FinderTiming timing);
};

}  // namespace velkarin::test
