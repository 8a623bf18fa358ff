// The simulator answers discovery the way devices do, over real UDP.
#include <algorithm>
#include <chrono>
#include <set>
#include <string>

#include "devsim_test_support.h"
#include "platform/interfaces.h"
#include "platform/socket.h"
#include "protocol/udp_channel.h"

namespace velkarin::test {
namespace {

using namespace std::string_literals;

using DevsimDiscovery = DevsimTest;

TEST_F(DevsimDiscovery, AnswersWithTheExactAnnouncementBytesFromItsPort) {
  DevsimProcess sim({"--port", "0"}, R"({"devices": [{
      "serial": "A1B2", "dhcp": 0, "ip": "192.168.1.20", "netmask": "255.255.255.0",
      "gateway": "192.168.1.1", "name": "Pump 3  west \\xA0\\\\ \u00d6l",
      "extNumber1": 7, "extTexts": ["a", "b", "c", "d"], "deviceId": "0050C2123456",
      "deviceIndex": 1, "extNumber2": 42, "extTextA": "alpha", "extTextB": "beta",
      "commandSuffix": 2, "auxNumber": "1F", "auxTextA": "x", "auxTextB": "y"}]})");
  ASSERT_SIM_READY(sim);
  EXPECT_NE(sim.port(), 0);
  ProbeSocket probe;
  ASSERT_TRUE(probe.ok());

  std::vector<ProbeDatagram> answers = Discover(probe, sim);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].bytes,
            "A1B2 0 192.168.1.20 255.255.255.0 192.168.1.1 Pump 3  west \xA0\\ \xD6l\0"
            "7 a b c d 0050C2123456 1 42 alpha beta 2\0"
            "1F x y\0"s);
  EXPECT_EQ(answers[0].sender, "127.0.0.1");
  EXPECT_EQ(answers[0].senderPort, sim.port());
}

TEST_F(DevsimDiscovery, SendsTheSectionsItIsToldToAndEndsASectionAtAnEmptyText) {
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=1,ip=10.0.0.1,netmask=255.0.0.0,gateway=10.0.0.9", "--device",
                     // The byte escaped: a Windows build's arguments would
                     // pass a UTF-8 letter through its code page.
                     "serial=2,sections=2,name=Pr\\xFCfstand,ip=10.0.0.2,netmask=255.0.0.0,"
                     "gateway=10.0.0.9,deviceId=D2,deviceIndex=0",
                     "--device",
                     "serial=3,sections=3,terminateLastSection=false,dhcp=1,"
                     "ip=10.0.0.3,netmask=255.0.0.0,gateway=10.0.0.9,name=Three",
                     "--device", "serial=4,dhcp=1,name=\"no address\"", "--device",
                     "serial=5,answersDiscovery=false"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  std::vector<std::string> answers = BytesOf(Discover(probe, sim));
  std::sort(answers.begin(), answers.end());
  const std::vector<std::string> expected = {
      "1 0 10.0.0.1 255.0.0.0 10.0.0.9\0"s,
      "2 0 10.0.0.2 255.0.0.0 10.0.0.9 Pr\xFC"
      "fstand\0"
      "0 - - - - D2 0 0 - - -1\0"s,
      "3 1 10.0.0.3 255.0.0.0 10.0.0.9 Three\0"
      "0 - - - -\0"
      "0 - -"s,
      "4 1\0"s,
  };
  EXPECT_EQ(answers, expected);
}

TEST_F(DevsimDiscovery, RawAnnouncementsGoOutVerbatim) {
  DevsimProcess sim({"--port", "0", "--device", R"(raw="hex:41 31 00 00 ff 20")", "--device",
                     R"(raw="text:B2 1\t2\0\x01 end")"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  std::vector<std::string> answers = BytesOf(Discover(probe, sim));
  std::sort(answers.begin(), answers.end());
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], "A1\0\0\xff "s);
  EXPECT_EQ(answers[1], "B2 1\t2\0\x01 end"s);
}

