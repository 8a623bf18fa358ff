// velkarin on a network that loses datagrams: what list, set and apply say
// is true to what the simulator's devices did.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "config/configuration_wait.h"
#include "datagram_loss.h"
#include "engine_aim.h"

namespace velkarin::test {
namespace {

using std::chrono::seconds;

std::string FleetSerial(int i) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "%X", 0x100000 + i);
  return serial;
}

// How many of the simulator's received datagrams are commands to `serial`.
int CommandsTo(const DevsimProcess& devsim, const std::string& serial) {
  int count = 0;
  for (const std::string& c : Commands(devsim)) count += c.rfind(serial + " ", 0) == 0 ? 1 : 0;
  return count;
}

// The device took this configuration, in the simulator's words.
bool Applied(const DevsimProcess& devsim, const std::string& serial, const std::string& what) {
  return Contains(devsim.LogText(), "device " + serial + ": applied " + what);
}

std::string Configuration(int i) {
  return i % 2 == 0 ? "dhcp=1" : "dhcp=0 ip=10.7.0." + std::to_string(i) + " netmask=255.255.0.0";
}

void ListsNearlyEveryDevice(DevsimProcess&, int devices) {
  // A scan of two rounds at this loss missed five devices on average; one
  // that asks again misses hardly any. Counted over three scans, so that
  // one unlucky scan on a busy machine does not decide.
  std::size_t listed = 0;
  for (int scan = 0; scan < 3; ++scan) {
    const RunResult run = RunCli({"list", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    listed += nlohmann::json::parse(run.out).size();
  }
  EXPECT_GE(listed, static_cast<std::size_t>(3 * (devices - 2)));
}

void SetConfiguresEachDevice(DevsimProcess& devsim, int devices) {
  for (int i = 1; i <= devices; ++i) {
    const std::string serial = FleetSerial(i);
    const RunResult run = RunCli(
        {"set", serial, "--ip", "10.7.0." + std::to_string(i) + "/16", "--gateway", "10.7.0.254"},
        seconds(90));
    EXPECT_EQ(run.exitCode, 0) << serial << "\n" << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, serial + ": configured")) << run.out;
    EXPECT_TRUE(Applied(devsim, serial, "dhcp=0 ip=10.7.0." + std::to_string(i)))
        << devsim.LogText();
  }
}

void ApplyConfiguresEveryRow(DevsimProcess& devsim, int devices) {
  const std::string planPath = devsim.directory() + "/plan.csv";
  const std::string reportPath = devsim.directory() + "/report.csv";
  {
    std::ofstream plan(planPath);
    plan << "serial,dhcp,ip,netmask\n";
    for (int i = 0; i < devices; ++i) {
      plan << FleetSerial(i)
           << (i % 2 == 0 ? ",yes,," : ",no,10.7.0." + std::to_string(i)) +
                  (i % 2 == 0 ? "\n" : ",255.255.0.0\n");
    }
  }
  const RunResult run = RunCli({"apply", planPath, "--yes", "--report", reportPath}, seconds(180));
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  std::ifstream in(reportPath, std::ios::binary);
  std::string report(std::istreambuf_iterator<char>(in), {});
  report.erase(std::remove(report.begin(), report.end(), '\r'), report.end());
  // A file for a spreadsheet, which knows UTF-8 by the mark.
  ASSERT_EQ(report.rfind("\xEF\xBB\xBF", 0), 0u) << report;
  report.erase(0, 3);
  const std::vector<std::string> lines = Lines(report);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(devices + 1));
  EXPECT_EQ(lines[0],
            "line,serial,name,device_id,interface,dhcp,ip,netmask,gateway,result,detail,commands");
  for (int i = 0; i < devices; ++i) {
    const std::string& line = lines[static_cast<std::size_t>(i) + 1];
    std::vector<std::string> fields;
    std::stringstream row(line);
    std::string field;
    while (std::getline(row, field, ',')) fields.push_back(field);
    ASSERT_EQ(fields.size(), 12u) << line;
    const std::string& serial = fields[1];
    EXPECT_EQ(serial, FleetSerial(i));
    // Configured only when it took the plan's configuration; the commands
    // counted are the ones sent, of which the loss may have taken some.
    EXPECT_TRUE(fields[9].rfind("configured", 0) == 0) << line;
    EXPECT_TRUE(Applied(devsim, serial, Configuration(i))) << line;
    const int received = CommandsTo(devsim, serial);
    EXPECT_GE(received, 1) << line;
    EXPECT_LE(received, std::stoi(fields[11])) << line;
  }
}

