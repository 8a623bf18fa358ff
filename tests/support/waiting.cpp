#include "waiting.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"

namespace velkarin::test {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool WaitUntil(const std::function<bool()>& condition, std::int64_t timeoutMs) {
  const std::int64_t start = NowMs();
  for (;;) {
    if (condition()) return true;
    if (NowMs() - start >= timeoutMs) return condition();
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

}  // namespace velkarin::test
