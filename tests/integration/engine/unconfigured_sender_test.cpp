// A device without an address of its own sends from 0.0.0.0; whatever it
// announces, it is listed with three "0.0.0.0" addresses.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "fake_devices.h"
#include "platform/clock.h"

namespace velkarin::test {
namespace {

using UnconfiguredSender = EngineNetworkTest;

#ifndef _WIN32
TEST_F(UnconfiguredSender, IsListedWithZeroAddresses) {
  FakeDevices fake;
  FakeAnnouncement configured;
  configured.serial = 0x10;
  configured.name = "configured";
  configured.ip = "10.0.0.10";
  FakeAnnouncement bare;
  bare.serial = 0x20;
  bare.name = "fresh from the factory";
  bare.ip = "192.168.0.99";
  bare.netmask = "255.255.0.0";
  bare.gateway = "192.168.0.1";
  fake.Answer({configured});
  fake.AnswerUnconfigured({bare});
  CreateEngine(fake.port(), FastTiming());
  ASSERT_EQ(FinderStart(), 1);
  ASSERT_TRUE(WaitUntil([] { return FinderInstance()->listChanged(); }, 5000));
  DeviceList devices;
  FinderGetDevices(devices);
  ASSERT_EQ(devices.size(), 2u);
  const DeviceRecord& listedConfigured = devices.front();
  const DeviceRecord& listedBare = devices.back();
  EXPECT_EQ(listedConfigured.ipAddress, "10.0.0.10");
  EXPECT_EQ(listedConfigured.netmask, "255.255.255.0");
  EXPECT_EQ(listedBare.serial, 0x20u);
  EXPECT_EQ(listedBare.name, "fresh from the factory");
  EXPECT_EQ(listedBare.ipAddress, "0.0.0.0");
  EXPECT_EQ(listedBare.netmask, "0.0.0.0");
  EXPECT_EQ(listedBare.gateway, "0.0.0.0");
}
#endif

}  // namespace
}  // namespace velkarin::test
