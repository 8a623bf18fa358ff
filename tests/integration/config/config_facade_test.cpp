// The page's way in: the facade over the module's one engine, the waits for
// a device, and an engine destroyed by a message that a transaction serves.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "config/config_transaction.h"
#include "config_test_support.h"
#include "engine/finder_facade.h"
#include "platform/pump.h"
#include "private_network.h"
#include "static_configuration.h"

namespace velkarin {
namespace {

using test::NowMs;
using test::TestDevices;

constexpr std::int64_t kSlack = 3000;

const std::string kPump =
    R"({"serial": "A1B2", "name": "Pump 3", "ip": "10.0.0.5", "netmask": "255.255.255.0",
        "gateway": "10.0.0.1")";

std::string OneDevice(const std::string& moreKeys = std::string()) {
  return R"({"devices": [)" + kPump + (moreKeys.empty() ? "" : ", " + moreKeys) + "}]}";
}

DeviceRecord NewConfiguration() {
  return test::StaticConfiguration(0xA1B2, "10.0.0.9", "255.255.255.0", "10.0.0.1");
}

void CreateEngineFor(const TestDevices& devices) {
  FinderSetCreateOptions(Destination{kBroadcastAddress, devices.port()}, FinderTiming());
  ASSERT_TRUE(FinderCreate());
  ASSERT_EQ(FinderStart(), 1);
}

class ConfigFacade : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    FinderDestroy();
  }
  void TearDown() override {
    platform::SetPumpHook(nullptr, nullptr);
    FinderSetNotify(nullptr);
    FinderStop();
    FinderDestroy();
  }
};

TEST_F(ConfigFacade, WithoutEngineBothFailAtOnce) {
  ASSERT_EQ(FinderInstance(), nullptr);
  DeviceRecord found;
  found.name = "untouched";
  const std::int64_t start = NowMs();
  EXPECT_EQ(FinderConfigure(NewConfiguration()), CONFIG_NOT_FOUND);
  EXPECT_FALSE(FinderWaitForDevice(0xA1B2, 0, found));
  EXPECT_LT(NowMs() - start, 500);
  EXPECT_EQ(found.name, "untouched");
}

// As the page does it: configure, then wait for the device's new announcement.
// This device goes quiet for six seconds after it accepts, so the wait without
// a time limit has to outlast that.
TEST_F(ConfigFacade, ConfigureThenWaitForTheNewAnnouncement) {
  TestDevices devices(OneDevice(R"("afterAcceptDelayMs": 6000, "silentWhileChanging": true)"));
  ASSERT_TRUE(devices.ready()) << devices.error();
  CreateEngineFor(devices);

  const std::int64_t start = NowMs();
  EXPECT_EQ(FinderConfigure(NewConfiguration()), CONFIG_OK);
  const std::int64_t configured = NowMs();
  EXPECT_GE(configured - start, 4000);

  DeviceRecord reply;
  EXPECT_TRUE(FinderWaitForDevice(0xA1B2, 0, reply));
  const std::int64_t waited = NowMs() - configured;
  EXPECT_GE(waited, 3000);           // the device was silent until about 7.5 s
  EXPECT_LE(waited, 6000 + kSlack);  // and was found soon after
  EXPECT_EQ(reply.serial, 0xA1B2u);
  EXPECT_EQ(reply.ipAddress, "10.0.0.9");
  EXPECT_EQ(reply.name, "Pump 3");

  // With the page's limit, a device that answers is found once quiet.
  DeviceRecord again;
  const std::int64_t second = NowMs();
  EXPECT_TRUE(FinderWaitForDevice(0xA1B2, 15000, again));
  EXPECT_LE(NowMs() - second, 1500 + kSlack);
  EXPECT_EQ(again.ipAddress, "10.0.0.9");
  EXPECT_EQ(devices.Commands(),
            std::vector<std::string>{"00A1B2 5 0 10.0.0.9 255.255.255.0 10.0.0.1"});
}

struct WaitOutcome {
  bool found = false;
  std::int64_t elapsedMs = 0;
  DeviceRecord record;
};

template <typename Wait>
std::thread Timed(WaitOutcome& outcome, Wait wait) {
  return std::thread([&outcome, wait] {
    const std::int64_t start = NowMs();
    outcome.found = wait(outcome.record);
    outcome.elapsedMs = NowMs() - start;
  });
}