// Devices that want another password: each refusal is the answer, though
// replies were lost, and the password goes to no more devices once the
// first ones refused it.
void AWrongPasswordIsRefusedAndHeldBack(DevsimProcess& devsim, int devices) {
  const std::string planPath = devsim.directory() + "/plan.csv";
  const std::string passwordPath = devsim.directory() + "/password";
  std::ofstream(passwordPath) << "wrong\n";
  {
    std::ofstream plan(planPath);
    plan << "serial,dhcp\n";
    for (int i = 0; i < devices; ++i) plan << FleetSerial(i) << ",yes\n";
  }
  // One device at a time, so that each meets the lost replies alike.
  const RunResult run =
      RunCli({"apply", planPath, "--yes", "--json", "--jobs", "1", "--password-file", passwordPath},
             seconds(180));
  EXPECT_EQ(run.exitCode, 7) << run.err;
  EXPECT_TRUE(Contains(run.err, "velkarin: the plan's password was refused by")) << run.err;
  int refused = 0;
  int heldBack = 0;
  for (const nlohmann::json& row : nlohmann::json::parse(run.out)) {
    const std::string serial = row["serialText"];
    const std::string result = row["result"];
    const int received = CommandsTo(devsim, serial);
    if (result == "refused by the device; the password may be wrong") {
      ++refused;
      EXPECT_GE(received, 1) << serial;
    } else {
      EXPECT_EQ(result, "held back: the plan's password was refused by other devices") << serial;
      ++heldBack;
    }
    EXPECT_LE(received, 3) << serial << "\n" << devsim.LogText();
  }
  EXPECT_EQ(refused, 2);
  EXPECT_EQ(heldBack, devices - 2);
  EXPECT_FALSE(Contains(devsim.LogText(), ": applied")) << devsim.LogText();
}

