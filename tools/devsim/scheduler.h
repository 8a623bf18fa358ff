// Timed actions of the simulator's single thread: delayed announcements and
// replies, configuration changes, flood ticks.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

namespace velkarin::devsim {

using Clock = std::chrono::steady_clock;

class Scheduler {
 public:
  void At(Clock::time_point when, std::function<void()> action);
  void After(int delayMs, std::function<void()> action) {
    At(Clock::now() + std::chrono::milliseconds(delayMs), std::move(action));
  }
  // Runs every action that is due, in time order (equal times in the order
  // they were added).
  void RunDue();
  // Milliseconds until the next action (0 if one is due), or -1 when none waits.
  int MsUntilNext() const;
  bool empty() const { return queue_.empty(); }

 private:
  struct Entry {
    Clock::time_point when;
    std::uint64_t sequence;
    std::function<void()> action;
  };
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      return a.when != b.when ? a.when > b.when : a.sequence > b.sequence;
    }
  };
  std::priority_queue<Entry, std::vector<Entry>, Later> queue_;
  std::uint64_t sequence_ = 0;
};

}  // namespace velkarin::devsim
