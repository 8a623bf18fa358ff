// A configuration transaction next to a device that floods every discovery
// with announcements (a device stuck in its send loop). Each poll of the
// search reads what its socket holds; a stream that arrives faster than the
// page thread takes it must not hold the poll, and with it the page's
// "Send Config" run, for as long as the stream lasts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "config/config_transaction.h"
#include "devsim_process.h"
#include "load_support.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "private_network.h"

namespace velkarin::test {
namespace {

// The page handles a window message per announcement it takes; here each
// takes a tenth of a millisecond (a repaint of the list may take more).
std::atomic<int> messagesHandled{0};
void HandleMessageSlowly(void*) {
  ++messagesHandled;
  const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
  while (std::chrono::steady_clock::now() < end) {
  }
}

class FloodedTransaction : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
  void TearDown() override { platform::SetPumpHook(nullptr, nullptr); }
};

TEST_F(FloodedTransaction, APollTakesABoundedShareOfTheFlood) {
  // The flood lasts a minute after the last discovery that reached the device.
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=A1B2,name=Pump,ip=10.0.0.5,netmask=255.0.0.0,gateway=10.0.0.1",
                     "--device",
                     "serial=100000,name=Stuck,ip=10.0.0.6,floodRate=1000000,"
                     "floodDurationMs=60000"});
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("a transaction beside a flood", 150);
  platform::SetPumpHook(&HandleMessageSlowly, nullptr);
  DeviceFinder finder(BroadcastTo(sim.port()));
  DeviceRecord record;
  record.serial = 0xA1B2;
  record.ipAddress = "10.0.0.9";
  record.netmask = "255.0.0.0";
  record.gateway = "10.0.0.1";

  const std::int64_t start = NowMs();
  const ConfigResult result = ConfigureDevice(finder, record, nullptr);
  const std::int64_t elapsedMs = NowMs() - start;
  std::printf("beside a flood: %s after %lld ms, %d messages handled\n", ConfigResultName(result),
              static_cast<long long>(elapsedMs), messagesHandled.load());
  EXPECT_STREQ(ConfigResultName(result), "CONFIG_OK");
  // Search (quiet after two polls, each cut off after its share of the flood)
  // and reply wait (3 s with an answer): far below the flood's minute.
  EXPECT_LT(elapsedMs, 30000);
}

}  // namespace
}  // namespace velkarin::test
