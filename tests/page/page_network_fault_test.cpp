// The page when the network fails under it. The module's own copy of the
// platform layer cannot be reached from here, so the failure is a real one:
// the private namespace's route is taken away, and every broadcast of the
// module fails as it would with no network. The list empties, "Send Config"
// ends with the failure message and sends nothing, and once the route is
// back the page lists and configures the device again.
#include <windows.h>

#include <string>

#include "page_fixture.h"

namespace velkarin::pagetest {
namespace {

const char* const kTarget = "3C3C3C";

class PageNetworkFault : public PageTest {
 protected:
  void TearDown() override {
    // Whatever happened, the next test gets its network back.
    if (routeDown_) SetRoute("up");
    PageTest::TearDown();
  }

  // Runs tests/page/set-route.sh as a Unix program and waits until it has
  // done its work (Wine gives no process handle to wait on).
  bool SetRoute(const std::string& state) {
    static int runs = 0;
    // Windows process ids repeat across Wine sessions side by side; the
    // counter's value at the start does not.
    static const LONGLONG started = [] {
      LARGE_INTEGER now{};
      QueryPerformanceCounter(&now);
      return now.QuadPart;
    }();
    const std::string done = "/tmp/velkarin-route-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(started) + "-" + std::to_string(++runs);
    std::string line = "\"" + test::LocalPath("/bin/sh") +
                       "\" \"" VELKARIN_SOURCE_DIR "/tests/page/set-route.sh\" " + state + " \"" +
                       done + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return false;
    }
    if (info.hProcess != nullptr) {
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
    }
    const std::string doneHere = test::LocalPath(done);
    const bool finished = driver::PumpUntil(
        [&] { return GetFileAttributesA(doneHere.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
    DeleteFileA(doneHere.c_str());
    if (finished) routeDown_ = state == "down";
    return finished;
  }

  void SelectAndEnter(const std::string& ip) {
    driver::ClickRow(list(), RowOf(kTarget));
    ASSERT_TRUE(driver::IsEnabled(control(kSendConfig)));
    driver::TypeText(control(kIpAddress), ip);
    driver::TypeText(control(kNetmask), "255.0.0.0");
    driver::TypeText(control(kGateway), "10.0.0.254");
  }

  driver::MessageBoxSeen Send() {
    boxes().Clear();
    driver::ClickButton(control(kSendConfig));
    EXPECT_EQ(boxes().seen().size(), 1u);
    return boxes().seen().empty() ? driver::MessageBoxSeen() : boxes().seen().back();
  }

 private:
  bool routeDown_ = false;
};

TEST_F(PageNetworkFault, NoRouteFailsTheRunAndThePageRecoversWithTheNetwork) {
  StartSimulator({Target()});
  OpenPage();
  ASSERT_TRUE(WaitForSerials({kTarget}));
  ASSERT_NO_FATAL_FAILURE(SelectAndEnter("10.0.0.5"));

  ASSERT_TRUE(SetRoute("down")) << "the route could not be taken away";
  const driver::MessageBoxSeen failure = Send();
  EXPECT_EQ(failure.text, "Configuring Device Failed!!");
  EXPECT_EQ(failure.caption, "Failed!");
  EXPECT_TRUE(CommandsReceived().empty()) << ::testing::PrintToString(CommandsReceived());
  // The engine hears nobody either, and says so with an empty list.
  EXPECT_TRUE(WaitForSerials({}, 8000)) << ::testing::PrintToString(SerialsShown());
  Screenshot("no-route");

  ASSERT_TRUE(SetRoute("up"));
  ASSERT_TRUE(WaitForSerials({kTarget}));
  ASSERT_NO_FATAL_FAILURE(SelectAndEnter("10.0.0.5"));
  const driver::MessageBoxSeen success = Send();
  EXPECT_EQ(success.text, "Device is configured now");
  ASSERT_EQ(CommandsReceived().size(), 1u);
  EXPECT_NE(CommandsReceived()[0].find("10.0.0.5"), std::string::npos);
}

}  // namespace
}  // namespace velkarin::pagetest
