// The command sent on a real socket and the wait for its replies, against
// devices played by the test in the private network.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/config_command.h"
#include "config/config_delivery.h"
#include "config/config_reply.h"
#include "fake_device.h"
#include "message_window.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "private_network.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace velkarin {
namespace {

using test::FakeDevice;
using test::ScriptedReply;

struct Exchange {
  int result = 0;
  std::int64_t elapsedMs = 0;
  ConfigChallenge challenge{};
};

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

DeviceRecord DhcpRecord() {
  DeviceRecord record;
  record.serial = 0xA1B2;
  record.dhcp = 1;
  return record;
}

// Sends one command to the device's port and waits for the replies.
Exchange RunExchange(std::uint16_t port) {
  Exchange exchange;
  UdpChannel channel(Destination{kBroadcastAddress, port});
  EXPECT_EQ(channel.SendConfigCommand(DhcpRecord(), nullptr, exchange.challenge), 1);
  const std::int64_t start = NowMs();
  exchange.result = channel.AwaitConfigReply(DhcpRecord().serial, exchange.challenge);
  exchange.elapsedMs = NowMs() - start;
  return exchange;
}

// Tick counts advance in steps on some systems: allow a little early.
constexpr std::int64_t kShortEnd = 2900;  // a wait that ends after 3000 ms
constexpr std::int64_t kLongEnd = 7400;   // one that ends after 7500 ms
constexpr std::int64_t kSlack = 2500;     // a loaded machine, or Wine

struct Scenario {
  const char* name;
  std::vector<std::vector<ScriptedReply>> devices;  // all on one port
  int expectedResult;
  std::int64_t minimumMs;
  std::int64_t maximumMs;
  std::optional<ConfigChallenge> challengeAfter = std::nullopt;  // starts all zeros
};

// The scenarios are independent (a port and a channel each), so they run at
// the same time and the whole set takes one long wait.
void RunScenariosTogether(const std::vector<Scenario>& scenarios) {
  std::vector<Exchange> outcomes(scenarios.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < scenarios.size(); ++i) {
    threads.emplace_back([&, i] {
      std::vector<std::unique_ptr<FakeDevice>> devices;
      std::uint16_t port = 0;
      for (const auto& replies : scenarios[i].devices) {
        devices.push_back(std::make_unique<FakeDevice>(port));
        devices.back()->ReplyToEveryCommand(replies);
        port = devices.front()->port();
      }
      outcomes[i] = RunExchange(port);
      for (auto& device : devices) EXPECT_EQ(device->received().size(), 1u) << scenarios[i].name;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < scenarios.size(); ++i) {
    SCOPED_TRACE(scenarios[i].name);
    EXPECT_EQ(outcomes[i].result, scenarios[i].expectedResult);
    EXPECT_GE(outcomes[i].elapsedMs, scenarios[i].minimumMs);
    EXPECT_LE(outcomes[i].elapsedMs, scenarios[i].maximumMs);
    EXPECT_EQ(outcomes[i].challenge, scenarios[i].challengeAfter.value_or(ConfigChallenge{}));
  }
}

class ConfigExchange : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  void TearDown() override {
    platform::SetTickCountBias(0);
    platform::SetPumpHook(nullptr, nullptr);
  }
};

const std::string kPadding(200, ' ');

TEST_F(ConfigExchange, ReplyResultsAndWaitLengths) {
  const std::string fits = ("A1B2 5 1" + kPadding).substr(0, 127);
  const std::string tooLong = ("A1B2 5 1" + kPadding).substr(0, 128);
  const ConfigChallenge renewed = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                   0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  RunScenariosTogether({
      {"refusal with a new challenge",
       {{{100, "A1B2 8 -1 00112233445566778899AABBCCDDEEFF"}}},
       -1,
       kShortEnd,
       3000 + kSlack,
       renewed},
      {"refusal with 31 and 33 digits",
       {{{100, "A1B2 8 -1 00112233445566778899AABBCCDDEEF"},
         {300, "A1B2 8 -1 00112233445566778899AABBCCDDEEFF0"}}},
       -1,
       kShortEnd,
       3000 + kSlack},
      {"accepted within the first second", {{{100, "A1B2 5 1"}}}, 1, kShortEnd, 3000 + kSlack},
      {"no reply", {{}}, -2, kLongEnd, 7500 + kSlack},
      {"status 2 alone", {{{100, "A1B2 5 2"}}}, 2, kShortEnd, 3000 + kSlack},
      {"status 0, later 2", {{{100, "A1B2 4 0"}, {600, "A1B2 3 2"}}}, 1, kShortEnd, 3000 + kSlack},
      {"status 2, later 0", {{{100, "A1B2 5 2"}, {600, "A1B2 5 0"}}}, 2, kShortEnd, 3000 + kSlack},
      {"refused, later accepted",
       {{{100, "A1B2 8 -1"}, {600, "A1B2 8 1"}}},
       1,
       kShortEnd,
       3000 + kSlack},
      {"other codes only",
       {{{100, "A1B2 7 1"}, {300, "A1B2 x 1"}, {500, "hello"}}},
       -2,
       kShortEnd,
       3000 + kSlack},
      {"other code, then a configuration reply",
       {{{100, "A1B2 1 1"}, {400, "A1B2 5 -1"}}},
       -1,
       kShortEnd,
       3000 + kSlack},
      {"first reply after four seconds", {{{4000, "A1B2 5 1"}}}, 1, 3900, 4000 + kSlack},
      {"127-byte reply", {{{100, fits}}}, 1, kShortEnd, 3000 + kSlack},
      {"128-byte reply is lost", {{{100, tooLong}}}, -2, kLongEnd, 7500 + kSlack},
      // A lost datagram after an answer leaves a non-positive last length, so
      // the wait runs to its end although an answer came.
      {"answer, then a lost datagram",
       {{{100, "A1B2 5 1"}, {500, tooLong}}},
       1,
       kLongEnd,
       7500 + kSlack},
      // Only the device being configured decides and renews the challenge;
      // another's answers still end the wait after 3000 ms.
      {"another device's refusal and challenge are ignored",
       {{{100, "1111 5 -1 00112233445566778899AABBCCDDEEFF"}}, {{700, "A1B2 5 1"}}},
       1,
       kShortEnd,
       3000 + kSlack},
      {"only another device answers", {{{100, "1111 5 1"}}}, -2, kShortEnd, 3000 + kSlack},
      {"the serial compares as a number", {{{100, "00a1b2 5 1"}}}, 1, kShortEnd, 3000 + kSlack},
      {"a challenge in a reply of another code is not taken",
       {{{100, "A1B2 7 1 00112233445566778899AABBCCDDEEFF"}}},
       -2,
       kShortEnd,
       3000 + kSlack},
  });
}

// The wait measures with the 32-bit tick count; started just below its wrap
// it must neither end at once nor run on.
TEST_F(ConfigExchange, WaitAcrossTheTickCountWrap) {
  platform::SetTickCountBias(0);
  const std::uint32_t bias = 0xFFFFFFFFu - 1500u - platform::TickCountMs();
  platform::SetTickCountBias(bias);
  ASSERT_GT(platform::TickCountMs(), 0xFFFFFFFFu - 1600u);
  RunScenariosTogether({
      {"accepted, across the wrap", {{{100, "A1B2 5 1"}}}, 1, kShortEnd, 3000 + kSlack},
      {"no reply, across the wrap", {{}}, -2, kLongEnd, 7500 + kSlack},
  });
  EXPECT_LT(platform::TickCountMs(), 100000u);  // the count did wrap meanwhile
}

struct PumpCount {
  int calls = 0;
  std::thread::id thread;
  bool otherThread = false;
};

void CountPump(void* context) {
  auto* count = static_cast<PumpCount*>(context);
  ++count->calls;
  if (std::this_thread::get_id() != count->thread) count->otherThread = true;
}

// One message is served per 20 ms slice, on the waiting thread.
TEST_F(ConfigExchange, ServesOneMessagePerSlice) {
  PumpCount count;
  count.thread = std::this_thread::get_id();
  platform::SetPumpHook(&CountPump, &count);
  FakeDevice device;
  device.ReplyToEveryCommand({{100, "A1B2 5 1"}});
  const Exchange exchange = RunExchange(device.port());
  platform::SetPumpHook(nullptr, nullptr);
  EXPECT_EQ(exchange.result, 1);
  EXPECT_FALSE(count.otherThread);
  // About 150 slices in 3000 ms; far fewer only if slices overran badly, and
  // never more than the slices that fit plus the one datagram.
  EXPECT_GE(count.calls, 40);
  EXPECT_LE(count.calls, exchange.elapsedMs / 20 + 3);
}

TEST_F(ConfigExchange, CommandsGoOutWholeOrNotAtAll) {
  FakeDevice device;
  UdpChannel channel(Destination{kBroadcastAddress, device.port()});
  const ConfigChallenge challenge = {9, 8, 7};

  DeviceRecord tooLong;
  tooLong.deviceId = std::string(300, 'D');
  EXPECT_EQ(channel.SendConfigCommand(tooLong, nullptr, challenge), 0);
  EXPECT_EQ(channel.SendConfigCommand(tooLong, "pw", challenge), 0);

  DeviceRecord record;
  record.serial = 0xA1B2;
  record.ipAddress = "192.168.1.20";
  record.netmask = "255.255.255.0";
  record.gateway = "192.168.1.1";
  EXPECT_EQ(channel.SendConfigCommand(record, nullptr, challenge), 1);
  EXPECT_EQ(channel.SendConfigCommand(record, "secret", challenge), 1);

  for (int i = 0; i < 200 && device.received().size() < 2; ++i) platform::SleepMs(10);
  platform::SleepMs(200);  // anything more would have arrived by now
  const std::vector<std::string> received = device.received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], "00A1B2 5 0 192.168.1.20 255.255.255.0 192.168.1.1");
  EXPECT_EQ(received[1], BuildConfigCommand(record, "secret", challenge).value());
}

