// "Send Config" as the user sees it: the checks of the entries, what reaches
// the device, and the message box for every outcome.
#include <windows.h>

#include <algorithm>

#include "page_fixture.h"

namespace velkarin::pagetest {
namespace {

using driver::IsChecked;
using driver::IsModified;
using driver::WindowText;

const std::string kErrorText = "Configuring Device Failed!!";

class PageConfig : public PageTest {
 protected:
  // Opens the page on `devices` and clicks the row of `serial`.
  void OpenOn(const std::vector<std::string>& devices, const std::string& serial) {
    StartSimulator(devices);
    OpenPage();
    ASSERT_TRUE(driver::PumpUntil([&] { return RowOf(serial) >= 0; }, 12000))
        << ::testing::PrintToString(SerialsShown());
    driver::ClickRow(list(), RowOf(serial));
    ASSERT_TRUE(driver::IsEnabled(control(kSendConfig)));
  }
  void Enter(const std::string& ip, const std::string& netmask, const std::string& gateway) {
    driver::TypeText(control(kIpAddress), ip);
    driver::TypeText(control(kNetmask), netmask);
    driver::TypeText(control(kGateway), gateway);
  }
  // Clicks "Send Config" and gives back the one message box it showed.
  driver::MessageBoxSeen Send() {
    boxes().Clear();
    const DWORD start = GetTickCount();
    driver::ClickButton(control(kSendConfig));
    lastRunMs_ = GetTickCount() - start;
    EXPECT_EQ(boxes().seen().size(), 1u);
    return boxes().seen().empty() ? driver::MessageBoxSeen() : boxes().seen().back();
  }
  void ExpectFailureBox(const driver::MessageBoxSeen& box) {
    EXPECT_EQ(box.text, kErrorText);
    EXPECT_EQ(box.caption, "Failed!");
    EXPECT_TRUE(box.errorIcon);
    EXPECT_EQ(box.owner, sheet().sheet());
    EXPECT_EQ(box.buttons, 1);
  }
  void ExpectSuccessBox(const driver::MessageBoxSeen& box) {
    EXPECT_EQ(box.text, "Device is configured now");
    EXPECT_EQ(box.caption, "Success");
    EXPECT_FALSE(box.anyIcon);
    EXPECT_EQ(box.owner, sheet().sheet());
    EXPECT_EQ(box.buttons, 1);
  }
  DWORD lastRunMs_ = 0;
};

struct InvalidEntries {
  const char* why;
  const char* ip;
  const char* netmask;
  const char* gateway;
};

TEST_F(PageConfig, InvalidEntriesGiveASyntaxErrorAndSendNothing) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Target()}, "3C3C3C"));
  const InvalidEntries cases[] = {
      {"part above 255", "192.168.0.300", "255.255.255.0", ""},
      {"not a number", "abc", "255.255.255.0", ""},
      {"empty address", "", "255.255.255.0", ""},
      {"address 0.0.0.0", "0.0.0.0", "255.255.255.0", ""},
      {"netmask 0.0.0.0", "10.0.0.5", "0.0.0.0", ""},
      {"empty netmask", "10.0.0.5", "", ""},
      {"16-character address", "010.000.000.0005", "255.0.0.0", ""},
      {"16-character netmask", "10.0.0.5", "255.000.000.0000", ""},
      {"16-character gateway", "10.0.0.5", "255.0.0.0", "010.000.000.0254"},
      {"bad gateway", "10.0.0.5", "255.0.0.0", "10.0.0.x"},
      {"five parts", "1.2.3.4.5", "255.0.0.0", ""},
      {"text after the address", "10.0.0.5 x", "255.0.0.0", ""},
      {"text after the netmask", "10.0.0.5", "255.0.0.0 1", ""},
      // Read as octal it would go out as 10.0.0.6: plant documents pad with zeros.
      {"a part with a leading zero", "012.0.0.06", "255.0.0.0", ""},
      // Values that would lose the device.
      {"loopback address", "127.0.0.5", "255.0.0.0", ""},
      {"netmask not a run of ones", "10.0.0.5", "255.0.255.0", ""},
      {"the network's own address", "10.0.0.0", "255.0.0.0", ""},
      {"multicast gateway", "10.0.0.5", "255.0.0.0", "224.0.0.1"},
  };
  for (const InvalidEntries& entries : cases) {
    SCOPED_TRACE(entries.why);
    Enter(entries.ip, entries.netmask, entries.gateway);
    if (std::string(entries.why) == "address 0.0.0.0") {
      boxes().OnShown([&](const driver::MessageBoxSeen&) { Screenshot("syntax-error"); });
    }
    const HCURSOR cursorBefore = GetCursor();
    const driver::MessageBoxSeen box = Send();
    EXPECT_EQ(box.text, "Invalid IP Configuration!");
    EXPECT_EQ(box.caption, "Syntax Error");
    EXPECT_TRUE(box.errorIcon);
    EXPECT_EQ(box.owner, sheet().sheet());
    EXPECT_EQ(GetCursor(), cursorBefore);
    // The form is left as it was.
    EXPECT_EQ(WindowText(control(kIpAddress)), entries.ip);
    EXPECT_EQ(WindowText(control(kNetmask)), entries.netmask);
    EXPECT_EQ(WindowText(control(kGateway)), entries.gateway);
    EXPECT_TRUE(IsModified(control(kIpAddress)) || IsModified(control(kNetmask)) ||
                IsModified(control(kGateway)));
    boxes().OnShown(nullptr);
  }
  driver::Pump(500);
  EXPECT_TRUE(CommandsReceived().empty()) << ::testing::PrintToString(CommandsReceived());
}

