// Closing the page at awkward moments: while the engine's notification waits
// for the page, and while "Send Config" runs; and a second "Send Config"
// while one runs.
#include <windows.h>

#include <functional>
#include <memory>

#include "page_fixture.h"

namespace velkarin::pagetest {
namespace {

using driver::Pump;
using driver::WindowText;

// Runs a function once, from this thread's message loop, after a delay or
// as soon as a condition holds (checked every 50 ms).
class LaterOnThisThread {
 public:
  LaterOnThisThread(std::function<bool()> when, std::function<void()> what)
      : when_(std::move(when)), what_(std::move(what)) {
    active_ = this;
    timer_ = SetTimer(nullptr, 0, 50, &Tick);
  }
  ~LaterOnThisThread() {
    KillTimer(nullptr, timer_);
    active_ = nullptr;
  }
  bool done() const { return done_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    LaterOnThisThread* self = active_;
    if (self == nullptr || self->done_ || self->running_ || !self->when_()) return;
    self->running_ = true;
    self->what_();
    self->running_ = false;
    self->done_ = true;
  }
  static LaterOnThisThread* active_;
  std::function<bool()> when_;
  std::function<void()> what_;
  UINT_PTR timer_ = 0;
  bool done_ = false;
  bool running_ = false;
};
LaterOnThisThread* LaterOnThisThread::active_ = nullptr;

std::function<bool()> AfterMs(DWORD ms) {
  const DWORD start = GetTickCount();
  return [=] { return GetTickCount() - start >= ms; };
}

// Watches the page's messages on this thread: the paint messages that other
// threads send to the page while it is being destroyed.
class PageMessageWatch {
 public:
  explicit PageMessageWatch(HWND page) : page_(page) {
    active_ = this;
    call_ = SetWindowsHookExA(WH_CALLWNDPROC, &Call, nullptr, GetCurrentThreadId());
    ret_ = SetWindowsHookExA(WH_CALLWNDPROCRET, &Return, nullptr, GetCurrentThreadId());
  }
  ~PageMessageWatch() {
    UnhookWindowsHookEx(call_);
    UnhookWindowsHookEx(ret_);
    active_ = nullptr;
  }
  int sentPaintsDuringDestroy = 0;
  int sentPaints = 0;

