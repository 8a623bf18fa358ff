// velkarin apply: a bad plan is refused before anything is sent; on a
// terminal the tool asks first; a good plan configures every device that needs
// it, and running it again sends nothing to the devices that are done.
#include <unistd.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_fixture.h"

namespace velkarin::test {
namespace {

using std::chrono::seconds;

// A file of the test's own, removed with it.
class TempFile {
 public:
  explicit TempFile(const std::string& content = std::string()) {
    char name[] = "/tmp/velkarin-apply-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string path_;
};

struct BadPlanCase {
  const char* what;
  const char* plan;
  const char* where;  // the line and column the refusal names
};

// Devices 0000A1 to 0000A3; 0000A3 is in no plan below and announces 10.0.0.3.
const char* const kThreeDevices[] = {
    "serial=A1,ip=10.0.0.1,netmask=255.0.0.0",
    "serial=A2,ip=10.0.0.2,netmask=255.0.0.0",
    "serial=A3,ip=10.0.0.3,netmask=255.0.0.0",
};

TEST_F(CliTest, ABadPlanIsRefusedWithItsLineAndColumnAndNothingIsSent) {
  DevsimProcess devsim(
      {"--device", kThreeDevices[0], "--device", kThreeDevices[1], "--device", kThreeDevices[2]});
  ASSERT_DEVSIM_READY(devsim);
  const BadPlanCase cases[] = {
      {"bad address", "serial,ip,netmask\nA1,10.0.0.300,255.0.0.0\n",
       "line 2, ip: invalid IP configuration: invalid IP address '10.0.0.300'"},
      {"bad netmask after a comment and a blank line",
       "# cell 4\nserial,ip,netmask\n\nA1,10.1.0.1,255.0.255.0x\n", "line 4, netmask:"},
      {"unassignable address", "serial,ip,netmask\nA1,127.0.0.5,255.0.0.0\n",
       "line 2, ip: no device can be given ip 127.0.0.5"},
      {"fixed row without address", "serial,dhcp,ip,netmask\nA1,no,,\n",
       "line 2, ip: a row needs dhcp yes, or ip and netmask"},
      {"bad dhcp word", "serial,dhcp\nA1,maybe\n", "line 2, dhcp: invalid dhcp 'maybe'"},
      {"duplicate serial", "serial,dhcp\nA1,yes\nA2,yes\na1,yes\n",
       "line 4, serial: device 0000A1 is planned on line 2 as well"},
      {"duplicate address", "serial,ip,netmask\nA1,10.1.0.1,255.0.0.0\nA2,10.1.0.01,255.0.0.0\n",
       "line 3, ip: address 10.1.0.1 is planned on line 2 as well"},
      {"address of a device outside the plan", "serial,ip,netmask\nA1,10.0.0.3,255.0.0.0\n",
       "line 2, ip: address 10.0.0.3 is announced by device 0000A3, which is not in the plan"},
      {"unknown column", "serial,dhcp,colour\nA1,yes,red\n", "line 1, colour: unknown column"},
      {"missing serial column", "device_id,dhcp\nX,yes\n",
       "line 1, serial: the plan has no serial"},
      {"missing configuration columns", "serial,gateway\nA1,10.0.0.254\n",
       "line 1, dhcp: the plan needs a dhcp column"},
      {"password column without its option", "serial,dhcp,password\nA1,yes,x\n",
       "line 1, password: a password column is read only with --allow-password-column"},
      {"a field with a blank", "serial,ip,netmask\nA1,10.1.0.1 ,255.0.0.0\n",
       "line 2, ip: invalid IP configuration: invalid IP address '10.1.0.1 '"},
      {"an identifier with a blank", "serial,device_id,dhcp\nA1,Cell 4,yes\n",
       "line 2, device_id: invalid device_id 'Cell 4'"},
      {"a serial with a blank", "serial,dhcp\nA1 ,yes\n", "line 2, serial: invalid serial number"},
      {"a row with a field too many", "serial,dhcp\nA1,yes,1\n",
       "line 2: 3 fields where the header has 2"},
      {"a quote left open", "serial,dhcp\n\"A1,yes\n", "line 2: a quoted field is not closed"},
  };
  for (const BadPlanCase& c : cases) {
    TempFile plan(c.plan);
    const RunResult run = RunCli({"apply", plan.path(), "--yes"});
    ASSERT_TRUE(run.finished) << c.what;
    EXPECT_EQ(run.exitCode, 2) << c.what << "\n" << run.err;
    EXPECT_TRUE(Contains(run.err, "velkarin: " + plan.path() + ": " + c.where)) << c.what << "\n"
                                                                                << run.err;
    EXPECT_TRUE(Contains(run.err, "velkarin: nothing was sent\n")) << c.what << "\n" << run.err;
    EXPECT_EQ(run.out, "") << c.what;
  }
  // --allow-duplicates is the way past an address announced outside the plan,
  // and only past that one.
  TempFile taken("serial,ip,netmask\nA1,10.0.0.3,255.0.0.0\n");
  const RunResult allowed = RunCli({"apply", taken.path(), "--dry-run", "--allow-duplicates"});
  EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
  EXPECT_TRUE(Contains(allowed.err, "velkarin: warning: ")) << allowed.err;
  TempFile twice("serial,ip,netmask\nA1,10.1.0.1,255.0.0.0\nA2,10.1.0.1,255.0.0.0\n");
  EXPECT_EQ(RunCli({"apply", twice.path(), "--yes", "--allow-duplicates"}).exitCode, 2);

  EXPECT_EQ(Commands(devsim), std::vector<std::string>{});
}

// On a terminal, without --yes, the plan is shown and the tool asks first:
// only a yes sends anything.
TEST_F(CliTest, OnATerminalApplyAsksAndSendsOnlyAfterYes) {
  struct AnswerCase {
    const char* answer;
    int exitCode;
    bool sent;
  };
  const AnswerCase cases[] = {{"y", 0, true}, {"yes", 0, true}, {"n", 7, false}, {"", 7, false}};
  TempFile plan("serial,dhcp\nA1,yes\n");
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(std::string("answer '") + c.answer + "'");
    DevsimProcess devsim({"--device", kThreeDevices[0]});
    ASSERT_DEVSIM_READY(devsim);
    // script gives the tool a terminal and types the answer into it.
    const RunResult run =
        RunProgram({"/bin/sh", "-c",
                    std::string("printf '%s\\n' '") + c.answer + "' | script -qec '" + CliPath() +
                        " apply " + plan.path() + "' /dev/null"},
                   seconds(60));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "velkarin: configure 1 device? [y/N] ")) << run.out;
    EXPECT_EQ(Commands(devsim).size(), c.sent ? 1u : 0u);
    EXPECT_EQ(Contains(run.out, "velkarin: nothing was sent"), !c.sent) << run.out;
  }
}