TEST_F(CliTest, UnderDatagramLossEveryResultIsTrueToWhatTheDevicesDid) {
  const struct {
    const char* what;
    std::function<DatagramLoss()> loss;
    int devices;
    std::function<void(DevsimProcess&, int)> check;
    const char* fleetTemplate = nullptr;
  } cases[] = {
      {"list", [] { return DatagramLoss(20); }, 40, ListsNearlyEveryDevice},
      // Half of the commands or their replies are lost: sent once, half of
      // the runs ended "no reply", some of them from a configured device.
      {"set", [] { return DatagramLoss(30); }, 3, SetConfiguresEachDevice},
      {"apply", [] { return DatagramLoss(20); }, 20, ApplyConfiguresEveryRow},
      // At 20 % loss, 11 of 20 rows ended "no reply" after 5 to 7 commands.
      {"a wrong password", DatagramLoss::EverySecondReply, 6, AWrongPasswordIsRefusedAndHeldBack,
       "onCommand=require-auth,password=sesame"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> fleet = {"--fleet", std::to_string(c.devices + 1)};
    if (c.fleetTemplate != nullptr)
      fleet.insert(fleet.end(), {"--fleet-template", c.fleetTemplate});
    DevsimProcess devsim(fleet);
    ASSERT_DEVSIM_READY(devsim);
    const DatagramLoss loss = c.loss();
    ASSERT_LOSS_ACTIVE(loss);
    c.check(devsim, c.devices);
  }
}

// Devices as field devices behave, each set and applied on a clean network
// and on one that loses 20 %: what the tool says is what the simulator's log
// shows the device did, with no more commands than the profile needs.
TEST_F(CliTest, DevicesAsTheyAreAreConfiguredAndJudgedByWhatTheyDid) {
  const struct {
    const char* what;
    const char* device;  // its keys beyond the serial
    std::vector<std::string> set;
    const char* row;                // dhcp,ip,netmask,gateway
    std::vector<std::string> both;  // options of set and apply
    int exitCode;                   // set's; apply ends 0 for 0, else 7
    const char* result;             // apply's, from the start
    const char* applied;
    int mostCommands;  // on the clean network
  } profiles[] = {
      // The gateway left out was "already done" for a row that adds one.
      {"a gateway left out, one added",
       "ip=10.5.0.9,netmask=255.255.0.0,gateway=,emptyGateway=omit",
       {"--ip", "10.5.0.9/16", "--gateway", "10.5.0.1"},
       "no,10.5.0.9,255.255.0.0,10.5.0.1",
       {},
       0,
       "configured",
       "dhcp=0 ip=10.5.0.9 netmask=255.255.0.0 gateway=10.5.0.1",
       1},
      // "not configured as sent: dhcp: sent 1, announced 2"
      {"DHCP announced with the flag 2",
       "ip=10.5.0.9,netmask=255.255.0.0,dhcpFlag=2",
       {"--dhcp"},
       "yes,,,",
       {},
       0,
       "configured",
       "dhcp=2",
       1},
      // Three commands, more for slower devices.
      {"a flash write before the reply",
       "ip=10.5.0.9,netmask=255.255.0.0,replyDelayMs=1500,afterAcceptDelayMs=1500,"
       "silentWhileChanging=true",
       {"--ip", "10.5.0.7/16"},
       "no,10.5.0.7,255.255.0.0,",
       {},
       0,
       "configured",
       "dhcp=0 ip=10.5.0.7",
       2},
      // Announces its old configuration while it writes: on a clean network
      // its command is not taken as lost.
      {"a flash write before the reply, announced meanwhile",
       "ip=10.5.0.9,netmask=255.255.0.0,replyDelayMs=1500,afterAcceptDelayMs=1500",
       {"--ip", "10.5.0.7/16"},
       "no,10.5.0.7,255.255.0.0,",
       {},
       0,
       "configured",
       "dhcp=0 ip=10.5.0.7",
       2},
      {"a restart longer than the verification",
       "ip=10.5.0.9,netmask=255.255.0.0,afterAcceptDelayMs=4000,silentWhileChanging=true",
       {"--ip", "10.5.0.7/16"},
       "no,10.5.0.7,255.255.0.0,",
       {"--verify-seconds", "1"},
       3,
       "accepted, not seen again within 1 s",
       nullptr,
       1},
      // Not found by list, set or apply.
      {"a late announcer",
       "ip=10.5.0.9,netmask=255.255.0.0,announceDelayMs=900",
       {"--ip", "10.5.0.7/16"},
       "no,10.5.0.7,255.255.0.0,",
       {},
       0,
       "configured",
       "dhcp=0 ip=10.5.0.7",
       1},
      {"a later announcer, waited for",
       "ip=10.5.0.9,netmask=255.255.0.0,announceDelayMs=1800",
       {"--ip", "10.5.0.7/16"},
       "no,10.5.0.7,255.255.0.0,",
       {"--scan-seconds", "2.5"},
       0,
       "configured",
       "dhcp=0 ip=10.5.0.7",
       1},
  };
  for (const auto& p : profiles) {
    for (const int lossPercent : {0, 20}) {
      for (const bool apply : {false, true}) {
        SCOPED_TRACE(std::string(p.what) + (apply ? ", apply" : ", set") + ", " +
                     std::to_string(lossPercent) + " % lost");
        DevsimProcess devsim({"--device", std::string("serial=C0DE,") + p.device});
        ASSERT_DEVSIM_READY(devsim);
        const DatagramLoss loss(lossPercent);
        ASSERT_LOSS_ACTIVE(loss);
        std::vector<std::string> args = {"set", "C0DE"};
        const std::string planPath = devsim.directory() + "/plan.csv";
        if (apply) {
          std::ofstream(planPath) << "serial,dhcp,ip,netmask,gateway\nC0DE," << p.row << "\n";
          args = {"apply", planPath, "--yes", "--json"};
        } else {
          args.insert(args.end(), p.set.begin(), p.set.end());
        }
        args.insert(args.end(), p.both.begin(), p.both.end());
        const RunResult run = RunCli(args, seconds(90));
        ASSERT_TRUE(run.finished);
        const int received = CommandsTo(devsim, "00C0DE");
        // A loss may let a restarted device be seen after all: configured,
        // and so it must be in the log.
        const bool seenConfigured = lossPercent > 0 && run.exitCode == 0;
        if (apply) {
          EXPECT_EQ(run.exitCode, p.exitCode == 0 || seenConfigured ? 0 : 7) << run.err;
          const nlohmann::json rows = nlohmann::json::parse(run.out);
          ASSERT_EQ(rows.size(), 1u);
          const std::string result = rows[0]["result"];
          EXPECT_EQ(result.rfind(seenConfigured ? "configured" : p.result, 0), 0u) << run.out;
          EXPECT_GE(rows[0]["commands"].get<int>(), received) << run.out;
        } else if (!seenConfigured) {
          EXPECT_EQ(run.exitCode, p.exitCode) << run.out << run.err;
        }
        if (p.applied != nullptr || seenConfigured) {
          EXPECT_TRUE(Applied(devsim, "00C0DE", p.applied ? p.applied : "")) << devsim.LogText();
        }
        EXPECT_GE(received, 1) << devsim.LogText();
        if (lossPercent == 0) {
          EXPECT_LE(received, p.mostCommands) << devsim.LogText();
        }
      }
    }
  }
}

TEST_F(CliTest, AScanAsksTwiceEvenOnACleanNetworkForADatagramLostThere) {
  DevsimProcess devsim({"--device", "serial=C0DE,ip=10.0.0.5,netmask=255.0.0.0"});
  ASSERT_DEVSIM_READY(devsim);
  ASSERT_EQ(RunCli({"list"}).exitCode, 0);
  // A lost first discovery would hide every device; with nothing lost, the
  // second answer of each known device ends the asking.
  EXPECT_EQ(devsim.Received(), (std::vector<std::string>{"0 1 A", "0 1 A"}));
  // A lossy start: the answers to both lost, the scan asks on and hears it.
  DatagramLoss loss = DatagramLoss::FirstAnswers(2);
  ASSERT_LOSS_ACTIVE(loss);
  const RunResult lossy = RunCli({"list", "--json"});
  ASSERT_EQ(lossy.exitCode, 0) << lossy.err;
  EXPECT_EQ(nlohmann::json::parse(lossy.out).size(), 1u) << lossy.out;
  EXPECT_GE(devsim.Received().size(), 5u);
}

// A look after a lost reply, and a wait for a configuration, end once the
// device has answered what they ask, not after the network's quiet: one
// discovery datagram, though the scan's second would go out 5 s later.
TEST_F(CliTest, AWaitForConfigurationsEndsOnceEveryDeviceHasAnswered) {
  const struct {
    const char* what;
    const char* ip;
    std::uint32_t timeoutMs;  // 0: a single look
    bool configured;
  } cases[] = {
      {"a look finds the old configuration: the command was not taken", "10.0.0.9", 0, false},
      {"a wait finds the configuration sent", "10.0.0.5", 20000, true},
  };
  ScanTiming timing;
  timing.repeatMs = 5000;
  timing.maxScanMs = 20000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevsimProcess devsim({"--device", "serial=C0DE,ip=10.0.0.5,netmask=255.0.0.0"});
    ASSERT_DEVSIM_READY(devsim);
    ExpectedConfiguration expected;
    expected.sent.serial = 0xC0DE;
    expected.sent.ipAddress = c.ip;
    expected.sent.netmask = "255.0.0.0";
    const std::vector<ObservedConfiguration> observed =
        AwaitConfigurations({{"", BroadcastTo(kDevicePort)}}, {expected}, c.timeoutMs, timing);
    ASSERT_EQ(observed.size(), 1u);
    EXPECT_TRUE(observed[0].seen);
    EXPECT_EQ(observed[0].configured, c.configured);
    EXPECT_EQ(devsim.Received(), std::vector<std::string>{"0 1 A"});
  }
}