TEST_F(DevsimDiscovery, AnswersOnlyTheExactFiveByteDiscoveryDatagram) {
  DevsimProcess sim({"--port", "0", "--device", "serial=A1B2"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  for (const std::string& near : {"0 1 A\0"s, "0 1 A "s, "0 1 a"s, " 0 1 A"s, "0 1 B"s}) {
    EXPECT_TRUE(Exchange(probe, sim, near, 200).empty()) << near;
  }
  EXPECT_EQ(Discover(probe, sim).size(), 1u);
  EXPECT_EQ(sim.Received().size(), 6u);
}

TEST_F(DevsimDiscovery, RepeatsAndDelaysItsAnnouncements) {
  DevsimProcess sim({"--port", "0", "--device", "serial=A,repeat=3,repeatIntervalMs=20", "--device",
                     "serial=B,announceDelayMs=600"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(probe.Broadcast("0 1 A", sim.port()));
  std::vector<std::string> first;
  std::chrono::milliseconds delayedAfter{0};
  for (std::optional<ProbeDatagram> d; (d = probe.Receive(2000));) {
    if (d->bytes[0] == 'B') {
      delayedAfter = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      break;
    }
    first.push_back(d->bytes);
  }
  EXPECT_EQ(first, std::vector<std::string>(3, "A 0\0"s));
  EXPECT_GE(delayedAfter.count(), 550);
}

TEST_F(DevsimDiscovery, AnUnconfiguredDeviceSendsFromAddressZero) {
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=C3,unconfigured=true,ip=1.2.3.4,netmask=255.0.0.0,gateway=1.1.1.1",
                     "--device", "serial=D4,ip=10.0.0.4"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  std::vector<ProbeDatagram> answers = Discover(probe, sim);
  ASSERT_EQ(answers.size(), 2u);
  for (const ProbeDatagram& d : answers) {
    if (d.bytes[0] == 'C') {
      EXPECT_EQ(d.sender, "0.0.0.0");
      EXPECT_EQ(d.bytes, "C3 0 1.2.3.4 255.0.0.0 1.1.1.1\0"s);
    } else {
      EXPECT_EQ(d.sender, "127.0.0.1");
      EXPECT_EQ(d.senderPort, sim.port());
    }
  }
  bool loggedUnconfigured = false;
  for (const LoggedDatagram& d : sim.Datagrams()) {
    if (!d.received && d.bytes[0] == 'C') {
      loggedUnconfigured =
          d.fromUnconfigured && d.address == "255.255.255.255" && d.port == probe.port();
    }
  }
  EXPECT_TRUE(loggedUnconfigured) << sim.LogText();
}

#ifndef _WIN32
// A request that itself comes from 0.0.0.0 is answered on loopback at its port.
TEST_F(DevsimDiscovery, ARequestFromAddressZeroIsAnsweredOnLoopback) {
  DevsimProcess sim({"--port", "0", "--device", "serial=E5"});
  ASSERT_SIM_READY(sim);
  // Tied to lo and bound to 0.0.0.0, a socket sends from 0.0.0.0, as the
  // simulator's unconfigured devices do.
  const platform::SocketHandle s = platform::UdpSocketOpen();
  ASSERT_NE(s, platform::kInvalidSocket);
  ASSERT_TRUE(platform::SocketSetBroadcast(s));
  ASSERT_TRUE(platform::SocketBindToDevice(s, "lo"));
  ASSERT_TRUE(platform::SocketBindAny(s, 0));
  const std::uint16_t localPort = platform::SocketLocalPort(s);
  ASSERT_EQ(platform::SocketSendTo(s, "0 1 A", 5, kBroadcastAddress, sim.port()), 5);
  char buffer[64];
  int n = -1;
  if (platform::SocketWaitReadable(s, 3000) == 1) {
    n = platform::SocketReceiveFrom(s, buffer, sizeof buffer, nullptr, nullptr);
  }
  platform::SocketClose(s);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), "E5 0\0"s);
  std::vector<LoggedDatagram> log = sim.Datagrams();
  ASSERT_GE(log.size(), 2u);
  EXPECT_TRUE(log[0].received);
  EXPECT_EQ(log[0].address, "0.0.0.0");
  EXPECT_EQ(log[0].port, localPort);
  EXPECT_EQ(log[1].address, "127.0.0.1");
  EXPECT_EQ(log[1].port, localPort);
}
#endif

TEST_F(DevsimDiscovery, AGeneratedFleetHasDistinctDevices) {
  DevsimProcess sim({"--port", "0", "--fleet", "5", "--fleet-serial-base", "200000",
                     "--fleet-template", "sections=2,deviceIndex=3"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  std::vector<std::string> answers = BytesOf(Discover(probe, sim));
  std::sort(answers.begin(), answers.end());
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_EQ(answers[0],
            "200000 0 10.0.0.1 255.0.0.0 10.0.0.254 Sim device 1\0"
            "0 - - - -\0"s);
  EXPECT_EQ(answers[4],
            "200004 0 10.0.0.5 255.0.0.0 10.0.0.254 Sim device 5\0"
            "0 - - - -\0"s);
}

TEST_F(DevsimDiscovery, FloodsAsManyAnnouncementsAsAskedAndStopsAfterItsDuration) {
  DevsimProcess burst({"--port", "0", "--device", "serial=100,floodPerDiscovery=40,floodVary=1"});
  ASSERT_SIM_READY(burst);
  ProbeSocket probe;
  std::vector<std::string> answers = BytesOf(Discover(probe, burst));
  EXPECT_EQ(answers.size(), 41u);
  std::set<std::string> distinct(answers.begin(), answers.end());
  EXPECT_EQ(distinct.size(), 41u);
  EXPECT_EQ(distinct.count("100 0\0"s), 1u);
  EXPECT_EQ(distinct.count("128 0\0"s), 1u);  // 0x100 + 40
  burst.Stop();

  DevsimProcess rate({"--port", "0", "--device", "serial=200,floodRate=200,floodDurationMs=500"});
  ASSERT_SIM_READY(rate);
  ProbeSocket rateProbe;
  answers = BytesOf(Discover(rateProbe, rate, 700));
  // About 100 at 200 per second for half a second, plus the ordinary answer;
  // the line then stays quiet.
  EXPECT_GE(answers.size(), 40u);
  EXPECT_LE(answers.size(), 160u);
  EXPECT_FALSE(rateProbe.Receive(600));
}

TEST_F(DevsimDiscovery, TheLogRecordsEveryReceivedDatagramByteForByte) {
  DevsimProcess sim({"--port", "0", "--device", "serial=A1B2"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  const std::string odd = "\x00\xff \"q\\ \x7f\n"s;
  const std::string dhcp = "00A1B2 5 1   "s;
  ASSERT_TRUE(probe.Broadcast("0 1 A", sim.port()));
  ASSERT_TRUE(probe.Broadcast(odd, sim.port()));
  ASSERT_TRUE(probe.Broadcast(dhcp, sim.port()));
  ASSERT_TRUE(sim.WaitForReceived(3, 3000));
  EXPECT_EQ(sim.Received(), (std::vector<std::string>{"0 1 A", odd, dhcp}));
  const std::string log = sim.LogText();
  EXPECT_NE(log.find(" RX 127.0.0.1:" + std::to_string(probe.port()) +
                     " len=5 hex=3020312041 text=\"0 1 A\"\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("len=9 hex=00FF2022715C207F0A text=\"\\0\\xFF \\\"q\\\\ \\x7F\\n\"\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("text=\"00A1B2 5 1   \""), std::string::npos) << log;
}

}  // namespace
}  // namespace velkarin::test
