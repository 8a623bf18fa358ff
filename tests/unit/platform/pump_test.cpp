#include "platform/pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/thread.h"

namespace velkarin::platform {
namespace {

struct HookLog {
  std::atomic<int> calls{0};
  std::thread::id lastThread;
};

void Log(void* context) {
  auto* log = static_cast<HookLog*>(context);
  log->lastThread = std::this_thread::get_id();
  log->calls.fetch_add(1);
}

class PumpHooks : public testing::Test {
 protected:
  void TearDown() override {
    SetPumpHook(nullptr, nullptr);
    SetServeSentHook(nullptr, nullptr);
  }
};

void PumpFromThread(void*) { PumpOneMessage(); }
void ServeFromThread(void*) { ServeSentMessages(); }

TEST_F(PumpHooks, PumpOneMessageRunsItsHookOnTheCallingThread) {
  HookLog pump, serve;
  SetPumpHook(Log, &pump);
  SetServeSentHook(Log, &serve);
  PumpOneMessage();
  PumpOneMessage();
  EXPECT_EQ(pump.calls.load(), 2);
  EXPECT_EQ(pump.lastThread, std::this_thread::get_id());
  EXPECT_EQ(serve.calls.load(), 0);

  ThreadHandle thread = ThreadCreate(PumpFromThread, nullptr, 256 * 1024);
  ASSERT_TRUE(thread.valid());
  ThreadJoin(thread);
  EXPECT_EQ(pump.calls.load(), 3);
  EXPECT_NE(pump.lastThread, std::this_thread::get_id());

  SetPumpHook(nullptr, nullptr);
  PumpOneMessage();
  EXPECT_EQ(pump.calls.load(), 3);
}

TEST_F(PumpHooks, ServeSentMessagesRunsItsHookOnTheCallingThread) {
  HookLog pump, serve;
  SetPumpHook(Log, &pump);
  SetServeSentHook(Log, &serve);
  ServeSentMessages();
  EXPECT_EQ(serve.calls.load(), 1);
  EXPECT_EQ(serve.lastThread, std::this_thread::get_id());
  EXPECT_EQ(pump.calls.load(), 0);

  ThreadHandle thread = ThreadCreate(ServeFromThread, nullptr, 256 * 1024);
  ASSERT_TRUE(thread.valid());
  ThreadJoin(thread);
  EXPECT_EQ(serve.calls.load(), 2);
  EXPECT_NE(serve.lastThread, std::this_thread::get_id());

  SetServeSentHook(nullptr, nullptr);
  ServeSentMessages();
  EXPECT_EQ(serve.calls.load(), 2);
}

TEST_F(PumpHooks, HookGetsItsOwnContext) {
  HookLog first, second;
  SetPumpHook(Log, &first);
  PumpOneMessage();
  SetPumpHook(Log, &second);
  PumpOneMessage();
  PumpOneMessage();
  EXPECT_EQ(first.calls.load(), 1);
  EXPECT_EQ(second.calls.load(), 2);
}

TEST_F(PumpHooks, SleepServingSentMessagesServesWhileItSleeps) {
  HookLog serve;
  SetServeSentHook(Log, &serve);
  const std::int64_t before = ProcessClockMs();
  SleepServingSentMessages(300);
  const std::int64_t slept = ProcessClockMs() - before;
  EXPECT_GE(slept, 300);
  // Served repeatedly through the sleep, not only once before or after it.
  EXPECT_GE(serve.calls.load(), 3);
  EXPECT_EQ(serve.lastThread, std::this_thread::get_id());
}

TEST_F(PumpHooks, SleepServingSentMessagesWithoutHookStillSleeps) {
  const std::int64_t before = ProcessClockMs();
  SleepServingSentMessages(150);
  EXPECT_GE(ProcessClockMs() - before, 150);
}

}  // namespace
}  // namespace velkarin::platform