struct DeviceExchangeCase {
  const char* name;
  const char* password;  // null: none
  std::vector<std::vector<ScriptedReply>> perCommand;
  ConfigResult result;
  // The challenge each command is signed with, as the device sees it: the
  // one the exchange held, all zeros until a reply brought one.
  std::vector<ConfigChallenge> signedWith;
  int sends = 1;  // calls of Send: one more after each without a reply
  // Far beyond the replies' delays, for a loaded machine under Wine.
  std::uint32_t replyWaitMs = 500;
};

// One device's exchange, as apply's jobs and set use it: a refusal is an
// answer, answered once when it hands out a challenge and there is a
// password; the latest challenge is kept for the exchange's next command.
TEST_F(ConfigExchange, OneDeviceExchangeKeepsItsChallenge) {
  const ConfigChallenge first = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  const std::string firstText = "00112233445566778899AABBCCDDEEFF";
  const std::string secondText = "FFEEDDCCBBAA99887766554433221100";
  const std::vector<DeviceExchangeCase> cases = {
      {"accepted", nullptr, {{{10, "A1B2 5 1"}}}, CONFIG_OK, {{}}},
      {"refused without a password",
       nullptr,
       {{{10, "A1B2 5 -1 " + firstText}}},
       CONFIG_REFUSED,
       {{}}},
      {"challenge answered",
       "pw",
       {{{10, "A1B2 8 -1 " + firstText}}, {{10, "A1B2 8 1"}}},
       CONFIG_OK,
       {{}, first}},
      {"refused again: answered once only",
       "pw",
       {{{10, "A1B2 8 -1 " + firstText}}, {{10, "A1B2 8 -1 " + secondText}}},
       CONFIG_REFUSED,
       {{}, first}},
      {"refused without a new challenge", "pw", {{{10, "A1B2 8 -1"}}}, CONFIG_REFUSED, {{}}},
      {"no reply", "pw", {{}}, CONFIG_NO_REPLY, {{}}},
      // The last command waits the longest: a slow device's reply still counts.
      {"the eighth command's reply after 1 s",
       nullptr,
       {{}, {}, {}, {}, {}, {}, {}, {{1000, "A1B2 5 1"}}},
       CONFIG_OK,
       std::vector<ConfigChallenge>(8),
       8,
       20},
      // The answer's acceptance comes after the wait; the command sent again
      // is refused at once, as by a device that renews its challenge once it
      // took a command. That refusal comes before the acceptance it follows:
      // it only renews the challenge, and the acceptance counts.
      {"a late acceptance outlasts the refusal of the command sent again",
       "pw",
       {{{10, "A1B2 8 -1 " + firstText}}, {{1000, "A1B2 8 1"}}, {{10, "A1B2 8 -1 " + secondText}}},
       CONFIG_OK,
       {{}, first, first},
       2},
  };
  DeviceRecord found;
  found.serial = 0xA1B2;
  for (const DeviceExchangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDevice device;
    device.ReplyToCommands(c.perCommand);
    DeviceExchange exchange(Destination{kBroadcastAddress, device.port()});
    Delivery delivery;
    ConfigResult result = CONFIG_NO_REPLY;
    DeliveryLimits limits;
    limits.replyWaitMs = c.replyWaitMs;
    for (int send = 0; send < c.sends; ++send) {
      result = exchange.Send(DhcpRecord(), c.password, found, limits, delivery);
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(delivery.commands, static_cast<int>(c.signedWith.size()));
    for (int i = 0; i < 100 && device.received().size() < c.signedWith.size(); ++i) {
      platform::SleepMs(10);
    }
    const std::vector<std::string> received = device.received();
    ASSERT_EQ(received.size(), c.signedWith.size());
    for (std::size_t i = 0; i < received.size(); ++i) {
      EXPECT_EQ(received[i], BuildConfigCommand(DhcpRecord(), c.password, c.signedWith[i]).value());
    }
  }
  // The next command of an exchange answers the challenge its last reply
  // handed out, as a row's command sent again after a lost reply must.
  FakeDevice device;
  device.ReplyToCommands({{{50, "A1B2 8 -1 " + firstText}}, {}, {{50, "A1B2 8 1"}}});
  DeviceExchange exchange(Destination{kBroadcastAddress, device.port()});
  DeliveryLimits limits;
  limits.replyWaitMs = 300;
  Delivery delivery;
  EXPECT_EQ(exchange.Send(DhcpRecord(), "pw", found, limits, delivery), CONFIG_NO_REPLY);
  EXPECT_EQ(exchange.challenge(), first);
  EXPECT_EQ(exchange.Send(DhcpRecord(), "pw", found, limits, delivery), CONFIG_OK);
  EXPECT_EQ(delivery.commands, 3);
  for (int i = 0; i < 100 && device.received().size() < 3; ++i) platform::SleepMs(10);
  const std::vector<std::string> received = device.received();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[2], BuildConfigCommand(DhcpRecord(), "pw", first).value());
}

#ifdef _WIN32
struct Dispatched {
  int count = 0;
  DWORD first = 0;
  DWORD last = 0;
};
Dispatched dispatched;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 1) {
    const DWORD now = GetTickCount();
    if (dispatched.count++ == 0) dispatched.first = now;
    dispatched.last = now;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The thread's real window messages are dispatched while the reply is awaited,
// one per slice rather than all at once.
TEST_F(ConfigExchange, DispatchesWindowMessagesWhileWaiting) {
  HWND window = test::CreateMessageWindow("VelkarinReplyWaitTest", &CountingProc);
  ASSERT_NE(window, nullptr);
  for (int i = 0; i < 10; ++i) PostMessageA(window, WM_USER + 1, 0, 0);

  FakeDevice device;
  device.ReplyToEveryCommand({{100, "A1B2 5 1"}});
  const Exchange exchange = RunExchange(device.port());
  DestroyWindow(window);
  EXPECT_EQ(exchange.result, 1);
  EXPECT_EQ(dispatched.count, 10);
  EXPECT_GE(dispatched.last - dispatched.first, 100u);  // nine slices at least
}
#endif

}  // namespace
}  // namespace velkarin
