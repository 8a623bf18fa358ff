// Waiting in tests: a monotonic clock, polling with a deadline, and a
// watchdog that turns a hang into a failed test.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace velkarin::test {

// Monotonic milliseconds.
std::int64_t NowMs();

// Polls `condition` every 5 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& condition, std::int64_t timeoutMs);

// Ends the process with a message if it is still armed after `seconds`:
// a deadlock then fails the test instead of holding up the suite.
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

}  // namespace velkarin::test
