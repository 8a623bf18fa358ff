// velkarin list: the table, the JSON, the aim of --broadcast and --watch.
#include <signal.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_fixture.h"

namespace velkarin::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Steady = std::chrono::steady_clock;

const char* const kNobodyAnswered =
    "velkarin: no device answered the discovery sent to 255.255.255.255:8001 out of lo; usually a "
    "firewall drops the answers: allow incoming UDP from source port 8001 (iptables -I INPUT -p "
    "udp --sport 8001 -j ACCEPT; answers come to a port the system chooses, and new devices "
    "answer from 0.0.0.0), or a network cable or adapter is down\n";

TEST_F(CliTest, ListOnAnEmptyNetworkPrintsTheEmptyListAndSaysWhatToCheck) {
  const struct {
    std::vector<std::string> arguments;
    const char* out;
  } cases[] = {
      {{"list"}, "Snr  Name  DHCP  IP  Netmask  Gateway  Status  Interface\n"},
      // The JSON stays a list for scripts; the hint is for the person.
      {{"list", "--json"}, "[]\n"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunCli(c.arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
    // Not a terminal: no progress drawn, the hint alone.
    EXPECT_EQ(run.err, kNobodyAnswered);
  }
}

TEST_F(CliTest, ListDrawsProgressOnATerminalAndClearsItBeforeTheTable) {
  ChildProcess list({CliPath(), "list"}, /*stderrTerminal=*/true);
  ASSERT_TRUE(list.WaitForExit(seconds(20)));
  EXPECT_EQ(list.exitCode(), 0);
  EXPECT_EQ(list.out(), "Snr  Name  DHCP  IP  Netmask  Gateway  Status  Interface\n");
  const std::string& err = list.err();
  const std::string text = "looking for devices (255.255.255.255:8001)";
  // Redrawn with a turning spinner while the cycle runs.
  for (const char* frame : {"\r| ", "\r/ ", "\r- ", "\r\\ "}) {
    EXPECT_NE(err.find(frame + text), std::string::npos) << frame << " in " << err;
  }
  // And wiped (blanks over the line, the cursor back at its start) before
  // the hint that nobody answered.
  const std::string end =
      "\r" + std::string(2 + text.size(), ' ') + "\r" + std::string(kNobodyAnswered);
  ASSERT_GE(err.size(), end.size());
  EXPECT_EQ(err.substr(err.size() - end.size()), end);
}

TEST_F(CliTest, ListTableShowsEveryDeviceBySerialWithItsFlagsInWords) {
  DevsimProcess devsim({
      "--device",
      "serial=C0DE,name=\"Pump 7\",dhcp=0,ip=192.168.1.20,netmask=255.255.255.0,"
      "gateway=192.168.1.1",
      "--device",
      "serial=1A2B,name=Valve,dhcp=1,ip=192.168.1.20,netmask=255.255.0.0,gateway=192.168.1.254",
      // Arrives last and from 0.0.0.0: compared with the others, it has no address.
      "--device",
      "serial=12345678,name=Blank,unconfigured=true,ip=10.9.9.9,netmask=255.0.0.0,"
      "gateway=10.0.0.1,announceDelayMs=300",
  });
  ASSERT_DEVSIM_READY(devsim);

  const RunResult run = RunCli({"list"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(
      Lines(run.out),
      (std::vector<std::string>{
          "Snr       Name    DHCP  IP            Netmask        Gateway        Status            "
          "Interface",
          "001A2B    Valve   Yes   192.168.1.20  255.255.0.0    192.168.1.254  address-conflict  "
          "lo",
          "00C0DE    Pump 7  No    192.168.1.20  255.255.255.0  192.168.1.1    address-conflict  "
          "lo",
          "12345678  Blank   No    0.0.0.0       0.0.0.0        0.0.0.0        no-ip             "
          "lo",
      }))
      << run.out;
  // Discovery went to the devices' port from the tool.
  const std::vector<std::string> received = devsim.Received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), "0 1 A");

  // The JSON names each device and its flags as the table does.
  const RunResult json = RunCli({"list", "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  std::vector<std::string> shown;
  for (const nlohmann::json& d : nlohmann::json::parse(json.out)) {
    shown.push_back(d["serialText"].get<std::string>() + " " + d["status"].get<std::string>());
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"001A2B address-conflict", "00C0DE address-conflict",
                                             "12345678 no-ip"}));
}

// The scan reads on while devices not heard before keep answering, and ends
// at its time bound, with a warning, when they never stop; a device that
// repeats itself is no news and keeps no scan waiting.
TEST_F(CliTest, ListReadsOnWhileAnswersComeAndEndsAtItsBound) {
  const struct {
    const char* what;
    std::vector<std::string> devsim;
    std::size_t fewest, most;
    bool warned;
  } cases[] = {
      {"a fleet answering one every 50 ms for 1.5 s",
       {"--fleet", "30", "--fleet-spread-ms", "1500"},
       30,
       30,
       false},
      {"a fleet answering one every 100 ms for 6 s",
       {"--fleet", "60", "--fleet-spread-ms", "6000"},
       20,
       40,
       true},
      {"a device that floods for a minute",
       {"--device", "serial=F1,ip=10.0.0.9,netmask=255.0.0.0,floodRate=50,floodDurationMs=60000"},
       1,
       1,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevsimProcess devsim(c.devsim);
    ASSERT_DEVSIM_READY(devsim);
    const RunResult run = RunCli({"list", "--json"}, seconds(30));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::size_t listed = nlohmann::json::parse(run.out).size();
    EXPECT_GE(listed, c.fewest);
    EXPECT_LE(listed, c.most);
    EXPECT_EQ(Contains(run.err, "velkarin: warning: the network was not quiet after 3.0 s"),
              c.warned)
        << run.err;
  }
}

TEST_F(CliTest, ListJsonCarriesEveryRecordFieldAndEscapesHighAndControlBytes) {
  DevsimProcess devsim({
      "--device",
      "raw=\"text:1A2B 1 10.0.0.7 255.0.0.0 10.0.0.1 Caf\\xE9 \\x01x\\x00"
      "7 t0 t\\t1 t2 t3 DEV-9 3 -4 ta tb 6\\x00"
      "80000001 aa ab\"",
  });
  ASSERT_DEVSIM_READY(devsim);

  const RunResult run = RunCli({"list", "--json"});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // ASCII only; the Latin-1 byte and the control bytes as escapes.
  for (char c : run.out) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
  EXPECT_NE(run.out.find(R"("name": "Caf\u00e9 \u0001x")"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(R"("t\t1")"), std::string::npos) << run.out;

  const nlohmann::ordered_json list = nlohmann::ordered_json::parse(run.out);
  ASSERT_TRUE(list.is_array());
  ASSERT_EQ(list.size(), 1u);
  const nlohmann::ordered_json& d = list[0];
  std::vector<std::string> keys;
  for (auto it = d.begin(); it != d.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "serial",      "serialText",      "name",       "dhcp",        "ipAddress",
                      "netmask",     "gateway",         "extNumber1", "extTextB",    "deviceId",
                      "deviceIndex", "commandSuffix",   "extTexts",   "extNumber2",  "extTextA",
                      "auxTextB",    "auxNumber",       "auxTextA",   "statusFlags", "status",
                      "sortKey",     "addressConflict", "interface"}));
  // The private network's only interface, on which the device was heard.
  EXPECT_EQ(d["interface"], "lo");
  EXPECT_EQ(d["serial"], 0x1A2B);
  EXPECT_EQ(d["serialText"], "001A2B");
  EXPECT_EQ(d["status"], "-");
  EXPECT_EQ(d["name"], "Caf\xC3\xA9 \x01x");
  EXPECT_EQ(d["dhcp"], 1);
  EXPECT_EQ(d["ipAddress"], "10.0.0.7");
  EXPECT_EQ(d["netmask"], "255.0.0.0");
  EXPECT_EQ(d["gateway"], "10.0.0.1");
  EXPECT_EQ(d["extNumber1"], 7);
  EXPECT_EQ(d["extTexts"], nlohmann::ordered_json::array({"t0", "t\t1", "t2", "t3"}));
  EXPECT_EQ(d["deviceId"], "DEV-9");
  EXPECT_EQ(d["deviceIndex"], 3);
  EXPECT_EQ(d["extNumber2"], -4);
  EXPECT_EQ(d["extTextA"], "ta");
  EXPECT_EQ(d["extTextB"], "tb");
  EXPECT_EQ(d["commandSuffix"], 6);
  EXPECT_EQ(d["auxNumber"], 0x80000001u);
  EXPECT_EQ(d["auxTextA"], "aa");
  EXPECT_EQ(d["auxTextB"], "ab");
  EXPECT_EQ(d["statusFlags"], 0);
  EXPECT_EQ(d["addressConflict"], false);
  EXPECT_EQ(d["sortKey"], 0);
}

TEST_F(CliTest, BroadcastOptionAimsDiscoveryAtAnotherAddressAndPort) {
  DevsimProcess devsim({"--port", "0", "--device",
                        "serial=B0B,name=Far,ip=10.1.1.1,netmask=255.0.0.0,gateway=10.0.0.1"});
  ASSERT_DEVSIM_READY(devsim);
  const std::string port = std::to_string(devsim.port());
  ASSERT_NE(port, "8001");

  // The devices' usual port has nobody this time.
  const RunResult usual = RunCli({"list", "--json"});
  ASSERT_TRUE(usual.finished);
  EXPECT_EQ(usual.exitCode, 0) << usual.err;
  EXPECT_EQ(nlohmann::json::parse(usual.out), nlohmann::json::array());
  EXPECT_TRUE(devsim.Received().empty());

  for (const std::string& target : {"127.0.0.1:" + port, "255.255.255.255:" + port}) {
    const RunResult aimed = RunCli({"list", "--json", "--broadcast", target});
    ASSERT_TRUE(aimed.finished);
    EXPECT_EQ(aimed.exitCode, 0) << aimed.err;
    const nlohmann::json list = nlohmann::json::parse(aimed.out);
    ASSERT_EQ(list.size(), 1u) << target << ": " << aimed.out;
    EXPECT_EQ(list[0]["serial"], 0xB0B);
    EXPECT_EQ(list[0]["name"], "Far");
  }
  const std::vector<LoggedDatagram> datagrams = devsim.Datagrams();
  ASSERT_FALSE(datagrams.empty());
  EXPECT_TRUE(datagrams.front().received);
  EXPECT_EQ(datagrams.front().bytes, "0 1 A");
  EXPECT_EQ(datagrams.front().address, "127.0.0.1");
}

TEST_F(CliTest, WatchPrintsTheListThenWhatChangedAndEndsCleanlyOnInterrupt) {
  auto devsim = std::make_unique<DevsimProcess>(std::vector<std::string>{
      "--device", "serial=5150,name=Watched,ip=10.5.1.50,netmask=255.0.0.0,gateway=10.0.0.1"});
  ASSERT_DEVSIM_READY(*devsim);

  ChildProcess watch({CliPath(), "list", "--watch", "--json"});
  const auto lines = [](const std::string& out) { return Lines(out).size(); };
  ASSERT_TRUE(
      watch.WaitForOutput([&](const std::string& out) { return lines(out) >= 1; }, seconds(20)))
      << watch.err();
  const nlohmann::json first = nlohmann::json::parse(Lines(watch.out())[0]);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0]["serial"], 0x5150);

  // The device goes away: once scans in a row missed it, it has left.
  devsim.reset();
  ASSERT_TRUE(
      watch.WaitForOutput([&](const std::string& out) { return lines(out) >= 2; }, seconds(20)))
      << watch.err();
  const nlohmann::json left = nlohmann::json::parse(Lines(watch.out())[1]);
  EXPECT_EQ(left["event"], "left");
  EXPECT_EQ(left["device"]["serial"], 0x5150);

  // Unchanged cycles print nothing.
  EXPECT_FALSE(watch.WaitForOutput([&](const std::string& out) { return lines(out) >= 3; },
                                   milliseconds(7000)));

  const auto interrupted = Steady::now();
  watch.Signal(SIGINT);
  ASSERT_TRUE(watch.WaitForExit(seconds(15)));
  EXPECT_FALSE(watch.endedBySignal());
  EXPECT_EQ(watch.exitCode(), 0) << watch.err();
  // A stop takes effect at the latest after the running collection.
  EXPECT_LT(Steady::now() - interrupted, seconds(10));
  EXPECT_EQ(Lines(watch.out()).size(), 2u);
}

