#include "protocol/udp_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/socket.h"
#include "private_network.h"
#include "test_sockets.h"

namespace velkarin {
namespace {

using platform::kInvalidSocket;
using platform::SocketHandle;
using test::Datagram;
using test::kLoopback;
using test::OpenBoundSocket;
using test::ReceiveWithin;

class Channel : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_NETWORK();
    ASSERT_TRUE(platform::SocketsStartup());
  }
  void TearDown() override {
    platform::ClearFaults();
    platform::SocketsCleanup();
  }

  // Sends `bytes` from a socket of its own to 127.0.0.1:`port`.
  static void SendTo(std::uint16_t port, const std::string& bytes) {
    const SocketHandle sender = OpenBoundSocket(0, 0);
    ASSERT_NE(sender, kInvalidSocket);
    EXPECT_EQ(platform::SocketSendTo(sender, bytes.data(), bytes.size(), kLoopback, port),
              static_cast<int>(bytes.size()));
    platform::SocketClose(sender);
  }

  // Waits for the channel's socket to become readable, then takes one datagram.
  static int ReceiveOne(UdpChannel& channel, std::string& bytes, bool& unconfigured,
                        std::size_t bufferSize = 1024) {
    platform::SocketWaitReadable(channel.socket(), 2000);
    std::string buffer(bufferSize, '\0');
    const int count = channel.Receive(&buffer[0], buffer.size(), unconfigured);
    bytes = count > 0 ? buffer.substr(0, static_cast<std::size_t>(count)) : std::string();
    return count;
  }

  static int ReceiveNow(UdpChannel& channel) {
    char buffer[1024];
    bool unconfigured = true;
    return channel.Receive(buffer, sizeof buffer, unconfigured);
  }
};

TEST_F(Channel, DiscoveryIsFiveBytesBroadcastToPort8001) {
  const SocketHandle receiver = OpenBoundSocket(0, kDevicePort);
  ASSERT_NE(receiver, kInvalidSocket);

  UdpChannel channel;
  ASSERT_NE(channel.localPort(), 0);
  channel.SendDiscovery();

  const Datagram d = test::ReceiveWithDestination(receiver, 2000);
  ASSERT_EQ(d.count, 5);
  EXPECT_EQ(d.bytes, std::string("\x30\x20\x31\x20\x41", 5));
  EXPECT_EQ(d.destination, 0xFFFFFFFFu) << std::hex << d.destination;
  EXPECT_EQ(d.senderPort, channel.localPort());
  // Exactly one datagram per call.
  EXPECT_EQ(ReceiveWithin(receiver, 200).count, -1);
  platform::SocketClose(receiver);
}

TEST_F(Channel, DestinationReportIsTheAddressSentTo) {
  // The check above relies on this: a datagram sent to 127.0.0.1 is reported
  // with that destination, not as a broadcast.
  const SocketHandle receiver = OpenBoundSocket(0, kDevicePort);
  ASSERT_NE(receiver, kInvalidSocket);
  UdpChannel channel(Destination{kLoopback, kDevicePort});
  channel.SendDiscovery();
  const Datagram d = test::ReceiveWithDestination(receiver, 2000);
  EXPECT_EQ(d.count, 5);
  EXPECT_EQ(d.destination, kLoopback) << std::hex << d.destination;
  platform::SocketClose(receiver);
}

TEST_F(Channel, DiscoveryGoesToAChosenDestination) {
  const SocketHandle receiver = OpenBoundSocket(kLoopback, 0);
  ASSERT_NE(receiver, kInvalidSocket);
  const std::uint16_t port = platform::SocketLocalPort(receiver);
  UdpChannel channel(Destination{kLoopback, port});
  channel.SendDiscovery();
  const Datagram d = ReceiveWithin(receiver, 2000);
  EXPECT_EQ(d.bytes, "0 1 A");
  EXPECT_EQ(d.senderPort, channel.localPort());
  platform::SocketClose(receiver);
}