TEST_F(ConfigFacade, WaitsForADevice) {
  TestDevices nobody(R"({"devices": []})");
  // Each discovery brings one more new device, so the search never gets quiet.
  TestDevices restless(OneDevice(R"("floodPerDiscovery": 1, "floodVary": true)"));
  TestDevices pair(
      R"({"devices": [)" + kPump + R"(, "deviceId": "PUMP", "deviceIndex": 1},)" +
      R"({"serial": "B1B2", "ip": "10.0.0.6", "deviceId": "PUMP", "deviceIndex": 2}]})");
  for (const TestDevices* d : {&nobody, &restless, &pair}) ASSERT_TRUE(d->ready()) << d->error();
  DeviceFinder toNobody(Destination{kBroadcastAddress, nobody.port()});
  DeviceFinder toRestless(Destination{kBroadcastAddress, restless.port()});
  DeviceFinder toPair(Destination{kBroadcastAddress, pair.port()});
  DeviceFinder toPairAgain(Destination{kBroadcastAddress, pair.port()});
  DeviceFinder toPairOnceMore(Destination{kBroadcastAddress, pair.port()});

  WaitOutcome missing, unquiet, secondIndex, anyIndex, noSuchIndex;
  std::vector<std::thread> threads;
  threads.push_back(Timed(
      missing, [&](DeviceRecord& r) { return WaitForDeviceBySerial(toNobody, 0xA1B2, 2000, r); }));
  threads.push_back(Timed(unquiet, [&](DeviceRecord& r) {
    return WaitForDeviceBySerial(toRestless, 0xA1B2, 2000, r);
  }));
  threads.push_back(Timed(
      secondIndex, [&](DeviceRecord& r) { return WaitForDeviceById(toPair, "pump", 2, 0, r); }));
  threads.push_back(Timed(anyIndex, [&](DeviceRecord& r) {
    return WaitForDeviceById(toPairAgain, "Pump", 0, 6000, r);
  }));
  threads.push_back(Timed(noSuchIndex, [&](DeviceRecord& r) {
    return WaitForDeviceById(toPairOnceMore, "PUMP", 3, 1500, r);
  }));
  for (std::thread& thread : threads) thread.join();

  EXPECT_FALSE(missing.found);
  EXPECT_GE(missing.elapsedMs, 2000);
  EXPECT_LE(missing.elapsedMs, 2250 + kSlack);

  // Timed out, but the last lookup found it.
  EXPECT_TRUE(unquiet.found);
  EXPECT_EQ(unquiet.record.serial, 0xA1B2u);
  EXPECT_GE(unquiet.elapsedMs, 2000);
  EXPECT_LE(unquiet.elapsedMs, 2250 + kSlack);

  EXPECT_TRUE(secondIndex.found);
  EXPECT_EQ(secondIndex.record.serial, 0xB1B2u);
  EXPECT_EQ(secondIndex.record.deviceIndex, 2);
  EXPECT_GE(secondIndex.elapsedMs, 1000);  // quiet for more than a second
  EXPECT_LE(secondIndex.elapsedMs, 1500 + kSlack);

  EXPECT_TRUE(anyIndex.found);  // an index below 1 matches any
  EXPECT_EQ(anyIndex.record.deviceId, "PUMP");

  EXPECT_FALSE(noSuchIndex.found);
  EXPECT_GE(noSuchIndex.elapsedMs, 1500);
}

struct Teardown {
  int pumpCalls = 0;
  int destroyAt = 0;  // the pump call that destroys the engine
  // Or, when set: the first pump call after these devices received a command.
  const TestDevices* afterCommandTo = nullptr;
  bool destroyed = false;
};

// What the page does when its window is destroyed.
void DestroyFromPump(void* context) {
  auto* teardown = static_cast<Teardown*>(context);
  ++teardown->pumpCalls;
  if (teardown->destroyed) return;
  if (teardown->afterCommandTo != nullptr) {
    if (teardown->afterCommandTo->Commands().empty()) return;
  } else if (teardown->pumpCalls != teardown->destroyAt) {
    return;
  }
  FinderSetNotify(nullptr);
  FinderStop();
  FinderDestroy();
  teardown->destroyed = FinderInstance() == nullptr;
}

// A message served inside the transaction destroys the engine: the
// transaction runs to its end on the engine it holds, which is freed after.
TEST_F(ConfigFacade, EngineDestroyedWhileConfiguring) {
  TestDevices devices(OneDevice());
  ASSERT_TRUE(devices.ready()) << devices.error();
  CreateEngineFor(devices);

  Teardown teardown;
  teardown.destroyAt = 1;  // in the first discovery poll of the search
  platform::SetPumpHook(&DestroyFromPump, &teardown);
  EXPECT_EQ(FinderConfigure(NewConfiguration()), CONFIG_OK);
  platform::SetPumpHook(nullptr, nullptr);
  EXPECT_TRUE(teardown.destroyed);
  EXPECT_GT(teardown.pumpCalls, 100);  // the reply wait went on serving
  EXPECT_EQ(FinderInstance(), nullptr);
  EXPECT_EQ(devices.Commands(),
            std::vector<std::string>{"00A1B2 5 0 10.0.0.9 255.255.255.0 10.0.0.1"});

  DeviceRecord found;
  EXPECT_FALSE(FinderWaitForDevice(0xA1B2, 15000, found));
}

// Here the engine goes in the reply wait, before the refusal arrives whose
// new challenge the wait stores in the engine.
TEST_F(ConfigFacade, EngineDestroyedBeforeTheChallengeIsStored) {
  TestDevices devices(
      OneDevice(R"("onCommand": "require-auth", "password": "pw", "replyDelayMs": 1500)"));
  ASSERT_TRUE(devices.ready()) << devices.error();
  CreateEngineFor(devices);

  Teardown teardown;
  teardown.afterCommandTo = &devices;
  platform::SetPumpHook(&DestroyFromPump, &teardown);
  EXPECT_NE(FinderConfigure(NewConfiguration()), CONFIG_OK);
  platform::SetPumpHook(nullptr, nullptr);
  EXPECT_TRUE(teardown.destroyed);
  EXPECT_EQ(FinderInstance(), nullptr);
  EXPECT_EQ(devices.Commands().size(), 1u);
  // The refusal with its challenge was sent, 1.5 s after the command.
  EXPECT_NE(devices.Log().find("not authenticated, refused"), std::string::npos);
}

TEST_F(ConfigFacade, EngineDestroyedWhileWaitingForADevice) {
  TestDevices devices(OneDevice());
  ASSERT_TRUE(devices.ready()) << devices.error();
  CreateEngineFor(devices);

  Teardown teardown;
  teardown.destroyAt = 2;
  platform::SetPumpHook(&DestroyFromPump, &teardown);
  DeviceRecord found;
  EXPECT_TRUE(FinderWaitForDevice(0xA1B2, 15000, found));
  platform::SetPumpHook(nullptr, nullptr);
  EXPECT_TRUE(teardown.destroyed);
  EXPECT_EQ(found.ipAddress, "10.0.0.5");
  EXPECT_EQ(FinderInstance(), nullptr);
}

}  // namespace
}  // namespace velkarin
