#include "notify_counter.h"

namespace velkarin::test {

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

}  // namespace velkarin::test