// A round of the scan lasts the shortest round and twice the slowest answer
// on top. One device, every second answer lost: the second datagram's answer
// is lost, so a third asks again one round later; its answer ends the asking.
TEST_F(CliTest, AScanRoundLastsTwiceTheSlowestAnswerOnTopOfTheShortest) {
  const ScanTiming timing;
  const int delays[] = {0, 90};
  std::vector<int> rounds;
  for (const int delayMs : delays) {
    SCOPED_TRACE(delayMs);
    DevsimProcess devsim({"--device", "serial=C0DE,ip=10.0.0.5,netmask=255.0.0.0,announceDelayMs=" +
                                          std::to_string(delayMs)});
    ASSERT_DEVSIM_READY(devsim);
    const DatagramLoss loss = DatagramLoss::EverySecondAnswer();
    ASSERT_LOSS_ACTIVE(loss);
    const ScanResult scan = ScanDevices({{"", BroadcastTo(kDevicePort)}}, timing);
    EXPECT_EQ(scan.devices.size(), 1u);
    std::vector<int> at;
    for (const LoggedDatagram& d : devsim.Datagrams()) {
      if (d.received) at.push_back(d.dayMs);
    }
    // Three; a fourth when a loaded machine read the third's answer after
    // its round.
    ASSERT_GE(at.size(), 3u);
    rounds.push_back(at[2] - at[1]);
    // Less a few milliseconds: both clocks count whole ones.
    EXPECT_GE(rounds.back(), static_cast<int>(timing.shortestRoundMs) + 2 * delayMs - 3);
  }
  // Not the longest round for a device that answers at once.
  EXPECT_LT(rounds[0], static_cast<int>(timing.shortestRoundMs) + 2 * delays[1]);
}

}  // namespace
}  // namespace velkarin::test
