// Creating, starting, stopping and destroying the engine in the orders that
// can happen, including the ones that race the worker or its notification.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "engine_fixture.h"
#include "fake_device.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace velkarin::test {
namespace {

FakeAnnouncement OneDevice() {
  FakeAnnouncement device;
  device.serial = 0xC0FFEE;
  device.name = "lifecycle";
  device.ip = "10.0.0.42";
  return device;
}

// Minimal collection: two receives of 1 ms per pass, 1 ms polls.
FinderTiming QuickTiming() {
  FinderTiming timing;
  timing.cyclePeriodMs = 50;
  timing.idleSleepMs = 1;
  timing.idleReceivesPerPass = 2;
  timing.pauseAfterPassesMs = 1;
  timing.pollMs = 1;
  return timing;
}

using Lifecycle = EngineNetworkTest;

TEST_F(Lifecycle, CreateTwiceStartTwiceStopWhenIdle) {
  FakeDevice fake;
  fake.Answer({OneDevice()});
  CreateEngine(fake.port(), FinderTiming());
  DeviceFinder* first = FinderInstance();
  ASSERT_TRUE(FinderCreate());
  EXPECT_EQ(FinderInstance(), first);

  EXPECT_EQ(FinderStop(), 1) << "no worker yet";
  EXPECT_EQ(FinderStop(), 1);
  EXPECT_EQ(fake.discoveries(), 0);

  ASSERT_EQ(FinderStart(), 1);
  EXPECT_TRUE(first->running());
  ASSERT_TRUE(WaitUntil([] { return FinderInstance()->listChanged(); }, 3000));
  // The first worker now waits for its next cycle, 3000 ms after the last
  // began. A second start ends it and begins a cycle at once.
  const int before = fake.discoveries();
  ASSERT_EQ(before, 2);
  const std::int64_t restarted = platform::ProcessClockMs();
  ASSERT_EQ(FinderStart(), 1);
  EXPECT_TRUE(first->running());
  ASSERT_TRUE(WaitUntil([&] { return fake.discoveries() > before; }, 1000));
  const std::vector<std::int64_t> times = fake.DiscoveryTimes();
  EXPECT_LT(times[2] - times[0], 2500) << "a new cycle began before the old one was due";
  EXPECT_GE(times[2], restarted);

  EXPECT_EQ(FinderStop(), 1);
  EXPECT_FALSE(first->running());
  const int afterStop = fake.discoveries();
  platform::SleepMs(300);
  EXPECT_EQ(fake.discoveries(), afterStop) << "no worker is left";
  EXPECT_EQ(FinderStop(), 1);

  DeviceList devices;
  FinderGetDevices(devices);
  ASSERT_EQ(devices.size(), 1u) << "the published list outlives the worker";
  EXPECT_EQ(devices.front().serial, 0xC0FFEEu);
  EXPECT_TRUE(FinderDestroy());
  EXPECT_EQ(FinderStart(), -1);
  EXPECT_EQ(FinderStop(), -1);
  FinderGetDevices(devices);
  EXPECT_EQ(devices.size(), 1u) << "without an engine the caller's list stays";
}

TEST_F(Lifecycle, StopOrDestroyRightAfterStartNeverLeavesAWorker) {
  FakeDevice fake;
  fake.Answer({OneDevice()});
  Watchdog watchdog("start and stop loop", 240);
  for (int round = 0; round < 300; ++round) {
    CreateEngine(fake.port(), QuickTiming());
    DeviceFinder* finder = FinderInstance();
    FinderSetNotify(&NotifyCounter::Notify);
    ASSERT_EQ(FinderStart(), 1);
    if (round % 3 == 0) {
      // Destroy at once: must wait for the worker that was just made.
      ASSERT_TRUE(FinderDestroy());
      continue;
    }
    ASSERT_EQ(FinderStop(), 1);
    ASSERT_FALSE(finder->running()) << "round " << round;
    if (round % 3 == 1) {
      ASSERT_EQ(FinderStart(), 1);
      ASSERT_EQ(FinderStart(), 1);
    }
    ASSERT_TRUE(FinderDestroy());
  }
  const int discoveries = fake.discoveries();
  platform::SleepMs(100);
  EXPECT_EQ(fake.discoveries(), discoveries) << "a worker outlived its engine";
}

// A notification under way while the page destroys the engine.
struct SlowNotification {
  static std::atomic<int> entered;
  static std::atomic<int> finished;
  static std::atomic<int> copiedRecords;
  static void Notify(void*) {
    ++entered;
    platform::SleepMs(300);
    DeviceList devices;
    FinderGetDevices(devices);  // copies, or finds no engine any more
    copiedRecords = static_cast<int>(devices.size());
    ++finished;
  }
};
std::atomic<int> SlowNotification::entered{0};
std::atomic<int> SlowNotification::finished{0};
std::atomic<int> SlowNotification::copiedRecords{-1};

TEST_F(Lifecycle, DestroyDuringANotificationWaitsForIt) {
  FakeDevice fake;
  fake.Answer({OneDevice()});
  Watchdog watchdog("destroy during notification", 60);
  for (int round = 0; round < 5; ++round) {
    SlowNotification::entered = 0;
    SlowNotification::finished = 0;
    CreateEngine(fake.port(), FastTiming());
    FinderSetNotify(&SlowNotification::Notify);
    ASSERT_EQ(FinderStart(), 1);
    ASSERT_TRUE(WaitUntil([] { return SlowNotification::entered > 0; }, 5000));
    if (round % 2 == 0) FinderSetNotify(nullptr);  // as the page does first
    EXPECT_TRUE(FinderDestroy());
    EXPECT_EQ(SlowNotification::finished.load(), SlowNotification::entered.load())
        << "destroy returned while its worker was still notifying";
    EXPECT_EQ(FinderInstance(), nullptr);
    EXPECT_EQ(SlowNotification::copiedRecords.load(), 0)
        << "the notification found no engine once destroy had begun";
  }
}

TEST_F(Lifecycle, ClearedNotificationIsNotCalledAgain) {
  FakeDevice fake;
  fake.Answer({OneDevice()});
  ASSERT_NO_FATAL_FAILURE(StartAndAwaitFirstList(fake.port(), FastTiming(), 5000));
  FinderSetNotify(nullptr);
  const int calls = NotifyCounter::calls;
  // listChanged stays set (nobody copies), so a notification would repeat.
  const std::uint32_t cycles = FinderInstance()->cyclesCompleted();
  ASSERT_TRUE(WaitUntil([&] { return FinderInstance()->cyclesCompleted() >= cycles + 3; }, 5000));
  EXPECT_TRUE(FinderInstance()->listChanged());
  EXPECT_EQ(NotifyCounter::calls.load(), calls);
  FinderSetNotify(&NotifyCounter::Notify);
  ASSERT_TRUE(WaitUntil([&] { return NotifyCounter::calls > calls; }, 5000));
}

// The page's notification sends a message to the page window and waits until
// it has been handled; that thread may be the one inside FinderStop. Here the
// "message" is a request that the test thread serves from the hook that
// stop runs while it waits.
struct SentMessage {
  static std::mutex mutex;
  static std::condition_variable changed;
  static bool pending;
  static int served;
  static int copiedRecords;

