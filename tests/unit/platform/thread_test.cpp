#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "stack_extent.h"

namespace velkarin::platform {
namespace {

constexpr std::size_t kOneMiB = 1024 * 1024;

struct ThreadRun {
  std::atomic<int> calls{0};
  std::thread::id thread;
  test::StackExtent stack;
  long checksum = 0;
};

void Record(void* argument) {
  auto* run = static_cast<ThreadRun*>(argument);
  run->thread = std::this_thread::get_id();
  run->stack = test::CurrentStackExtent();
  run->calls.fetch_add(1);
}

// Most of a 1 MiB stack in one local array.
constexpr std::size_t kLargeArray = 900 * 1024;

void UseLargeStack(void* argument) {
  auto* run = static_cast<ThreadRun*>(argument);
  volatile char big[kLargeArray];
  for (std::size_t i = 0; i < sizeof big; ++i) big[i] = static_cast<char>(i & 0x7F);
  long sum = 0;
  for (std::size_t i = 0; i < sizeof big; i += 4096) sum += big[i];
  run->checksum = sum;
  run->calls.fetch_add(1);
}

void SleepThenMark(void* argument) {
  SleepMs(150);
  static_cast<ThreadRun*>(argument)->calls.fetch_add(1);
}

// Runs `function` on a thread of `stackSize` bytes to its end: it ran once,
// and the join released the handle, which a second join leaves alone.
void RunToEnd(ThreadFunction function, ThreadRun& run, std::size_t stackSize) {
  ThreadHandle thread = ThreadCreate(function, &run, stackSize);
  ASSERT_TRUE(thread.valid());
  ThreadJoin(thread);
  EXPECT_FALSE(thread.valid());
  EXPECT_EQ(run.calls.load(), 1);
  ThreadJoin(thread);
}

TEST(Thread, RunsTheFunctionWithItsArgumentOnANewThread) {
  ThreadRun run;
  RunToEnd(Record, run, kOneMiB);
  EXPECT_NE(run.thread, std::this_thread::get_id());
}

// What the runtime keeps on a thread's stack besides the function's frames:
// guard pages on Windows; on Linux also thread-local storage, which under a
// sanitizer is more than a megabyte.
#ifdef _WIN32
constexpr std::size_t kRuntimeShare = 256 * 1024;
#else
constexpr std::size_t kRuntimeShare = 2 * kOneMiB;
#endif

TEST(Thread, GetsTheStackSizeItAskedFor) {
  // The size asked for is the function's own. The system's defaults (8 MiB on
  // Linux, 2 MiB for these Windows programs) fail one bound or the other for
  // one of these sizes.
  for (std::size_t asked : {kOneMiB, 3 * kOneMiB}) {
    ThreadRun run;
    RunToEnd(Record, run, asked);
    EXPECT_GE(run.stack.left + 64 * 1024, asked) << "asked " << asked;
    EXPECT_LE(run.stack.total, asked + kRuntimeShare) << "asked " << asked;
  }
}

TEST(Thread, OneMebibyteStackHoldsALargeLocalArray) {
  ThreadRun run;
  RunToEnd(UseLargeStack, run, kOneMiB);
  long expected = 0;
  for (std::size_t i = 0; i < kLargeArray; i += 4096) expected += static_cast<long>(i & 0x7F);
  EXPECT_EQ(run.checksum, expected);
}

TEST(Thread, JoinWaitsForTheEndAndReleasesTheHandle) {
  ThreadRun run;
  RunToEnd(SleepThenMark, run, kOneMiB);
  // Joining a never-made handle does nothing.
  ThreadHandle none;
  ThreadJoin(none);
  EXPECT_FALSE(none.valid());
}

TEST(Thread, ManyThreadsRunAtOnce) {
  constexpr int kThreads = 8;
  ThreadRun runs[kThreads];
  ThreadHandle threads[kThreads];
  for (int i = 0; i < kThreads; ++i) {
    threads[i] = ThreadCreate(SleepThenMark, &runs[i], 64 * 1024);
    ASSERT_TRUE(threads[i].valid());
  }
  for (auto& t : threads) ThreadJoin(t);
  for (auto& r : runs) EXPECT_EQ(r.calls.load(), 1);
}

}  // namespace
}  // namespace velkarin::platform
