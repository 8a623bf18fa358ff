// The platform's own message pumping, with real windows and threads.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/pump.h"
#include "platform/thread.h"

namespace velkarin::platform {
namespace {

constexpr UINT kPosted = WM_APP + 1;
constexpr UINT kSent = WM_APP + 2;

std::atomic<int> postedHandled{0};
std::atomic<int> sentHandled{0};
std::atomic<DWORD> sentHandledOn{0};

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPosted) {
    postedHandled.fetch_add(1);
    return 0;
  }
  if (message == kSent) {
    sentHandledOn.store(GetCurrentThreadId());
    sentHandled.fetch_add(1);
    return 42;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class WindowPump : public testing::Test {
 protected:
  void SetUp() override {
    postedHandled = 0;
    sentHandled = 0;
    sentHandledOn = 0;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VelkarinPumpTest";
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, "VelkarinPumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    MSG drain;
    while (PeekMessageA(&drain, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  void TearDown() override {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  HWND window_ = nullptr;
};

struct Sender {
  HWND window;
  DWORD delayMs;
  std::atomic<bool> answered{false};
  std::atomic<LRESULT> answer{0};
};

// Sends one message to the window and records whether its thread served it
// within three seconds.
void SendFromOtherThread(void* argument) {
  auto* sender = static_cast<Sender*>(argument);
  SleepMs(sender->delayMs);
  DWORD_PTR result = 0;
  if (SendMessageTimeoutA(sender->window, kSent, 0, 0, SMTO_NORMAL, 3000, &result) != 0) {
    sender->answer.store(static_cast<LRESULT>(result));
    sender->answered.store(true);
  }
}

TEST_F(WindowPump, PumpOneMessageDispatchesOneMessageAtATime) {
  ASSERT_TRUE(PostMessageA(window_, kPosted, 0, 0));
  ASSERT_TRUE(PostMessageA(window_, kPosted, 0, 0));
  PumpOneMessage();
  EXPECT_EQ(postedHandled.load(), 1);
  PumpOneMessage();
  EXPECT_EQ(postedHandled.load(), 2);
  // An empty queue: returns without waiting.
  PumpOneMessage();
  EXPECT_EQ(postedHandled.load(), 2);
}

TEST_F(WindowPump, ServeSentMessagesRunsSentButNotPostedMessages) {
  ASSERT_TRUE(PostMessageA(window_, kPosted, 0, 0));
  Sender sender{window_, 0};
  ThreadHandle thread = ThreadCreate(SendFromOtherThread, &sender, 256 * 1024);
  ASSERT_TRUE(thread.valid());
  for (int i = 0; i < 300 && sentHandled.load() == 0; ++i) {
    ServeSentMessages();
    SleepMs(10);
  }
  ThreadJoin(thread);
  EXPECT_EQ(sentHandled.load(), 1);
  EXPECT_EQ(sentHandledOn.load(), GetCurrentThreadId());
  EXPECT_TRUE(sender.answered.load());
  EXPECT_EQ(sender.answer.load(), 42);
  EXPECT_EQ(postedHandled.load(), 0) << "a posted message was dispatched";
  PumpOneMessage();
  EXPECT_EQ(postedHandled.load(), 1);
}

TEST_F(WindowPump, SleepServingSentMessagesAnswersASenderWhileSleeping) {
  Sender sender{window_, 100};
  ThreadHandle thread = ThreadCreate(SendFromOtherThread, &sender, 256 * 1024);
  ASSERT_TRUE(thread.valid());
  const std::int64_t before = ProcessClockMs();
  SleepServingSentMessages(1000);
  const std::int64_t slept = ProcessClockMs() - before;
  // Nothing serves messages after this point: a sender not answered during
  // the sleep times out.
  ThreadJoin(thread);
  EXPECT_TRUE(sender.answered.load());
  EXPECT_EQ(sentHandledOn.load(), GetCurrentThreadId());
  EXPECT_GE(slept + 16, 1000);
}

}  // namespace
}  // namespace velkarin::platform
#endif
