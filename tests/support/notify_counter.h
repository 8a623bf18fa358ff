// Counts the engine's notifications; installed with FinderSetNotify.
#pragma once
#include <atomic>

namespace velkarin::test {

struct NotifyCounter {
  static void Notify(void* finder);
  static void Reset();
  static std::atomic<int> calls;
  static std::atomic<void*> lastFinder;
};

}  // namespace velkarin::test
