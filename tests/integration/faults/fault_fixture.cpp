#include "fault_fixture.h"

#include "engine/finder_facade.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "private_network.h"
#include "static_configuration.h"

namespace velkarin::test {

using platform::Fault;

const std::vector<NamedFault>& SocketFaults() {
  static const std::vector<NamedFault> faults = {
      {Fault::SOCKETS_STARTUP, "sockets start-up"},
      {Fault::SOCKET_CREATE, "socket creation"},
      {Fault::SOCKET_BIND, "bind"},
      {Fault::SOCKET_SEND, "send"},
      {Fault::SOCKET_RECEIVE, "receive"},
  };
  return faults;
}

const char* FaultName(Fault fault) {
  for (const NamedFault& f : SocketFaults()) {
    if (f.fault == fault) return f.name;
  }
  return fault == Fault::THREAD_CREATE ? "thread creation" : "?";
}

FastTransactionClock::FastTransactionClock(std::uint32_t stepMs) : stepMs_(stepMs) {
  platform::SetPumpHook(&Hook, this);
}

FastTransactionClock::~FastTransactionClock() {
  platform::SetPumpHook(nullptr, nullptr);
  platform::SetTickCountBias(0);
}

void FastTransactionClock::SwitchAtCall(Fault fault, int call, bool on) {
  fault_ = fault;
  faultAtCall_ = call;
  faultOn_ = on;
}

void FastTransactionClock::Hook(void* raw) {
  auto* self = static_cast<FastTransactionClock*>(raw);
  const int call = ++self->calls_;
  self->bias_ += self->stepMs_;
  platform::SetTickCountBias(self->bias_);
  if (self->faultAtCall_ != 0 && call == self->faultAtCall_) {
    platform::SetFault(self->fault_, self->faultOn_);
    self->switchedAt_ = call;
  }
}

std::vector<std::string> OneDevice() {
  return {"--port", "0", "--device",
          "serial=A1B2,name=Pump,ip=10.0.0.5,netmask=255.0.0.0,gateway=10.0.0.1"};
}

Traffic TrafficOf(const DevsimProcess& sim) {
  Traffic traffic;
  for (const std::string& datagram : sim.Received()) {
    if (datagram == "0 1 A") {
      ++traffic.discoveries;
    } else {
      ++traffic.commands;
    }
  }
  return traffic;
}

DeviceRecord NewConfiguration() {
  return StaticConfiguration(kDeviceSerial, "10.0.0.9", "255.0.0.0", "10.0.0.1");
}

void FaultTest::SetUp() {
  REQUIRE_PRIVATE_NETWORK();
  platform::ClearFaults();
  NotifyCounter::Reset();
  ASSERT_EQ(FinderInstance(), nullptr);
}

void FaultTest::TearDown() {
  platform::ClearFaults();
  FinderSetNotify(nullptr);
  FinderStop();
  FinderDestroy();
  platform::SetPumpHook(nullptr, nullptr);
  platform::SetTickCountBias(0);
}

}  // namespace velkarin::test
