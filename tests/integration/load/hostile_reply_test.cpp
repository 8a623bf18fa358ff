// Configuration transactions against devices whose replies are hostile or
// broken: too long, binary, a storm of replies of the wrong code, challenge
// words of 31, 32 and 33 characters, a challenge hidden behind a NUL byte.
// The cases are independent (a simulator and an engine each) and run at once.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/config_transaction.h"
#include "devsim_process.h"
#include "load_support.h"
#include "private_network.h"
#include "static_configuration.h"

namespace velkarin::test {
namespace {

const std::string kKey = "00112233445566778899AABBCCDDEEFF";
const ConfigChallenge kKeyBytes = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                   0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
// What the engine holds before the transaction, so that a challenge left
// alone can be told from one overwritten.
const ConfigChallenge kBefore = {0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB,
                                 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB};

// A search that finds the device is quiet after a little more than a second;
// the reply wait ends 3 s in once a datagram has come, 7.5 s in otherwise.
constexpr std::int64_t kLostReplyMinMs = 1000 + 7400;
constexpr std::int64_t kAnsweredMaxMs = 7000;

struct Hostile {
  const char* name;
  std::string keys;  // the device's command keys, JSON members
  ConfigResult expected;
  std::optional<ConfigChallenge> challengeAfter;  // absent: left as it was
  bool replyLost;                                 // no datagram ended the wait early
};

std::string Json(const std::string& keys) {
  return R"({"devices": [{"serial": "A1B2", "name": "Pump", "ip": "10.0.0.5",)"
         R"( "netmask": "255.0.0.0", "gateway": "10.0.0.1", )" +
         keys + "}]}";
}

std::string Garbage(const std::string& bytes) { return R"("replyBytes": ")" + bytes + "\""; }

DeviceRecord NewConfiguration() {
  return test::StaticConfiguration(0xA1B2, "10.0.0.9", "255.0.0.0", "10.0.0.1");
}

struct Outcome {
  ConfigResult result = CONFIG_OK;
  std::int64_t elapsedMs = 0;
  ConfigChallenge challenge{};
};

TEST(HostileReplies, ResultsAndChallengeContents) {
  REQUIRE_PRIVATE_NETWORK();
  const std::string padded127 =
      ("A1B2   5    1     " + kKey + std::string(127, ' ')).substr(0, 127);
  const std::string padded128 = ("A1B2 5 1 " + kKey + std::string(128, ' ')).substr(0, 128);
  const std::vector<Hostile> cases = {
      {"reply of 128 bytes", R"("onCommand": "oversize")", CONFIG_NO_REPLY, std::nullopt, true},
      {"reply of 65000 bytes", R"("onCommand": "oversize", "oversizeLength": 65000)",
       CONFIG_NO_REPLY, std::nullopt, true},
      {"128-byte reply carrying a challenge", Garbage(padded128), CONFIG_NO_REPLY, std::nullopt,
       true},
      {"binary garbage", Garbage("hex:FF FE 00 41 31 42 32 20 35 20 31 0A 0D 7F 80"),
       CONFIG_NO_REPLY, std::nullopt, false},
      {"a thousand replies of another code, then an acceptance with a challenge",
       R"("onCommand": "wrong-code", "replyCode": 7, "replyCount": 1000, "replyIntervalMs": 1,)"
       R"( "extraReplies": ["A1B2 5 1 )" +
           kKey + R"("])",
       CONFIG_OK, kKeyBytes, false},
      {"acceptance with a 32-digit challenge", Garbage("A1B2 5 1 " + kKey), CONFIG_OK, kKeyBytes,
       false},
      {"acceptance with 31 digits", Garbage("A1B2 5 1 " + kKey.substr(0, 31)), CONFIG_OK,
       std::nullopt, false},
      {"acceptance with 33 digits", Garbage("A1B2 5 1 " + kKey + "0"), CONFIG_OK, std::nullopt,
       false},
      {"refusal with a 32-digit challenge", Garbage("A1B2 5 -1 " + kKey), CONFIG_REFUSED, kKeyBytes,
       false},
      {"challenge behind a NUL byte", Garbage("A1B2 5 1\\\\0 " + kKey), CONFIG_OK, std::nullopt,
       false},
      {"127 bytes, words apart by runs of blanks", Garbage(padded127), CONFIG_OK, kKeyBytes, false},
  };

  std::vector<std::unique_ptr<DevsimProcess>> simulators;
  for (const Hostile& c : cases) {
    simulators.push_back(
        std::make_unique<DevsimProcess>(std::vector<std::string>{"--port", "0"}, Json(c.keys)));
    ASSERT_TRUE(simulators.back()->ready()) << c.name << ": " << simulators.back()->error();
  }
  Watchdog watchdog("transactions against hostile replies", 120);
  std::vector<Outcome> outcomes(cases.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    threads.emplace_back([&, i] {
      DeviceFinder finder(BroadcastTo(simulators[i]->port()));
      finder.configChallenge() = kBefore;
      const std::int64_t start = NowMs();
      outcomes[i].result = ConfigureDevice(finder, NewConfiguration(), nullptr);
      outcomes[i].elapsedMs = NowMs() - start;
      outcomes[i].challenge = finder.configChallenge();
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Hostile& c = cases[i];
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(ConfigResultName(outcomes[i].result), ConfigResultName(c.expected));
    EXPECT_EQ(outcomes[i].challenge, c.challengeAfter.value_or(kBefore));
    if (c.replyLost) {
      EXPECT_GE(outcomes[i].elapsedMs, kLostReplyMinMs) << "a lost reply ended the wait";
    } else {
      EXPECT_LT(outcomes[i].elapsedMs, kAnsweredMaxMs) << "the reply did not end the wait";
    }
    std::printf("%-72s %-16s %5lld ms\n", c.name, ConfigResultName(outcomes[i].result),
                static_cast<long long>(outcomes[i].elapsedMs));
    if (testing::Test::HasFailure()) ADD_FAILURE() << simulators[i]->LogText();
  }
}

}  // namespace
}  // namespace velkarin::test
