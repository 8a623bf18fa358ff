#include "engine_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/pump.h"
#include "private_network.h"

namespace velkarin::test {

FinderTiming FastTiming() {
  FinderTiming timing;
  timing.cyclePeriodMs = 300;
  timing.idleSleepMs = 5;
  timing.pauseAfterPassesMs = 10;
  timing.pollMs = 10;
  return timing;
}

Destination BroadcastTo(std::uint16_t port) {
  Destination destination;
  destination.address = kBroadcastAddress;
  destination.port = port;
  return destination;
}

std::atomic<int> NotifyCounter::calls{0};
std::atomic<void*> NotifyCounter::lastFinder{nullptr};

void NotifyCounter::Notify(void* finder) {
  lastFinder = finder;
  ++calls;
}

void NotifyCounter::Reset() {
  calls = 0;
  lastFinder = nullptr;
}

bool WaitUntil(const std::function<bool()>& condition, std::int64_t timeoutMs) {
  const std::int64_t start = platform::ProcessClockMs();
  for (;;) {
    if (condition()) return true;
    if (platform::ProcessClockMs() - start >= timeoutMs) return condition();
    platform::SleepMs(5);
  }
}

Watchdog::Watchdog(const char* what, int seconds)
    : thread_([this, what, seconds] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return disarmed_; })) {
          std::fprintf(stderr, "watchdog: %s did not finish within %d s\n", what, seconds);
          std::fflush(stderr);
          std::_Exit(2);
        }
      }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    disarmed_ = true;
  }
  done_.notify_all();
  thread_.join();
}

void EngineNetworkTest::SetUp() {
  REQUIRE_PRIVATE_NETWORK();
  ASSERT_EQ(FinderInstance(), nullptr);
  NotifyCounter::Reset();
}

void EngineNetworkTest::TearDown() {
  FinderSetNotify(nullptr);
  FinderStop();
  FinderDestroy();
  platform::SetServeSentHook(nullptr, nullptr);
}

void EngineNetworkTest::CreateEngine(std::uint16_t port, FinderTiming timing) {
  FinderSetCreateOptions(BroadcastTo(port), timing);
  ASSERT_TRUE(FinderCreate());
  ASSERT_NE(FinderInstance(), nullptr);
}

}  // namespace velkarin::test