TEST_F(PageConfig, StaticConfigurationSucceedsAndTheListShowsTheNewAddress) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Bystander(), Target()}, "3C3C3C"));
  // The empty gateway is not compared with what the device announces.
  Enter("10.0.0.5", "255.0.0.0", "");
  boxes().OnShown([&](const driver::MessageBoxSeen&) { Screenshot("success"); });
  ExpectSuccessBox(Send());
  ASSERT_EQ(CommandsReceived().size(), 1u);
  EXPECT_NE(CommandsReceived()[0].find("10.0.0.5"), std::string::npos) << CommandsReceived()[0];
  // The form is clean again, so the next refresh fills it from the device.
  EXPECT_FALSE(IsModified(control(kIpAddress)));
  const int row = RowOf("3C3C3C");
  ASSERT_TRUE(
      driver::PumpUntil([&] { return driver::CellText(list(), row, 3) == "10.0.0.5"; }, 8000));
  EXPECT_EQ(driver::SelectedRow(list()), row);
  EXPECT_TRUE(
      driver::PumpUntil([&] { return WindowText(control(kIpAddress)) == "10.0.0.5"; }, 4000));
  Screenshot("new-address");
}

TEST_F(PageConfig, GatewayZeroIsValidAndAnyAnnouncedGatewayPassesWhenLeftEmpty) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Target()}, "3C3C3C"));
  Enter("10.0.0.6", "255.0.0.0", "0.0.0.0");
  ExpectSuccessBox(Send());
  ASSERT_EQ(CommandsReceived().size(), 1u);
  EXPECT_EQ(CommandsReceived()[0], "3C3C3C 5 0 10.0.0.6 255.0.0.0 0.0.0.0");

  // The device keeps its own gateway: an empty gateway in the form is not
  // compared with it.
  ASSERT_NO_FATAL_FAILURE(OpenOn({Target({{"afterAccept", "other"},
                                          {"otherIp", "10.0.0.7"},
                                          {"otherNetmask", "255.0.0.0"},
                                          {"otherGateway", "10.9.9.9"}})},
                                 "3C3C3C"));
  Enter("10.0.0.7", "255.0.0.0", "");
  ExpectSuccessBox(Send());
}

