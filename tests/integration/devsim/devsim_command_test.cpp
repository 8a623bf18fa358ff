// The simulator answers configuration commands by each device's behaviour.
#include <string>
#include <thread>

#include "devsim_test_support.h"

namespace velkarin::test {
namespace {

using namespace std::string_literals;

using DevsimCommands = DevsimTest;

const std::string kForm5 = "00A1B2 5 0 192.168.1.20 255.255.255.0 192.168.1.1";
const std::string kForm4 = "0050C2123456 4 1 0 192.168.1.20 255.255.255.0 192.168.1.1";
const std::string kForm3 = "0050c2123456 3 1 0 192.168.1.20 255.255.255.0 192.168.1.1 2";
// Form 8 with zeros where the digest goes; digests below were computed with
// an independent MD5 (Python's hashlib) over password[:20] + challenge + this.
const std::string kForm8Zeroed =
    "00A1B2 8 00000000000000000000000000000000 2 0 192.168.1.20 255.255.255.0 192.168.1.1 0";

std::string Form8(const std::string& digest) {
  std::string text = kForm8Zeroed;
  return text.replace(9, 32, digest);
}

std::vector<std::string> Replies(ProbeSocket& probe, const DevsimProcess& sim,
                                 const std::string& command, unsigned quietMs = 400) {
  return BytesOf(Exchange(probe, sim, command, quietMs));
}

const char* const kPump =
    "serial=A1B2,ip=10.0.0.5,netmask=255.255.255.0,gateway=10.0.0.1,"
    "deviceId=0050C2123456,deviceIndex=1,commandSuffix=2";

TEST_F(DevsimCommands, AcceptsEveryFormAddressedByIdOrSerialAndNothingElse) {
  DevsimProcess sim({"--port", "0", "--device", kPump + ",afterAccept=none"s});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  EXPECT_EQ(Replies(probe, sim, kForm5), std::vector<std::string>{"A1B2 5 1"});
  EXPECT_EQ(Replies(probe, sim, kForm4), std::vector<std::string>{"A1B2 4 1"});
  EXPECT_EQ(Replies(probe, sim, kForm3), std::vector<std::string>{"A1B2 3 1"});
  EXPECT_EQ(Replies(probe, sim, Form8("D1129826C46DCC317FA0828B23BFCC92")),
            std::vector<std::string>{"A1B2 8 1"});
  EXPECT_EQ(Replies(probe, sim, "00A1B2 5 1   "), std::vector<std::string>{"A1B2 5 1"});

  for (const std::string& unanswered : {
           "A1B2 5 0 192.168.1.20 255.255.255.0 192.168.1.1"s,  // serial not "%06X"
           "000A1B2 5 0 192.168.1.20 255.255.255.0 192.168.1.1"s,
           "00a1b2 5 0 192.168.1.20 255.255.255.0 192.168.1.1"s,
           "0050C2123457 4 1 0 192.168.1.20 255.255.255.0 192.168.1.1"s,
           "00A1B2 5 1  "s,                                        // a field short
           "00A1B2 5 0 192.168.1.20  255.255.255.0 192.168.1.1"s,  // a field too many
           "00A1B2 6 0 192.168.1.20 255.255.255.0 192.168.1.1"s,
           "0050C2123456 4 x 0 192.168.1.20 255.255.255.0 192.168.1.1"s,
           "00A1B2 8 0000 2 0 192.168.1.20 255.255.255.0 192.168.1.1 0"s,
       }) {
    EXPECT_TRUE(Replies(probe, sim, unanswered, 250).empty()) << unanswered;
  }
  // Still the old configuration: afterAccept=none.
  EXPECT_EQ(Section1(Discover(probe, sim).at(0).bytes), "A1B2 0 10.0.0.5 255.255.255.0 10.0.0.1");
}

TEST_F(DevsimCommands, AnnouncesTheAcceptedConfiguration) {
  DevsimProcess sim({"--port", "0", "--device", kPump});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  ASSERT_EQ(Replies(probe, sim, kForm4), std::vector<std::string>{"A1B2 4 1"});
  std::vector<std::string> announced = BytesOf(Discover(probe, sim));
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(Section1(announced[0]), "A1B2 0 192.168.1.20 255.255.255.0 192.168.1.1");

  // DHCP on: the fields are empty and the device keeps its address.
  ASSERT_EQ(Replies(probe, sim, "0050C2123456 4 1 1   "), std::vector<std::string>{"A1B2 4 1"});
  announced = BytesOf(Discover(probe, sim));
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(Section1(announced[0]), "A1B2 1 192.168.1.20 255.255.255.0 192.168.1.1");
}

// An empty gateway field would end the section early and drop the name, so a
// device configured without a gateway announces 0.0.0.0 and keeps its name.
TEST_F(DevsimCommands, AFixedConfigurationWithoutGatewayIsAnnouncedWithGateway0000) {
  DevsimProcess sim({"--port", "0", "--device", kPump + ",name=Pump"s});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  ASSERT_EQ(Replies(probe, sim, "00A1B2 5 0 172.20.5.9 255.255.0.0 "),
            std::vector<std::string>{"A1B2 5 1"});
  std::vector<std::string> announced = BytesOf(Discover(probe, sim));
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(Section1(announced[0]), "A1B2 0 172.20.5.9 255.255.0.0 0.0.0.0 Pump");
}

TEST_F(DevsimCommands, ChangesAfterItsDelayAndIsSilentMeanwhileWhenAsked) {
  DevsimProcess sim(
      {"--port", "0", "--device", kPump + ",afterAcceptDelayMs=1000,silentWhileChanging=true"s});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  ASSERT_EQ(Replies(probe, sim, kForm5, 200), std::vector<std::string>{"A1B2 5 1"});
  EXPECT_TRUE(Discover(probe, sim, 200).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(900));
  std::vector<std::string> announced = BytesOf(Discover(probe, sim));
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(Section1(announced[0]), "A1B2 0 192.168.1.20 255.255.255.0 192.168.1.1");
}

TEST_F(DevsimCommands, AnnouncesAnotherConfigurationOrVanishes) {
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=A1B2,ip=10.0.0.5,netmask=255.0.0.0,gateway=10.0.0.1,"
                     "afterAccept=other,otherIp=10.9.9.9",
                     "--device", "serial=C3,ip=10.0.0.6,afterAccept=vanish"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  ASSERT_EQ(Replies(probe, sim, kForm5), std::vector<std::string>{"A1B2 5 1"});
  ASSERT_EQ(Replies(probe, sim, "0000C3 5 1   "), std::vector<std::string>{"C3 5 1"});
  std::vector<std::string> announced = BytesOf(Discover(probe, sim));
  EXPECT_EQ(announced, std::vector<std::string>{"A1B2 0 10.9.9.9 255.0.0.0 10.0.0.1\0"s});
  EXPECT_TRUE(Replies(probe, sim, "0000C3 5 1   ").empty());
}

TEST_F(DevsimCommands, RefusesWithOrWithoutAChallenge) {
  DevsimProcess sim(
      {"--port", "0", "--device", "serial=A1B2,onCommand=refuse", "--device",
       "serial=C3,onCommand=refuse,challenges=[\"00112233445566778899AABBCCDDEEFF\"]"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  EXPECT_EQ(Replies(probe, sim, kForm5), std::vector<std::string>{"A1B2 5 -1"});
  EXPECT_EQ(Replies(probe, sim, "0000C3 5 1   "),
            std::vector<std::string>{"C3 5 -1 00112233445566778899AABBCCDDEEFF"});
  // The list is used up: plain refusals from then on.
  EXPECT_EQ(Replies(probe, sim, "0000C3 5 1   "), std::vector<std::string>{"C3 5 -1"});
}

// Requires a digest; hands out this challenge to the first command without one.
const char* const kAuthenticating =
    "serial=A1B2,onCommand=require-auth,password=secret,"
    "challenges=[\"00112233445566778899AABBCCDDEEFF\"]";
// Its refusal of that first command, with the challenge.
const std::vector<std::string> kFirstRefusal{"A1B2 5 -1 00112233445566778899AABBCCDDEEFF"};

TEST_F(DevsimCommands, RequiresACorrectDigestOverItsCurrentChallenge) {
  DevsimProcess sim({"--port", "0", "--device", kAuthenticating});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  // Unauthenticated: refused with the next challenge.
  EXPECT_EQ(Replies(probe, sim, kForm5), kFirstRefusal);
  // A digest over the old (zero) challenge is wrong now; the refusal hands
  // out a derived challenge since the list is used up.
  std::vector<std::string> refused = Replies(probe, sim, Form8("D1129826C46DCC317FA0828B23BFCC92"));
  ASSERT_EQ(refused.size(), 1u);
  ASSERT_EQ(refused[0].size(), std::string("A1B2 8 -1 ").size() + 32);
  EXPECT_EQ(refused[0].substr(0, 10), "A1B2 8 -1 ");
  EXPECT_NE(refused[0].substr(10), "00112233445566778899AABBCCDDEEFF");
  EXPECT_EQ(refused[0].find_first_not_of("0123456789ABCDEF", 10), std::string::npos);
}

TEST_F(DevsimCommands, AcceptsTheDigestOverTheChallengeItHandedOut) {
  DevsimProcess sim({"--port", "0", "--device", kAuthenticating});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  ASSERT_EQ(Replies(probe, sim, kForm5), kFirstRefusal);
  EXPECT_EQ(Replies(probe, sim, Form8("F1923628014A819573D4CDD6A6E2313B")),
            std::vector<std::string>{"A1B2 8 1"});
}

TEST_F(DevsimCommands, VerifiesDigestsOverAGivenChallengeAndTheFirstTwentyPasswordBytes) {
  DevsimProcess sim(
      {"--port", "0", "--device",
       "serial=A1B2,onCommand=require-auth,password=secret,"
       "challenge=00000000000000000000000000000000",
       "--device",
       "serial=A1B3,onCommand=require-auth,password=secret,"
       "challenge=00112233445566778899AABBCCDDEEFF",
       "--device",
       "serial=7,deviceId=PUMP-7,deviceIndex=1,onCommand=require-auth,"
       "password=abcdefghijklmnopqrstuvwxyz,challenge=0F1E2D3C4B5A69788796A5B4C3D2E1F0"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  // Made with the password "wrong".
  EXPECT_EQ(Replies(probe, sim, Form8("B25DD756C5D3ADDF2CBCD6B8683BC9E2")).at(0).substr(0, 10),
            "A1B2 8 -1 ");

  std::string a1b3 = Form8("0EB6C4091C3B0E7C0D863F73B1AB4E49");
  a1b3[5] = '3';
  EXPECT_EQ(Replies(probe, sim, a1b3), std::vector<std::string>{"A1B3 8 1"});
  // Lower-case digits are not what the device computes.
  std::string lower = Form8("0eb6c4091c3b0e7c0d863f73b1ab4e49");
  lower[5] = '3';
  EXPECT_EQ(Replies(probe, sim, lower).at(0).substr(0, 10), "A1B3 8 -1 ");

  // The device digests only the first 20 bytes of its 26-byte password.
  EXPECT_EQ(Replies(probe, sim, "PUMP-7 8 CD73691553A4227A965B1B12BDC68FAD 1 1    3"),
            std::vector<std::string>{"7 8 1"});
  EXPECT_EQ(
      Replies(probe, sim, "PUMP-7 8 3D9CD5964388BF2DAD5E787EE016141E 1 1    3").at(0).substr(0, 7),
      "7 8 -1 ");
}

TEST_F(DevsimCommands, AnswersWithAStatusAWrongCodeGarbageOrAnOversizeReply) {
  DevsimProcess sim({"--port", "0", "--device", "serial=1,replyStatus=2", "--device",
                     "serial=2,onCommand=wrong-code,replyCode=7", "--device",
                     R"(serial=3,replyBytes="hex:FF 00 41")", "--device",
                     "serial=4,onCommand=oversize,oversizeLength=130", "--device",
                     "serial=5,onCommand=silent"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  EXPECT_EQ(Replies(probe, sim, "000001 5 1   "), std::vector<std::string>{"1 5 2"});
  EXPECT_EQ(Replies(probe, sim, "000002 5 1   "), std::vector<std::string>{"2 7 1"});
  EXPECT_EQ(Replies(probe, sim, "000003 5 1   "), std::vector<std::string>{"\xff\0A"s});
  std::vector<std::string> oversize = Replies(probe, sim, "000004 5 1   ");
  ASSERT_EQ(oversize.size(), 1u);
  EXPECT_EQ(oversize[0].size(), 130u);
  EXPECT_EQ(oversize[0].substr(0, 6), "4 5 1 ");
  EXPECT_EQ(oversize[0].find_first_not_of(' ', 5), std::string::npos);
  EXPECT_TRUE(Replies(probe, sim, "000005 5 1   ", 800).empty());
  EXPECT_EQ(sim.Received().size(), 5u);
}

TEST_F(DevsimCommands, SendsSeveralRepliesAfterItsDelay) {
  DevsimProcess sim({"--port", "0", "--device",
                     "serial=A1B2,replyStatus=0,replyCount=2,replyDelayMs=500,"
                     "extraReplies=[\"A1B2 5 2\",\"text:junk\\\\0\"]"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(probe.Broadcast(kForm5, sim.port()));
  std::optional<ProbeDatagram> first = probe.Receive(3000);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(first);
  EXPECT_GE(elapsed, std::chrono::milliseconds(450));
  std::vector<std::string> all{first->bytes};
  for (const std::string& more : BytesOf(probe.ReceiveAll(400))) all.push_back(more);
  EXPECT_EQ(all, (std::vector<std::string>{"A1B2 5 0", "A1B2 5 0", "A1B2 5 2", "junk\0"s}));
}

TEST_F(DevsimCommands, EveryAddressedDeviceAnswersAndAnIndexCanBeRequired) {
  DevsimProcess sim({"--port", "0", "--device", "serial=A1B2,deviceId=Twin,deviceIndex=1",
                     "--device", "serial=A1B3,deviceId=twin,deviceIndex=2,matchIndex=true",
                     "--device", "serial=A1B4,deviceId=TWIN,deviceIndex=3,matchIndex=true"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  std::vector<std::string> replies = Replies(probe, sim, "TWIN 4 2 1   ");
  std::sort(replies.begin(), replies.end());
  EXPECT_EQ(replies, (std::vector<std::string>{"A1B2 4 1", "A1B3 4 1"}));
  replies = Replies(probe, sim, "twin 5 1   ");
  EXPECT_EQ(replies.size(), 3u);
}

TEST_F(DevsimCommands, AnUnconfiguredDeviceRepliesFromAddressZeroUntilItHasAnAddress) {
  DevsimProcess sim({"--port", "0", "--device", "serial=C3,unconfigured=true,ip=1.2.3.4"});
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  std::vector<ProbeDatagram> replies = Exchange(probe, sim, "0000C3 5 1   ");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].bytes, "C3 5 1");
  EXPECT_EQ(replies[0].sender, "0.0.0.0");
  EXPECT_EQ(Discover(probe, sim).at(0).sender, "0.0.0.0");  // DHCP: still no address

  replies = Exchange(probe, sim, "0000C3 5 0 10.1.2.3 255.0.0.0 10.0.0.1");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].sender, "0.0.0.0");
  std::vector<ProbeDatagram> announced = Discover(probe, sim);
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(announced[0].sender, "127.0.0.1");
  EXPECT_EQ(announced[0].bytes, "C3 0 10.1.2.3 255.0.0.0 10.0.0.1\0"s);
}

}  // namespace
}  // namespace velkarin::test