// SIGTERM is not the user's way to end a watch: it ends with the shell's code
// for it, after stopping the engine (not killed by the signal).
TEST_F(CliTest, TerminateEndsAWatchWith143) {
  DevsimProcess devsim(
      {"--device", "serial=5150,name=Watched,ip=10.5.1.50,netmask=255.0.0.0,gateway=10.0.0.1"});
  ASSERT_DEVSIM_READY(devsim);
  ChildProcess watch({CliPath(), "list", "--watch"});
  ASSERT_TRUE(watch.WaitForOutput(
      [](const std::string& out) { return out.find("Watched") != std::string::npos; }, seconds(20)))
      << watch.err();
  watch.Signal(SIGTERM);
  ASSERT_TRUE(watch.WaitForExit(seconds(15)));
  EXPECT_FALSE(watch.endedBySignal());
  EXPECT_EQ(watch.exitCode(), 143) << watch.err();
  EXPECT_EQ(watch.err(), "");
}

TEST_F(CliTest, InterruptBeforeTheFirstCycleEndsStopsTheSearchAndPrintsNothing) {
  DevsimProcess devsim({"--port", "0"});  // a listener without devices
  ASSERT_DEVSIM_READY(devsim);
  ChildProcess list(
      {CliPath(), "list", "--broadcast", "127.0.0.1:" + std::to_string(devsim.port())});
  // Its first discovery has gone out, so the search is under way.
  ASSERT_TRUE(devsim.WaitForReceived(1, 10000));
  list.Signal(SIGINT);
  ASSERT_TRUE(list.WaitForExit(seconds(15)));
  EXPECT_FALSE(list.endedBySignal());
  EXPECT_EQ(list.exitCode(), 130);
  EXPECT_EQ(list.out(), "");

  // Terminated at the same point: the code says which signal it was.
  ChildProcess terminated(
      {CliPath(), "list", "--broadcast", "127.0.0.1:" + std::to_string(devsim.port())});
  ASSERT_TRUE(devsim.WaitForReceived(devsim.Received().size() + 1, 10000));
  terminated.Signal(SIGTERM);
  ASSERT_TRUE(terminated.WaitForExit(seconds(15)));
  EXPECT_FALSE(terminated.endedBySignal());
  EXPECT_EQ(terminated.exitCode(), 143);
  EXPECT_EQ(terminated.out(), "");
}

}  // namespace
}  // namespace velkarin::test