  static void Notify(void*) {
    std::unique_lock<std::mutex> lock(mutex);
    pending = true;
    changed.notify_all();
    changed.wait(lock, [] { return !pending; });
  }
  // Runs on the thread that waits in stop, as a sent message would.
  static void Serve(void*) {
    bool run = false;
    {
      std::lock_guard<std::mutex> guard(mutex);
      run = pending;
    }
    if (!run) return;
    DeviceList devices;
    FinderGetDevices(devices);  // what the page's repaint does
    std::lock_guard<std::mutex> guard(mutex);
    copiedRecords = static_cast<int>(devices.size());
    ++served;
    pending = false;
    changed.notify_all();
  }
};
std::mutex SentMessage::mutex;
std::condition_variable SentMessage::changed;
bool SentMessage::pending = false;
int SentMessage::served = 0;
int SentMessage::copiedRecords = -1;

TEST_F(Lifecycle, StopServesANotificationThatWaitsForIt) {
  FakeDevice fake;
  fake.Answer({OneDevice()});
  CreateEngine(fake.port(), FastTiming());
  FinderSetNotify(&SentMessage::Notify);
  platform::SetServeSentHook(&SentMessage::Serve, nullptr);
  ASSERT_EQ(FinderStart(), 1);
  {
    std::unique_lock<std::mutex> lock(SentMessage::mutex);
    ASSERT_TRUE(SentMessage::changed.wait_for(lock, std::chrono::seconds(10),
                                              [] { return SentMessage::pending; }));
  }
  // The worker is blocked in its notification until this thread serves it.
  Watchdog watchdog("stop while the notification waits for the stopping thread", 30);
  EXPECT_EQ(FinderStop(), 1);
  EXPECT_FALSE(FinderInstance()->running());
  std::lock_guard<std::mutex> guard(SentMessage::mutex);
  EXPECT_EQ(SentMessage::served, 1);
  EXPECT_EQ(SentMessage::copiedRecords, 1);
  EXPECT_FALSE(SentMessage::pending);
}

TEST_F(Lifecycle, DestroyWhileHeldStopsAtOnceAndFreesOnRelease) {
  FakeDevice fake;
  fake.Answer({OneDevice()});
  ASSERT_NO_FATAL_FAILURE(StartAndAwaitFirstList(fake.port(), FastTiming(), 5000));

  DeviceFinder* held = FinderHold();
  ASSERT_NE(held, nullptr);
  EXPECT_TRUE(FinderDestroy());
  EXPECT_EQ(FinderInstance(), nullptr);
  EXPECT_FALSE(held->running()) << "the worker ends with the destroy, not with the release";
  const int discoveries = fake.discoveries();
  const int calls = NotifyCounter::calls;
  platform::SleepMs(400);
  EXPECT_EQ(fake.discoveries(), discoveries);
  EXPECT_EQ(NotifyCounter::calls.load(), calls);
  // The holder may still use it.
  const DeviceList devices = held->CopyOut();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices.front().serial, 0xC0FFEEu);
  FinderRelease(held);  // frees it (the sanitizer builds would see a leak)
}

}  // namespace
}  // namespace velkarin::test
