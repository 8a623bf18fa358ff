// Whole configuration transactions against simulated devices: every result,
// what was sent for it, and how long it took. The cases are independent (a
// simulator and an engine each), so each group runs its cases at once.
#include "config/config_transaction.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../../unit/config/reference_md5.h"
#include "config/config_command.h"
#include "config_test_support.h"
#include "private_network.h"
#include "static_configuration.h"

namespace velkarin {
namespace {

using test::FakeDevice;
using test::NowMs;
using test::TestDevices;

constexpr std::int64_t kSlack = 3000;  // a loaded machine, or Wine

const ConfigChallenge kFirstRenewal = {0xC1, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                       0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
const ConfigChallenge kSecondRenewal = {0xC2, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
                                        0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
const std::string kFirstRenewalHex = "C10102030405060708090A0B0C0D0E0F";
const std::string kSecondRenewalHex = "C2F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF";
const std::string kTwentyCharacters = "open-sesame-20-chars";

const char* const kPump =
    R"({"serial": "A1B2", "name": "Pump 3", "ip": "10.0.0.5", "netmask": "255.255.255.0",
        "gateway": "10.0.0.1"})";

std::string Devices(const std::vector<std::string>& devices) {
  std::string json = R"({"devices": [)";
  for (std::size_t i = 0; i < devices.size(); ++i) json += (i ? ", " : "") + devices[i];
  return json + "]}";
}

// The pump with some keys of its own added.
std::string Pump(const std::string& moreKeys) {
  std::string device = kPump;
  device.pop_back();
  return device + ", " + moreKeys + "}";
}

DeviceRecord NewConfiguration(std::uint32_t serial) {
  return test::StaticConfiguration(serial, "10.0.0.9", "255.255.255.0", "10.0.0.1");
}

DeviceRecord ById(const std::string& deviceId, std::int32_t deviceIndex) {
  DeviceRecord record = NewConfiguration(0xA1B2);
  record.deviceId = deviceId;
  record.deviceIndex = deviceIndex;
  return record;
}

struct Outcome {
  ConfigResult result = CONFIG_OK;
  std::int64_t elapsedMs = 0;
  ConfigChallenge challenge{};
  std::size_t receivedBefore = 0;  // datagrams the devices had before the transaction
};

struct Case {
  std::string name;
  std::function<TestDevices*()> makeDevices;
  DeviceRecord record;
  std::optional<std::string> password;
  ConfigResult expected;
  std::int64_t minimumMs;
  std::int64_t maximumMs;
  std::function<void(const Case&, const Outcome&, const TestDevices&)> check;
  // Runs before the timed transaction and may set the record.
  std::function<void(DeviceFinder&, DeviceRecord&)> prepare = nullptr;
};

std::function<TestDevices*()> Simulated(const std::string& json) {
  return [json] { return new TestDevices(json); };
}

void RunCasesTogether(const std::vector<Case>& cases) {
  std::vector<std::unique_ptr<TestDevices>> devices;
  for (const Case& c : cases) {
    devices.emplace_back(c.makeDevices());
    ASSERT_TRUE(devices.back()->ready()) << c.name << ": " << devices.back()->error();
  }
  std::vector<Outcome> outcomes(cases.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    threads.emplace_back([&, i] {
      const Case& c = cases[i];
      DeviceFinder finder(Destination{kBroadcastAddress, devices[i]->port()});
      DeviceRecord record = c.record;
      if (c.prepare) c.prepare(finder, record);
      outcomes[i].receivedBefore = devices[i]->Received().size();
      const std::int64_t start = NowMs();
      outcomes[i].result =
          ConfigureDevice(finder, record, c.password ? c.password->c_str() : nullptr);
      outcomes[i].elapsedMs = NowMs() - start;
      outcomes[i].challenge = finder.configChallenge();
    });
  }
  for (std::thread& thread : threads) thread.join();
  // Anything the transactions sent has arrived by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(ConfigResultName(outcomes[i].result), ConfigResultName(c.expected));
    EXPECT_GE(outcomes[i].elapsedMs, c.minimumMs);
    EXPECT_LE(outcomes[i].elapsedMs, c.maximumMs);
    if (c.check) c.check(c, outcomes[i], *devices[i]);
    if (testing::Test::HasFailure()) ADD_FAILURE() << "device log:\n" << devices[i]->Log();
  }
}

// Nothing at all reached the devices: no search, no command.
void NoTraffic(const Case&, const Outcome& outcome, const TestDevices& devices) {
  EXPECT_EQ(devices.Received().size(), outcome.receivedBefore);
}

// The device was searched for, but no command was sent.
void SearchedOnly(const Case&, const Outcome&, const TestDevices& devices) {
  EXPECT_GE(devices.Received().size(), 4u);
  EXPECT_TRUE(devices.Commands().empty());
}

std::function<void(const Case&, const Outcome&, const TestDevices&)> SentExactly(
    std::vector<std::string> commands) {
  return [commands](const Case&, const Outcome&, const TestDevices& devices) {
    EXPECT_EQ(devices.Commands(), commands);
  };
}

class ConfigTransaction : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
};