TEST_F(PageConfig, DhcpIsSentWhateverTheAddressBoxesHold) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Target()}, "3C3C3C"));
  Enter("abc", "", "10.0.0.x");
  driver::ClickButton(control(kUseDhcp));
  ASSERT_TRUE(IsChecked(control(kUseDhcp)));
  ExpectSuccessBox(Send());
  ASSERT_EQ(CommandsReceived().size(), 1u);
  // The next refresh shows the device on DHCP.
  const int row = RowOf("3C3C3C");
  EXPECT_TRUE(driver::PumpUntil([&] { return driver::CellText(list(), row, 2) == "Yes"; }, 8000));
}

TEST_F(PageConfig, DhcpFailsWhenTheDeviceAnnouncesAnotherDhcpValue) {
  ASSERT_NO_FATAL_FAILURE(
      OpenOn({Target({{"afterAccept", "other"}, {"otherDhcp", "2"}})}, "3C3C3C"));
  driver::ClickButton(control(kUseDhcp));
  ExpectFailureBox(Send());
  EXPECT_EQ(CommandsReceived().size(), 1u);
  EXPECT_TRUE(IsChecked(control(kUseDhcp)));
}

struct Failure {
  const char* why;
  std::initializer_list<std::pair<const char*, std::string>> device;
  bool commandSent;
};

TEST_F(PageConfig, EveryWayOfFailingGivesTheSameMessage) {
  const Failure failures[] = {
      {"refused", {{"onCommand", "refuse"}}, true},
      {"other status", {{"onCommand", "status"}, {"replyStatus", "0"}}, true},
      // Looked for all the same, it still announces its old address.
      {"no reply", {{"onCommand", "silent"}}, true},
      {"keeps its old address", {{"afterAccept", "none"}}, true},
      {"announces another netmask",
       {{"afterAccept", "other"}, {"otherIp", "10.0.0.8"}, {"otherNetmask", "255.255.0.0"}},
       true},
      {"announces another gateway",
       {{"afterAccept", "other"},
        {"otherIp", "10.0.0.8"},
        {"otherNetmask", "255.0.0.0"},
        {"otherGateway", "10.0.0.1"}},
       true},
      {"does not announce itself again", {{"afterAccept", "vanish"}}, true},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.why);
    ASSERT_NO_FATAL_FAILURE(OpenOn({Target(failure.device)}, "3C3C3C"));
    Enter("10.0.0.8", "255.0.0.0", "10.0.0.254");
    if (std::string(failure.why) == "refused") {
      boxes().OnShown([&](const driver::MessageBoxSeen&) { Screenshot("failed"); });
    }
    const driver::MessageBoxSeen box = Send();
    boxes().OnShown(nullptr);
    ExpectFailureBox(box);
    EXPECT_EQ(CommandsReceived().size(), failure.commandSent ? 1u : 0u);
    // The entries stay, still modified, across refreshes.
    driver::Pump(3500);
    EXPECT_EQ(WindowText(control(kIpAddress)), "10.0.0.8");
    EXPECT_TRUE(IsModified(control(kIpAddress)));
    std::printf("[ info     ] %s: failure reported after %lu ms\n", failure.why, lastRunMs_);
    ClosePage();
  }
}

// The device takes the configuration but its reply is lost: the page finds
// it announcing what it was sent, without sending the command again.
TEST_F(PageConfig, LostReplyIsSuccessWhenTheDeviceAnnouncesTheConfiguration) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Target({{"replyCount", "0"}})}, "3C3C3C"));
  Enter("10.0.0.10", "255.0.0.0", "10.0.0.254");
  ExpectSuccessBox(Send());
  EXPECT_EQ(CommandsReceived(),
            std::vector<std::string>{"3C3C3C 5 0 10.0.0.10 255.0.0.0 10.0.0.254"});
  const std::vector<test::LoggedDatagram> log = simulator().Datagrams();
  EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const test::LoggedDatagram& d) {
    return !d.received && d.bytes == "3C3C3C 5 1";
  })) << simulator().LogText();
  EXPECT_NE(simulator().LogText().find("applied"), std::string::npos);
}

