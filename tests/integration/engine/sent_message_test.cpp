// On Windows the page's notification is a SendMessage to the page window,
// which waits until the window's thread has handled it. That thread may be
// the one inside FinderStop: stop must run the message while it waits.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <atomic>

#include "engine_fixture.h"
#include "fake_device.h"
#include "message_window.h"

namespace velkarin::test {
namespace {

constexpr UINT kRepaint = WM_APP + 1;
HWND window = nullptr;
std::atomic<int> sending{0};
std::atomic<int> handled{0};
std::atomic<int> copiedRecords{-1};

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRepaint) {
    DeviceList devices;
    FinderGetDevices(devices);
    copiedRecords = static_cast<int>(devices.size());
    ++handled;
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

void NotifyBySendMessage(void*) {
  ++sending;
  SendMessageA(window, kRepaint, 0, 0);
}

using SentMessage = EngineNetworkTest;

TEST_F(SentMessage, StopRunsTheNotificationsMessage) {
  window = CreateMessageWindow("VelkarinEngineTestWindow", &WindowProcedure);
  ASSERT_NE(window, nullptr);

  FakeDevice fake;
  FakeAnnouncement device;
  device.serial = 0x51;
  fake.Answer({device});
  CreateEngine(fake.port(), FastTiming());
  FinderSetNotify(&NotifyBySendMessage);
  ASSERT_EQ(FinderStart(), 1);
  // This thread sleeps without looking at its messages, so the worker's
  // message stays pending.
  ASSERT_TRUE(WaitUntil([] { return sending > 0; }, 5000));
  Sleep(50);
  EXPECT_EQ(handled.load(), 0);
  {
    Watchdog watchdog("stop while a sent message waits for this thread", 30);
    EXPECT_EQ(FinderStop(), 1);
  }
  EXPECT_FALSE(FinderInstance()->running());
  EXPECT_EQ(handled.load(), sending.load());
  EXPECT_EQ(copiedRecords.load(), 1);
  DestroyWindow(window);
  window = nullptr;
}

}  // namespace
}  // namespace velkarin::test
#endif
