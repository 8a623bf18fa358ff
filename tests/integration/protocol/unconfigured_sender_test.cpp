// The sender-unconfigured flag for announcements of real devices played by
// the simulator, one of which answers from 0.0.0.0. A Linux program sends
// those; a Windows program cannot, so this is how the Windows builds see one.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "devsim_process.h"
#include "platform/socket.h"
#include "private_network.h"
#include "protocol/udp_channel.h"

namespace velkarin {
namespace {

TEST(ChannelWithDevices, FlagFollowsTheSenderOfEachAnnouncement) {
  REQUIRE_PRIVATE_NETWORK();
  test::DevsimProcess sim({"--port", "0", "--device", "serial=C3,unconfigured=true,ip=1.2.3.4",
                           "--device", "serial=D4,ip=127.0.0.1"});
  ASSERT_TRUE(sim.ready()) << sim.error() << sim.Output();

  UdpChannel channel(Destination{kBroadcastAddress, sim.port()});
  channel.SendDiscovery();

  // serial text -> flag of its announcement
  std::map<std::string, bool> flags;
  for (int waits = 0; waits < 20 && flags.size() < 2; ++waits) {
    if (platform::SocketWaitReadable(channel.socket(), 250) != 1) continue;
    char buffer[1024];
    bool unconfigured = false;
    const int count = channel.Receive(buffer, sizeof buffer, unconfigured);
    ASSERT_GT(count, 0);
    const std::string bytes(buffer, static_cast<std::size_t>(count));
    flags[bytes.substr(0, bytes.find(' '))] = unconfigured;
  }
  ASSERT_EQ(flags.size(), 2u) << sim.LogText();
  EXPECT_TRUE(flags["C3"]);
  EXPECT_FALSE(flags["D4"]);
}

}  // namespace
}  // namespace velkarin