VOID CALLBACK PostQuit(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  PostQuitMessage(42);
}

// A host that quits while "Send Config" waits for a reply ends at once: the
// run hands the quit message on to the host's loop and shows no box.
TEST_F(PageConfig, QuitDuringARunEndsTheHostsLoop) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Target({{"onCommand", "silent"}})}, "3C3C3C"));
  Enter("10.0.0.8", "255.0.0.0", "");
  boxes().Clear();
  // After the search (about 1.5 s), within the 7.5 s that the reply wait lasts.
  SetTimer(nullptr, 0, 3000, &PostQuit);
  const DWORD start = GetTickCount();
  // Sent rather than clicked: the driver's pump after a click would take the
  // quit message that the host's loop must get.
  SendMessageA(control(kSendConfig), BM_CLICK, 0, 0);
  const DWORD runMs = GetTickCount() - start;
  EXPECT_EQ(CommandsReceived().size(), 1u);
  EXPECT_LT(runMs, 4000u) << "the run went on after the quit";
  EXPECT_TRUE(boxes().seen().empty());
  // The host's own loop gets the quit message, with its exit code.
  MSG message{};
  bool quit = false;
  for (const DWORD begin = GetTickCount(); !quit && GetTickCount() - begin < 2000;) {
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(10);
      continue;
    }
    quit = message.message == WM_QUIT;
    if (!quit) DispatchMessageA(&message);
  }
  ASSERT_TRUE(quit);
  EXPECT_EQ(message.wParam, 42u);
}

TEST_F(PageConfig, DeviceGoneBeforeTheSendIsNotFound) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Target()}, "3C3C3C"));
  Enter("10.0.0.9", "255.0.0.0", "");
  StartSimulator({Bystander()});
  ExpectFailureBox(Send());
  EXPECT_TRUE(CommandsReceived().empty());
  EXPECT_GE(lastRunMs_, 5500u) << "the search gave up early";
}

TEST_F(PageConfig, SharedSerialWithoutIdentifierIsNotConfigured) {
  const std::string twinA = Target({{"deviceId", "twin-a"}, {"ip", "10.0.0.30"}});
  const std::string twinB = Target({{"deviceId", "twin-b"}, {"ip", "10.0.0.31"}});
  ASSERT_NO_FATAL_FAILURE(OpenOn({twinA, twinB}, "3C3C3C"));
  Enter("10.0.0.32", "255.0.0.0", "");
  ExpectFailureBox(Send());
  EXPECT_TRUE(CommandsReceived().empty());
}

TEST_F(PageConfig, SerialAboveSixDigitsIsAddressedInFull) {
  ASSERT_NO_FATAL_FAILURE(OpenOn({Bystander(), Target({{"serial", "89ABCDEF"}}),
                                  Target({{"serial", "9ABCDEF"}, {"ip", "10.0.0.40"}})},
                                 "89ABCDEF"));
  Enter("10.0.0.41", "255.0.0.0", "10.0.0.254");
  ExpectSuccessBox(Send());
  ASSERT_EQ(CommandsReceived().size(), 1u);
  // Only the addressed device took the new address.
  ASSERT_TRUE(driver::PumpUntil(
      [&] { return driver::CellText(list(), RowOf("89ABCDEF"), 3) == "10.0.0.41"; }, 8000));
  EXPECT_EQ(driver::CellText(list(), RowOf("9ABCDEF"), 3), "10.0.0.40");
}

}  // namespace
}  // namespace velkarin::pagetest
