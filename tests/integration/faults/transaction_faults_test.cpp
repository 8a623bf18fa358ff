// A configuration transaction when the platform fails under it: a fault
// present from the start leaves the device unfound and sends nothing; a
// command channel that could not be opened, or a send or receive that fails
// only once the device has been found, leaves the command unanswered.
#include <gtest/gtest.h>

#include "config/config_transaction.h"
#include "config/configuration_wait.h"
#include "fault_fixture.h"
#include "platform/clock.h"

namespace velkarin::test {
namespace {

using platform::Fault;

// The tick count moves on by this much per pumped message: a 6 s search that
// finds nothing runs out after five polls; one that finds the device is quiet
// after two, and a 7.5 s reply wait runs out after eight slices.
constexpr std::uint32_t kStepMs = 1000;

TEST_F(FaultTest, EverySocketFaultEndsTheTransactionWithNotFound) {
  DevsimProcess sim(OneDevice());
  ASSERT_TRUE(sim.ready()) << sim.error();
  Watchdog watchdog("transactions under socket faults", 120);
  DeviceFinder finder(BroadcastTo(sim.port()));

  for (const NamedFault& f : SocketFaults()) {
    SCOPED_TRACE(f.name);
    const Traffic before = TrafficOf(sim);
    ConfigResult result = CONFIG_OK;
    {
      platform::ScopedFault fault(f.fault);
      FastTransactionClock clock(kStepMs);
      result = ConfigureDevice(finder, NewConfiguration(), nullptr);
    }
    EXPECT_STREQ(ConfigResultName(result), "CONFIG_NOT_FOUND");
    platform::SleepMs(200);  // anything sent has arrived by now
    const Traffic after = TrafficOf(sim);
    EXPECT_EQ(after.commands, before.commands) << "no command without the device";
    if (f.fault == Fault::SOCKET_RECEIVE) {
      EXPECT_GT(after.discoveries, before.discoveries);
    } else {
      EXPECT_EQ(after.discoveries, before.discoveries) << "nothing may leave a failed channel";
    }
    EXPECT_EQ(finder.configChallenge(), ConfigChallenge{});
  }

  // The same transaction without a fault: the faults alone made it fail.
  FastTransactionClock clock(kStepMs);
  EXPECT_STREQ(ConfigResultName(ConfigureDevice(finder, NewConfiguration(), nullptr)), "CONFIG_OK");
}

TEST_F(FaultTest, SendOrReceiveFailingOnceTheDeviceIsFoundGivesNoReply) {
  Watchdog watchdog("transactions with a late fault", 120);
  for (const Fault fault : {Fault::SOCKET_SEND, Fault::SOCKET_RECEIVE}) {
    const bool send = fault == Fault::SOCKET_SEND;
    SCOPED_TRACE(FaultName(fault));
    DevsimProcess sim(OneDevice());
    ASSERT_TRUE(sim.ready()) << sim.error();
    DeviceFinder finder(BroadcastTo(sim.port()));
    ConfigResult result = CONFIG_OK;
    {
      FastTransactionClock clock(kStepMs);
      // The first poll pumps once before its pause and once after taking the
      // device's announcement: from the second call on, the device is found.
      clock.SwitchAtCall(fault, 2, true);
      result = ConfigureDevice(finder, NewConfiguration(), nullptr);
      EXPECT_EQ(clock.faultSwitchedAtCall(), 2);
    }
    platform::ClearFaults();
    EXPECT_STREQ(ConfigResultName(result), "CONFIG_NO_REPLY");
    platform::SleepMs(200);
    const Traffic traffic = TrafficOf(sim);
    EXPECT_GE(traffic.discoveries, 1u);
    // A failed send loses the command; a failed receive loses the reply.
    EXPECT_EQ(traffic.commands, send ? 0u : 1u);
    if (!send) {
      EXPECT_NE(sim.LogText().find("TX 127.0.0.1:"), std::string::npos);
      EXPECT_NE(sim.LogText().find("form 5 command accepted"), std::string::npos);
    }
  }
}

TEST_F(FaultTest, CommandChannelThatCouldNotOpenGivesNoReply) {
  Watchdog watchdog("transactions without a command channel", 120);
  DevsimProcess sim(OneDevice());
  ASSERT_TRUE(sim.ready()) << sim.error();
  DeviceFinder finder(BroadcastTo(sim.port()));
  for (const Fault fault : {Fault::SOCKETS_STARTUP, Fault::SOCKET_CREATE, Fault::SOCKET_BIND}) {
    SCOPED_TRACE(FaultName(fault));
    const Traffic before = TrafficOf(sim);
    ConfigResult result = CONFIG_OK;
    {
      // The command channel opens first; the fault is gone from the first
      // poll's pump on, so the search's later polls find the device.
      platform::SetFault(fault, true);
      FastTransactionClock clock(kStepMs);
      clock.SwitchAtCall(fault, 1, false);
      result = ConfigureDevice(finder, NewConfiguration(), nullptr);
    }
    EXPECT_STREQ(ConfigResultName(result), "CONFIG_NO_REPLY");
    platform::SleepMs(200);
    const Traffic after = TrafficOf(sim);
    EXPECT_GT(after.discoveries, before.discoveries);
    EXPECT_EQ(after.commands, before.commands) << "nothing may leave a failed channel";
  }
}

// The wait for many configurations when no socket can be opened (an
// interface removed after the first scan): it tries again after a pause, a
// few times in its 2 s, and stops as soon as it is told. A wait that spun
// would try thousands of times, and never ask.
TEST_F(FaultTest, TheConfigurationWaitWithoutASocketPausesBetweenTries) {
  struct Case {
    const char* what;
    int askedBeforeStop;  // 0: never stops
    std::uint32_t minTries;
    std::uint32_t maxTries;
  };
  const Case cases[] = {
      {"runs to its time", 0, 2, 40},
      {"stopped at the first question", 1, 1, 1},
  };
  // Nothing is sent: no socket opens.
  constexpr std::uint16_t kNoOnesPort = 47999;
  ExpectedConfiguration expected;
  expected.sent = NewConfiguration();
  expected.sent.serial = kDeviceSerial;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::ClearFaults();
    int asked = 0;
    std::vector<ObservedConfiguration> observed;
    {
      platform::ScopedFault fault(Fault::SOCKET_CREATE);
      observed = AwaitConfigurations({{"", BroadcastTo(kNoOnesPort)}}, {expected}, 2000,
                                     ScanTiming(), [&] {
                                       ++asked;
                                       return c.askedBeforeStop == 0 || asked < c.askedBeforeStop;
                                     });
    }
    ASSERT_EQ(observed.size(), 1u);
    EXPECT_FALSE(observed[0].seen);
    EXPECT_GE(platform::FaultHits(Fault::SOCKET_CREATE), c.minTries);
    EXPECT_LE(platform::FaultHits(Fault::SOCKET_CREATE), c.maxTries);
  }
}

}  // namespace
}  // namespace velkarin::test