// The result column of a report, by serial.
std::map<std::string, std::string> ResultsBySerial(const std::string& reportCsv) {
  std::map<std::string, std::string> results;
  const std::vector<std::string> lines = Lines(reportCsv);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> fields;
    std::stringstream row(lines[i]);
    std::string field;
    while (std::getline(row, field, ',')) fields.push_back(field);
    if (fields.size() >= 9) results[fields[1]] = fields[8];
  }
  return results;
}

// The serials the configuration commands were sent to.
std::multiset<std::string> CommandTargets(const std::vector<std::string>& commands) {
  std::multiset<std::string> targets;
  for (const std::string& c : commands) targets.insert(c.substr(0, c.find(' ')));
  return targets;
}

// Two devices heard under one serial, and a row that names only the serial:
// the command would reach both, so nothing is sent. Named by its identifier,
// one twin is sent its command and judged by its own announcement, not by
// its twin's, which announces the plan already.
TEST_F(CliTest, ARowWhoseSerialTwoDevicesAnnounceIsNotSent) {
  DevsimProcess devsim(
      {"--device", "serial=C1,dhcp=1,ip=10.0.0.11,netmask=255.0.0.0,deviceId=PUMP-A", "--device",
       "serial=C1,ip=10.0.0.12,netmask=255.0.0.0,deviceId=PUMP-B,afterAccept=none", "--device",
       "serial=D1,ip=10.0.0.13,netmask=255.0.0.0", "--device",
       "serial=D1,ip=10.0.0.14,netmask=255.0.0.0"});
  ASSERT_DEVSIM_READY(devsim);
  TempFile plan("serial,dhcp,ip,netmask\nC1,no,10.0.0.50,255.0.0.0\nD1,yes,,\n");
  const RunResult run = RunCli({"apply", plan.path(), "--yes", "--json"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 7) << run.out << run.err;
  std::map<std::string, std::string> results;
  for (const nlohmann::json& row : nlohmann::json::parse(run.out)) {
    results[row["serialText"].get<std::string>()] = row["result"].get<std::string>();
  }
  EXPECT_EQ(results, (std::map<std::string, std::string>{
                         {"0000C1",
                          "serial number clash: devices with this serial number "
                          "announce different identifiers"},
                         {"0000D1",
                          "serial number shared with another device, and the device "
                          "announces no identifier"}}));
  EXPECT_EQ(Commands(devsim), std::vector<std::string>{});

  TempFile named("serial,device_id,dhcp\nC1,pump-b,yes\n");
  const RunResult twin = RunCli({"apply", named.path(), "--yes", "--json"}, seconds(60));
  ASSERT_TRUE(twin.finished);
  EXPECT_EQ(twin.exitCode, 7) << twin.out << twin.err;
  const nlohmann::json rows = nlohmann::json::parse(twin.out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["result"], "not configured as sent") << twin.out;
  EXPECT_EQ(CommandTargets(Commands(devsim)), std::multiset<std::string>{"pump-b"});
}

constexpr int kFleet = 46;

// 46 devices of the simulator's fleet (100000 upwards at 10.0.0.1 upwards),
// one that refuses, one that stays silent, one that needs the password.
const char* const kFleetJson = R"({
  "fleet": {"count": 46, "serialBase": "100000"},
  "devices": [
    {"serial": "A1", "ip": "10.0.1.1", "netmask": "255.0.0.0", "onCommand": "refuse"},
    {"serial": "B1", "ip": "10.0.1.2", "netmask": "255.0.0.0", "onCommand": "silent"},
    {"serial": "C1", "ip": "10.0.1.3", "netmask": "255.0.0.0", "deviceId": "LOCK-1",
     "onCommand": "require-auth", "password": "sesame"}
  ]
})";

