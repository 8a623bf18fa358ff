#include "scheduler.h"

namespace velkarin::devsim {

void Scheduler::At(Clock::time_point when, std::function<void()> action) {
  queue_.push(Entry{when, sequence_++, std::move(action)});
}

void Scheduler::RunDue() {
  const Clock::time_point now = Clock::now();
  while (!queue_.empty() && queue_.top().when <= now) {
    std::function<void()> action = queue_.top().action;
    queue_.pop();
    action();
  }
}

int Scheduler::MsUntilNext() const {
  if (queue_.empty()) return -1;
  auto wait = queue_.top().when - Clock::now();
  if (wait <= Clock::duration::zero()) return 0;
  // Rounded up so that the wake-up does not come before the action is due.
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

}  // namespace velkarin::devsim