TEST_F(ConfigTransaction, ResultsDecidedBeforeAnyCommand) {
  // Fits under its identifier, but the serial form is three characters longer.
  DeviceRecord longGateway = ById("X", 0);
  const std::string head = "X 4 0 0 10.0.0.9 255.255.255.0 ";
  longGateway.gateway = std::string(255 - head.size(), '7');
  ASSERT_TRUE(BuildConfigCommand(longGateway, nullptr, ConfigChallenge{}).has_value());
  DeviceRecord bySerial = longGateway;
  bySerial.deviceId.clear();
  ASSERT_FALSE(BuildConfigCommand(bySerial, nullptr, ConfigChallenge{}).has_value());

  const std::string longId(240, 'L');
  const std::vector<Case> cases = {
      {"no serial and no deviceId", Simulated(Devices({kPump})), NewConfiguration(0), std::nullopt,
       CONFIG_BAD_ARGUMENT, 0, 1000, NoTraffic},
      {"password of 21 characters", Simulated(Devices({kPump})), NewConfiguration(0xA1B2),
       kTwentyCharacters + "!", CONFIG_BAD_ARGUMENT, 0, 1000, NoTraffic},
      {"command too long from the start", Simulated(Devices({kPump})),
       ById(std::string(300, 'D'), 1), std::nullopt, CONFIG_BAD_ARGUMENT, 0, 1000, NoTraffic},
      {"announced deviceId too long for a command",
       Simulated(Devices({Pump(R"("deviceId": ")" + longId + R"(", "deviceIndex": 1)")})),
       DeviceRecord(), std::nullopt, CONFIG_BAD_ARGUMENT, 0, 1000, NoTraffic,
       [longId](DeviceFinder& finder, DeviceRecord& record) {
         // As a tool would: take the device's identity from its announcement.
         ASSERT_TRUE(WaitForDeviceBySerial(finder, 0xA1B2, kSearchTimeMs, record));
         ASSERT_EQ(record.deviceId, longId);
         record.ipAddress = "10.0.0.9";
       }},
      {"serial form too long after the fallback", Simulated(Devices({kPump})), longGateway,
       std::nullopt, CONFIG_BAD_ARGUMENT, 7000, 7750 + kSlack, SearchedOnly},
      {"not found by serial", Simulated(Devices({Pump(R"("answersDiscovery": false)")})),
       NewConfiguration(0xA1B2), std::nullopt, CONFIG_NOT_FOUND, 5900, 6250 + kSlack, SearchedOnly},
      {"not found by deviceId, then by serial",
       Simulated(Devices({Pump(R"("answersDiscovery": false)")})), ById("0050C2123456", 1),
       std::nullopt, CONFIG_NOT_FOUND, 11800, 12500 + kSlack, SearchedOnly},
      {"serial shared by devices without deviceId",
       Simulated(Devices({kPump, Pump(R"("ip": "10.0.0.6")")})), NewConfiguration(0xA1B2),
       std::nullopt, CONFIG_SERIAL_SHARED_NO_ID, 1000, 1500 + kSlack, SearchedOnly},
      {"serial clash",
       Simulated(Devices({Pump(R"("deviceId": "ID-ONE", "deviceIndex": 1)"),
                          Pump(R"("ip": "10.0.0.6", "deviceId": "ID-TWO", "deviceIndex": 1)")})),
       NewConfiguration(0xA1B2), std::nullopt, CONFIG_SERIAL_CLASH, 1000, 1500 + kSlack,
       SearchedOnly},
  };
  RunCasesTogether(cases);
}

