// Pieces shared by the fault tests: the platform faults by name, a simulated
// device to find, and a pump hook that speeds up the transaction's clock and
// can switch a fault on part-way.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "engine/device_finder.h"
#include "engine_aim.h"
#include "notify_counter.h"
#include "platform/faults.h"
#include "waiting.h"

namespace velkarin::test {

struct NamedFault {
  platform::Fault fault;
  const char* name;
};

// The faults of the socket layer, each of which leaves a channel that hears
// nothing.
const std::vector<NamedFault>& SocketFaults();
const char* FaultName(platform::Fault fault);

// Installed as the pump hook of the calling thread's transaction: every
// pumped message moves the tick count on by `stepMs`, so the searches and
// reply waits run out in a fraction of their real time (their real lengths
// are proven by the transaction tests). It can also switch a fault on or
// off at a given call.
class FastTransactionClock {
 public:
  explicit FastTransactionClock(std::uint32_t stepMs);
  ~FastTransactionClock();
  FastTransactionClock(const FastTransactionClock&) = delete;
  FastTransactionClock& operator=(const FastTransactionClock&) = delete;

  void SwitchAtCall(platform::Fault fault, int call, bool on);
  int calls() const { return calls_.load(); }
  int faultSwitchedAtCall() const { return switchedAt_.load(); }

 private:
  static void Hook(void* self);
  std::uint32_t stepMs_;
  std::uint32_t bias_ = 0;
  std::atomic<int> calls_{0};
  std::atomic<int> switchedAt_{0};
  platform::Fault fault_ = platform::Fault::COUNT;
  int faultAtCall_ = 0;
  bool faultOn_ = true;
};

// A device the simulator plays: serial A1B2, accepting every command.
constexpr std::uint32_t kDeviceSerial = 0xA1B2;
std::vector<std::string> OneDevice();

// What the simulator received: discovery datagrams and everything else.
struct Traffic {
  std::size_t discoveries = 0;
  std::size_t commands = 0;
};
Traffic TrafficOf(const DevsimProcess& sim);

// The record a transaction sends: a fixed address for the device.
DeviceRecord NewConfiguration();

// Every test starts and ends without faults, hooks, bias or engine.
class FaultTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace velkarin::test