// The 50 rows: even fleet devices get fixed addresses, odd ones DHCP, the
// first keeps what it has; then the three special devices and one that is
// not there.
std::string FiftyRowPlan() {
  std::string plan = "serial,device_id,dhcp,ip,netmask,gateway\r\n";
  plan += "100000,,no,10.0.0.1,255.0.0.0,10.0.0.254\r\n";
  for (int i = 1; i < kFleet; ++i) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "%X", 0x100000 + i);
    if (i % 2 == 1) {
      plan += std::string(serial) + ",,yes,,,\r\n";
    } else {
      plan += std::string(serial) + ",,no,10.2.0." + std::to_string(i) +
              ",255.255.0.0,10.2.255.254\r\n";
    }
  }
  plan += "A1,,no,10.3.0.1,255.255.0.0,\r\n";
  plan += "B1,,no,10.3.0.2,255.255.0.0,\r\n";
  plan += "C1,lock-1,no,10.3.0.3/16,,\r\n";
  plan += "DEAD,,yes,,,\r\n";
  return plan;
}

TEST_F(CliTest, APlanOfFiftyDevicesIsAppliedAndARerunSendsOnlyToTheUnfinished) {
  DevsimProcess devsim({}, kFleetJson);
  ASSERT_DEVSIM_READY(devsim);
  TempFile plan(FiftyRowPlan());
  TempFile password("sesame\n");
  TempFile report;
  const std::vector<std::string> apply = {
      "apply", plan.path(), "--yes", "--password-file", password.path(), "--report", report.path()};

  const RunResult first = RunCli(apply, seconds(90));
  ASSERT_TRUE(first.finished);
  EXPECT_EQ(first.exitCode, 7) << first.out << first.err;
  std::map<std::string, std::string> results = ResultsBySerial(report.Read());
  ASSERT_EQ(results.size(), 50u) << report.Read();
  EXPECT_EQ(results["100000"], "already done");
  for (int i = 1; i < kFleet; ++i) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "%X", 0x100000 + i);
    EXPECT_EQ(results[serial], "configured") << serial;
  }
  EXPECT_EQ(results["0000A1"], "refused by the device");
  EXPECT_EQ(results["0000B1"], "no reply from the device");
  EXPECT_EQ(results["0000C1"], "configured");
  EXPECT_EQ(results["00DEAD"], "not found");
  // The table on standard output says the same.
  bool tabled = false;
  for (const std::string& line : Lines(first.out)) {
    tabled = tabled || (line.rfind("4     100002  lo ", 0) == 0 &&
                        Contains(line, " 10.2.0.2/255.255.0.0 gw 10.2.255.254 ") &&
                        line.substr(line.size() - 12) == "  configured");
  }
  EXPECT_TRUE(tabled) << first.out;
  // One command per device to configure (the device with the password takes
  // the first, authenticated one), the retry with the password to the one
  // that refused, none to the device already done or the absent one.
  std::multiset<std::string> sent = CommandTargets(Commands(devsim));
  EXPECT_EQ(sent.size(), static_cast<std::size_t>(kFleet - 1 + 4));
  EXPECT_EQ(sent.count("100000"), 0u);
  EXPECT_EQ(sent.count("lock-1"), 1u);
  EXPECT_EQ(sent.count("0000A1"), 2u);
  EXPECT_EQ(sent.count("0000B1"), 1u);

  // The devices announce what the plan says.
  const RunResult list = RunCli({"list", "--csv"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_TRUE(Contains(list.out, "\r\n100002,Sim device 3,No,10.2.0.2,255.255.0.0,10.2.255.254,"))
      << list.out;
  EXPECT_TRUE(Contains(list.out, "\r\n100003,Sim device 4,Yes,")) << list.out;

  const std::size_t before = Commands(devsim).size();
  const RunResult again = RunCli(apply, seconds(90));
  ASSERT_TRUE(again.finished);
  EXPECT_EQ(again.exitCode, 7) << again.out << again.err;
  results = ResultsBySerial(report.Read());
  ASSERT_EQ(results.size(), 50u);
  for (int i = 0; i < kFleet; ++i) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "%X", 0x100000 + i);
    EXPECT_EQ(results[serial], "already done") << serial;
  }
  EXPECT_EQ(results["0000C1"], "already done");
  EXPECT_EQ(results["0000A1"], "refused by the device");
  EXPECT_EQ(results["00DEAD"], "not found");
  const std::vector<std::string> all = Commands(devsim);
  sent =
      CommandTargets(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()));
  EXPECT_EQ(sent, (std::multiset<std::string>{"0000A1", "0000A1", "0000B1"}));

  // What `list --csv` prints is a plan: as it is, everything is done; with an
  // address edited, that device alone is to be configured.
  TempFile listed(list.out);
  const RunResult asListed = RunCli({"apply", listed.path(), "--dry-run"});
  EXPECT_EQ(asListed.exitCode, 0) << asListed.err;
  EXPECT_FALSE(Contains(asListed.out, "configure\n")) << asListed.out;
  std::string edited = list.out;
  const std::string row = "100002,Sim device 3,No,10.2.0.2,";
  edited.replace(edited.find(row), row.size(), "100002,Sim device 3,No,10.2.0.99,");
  TempFile editedPlan(edited);
  const RunResult dry = RunCli({"apply", editedPlan.path(), "--dry-run"});
  EXPECT_EQ(dry.exitCode, 0) << dry.err;
  std::size_t configure = 0;
  for (const std::string& line : Lines(dry.out)) {
    if (Contains(line, "  configure")) {
      ++configure;
      EXPECT_TRUE(Contains(line, "100002")) << line;
    }
  }
  EXPECT_EQ(configure, 1u) << dry.out;
  // Heard where the system chose the interface, list names none ("-"): the
  // plan takes that as no interface of its own.
  const RunResult broadcastList = RunCli({"list", "--csv", "--broadcast", "255.255.255.255"});
  ASSERT_EQ(broadcastList.exitCode, 0) << broadcastList.err;
  ASSERT_TRUE(Contains(broadcastList.out, ",-\r\n")) << broadcastList.out;
  TempFile unnamed(broadcastList.out);
  const RunResult viaBroadcast =
      RunCli({"apply", unnamed.path(), "--dry-run", "--broadcast", "255.255.255.255"});
  EXPECT_EQ(viaBroadcast.exitCode, 0) << viaBroadcast.err;
  EXPECT_FALSE(Contains(viaBroadcast.out, "configure\n")) << viaBroadcast.out;
  EXPECT_FALSE(Contains(viaBroadcast.out, "not found\n")) << viaBroadcast.out;
  EXPECT_EQ(Commands(devsim).size(), all.size());
}

}  // namespace
}  // namespace velkarin::test