// The command with the authenticated form's digest worked out independently.
std::string Authenticated(const DeviceRecord& record, const std::string& password,
                          const ConfigChallenge& challenge) {
  char serialToken[16];
  std::snprintf(serialToken, sizeof serialToken, "%06X", static_cast<unsigned>(record.serial));
  const bool byId = !record.deviceId.empty();
  const std::string token = byId ? record.deviceId : serialToken;
  std::int32_t index = byId ? record.deviceIndex : -1;
  std::int32_t suffix = byId ? record.commandSuffix : -1;
  if (index == -1) index = 2;
  if (suffix == -1) suffix = 0;
  const std::string rest = " " + std::to_string(index) + " 0 " + record.ipAddress + " " +
                           record.netmask + " " + record.gateway + " " + std::to_string(suffix);
  std::string message = password.substr(0, 20);
  message.append(reinterpret_cast<const char*>(challenge.data()), challenge.size());
  message += token + " 8 " + std::string(32, '0') + rest;
  std::string digest = test::ReferenceMd5Hex(message);
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return token + " 8 " + digest + rest;
}

TEST_F(ConfigTransaction, ResultsOfTheReply) {
  const DeviceRecord pump = NewConfiguration(0xA1B2);
  const std::string form5 = "00A1B2 5 0 10.0.0.9 255.255.255.0 10.0.0.1";
  const std::string requireAuth =
      R"("onCommand": "require-auth", "challenge": "11111111111111111111111111111111", )";

  const std::vector<Case> cases = {
      {"accepted", Simulated(Devices({kPump})), pump, std::nullopt, CONFIG_OK, 4000, 4500 + kSlack,
       SentExactly({form5})},
      // Each poll listens on a socket of its own for a while after its
      // discovery: a device that answers late is found all the same.
      {"accepted, discovery answered 150 ms late",
       Simulated(Devices({Pump(R"("announceDelayMs": 150)")})), pump, std::nullopt, CONFIG_OK, 4000,
       4500 + kSlack, SentExactly({form5})},
      {"accepted by deviceId although the serial clashes",
       Simulated(Devices({Pump(R"("deviceId": "ID-ONE", "deviceIndex": 1)"),
                          Pump(R"("ip": "10.0.0.6", "deviceId": "ID-TWO", "deviceIndex": 1)")})),
       ById("id-one", 1), std::nullopt, CONFIG_OK, 4000, 4500 + kSlack,
       SentExactly({"id-one 4 1 0 10.0.0.9 255.255.255.0 10.0.0.1"})},
      {"found under another deviceId, named by serial",
       Simulated(Devices({Pump(R"("deviceId": "NEW-ID", "deviceIndex": 1)")})), ById("OLD-ID", 1),
       std::nullopt, CONFIG_OK, 10000, 10500 + kSlack, SentExactly({form5})},
      {"serial 0 with a deviceId",
       Simulated(Devices({Pump(R"("serial": "0", "deviceId": "ZERO-ID", "deviceIndex": 0)")})),
       [] {
         DeviceRecord record = ById("zero-id", -1);
         record.serial = 0;
         return record;
       }(),
       std::nullopt, CONFIG_OK, 4000, 4500 + kSlack,
       SentExactly({"zero-id 5 0 10.0.0.9 255.255.255.0 10.0.0.1"})},
      {"refused without password", Simulated(Devices({Pump(R"("onCommand": "refuse")")})), pump,
       std::nullopt, CONFIG_REFUSED, 4000, 4500 + kSlack, SentExactly({form5})},
      {"refused again after the authenticated retry",
       Simulated(Devices({Pump(requireAuth + R"("password": "right", "challenges": [")" +
                               kFirstRenewalHex + R"(", ")" + kSecondRenewalHex + R"("])")})),
       pump, std::string("wrong"), CONFIG_REFUSED, 7000, 7500 + kSlack,
       [pump](const Case&, const Outcome& outcome, const TestDevices& devices) {
         // The first digest uses the engine's initial challenge, the retry the
         // one the refusal brought; the second refusal's stays in the engine.
         EXPECT_EQ(devices.Commands(),
                   (std::vector<std::string>{Authenticated(pump, "wrong", ConfigChallenge{}),
                                             Authenticated(pump, "wrong", kFirstRenewal)}));
         EXPECT_EQ(outcome.challenge, kSecondRenewal);
       }},
      {"accepted on the authenticated retry, 20-character password",
       Simulated(Devices({Pump(requireAuth + R"("password": ")" + kTwentyCharacters +
                               R"(", "challenges": [")" + kFirstRenewalHex + R"("])")})),
       pump, kTwentyCharacters, CONFIG_OK, 7000, 7500 + kSlack,
       [pump](const Case&, const Outcome& outcome, const TestDevices& devices) {
         EXPECT_EQ(
             devices.Commands(),
             (std::vector<std::string>{Authenticated(pump, kTwentyCharacters, ConfigChallenge{}),
                                       Authenticated(pump, kTwentyCharacters, kFirstRenewal)}));
         EXPECT_EQ(outcome.challenge, kFirstRenewal);
       }},
      {"another status", Simulated(Devices({Pump(R"("replyStatus": 2)")})), pump, std::nullopt,
       CONFIG_FAILED, 4000, 4500 + kSlack, SentExactly({form5})},
      {"authenticated retry unanswered",
       [] {
         auto fake = std::make_unique<FakeDevice>();
         fake->AnswerRaw({std::string("A1B2 0 10.0.0.5 255.255.255.0 10.0.0.1 Fake") + '\0'});
         fake->ReplyToCommands({{{100, "A1B2 8 -1"}}});
         return new TestDevices(std::move(fake));
       },
       pump, std::string("pw"), CONFIG_FAILED, 11500, 12000 + kSlack,
       [pump](const Case&, const Outcome&, const TestDevices& devices) {
         EXPECT_EQ(devices.Commands(),
                   (std::vector<std::string>{Authenticated(pump, "pw", ConfigChallenge{}),
                                             Authenticated(pump, "pw", ConfigChallenge{})}));
       }},
      {"no reply", Simulated(Devices({Pump(R"("onCommand": "silent")")})), pump, std::nullopt,
       CONFIG_NO_REPLY, 8500, 9000 + kSlack, SentExactly({form5})},
      {"replies of another code only", Simulated(Devices({Pump(R"("replyCode": 7)")})), pump,
       std::nullopt, CONFIG_NO_REPLY, 4000, 4500 + kSlack, SentExactly({form5})},
      {"status 0, then 2",
       Simulated(Devices({Pump(R"("replyStatus": 0, "extraReplies": ["A1B2 5 2"])")})), pump,
       std::nullopt, CONFIG_OK, 4000, 4500 + kSlack, SentExactly({form5})},
  };
  RunCasesTogether(cases);
}

}  // namespace
}  // namespace velkarin
