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

// Each call runs its own hook, never the other's, on the thread that calls
// it, and nothing once its hook is cleared.
TEST_F(PumpHooks, EachCallRunsItsOwnHookOnTheCallingThread) {
  const struct {
    const char* name;
    void (*call)();
    ThreadFunction callFromThread;
    void (*setOwnHook)(PumpHook, void*);
    bool pumpHook;  // which of the two hooks is the call's own
  } cases[] = {
      {"PumpOneMessage", &PumpOneMessage, &PumpFromThread, &SetPumpHook, true},
      {"ServeSentMessages", &ServeSentMessages, &ServeFromThread, &SetServeSentHook, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HookLog pump, serve;
    SetPumpHook(Log, &pump);
    SetServeSentHook(Log, &serve);
    HookLog& own = c.pumpHook ? pump : serve;
    HookLog& other = c.pumpHook ? serve : pump;
    c.call();
    c.call();
    EXPECT_EQ(own.calls.load(), 2);
    EXPECT_EQ(own.lastThread, std::this_thread::get_id());
    EXPECT_EQ(other.calls.load(), 0);

    ThreadHandle thread = ThreadCreate(c.callFromThread, nullptr, 256 * 1024);
    ASSERT_TRUE(thread.valid());
    ThreadJoin(thread);
    EXPECT_EQ(own.calls.load(), 3);
    EXPECT_NE(own.lastThread, std::this_thread::get_id());

    c.setOwnHook(nullptr, nullptr);
    c.call();
    EXPECT_EQ(own.calls.load(), 3);
    SetPumpHook(nullptr, nullptr);
    SetServeSentHook(nullptr, nullptr);
  }
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