 private:
  static LRESULT CALLBACK Call(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    PageMessageWatch* self = active_;
    if (code == HC_ACTION && self != nullptr && message->hwnd == self->page_) {
      if (message->message == WM_DESTROY) self->inDestroy_ = true;
      // Sent by another thread: the engine's notification.
      if (message->message == WM_PAINT && InSendMessage()) {
        ++self->sentPaints;
        if (self->inDestroy_) ++self->sentPaintsDuringDestroy;
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static LRESULT CALLBACK Return(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    PageMessageWatch* self = active_;
    if (code == HC_ACTION && self != nullptr && message->hwnd == self->page_ &&
        message->message == WM_DESTROY) {
      self->inDestroy_ = false;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static PageMessageWatch* active_;
  HWND page_;
  HHOOK call_ = nullptr;
  HHOOK ret_ = nullptr;
  bool inDestroy_ = false;
};
PageMessageWatch* PageMessageWatch::active_ = nullptr;

class PageLifecycle : public PageTest {
 protected:
  void OpenAndPick(const std::string& serial) {
    OpenPage();
    ASSERT_TRUE(driver::PumpUntil([&] { return RowOf(serial) >= 0; }, 12000));
    driver::ClickRow(list(), RowOf(serial));
  }
  // A page opened afterwards lists the devices again: the engine was
  // rebuilt and nothing was left broken.
  void ExpectPageWorksAgain(const std::vector<std::string>& serials) {
    ClosePage();
    OpenPage();
    EXPECT_TRUE(WaitForSerials(serials)) << ::testing::PrintToString(SerialsShown());
  }
};

TEST_F(PageLifecycle, ClosingWhileTheNotificationWaitsForThePage) {
  StartSimulator({Bystander(), Target()});
  OpenPage();
  PageMessageWatch watch(sheet().page());
  // Keep the page's thread busy well past the engine's first publish (about
  // 1.4 s after the start), so that the worker sits in its notification,
  // waiting for the page to paint.
  Sleep(4500);
  const DWORD start = GetTickCount();
  ClosePage();
  const DWORD closeMs = GetTickCount() - start;
  EXPECT_EQ(watch.sentPaintsDuringDestroy, 1) << "the notification did not wait for the page";
  EXPECT_LT(closeMs, 10000u);
  std::printf("[ info     ] page closed %lu ms after the notification began waiting\n", closeMs);
  ExpectPageWorksAgain({"0A0A0A", "3C3C3C"});
}

TEST_F(PageLifecycle, ClosingWhileSendConfigSearchesForTheDevice) {
  StartSimulator({Bystander(), Target()});
  ASSERT_NO_FATAL_FAILURE(OpenAndPick("3C3C3C"));
  driver::TypeText(control(kIpAddress), "10.0.0.50");
  HWND sheetWindow = sheet().sheet();
  LaterOnThisThread closer(AfterMs(800), [&] { DestroyWindow(sheetWindow); });
  const DWORD start = GetTickCount();
  driver::ClickButton(control(kSendConfig));
  const DWORD runMs = GetTickCount() - start;
  EXPECT_TRUE(closer.done());
  EXPECT_FALSE(IsWindow(sheetWindow));
  // Nobody is left to tell: no message box for a page that is gone.
  EXPECT_TRUE(boxes().seen().empty()) << boxes().seen().front().text;
  EXPECT_LT(runMs, 30000u);
  ExpectPageWorksAgain({"0A0A0A", "3C3C3C"});
}

TEST_F(PageLifecycle, ClosingWhileSendConfigWaitsForTheDeviceToReturn) {
  // The device takes its new address and stays silent for a while: the run
  // is in its wait for the device when the page goes.
  StartSimulator(
      {Bystander(), Target({{"afterAcceptDelayMs", "6000"}, {"silentWhileChanging", "true"}})});
  ASSERT_NO_FATAL_FAILURE(OpenAndPick("3C3C3C"));
  driver::TypeText(control(kIpAddress), "10.0.0.51");
  HWND sheetWindow = sheet().sheet();
  DWORD commandAt = 0;
  LaterOnThisThread closer(
      [&] {
        if (commandAt == 0 && !CommandsReceived().empty()) commandAt = GetTickCount();
        // The reply wait lasts 3 s; after that the run waits for the device.
        return commandAt != 0 && GetTickCount() - commandAt >= 4500;
      },
      [&] { DestroyWindow(sheetWindow); });
  driver::ClickButton(control(kSendConfig));
  EXPECT_TRUE(closer.done());
  EXPECT_EQ(CommandsReceived().size(), 1u);
  EXPECT_FALSE(IsWindow(sheetWindow));
  EXPECT_TRUE(boxes().seen().empty()) << boxes().seen().front().text;
  ExpectPageWorksAgain({"0A0A0A", "3C3C3C"});
}

TEST_F(PageLifecycle, RunOfAClosedPageLeavesTheNextPageAlone) {
  StartSimulator({Bystander(), Target()});
  ASSERT_NO_FATAL_FAILURE(OpenAndPick("3C3C3C"));
  driver::TypeText(control(kIpAddress), "10.0.0.54");
  HWND oldSheet = sheet().sheet();
  std::unique_ptr<driver::PageSheet> next;
  bool nextReady = false;
  // The host closes the page and opens it again while "Send Config" waits;
  // the user starts typing on the new page.
  LaterOnThisThread reopen(AfterMs(800), [&] {
    DestroyWindow(oldSheet);
    next = std::make_unique<driver::PageSheet>(plugin(), "Host again");
    HWND nextList = next->list();
    nextReady = driver::PumpUntil([&] { return driver::ListRows(nextList).size() == 2; }, 12000);
    if (!nextReady) return;
    driver::ClickRow(nextList, 0);
    driver::TypeText(next->control(kGateway), "10.0.0.253");
  });
  driver::ClickButton(control(kSendConfig));
  ASSERT_TRUE(reopen.done());
  ASSERT_TRUE(nextReady);
  // The old run ended without a word and without touching the new page.
  EXPECT_TRUE(boxes().seen().empty()) << boxes().seen().front().text;
  EXPECT_EQ(WindowText(next->control(kGateway)), "10.0.0.253");
  EXPECT_TRUE(driver::IsModified(next->control(kGateway)));
  driver::Pump(3500);
  EXPECT_EQ(WindowText(next->control(kGateway)), "10.0.0.253");
  EXPECT_EQ(driver::SelectedRow(next->list()), 0);
  next->Close();
  driver::Pump(50);
}

TEST_F(PageLifecycle, SecondSendConfigWhileOneRunsIsIgnored) {
  StartSimulator({Bystander(), Target()});
  ASSERT_NO_FATAL_FAILURE(OpenAndPick("3C3C3C"));
  driver::TypeText(control(kIpAddress), "10.0.0.52");
  DWORD nestedMs = 0;
  std::size_t boxesDuringNested = 0;
  std::string formDuringRun;
  HCURSOR cursorDuringRun = nullptr;
  LaterOnThisThread presser(AfterMs(700), [&] {
    cursorDuringRun = GetCursor();
    const DWORD start = GetTickCount();
    driver::ClickButton(control(kSendConfig));
    nestedMs = GetTickCount() - start;
    boxesDuringNested = boxes().seen().size();
    // The list stays usable meanwhile: a click refills the form.
    driver::ClickRow(list(), RowOf("0A0A0A"));
    formDuringRun = WindowText(control(kIpAddress));
  });
  driver::ClickButton(control(kSendConfig));
  ASSERT_TRUE(presser.done());
  EXPECT_EQ(cursorDuringRun, LoadCursorA(nullptr, IDC_WAIT));
  EXPECT_LT(nestedMs, 1000u) << "the second press ran a configuration of its own";
  EXPECT_EQ(boxesDuringNested, 0u);
  EXPECT_EQ(formDuringRun, "10.0.0.21");
  // One run, one command, one report; the device took what was sent first.
  ASSERT_EQ(boxes().seen().size(), 1u);
  EXPECT_EQ(boxes().seen()[0].text, "Device is configured now");
  ASSERT_EQ(CommandsReceived().size(), 1u);
  EXPECT_NE(CommandsReceived()[0].find("10.0.0.52"), std::string::npos);
  EXPECT_TRUE(driver::PumpUntil(
      [&] { return driver::CellText(list(), RowOf("3C3C3C"), 3) == "10.0.0.52"; }, 8000));

  // After the run, "Send Config" works again.
  driver::ClickRow(list(), RowOf("3C3C3C"));
  driver::TypeText(control(kIpAddress), "10.0.0.53");
  boxes().Clear();
  driver::ClickButton(control(kSendConfig));
  ASSERT_EQ(boxes().seen().size(), 1u);
  EXPECT_EQ(boxes().seen()[0].text, "Device is configured now");
  EXPECT_EQ(CommandsReceived().size(), 2u);
}

TEST_F(PageLifecycle, ClosingAnOlderPageLeavesTheNewerPageItsEngine) {
  StartSimulator({Bystander()});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({"0A0A0A"}));
  // A host that opens a second page before closing the first: the newer page
  // takes the module over, and the older one's end must not stop its engine.
  driver::PageSheet newer(plugin(), "Second host");
  ASSERT_NE(newer.page(), nullptr);
  ClosePage();
  StartSimulator({Bystander(), Target()});
  EXPECT_TRUE(driver::PumpUntil([&] { return driver::ListRows(newer.list()).size() == 2; }, 12000));
  newer.Close();
  driver::Pump(50);
}

}  // namespace
}  // namespace velkarin::pagetest
