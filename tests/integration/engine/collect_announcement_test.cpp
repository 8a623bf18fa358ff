// The step that every discovery loop repeats (the worker's passes, the
// transaction's polls, the tool's scan): one receive, parsed and merged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devsim_process.h"
#include "engine/device_finder.h"
#include "fake_device.h"
#include "platform/socket.h"
#include "private_network.h"

namespace velkarin::test {
namespace {

// Takes what the channel has queued once it is readable; the counts of every
// CollectAnnouncement, the last (the one that found the queue empty) included.
std::vector<int> CollectAll(UdpChannel& channel, DeviceCollector& collector, int expected) {
  std::vector<int> counts;
  char buffer[kReceiveBufferSize];
  int taken = 0;
  for (int waits = 0; waits < 20 && taken < expected; ++waits) {
    if (platform::SocketWaitReadable(channel.socket(), 250) != 1) continue;
    const int count = CollectAnnouncement(channel, buffer, collector);
    counts.push_back(count);
    ++taken;
  }
  counts.push_back(CollectAnnouncement(channel, buffer, collector));
  return counts;
}

TEST(CollectAnnouncement, EachDatagramIsOneReceiveAndAtMostOneRecord) {
  REQUIRE_PRIVATE_NETWORK();
  const std::string plain("A1B2 0 10.0.0.5 255.255.255.0 10.0.0.254 Pump");
  // Two sections: the identifier makes it a device of its own.
  const std::string named = std::string("C3 1 10.0.0.6 255.0.0.0 10.0.0.1 Valve") + '\0' +
                            "0 t0 t1 t2 t3 VALVE-1 2 0 ta tb -1";
  // Longer than the buffer: lost whole, and what follows is still taken.
  const std::string tooLong = "D4 0 10.0.0.7 255.255.255.0 10.0.0.254 " + std::string(1100, 'x');
  FakeDevice devices;
  devices.AnswerRaw({plain, tooLong, named, plain});
  UdpChannel channel(Destination{kBroadcastAddress, devices.port()});
  DeviceCollector collector;
  channel.SendDiscovery();

  const std::vector<int> counts = CollectAll(channel, collector, 4);
  ASSERT_EQ(counts.size(), 5u);
  EXPECT_EQ(counts[0], static_cast<int>(plain.size()));
  EXPECT_LE(counts[1], 0) << "a datagram that did not fit";
  EXPECT_EQ(counts[2], static_cast<int>(named.size()));
  EXPECT_EQ(counts[3], static_cast<int>(plain.size()));
  EXPECT_LE(counts[4], 0) << "nothing left";

  const DeviceList records = collector.Snapshot();
  ASSERT_EQ(records.size(), 2u) << "the repeated announcement merges into the first";
  EXPECT_EQ(records.front().serial, 0xA1B2u);
  EXPECT_EQ(records.front().name, "Pump");
  EXPECT_EQ(records.front().ipAddress, "10.0.0.5");
  EXPECT_EQ(records.back().serial, 0xC3u);
  EXPECT_EQ(records.back().deviceId, "VALVE-1");
  EXPECT_EQ(records.back().deviceIndex, 2);
}

// A device that answers from 0.0.0.0 has no address, whatever it announces.
TEST(CollectAnnouncement, UnconfiguredSenderIsListedWithoutAddresses) {
  REQUIRE_PRIVATE_NETWORK();
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=C3,unconfigured=true,ip=1.2.3.4,netmask=255.0.0.0,gateway=1.0.0.1",
                     "--device", "serial=D4,ip=127.0.0.1"});
  ASSERT_TRUE(sim.ready()) << sim.error() << sim.Output();
  UdpChannel channel(Destination{kBroadcastAddress, sim.port()});
  DeviceCollector collector;
  channel.SendDiscovery();

  const std::vector<int> counts = CollectAll(channel, collector, 2);
  ASSERT_EQ(counts.size(), 3u) << sim.LogText();
  DeviceRecord unconfigured;
  ASSERT_TRUE(collector.FindBySerial(0xC3, unconfigured));
  EXPECT_EQ(unconfigured.ipAddress, "0.0.0.0");
  EXPECT_EQ(unconfigured.netmask, "0.0.0.0");
  EXPECT_EQ(unconfigured.gateway, "0.0.0.0");
  DeviceRecord configured;
  ASSERT_TRUE(collector.FindBySerial(0xD4, configured));
  EXPECT_EQ(configured.ipAddress, "127.0.0.1");
}

}  // namespace
}  // namespace velkarin::test
