// Pieces shared by the load tests: waiting with a deadline, a watchdog that
// ends a test that hangs, the process's resident memory, and figures about
// what the simulator sent.
#pragma once
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/device_finder.h"

namespace velkarin::test {

Destination BroadcastTo(std::uint16_t port);

// Polls `condition` every 5 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& condition, std::int64_t timeoutMs);

// Ends the process with a message if it is still armed after `seconds`:
// a hang then fails the test instead of holding up the suite.
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

// Resident memory of this process in bytes (0 where it cannot be read).
std::uint64_t ResidentBytes();

// Monotonic milliseconds.
std::int64_t NowMs();

// What a simulator's log says it sent: datagrams and the span between the
// first and the last one, read line by line (the log of a flood is large).
struct SentFigures {
  std::uint64_t datagrams = 0;
  double firstSecond = 0;  // seconds of the day, as logged
  double lastSecond = 0;
  double spanSeconds() const;
  double perSecond() const;
};
SentFigures CountSent(const std::string& logPath);

}  // namespace velkarin::test
