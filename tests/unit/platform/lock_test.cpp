#include "platform/lock.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/thread.h"

namespace velkarin::platform {
namespace {

struct Shared {
  Lock lock;
  std::atomic<int> inside{0};
  std::atomic<int> mostInside{0};
  long counter = 0;  // guarded by lock
};

constexpr int kRounds = 20000;

void Hammer(void* argument) {
  auto* shared = static_cast<Shared*>(argument);
  for (int i = 0; i < kRounds; ++i) {
    LockGuard guard(shared->lock);
    const int now = shared->inside.fetch_add(1) + 1;
    int most = shared->mostInside.load();
    while (now > most && !shared->mostInside.compare_exchange_weak(most, now)) {
    }
    // A read-modify-write in two steps: lost updates would show without the lock.
    const long seen = shared->counter;
    if ((i & 1023) == 0) SleepMs(0);
    shared->counter = seen + 1;
    shared->inside.fetch_sub(1);
  }
}

TEST(Lock, ExcludesOtherThreads) {
  constexpr int kThreads = 4;
  Shared shared;
  ThreadHandle threads[kThreads];
  for (auto& t : threads) {
    t = ThreadCreate(Hammer, &shared, 256 * 1024);
    ASSERT_TRUE(t.valid());
  }
  for (auto& t : threads) ThreadJoin(t);
  EXPECT_EQ(shared.counter, static_cast<long>(kThreads) * kRounds);
  EXPECT_EQ(shared.mostInside.load(), 1);
}

struct Waiter {
  Lock* lock;
  std::atomic<bool> acquired{false};
};

void AcquireOnce(void* argument) {
  auto* waiter = static_cast<Waiter*>(argument);
  waiter->lock->Acquire();
  waiter->acquired.store(true);
  waiter->lock->Release();
}

TEST(Lock, AnotherThreadWaitsUntilRelease) {
  Lock lock;
  Waiter waiter{&lock};
  lock.Acquire();
  ThreadHandle thread = ThreadCreate(AcquireOnce, &waiter, 256 * 1024);
  ASSERT_TRUE(thread.valid());
  SleepMs(200);
  EXPECT_FALSE(waiter.acquired.load());
  lock.Release();
  ThreadJoin(thread);
  EXPECT_TRUE(waiter.acquired.load());
}

}  // namespace
}  // namespace velkarin::platform