TEST_F(Channel, TwoChannelsHaveTheirOwnPortsAndDatagrams) {
  UdpChannel a;
  UdpChannel b;
  ASSERT_NE(a.localPort(), 0);
  ASSERT_NE(b.localPort(), 0);
  EXPECT_NE(a.localPort(), b.localPort());

  SendTo(a.localPort(), "for a, first");
  SendTo(b.localPort(), "for b");
  SendTo(a.localPort(), "for a, second");

  std::string bytes;
  bool unconfigured = true;
  EXPECT_EQ(ReceiveOne(a, bytes, unconfigured), 12);
  EXPECT_EQ(bytes, "for a, first");
  EXPECT_FALSE(unconfigured);
  EXPECT_EQ(ReceiveOne(a, bytes, unconfigured), 13);
  EXPECT_EQ(bytes, "for a, second");
  EXPECT_LE(ReceiveNow(a), 0);

  EXPECT_EQ(ReceiveOne(b, bytes, unconfigured), 5);
  EXPECT_EQ(bytes, "for b");
  EXPECT_LE(ReceiveNow(b), 0);
}

TEST_F(Channel, DatagramLongerThanTheBufferIsLost) {
  UdpChannel channel;
  const std::string tooLong(1025, 'x');
  std::string whole(1024, '\0');
  for (std::size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<char>('a' + i % 26);

  SendTo(channel.localPort(), tooLong);
  SendTo(channel.localPort(), whole);

  std::string bytes;
  bool unconfigured = false;
  EXPECT_LE(ReceiveOne(channel, bytes, unconfigured), 0);
  EXPECT_EQ(ReceiveOne(channel, bytes, unconfigured), 1024);
  EXPECT_EQ(bytes, whole);
  // The long one was not kept for a later receive either.
  EXPECT_LE(ReceiveNow(channel), 0);
}

TEST_F(Channel, ReceiveReturnsAtOnceWhenNothingWaits) {
  UdpChannel channel;
  const std::int64_t before = platform::ProcessClockMs();
  for (int i = 0; i < 10; ++i) EXPECT_LE(ReceiveNow(channel), 0);
  // Generous: a blocking receive would never return at all.
  EXPECT_LT(platform::ProcessClockMs() - before, 2000);
}

TEST_F(Channel, EmptyDatagramCountsAsNothing) {
  UdpChannel channel;
  SendTo(channel.localPort(), std::string());
  std::string bytes;
  bool unconfigured = true;
  EXPECT_EQ(ReceiveOne(channel, bytes, unconfigured), 0);
}

TEST_F(Channel, SenderFromLoopbackIsConfigured) {
  UdpChannel channel;
  bool unconfigured = true;
  std::string bytes;
  SendTo(channel.localPort(), "announce");
  EXPECT_EQ(ReceiveOne(channel, bytes, unconfigured), 8);
  EXPECT_FALSE(unconfigured);
}

#ifndef _WIN32
TEST_F(Channel, SenderWithoutAddressIsUnconfigured) {
  UdpChannel channel;
  const SocketHandle sender = test::OpenUnconfiguredSender();
  ASSERT_NE(sender, kInvalidSocket);
  ASSERT_EQ(platform::SocketSendTo(sender, "unset", 5, kBroadcastAddress, channel.localPort()), 5);

  std::string bytes;
  bool unconfigured = false;
  ASSERT_EQ(ReceiveOne(channel, bytes, unconfigured), 5);
  EXPECT_EQ(bytes, "unset");
  EXPECT_TRUE(unconfigured);

  // The flag follows each datagram: a configured sender clears it again.
  SendTo(channel.localPort(), "set");
  ASSERT_EQ(ReceiveOne(channel, bytes, unconfigured), 3);
  EXPECT_FALSE(unconfigured);
  platform::SocketClose(sender);
}
#endif

TEST_F(Channel, FailedChannelSendsNothingAndReceivesNothing) {
  const SocketHandle receiver = OpenBoundSocket(0, kDevicePort);
  ASSERT_NE(receiver, kInvalidSocket);
  for (platform::Fault fault : {platform::Fault::SOCKETS_STARTUP, platform::Fault::SOCKET_CREATE,
                                platform::Fault::SOCKET_BIND}) {
    platform::ClearFaults();
    platform::SetFault(fault, true);
    UdpChannel channel;
    platform::ClearFaults();
    channel.SendDiscovery();
    EXPECT_EQ(channel.localPort(), 0);
    EXPECT_LE(ReceiveNow(channel), 0);
    EXPECT_EQ(ReceiveWithin(receiver, 300).count, -1)
        << "fault " << static_cast<unsigned>(fault) << ": a failed channel sent";
  }
  platform::SocketClose(receiver);
}

TEST_F(Channel, SendAndReceiveFaultsHideTheTraffic) {
  const SocketHandle receiver = OpenBoundSocket(0, kDevicePort);
  ASSERT_NE(receiver, kInvalidSocket);
  UdpChannel channel;
  {
    platform::ScopedFault fault(platform::Fault::SOCKET_SEND);
    channel.SendDiscovery();
    EXPECT_EQ(channel.SendRaw("x", 1), -1);
  }
  EXPECT_EQ(ReceiveWithin(receiver, 300).count, -1);

  SendTo(channel.localPort(), "queued");
  ASSERT_EQ(platform::SocketWaitReadable(channel.socket(), 2000), 1);
  {
    platform::ScopedFault fault(platform::Fault::SOCKET_RECEIVE);
    EXPECT_LE(ReceiveNow(channel), 0);
  }
  // The fault failed the call without taking the datagram.
  std::string bytes;
  bool unconfigured = true;
  EXPECT_EQ(ReceiveOne(channel, bytes, unconfigured), 6);
  EXPECT_EQ(bytes, "queued");
  platform::SocketClose(receiver);
}

TEST_F(Channel, ManyChannelsOpenAndCloseCleanly) {
  // Each channel starts and releases the sockets library on its own.
  for (int round = 0; round < 50; ++round) {
    UdpChannel a;
    UdpChannel b;
    ASSERT_NE(a.localPort(), 0) << round;
    ASSERT_NE(b.localPort(), 0) << round;
  }
  UdpChannel last;
  SendTo(last.localPort(), "still works");
  std::string bytes;
  bool unconfigured = true;
  EXPECT_EQ(ReceiveOne(last, bytes, unconfigured), 11);
}

TEST_F(Channel, OpenChannelsNeverShareAPort) {
  // Linux would give two address-reusing sockets the same ephemeral port,
  // and then one channel hears the other's answers.
  constexpr int kChannels = 400;
  std::vector<std::unique_ptr<UdpChannel>> channels;
  std::set<std::uint16_t> ports;
  for (int i = 0; i < kChannels; ++i) {
    channels.push_back(std::make_unique<UdpChannel>());
    const std::uint16_t port = channels.back()->localPort();
    ASSERT_NE(port, 0) << i;
    EXPECT_TRUE(ports.insert(port).second) << "port " << port << " given twice, channel " << i;
  }
  // A device's answer to one channel reaches that channel alone.
  SendTo(channels.front()->localPort(), "only for the first");
  std::string bytes;
  bool unconfigured = true;
  EXPECT_EQ(ReceiveOne(*channels.front(), bytes, unconfigured), 18);
  for (int i = 1; i < kChannels; ++i) EXPECT_LE(ReceiveNow(*channels[i]), 0) << i;
}

// No sockets library started by the test itself: each channel starts and
// releases its own.
TEST(ChannelAlone, StartsAndReleasesTheSocketsLibraryItself) {
  REQUIRE_PRIVATE_NETWORK();
  for (int round = 0; round < 3; ++round) {
    UdpChannel channel;
    ASSERT_NE(channel.localPort(), 0) << round;
    char buffer[16];
    bool unconfigured = true;
    EXPECT_LE(channel.Receive(buffer, sizeof buffer, unconfigured), 0);
  }
}

}  // namespace
}  // namespace velkarin
