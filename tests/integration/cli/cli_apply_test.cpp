// velkarin apply: a bad plan is refused before anything is sent; on a
// terminal the tool asks first; a good plan configures every device that needs
// it, and running it again sends nothing to the devices that are done.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "config/config_delivery.h"

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
// 0000B7, in no plan either, announces the identifier 0000A2.
const char* const kPlanDevices[] = {
    "serial=A1,ip=10.0.0.1,netmask=255.0.0.0",
    "serial=A2,ip=10.0.0.2,netmask=255.0.0.0",
    "serial=A3,ip=10.0.0.3,netmask=255.0.0.0",
    "serial=B7,ip=10.0.0.7,netmask=255.0.0.0,deviceId=0000A2",
};

TEST_F(CliTest, ABadPlanIsRefusedWithItsLineAndColumnAndNothingIsSent) {
  DevsimProcess devsim({"--device", kPlanDevices[0], "--device", kPlanDevices[1], "--device",
                        kPlanDevices[2], "--device", kPlanDevices[3]});
  ASSERT_DEVSIM_READY(devsim);
  const BadPlanCase cases[] = {
      {"bad address", "serial,ip,netmask\nA1,10.0.0.300,255.0.0.0\n",
       "line 2, ip: invalid IP configuration: invalid IP address '10.0.0.300'"},
      {"bad netmask after a comment and a blank line",
       "# cell 4\nserial,ip,netmask\n\nA1,10.1.0.1,255.0.255.0x\n", "line 4, netmask:"},
      {"unassignable address", "serial,ip,netmask\nA1,127.0.0.5,255.0.0.0\n",
       "line 2, ip: no device can be given ip 127.0.0.5"},
      // The column at fault, though the message mentions the gateway.
      {"a /32 prefix", "serial,ip,netmask,gateway\nA1,10.0.0.5/32,,\n",
       "line 2, ip: no device can be given ip 10.0.0.5 with netmask 255.255.255.255"},
      {"a /32 netmask", "serial,ip,netmask,gateway\nA1,10.0.0.5,255.255.255.255,\n",
       "line 2, netmask: no device can be given"},
      {"fixed row without address", "serial,dhcp,ip,netmask\nA1,no,,\n",
       "line 2, ip: a row needs dhcp yes, or ip and netmask"},
      {"bad dhcp word", "serial,dhcp\nA1,maybe\n", "line 2, dhcp: invalid dhcp 'maybe'"},
      {"a device planned twice, differently",
       "serial,dhcp,ip,netmask\nA1,yes,,\nA2,yes,,\na1,no,10.1.0.9,255.0.0.0\n",
       "line 4, serial: device 0000A1 is planned on line 2 as well, with another configuration"},
      {"a factory-new device as list shows it",
       "serialText,name,dhcp,ipAddress,netmask\nA2,Press 4,No,0.0.0.0,0.0.0.0\n",
       "line 2, ip: invalid IP configuration: invalid IP address '0.0.0.0' (device 0000A2, Press "
       "4)"},
      {"a zero-padded address", "serial,ip,netmask\nA1,192.168.001.010,255.255.255.0\n",
       "line 2, ip: invalid IP configuration: invalid IP address '192.168.001.010': write "
       "192.168.1.10"},
      {"duplicate address", "serial,ip,netmask\nA1,10.1.0.1,255.0.0.0\nA2,10.1.1,255.0.0.0\n",
       "line 3, ip: address 10.1.0.1 is planned on line 2 as well"},
      {"address of a device outside the plan", "serial,ip,netmask\nA1,10.0.0.3,255.0.0.0\n",
       "line 2, ip: address 10.0.0.3 is announced by device 0000A3, which is not in the plan"},
      {"a device outside the plan takes the row's command", "serial,dhcp\nA2,yes\n",
       "line 2, serial: a command for 0000A2 would configure device 0000B7 (identifier 0000A2) as "
       "well; 0000A2 announces no identifier that names it alone"},
      {"unknown column", "serial,dhcp,colour\nA1,yes,red\n", "line 1, colour: unknown column"},
      {"a mistyped column", "serial,ip,netmask,Gatway\nA1,10.1.0.1,255.0.0.0,10.1.0.254\n",
       "line 1, Gatway: unknown column 'Gatway': did you mean gateway?"},
      {"a column without a name", "serial,,dhcp\nA1,,yes\n", "line 1: a column has no name"},
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
      {"a header only", "serial,dhcp\n# none yet\n\n", "the plan has no device rows"},
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
  // The plan's password makes the command longer: an identifier that fits
  // without one is too long with it.
  TempFile longId("serial,device_id,dhcp\nA1," + std::string(220, 'D') + ",yes\n");
  TempFile password("pw\n");
  const RunResult withPassword =
      RunCli({"apply", longId.path(), "--yes", "--password-file", password.path()});
  EXPECT_EQ(withPassword.exitCode, 2) << withPassword.err;
  EXPECT_TRUE(Contains(withPassword.err, "line 2, device_id: device_id is too long"))
      << withPassword.err;
  // Without it the plan passes its checks (A1 is not on this network: 7).
  const RunResult withoutPassword = RunCli({"apply", longId.path(), "--dry-run"});
  EXPECT_EQ(withoutPassword.exitCode, 7) << withoutPassword.err;
  EXPECT_FALSE(Contains(withoutPassword.err, "too long")) << withoutPassword.err;
  // --allow-duplicates is the way past an address announced outside the plan,
  // and only past that one.
  TempFile taken("serial,ip,netmask\nA1,10.0.0.3,255.0.0.0\n");
  const RunResult allowed = RunCli({"apply", taken.path(), "--dry-run", "--allow-duplicates"});
  EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
  EXPECT_TRUE(Contains(allowed.err, "velkarin: warning: ")) << allowed.err;
  TempFile twice("serial,ip,netmask\nA1,10.1.0.1,255.0.0.0\nA2,10.1.0.1,255.0.0.0\n");
  EXPECT_EQ(RunCli({"apply", twice.path(), "--yes", "--allow-duplicates"}).exitCode, 2);
  // A row's interface that is up here but not scanned, and one that is not up.
  TempFile elsewhere("serial,dhcp,interface\nA1,yes,lo\nA2,yes,eth7\n");
  const RunResult notScanned =
      RunCli({"apply", elsewhere.path(), "--dry-run", "--broadcast", "255.255.255.255"});
  EXPECT_TRUE(Contains(notScanned.err,
                       "line 2, interface: interface 'lo' is not scanned with "
                       "--broadcast; the device is looked for on every"))
      << notScanned.err;
  EXPECT_TRUE(
      Contains(notScanned.err, "line 3, interface: no IPv4 interface named 'eth7' is up here;"))
      << notScanned.err;

  EXPECT_EQ(Commands(devsim), std::vector<std::string>{});
}

// The result column of a report, by serial.
// The report is in its plan's separator: a semicolon header says which.
std::map<std::string, std::string> ResultsBySerial(const std::string& reportCsv) {
  std::map<std::string, std::string> results;
  const std::vector<std::string> lines = Lines(reportCsv);
  const char separator = !lines.empty() && Contains(lines[0], ";") ? ';' : ',';
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> fields;
    std::stringstream row(lines[i]);
    std::string field;
    while (std::getline(row, field, separator)) fields.push_back(field);
    if (fields.size() >= 10) results[fields[1]] = fields[9];
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
  EXPECT_EQ(rows[0]["commands"], 1) << twin.out;
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
  EXPECT_EQ(results["0000A1"], "refused by the device; the password may be wrong");
  EXPECT_EQ(results["0000B1"], "no reply from the device");
  EXPECT_EQ(results["0000C1"], "configured");
  EXPECT_EQ(results["00DEAD"], "not found");
  // The failures summed up on stderr, with what to do.
  EXPECT_TRUE(Contains(first.err,
                       "velkarin: 47 of 50 rows succeeded, 3 failed:\n"
                       "velkarin:   line 48, 0000A1: refused by the device; the "
                       "password may be wrong\n"
                       "velkarin:   line 49, 0000B1: no reply from the device\n"
                       "velkarin:   line 51, 00DEAD: not found\n"
                       "velkarin: fix them and run the plan again: rows already done "
                       "are skipped\n"))
      << first.err;
  // The table on standard output says the same.
  bool tabled = false;
  for (const std::string& line : Lines(first.out)) {
    tabled = tabled || (line.rfind("4     100002  Sim device 3   lo ", 0) == 0 &&
                        Contains(line, " 10.2.0.2/255.255.0.0 gw 10.2.255.254 ") &&
                        line.substr(line.size() - 12) == "  configured");
  }
  EXPECT_TRUE(tabled) << first.out;
  // One command per device to configure (the device with the password takes
  // the first, authenticated one), one to the one that refused (a refusal
  // without a challenge is an answer), the most there may be to the silent
  // one, none to the device already done or the absent one.
  const int most = DeliveryLimits{}.maxCommands;
  std::multiset<std::string> sent = CommandTargets(Commands(devsim));
  EXPECT_EQ(sent.size(), static_cast<std::size_t>(kFleet - 1 + 2 + most));
  EXPECT_EQ(sent.count("100000"), 0u);
  EXPECT_EQ(sent.count("lock-1"), 1u);
  EXPECT_EQ(sent.count("0000A1"), 1u);
  EXPECT_EQ(sent.count("0000B1"), static_cast<std::size_t>(most));
  // The report counts them.
  EXPECT_TRUE(
      Contains(report.Read(), ",0000B1,,,lo,no,10.3.0.2,255.255.0.0,,no reply from the device,," +
                                  std::to_string(most) + "\r\n"))
      << report.Read();

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
  EXPECT_EQ(results["0000A1"], "refused by the device; the password may be wrong");
  EXPECT_EQ(results["00DEAD"], "not found");
  const std::vector<std::string> all = Commands(devsim);
  sent =
      CommandTargets(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()));
  const std::vector<std::string> silent(static_cast<std::size_t>(most), "0000B1");
  std::multiset<std::string> expected(silent.begin(), silent.end());
  expected.insert("0000A1");
  EXPECT_EQ(sent, expected);

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
  // A DHCP device's address edited while dhcp still says yes: which was meant?
  std::string dhcpEdited = list.out;
  const std::string dhcpListed = "\r\n100003,Sim device 4,Yes,";
  const std::size_t dhcpRow = dhcpEdited.find(dhcpListed) + dhcpListed.size();
  dhcpEdited.replace(dhcpRow, dhcpEdited.find(',', dhcpRow) - dhcpRow, "10.4.0.200");
  TempFile ambiguous(dhcpEdited);
  const RunResult refused = RunCli({"apply", ambiguous.path(), "--yes"});
  EXPECT_EQ(refused.exitCode, 2) << refused.out << refused.err;
  EXPECT_TRUE(Contains(refused.err,
                       ", ip: dhcp is yes, but ip 10.4.0.200 is not what the device "
                       "announces"))
      << refused.err;
  EXPECT_TRUE(Contains(refused.err,
                       "set dhcp to no for a fixed address, or clear the address "
                       "(device 100003, Sim device 4)\nvelkarin: nothing was sent\n"))
      << refused.err;
  // Interface names of another computer, with a blank as Windows names them:
  // a warning, and each device is looked for on every interface.
  std::string elsewhere = list.out;
  for (std::size_t at = 0; (at = elsewhere.find(",lo\r\n", at)) != std::string::npos;) {
    elsewhere.replace(at, 5, ",Ethernet 2\r\n");
  }
  TempFile otherComputer(elsewhere);
  const RunResult there = RunCli({"apply", otherComputer.path(), "--dry-run"});
  EXPECT_EQ(there.exitCode, 0) << there.err;
  EXPECT_TRUE(Contains(there.err, "warning: " + otherComputer.path() +
                                      ": line 2, interface: no IPv4 interface named 'Ethernet 2'"))
      << there.err;
  EXPECT_FALSE(Contains(there.out, "not found\n")) << there.out;
  EXPECT_FALSE(Contains(there.out, "configure\n")) << there.out;
  // The report is a plan too: only the unfinished rows are left to do.
  const RunResult fromReport = RunCli({"apply", report.path(), "--dry-run"});
  EXPECT_EQ(fromReport.exitCode, 0) << fromReport.err;
  std::size_t toDo = 0;
  for (const std::string& line : Lines(fromReport.out))
    toDo += Contains(line, "  configure") ? 1 : 0;
  EXPECT_EQ(toDo, 2u) << fromReport.out;
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
  // Its JSON report says no interface as list's JSON does.
  const RunResult json =
      RunCli({"apply", unnamed.path(), "--yes", "--json", "--broadcast", "255.255.255.255"});
  EXPECT_EQ(json.exitCode, 0) << json.err;
  EXPECT_TRUE(Contains(json.out, "\"interface\": null")) << json.out;
  EXPECT_FALSE(Contains(json.out, "\"interface\": \"")) << json.out;
  EXPECT_EQ(Commands(devsim).size(), all.size());
}

// A plan for device 0000A1 of the simulator, and a report file left by an
// earlier run: every way out of the run must replace it or remove it.
const char* const kOneRowPlan = "serial,ip,netmask\nA1,10.0.0.9,255.0.0.0\n";
const char* const kStaleReport =
    "line,serial,name,device_id,interface,dhcp,ip,netmask,gateway,result,detail,commands\r\n"
    "2,0000A1,,,lo,no,10.0.0.9,255.0.0.0,,from an earlier run,,0\r\n";

// The question on a terminal: declining is no failure; an interrupt ends it
// at once with nothing sent; with --json, standard output is the JSON report
// alone. Each leaves its own report.
TEST_F(CliTest, TheQuestionOnATerminalEndsAsAnsweredOrInterruptedWithItsReport) {
  struct Case {
    const char* what;
    bool json;
    const char* keys;  // typed at the question, or nothing: `signal` is sent
    int signal;
    int exitCode;
    const char* result;  // of the report's row
    const char* err;     // on standard error
    std::size_t commands;
    bool inputRedirected = false;  // asked on the terminal all the same
  };
  const Case cases[] = {
      {"declined", false, "n\n", 0, 0, "not started (declined)", "velkarin: nothing was sent\n", 0},
      {"terminated", false, nullptr, SIGTERM, 143, "not started (interrupted)",
       "velkarin: nothing was sent\n", 0},
      {"interrupted", false, nullptr, SIGINT, 130, "not started (interrupted)",
       "velkarin: nothing was sent\n", 0},
      {"an empty answer declines", false, "\n", 0, 0, "not started (declined)",
       "velkarin: nothing was sent\n", 0},
      {"confirmed with yes", false, "yes\n", 0, 0, "configured", "[y/N] ", 1},
      {"confirmed with --json", true, "y\n", 0, 0, "configured", "  configure\n", 1},
      // The yes words of a plan's dhcp column, in any case.
      {"confirmed with Ja", false, "Ja\n", 0, 0, "configured", "(y, yes, j, ja, true, 1, wahr;", 1},
      {"confirmed on the terminal with standard input redirected", false, "YES\n", 0, 0,
       "configured", "[y/N] ", 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DevsimProcess devsim({"--device", kPlanDevices[0]});
    ASSERT_DEVSIM_READY(devsim);
    TempFile plan(kOneRowPlan);
    TempFile report(kStaleReport);
    std::vector<std::string> argv = {CliPath(), "apply", plan.path(), "--report", report.path()};
    if (c.json) argv.push_back("--json");
    ChildProcess tool(argv, false, /*stdinTerminal=*/true, false, c.inputRedirected);
    ASSERT_TRUE(tool.WaitForOutput(
        [&](const std::string&) { return Contains(tool.err(), "[y/N] "); }, seconds(30)))
        << tool.out() << tool.err();
    if (c.keys != nullptr) {
      tool.Type(c.keys);
    } else {
      tool.Signal(c.signal);
    }
    ASSERT_TRUE(tool.WaitForExit(seconds(60))) << tool.err();
    EXPECT_FALSE(tool.endedBySignal());
    EXPECT_EQ(tool.exitCode(), c.exitCode) << tool.err();
    EXPECT_TRUE(Contains(tool.err(), c.err)) << tool.err();
    EXPECT_EQ(ResultsBySerial(report.Read())["0000A1"], c.result) << report.Read();
    EXPECT_EQ(Commands(devsim).size(), c.commands);
    if (c.json) {
      const nlohmann::json parsed = nlohmann::json::parse(tool.out(), nullptr, false);
      ASSERT_TRUE(parsed.is_array()) << tool.out();
      EXPECT_EQ(parsed[0]["result"], c.result);
    }
  }
  // No terminal at all: --yes is needed, and the plan is not looked at.
  ChildProcess alone({CliPath(), "apply", "/nonexistent/plan.csv"}, false, false, false, true);
  ASSERT_TRUE(alone.WaitForExit(seconds(30)));
  EXPECT_EQ(alone.exitCode(), 2) << alone.err();
  EXPECT_TRUE(Contains(alone.err(), "give --yes when there is no terminal to ask on"))
      << alone.err();
}

// The other ways out once the plan has been read: each writes this run's
// report, or removes the earlier one and says so. A file that is no report
// of ours, the plan above all, is left as it is, and nothing is sent.
const char* const kKept = "(the file as it was)";

TEST_F(CliTest, EveryWayOutOfAReadPlanReplacesOrRemovesAnEarlierReport) {
  struct Case {
    const char* what;
    const char* plan;
    const char* option;
    int signal;                    // 0: none
    std::size_t signalAtCommands;  // sent once this many commands came (0: in the scan)
    bool outputUnread;             // standard output a pipe nobody reads
    bool reportIsPlan;             // --report names the plan
    const char* earlier;           // the report file before the run
    int exitCode;
    const char* result;  // of the report's row; nullptr: no report; kKept
    const char* err;
    std::size_t commands;
  };
  const char* const silentPlan = "serial,ip,netmask\nB1,10.0.1.9,255.0.0.0\n";
  const char* const badPlan = "serial,ip,netmask\nA1,10.0.0.300,255.0.0.0\n";
  const Case cases[] = {
      {"interrupted during the scan", kOneRowPlan, "--yes", SIGINT, 0, false, false, kStaleReport,
       130, "not started (interrupted)", "", 0},
      {"an address another device announces", "serial,ip,netmask\nA1,10.0.0.2,255.0.0.0\n", "--yes",
       0, 0, false, false, kStaleReport, 2, "not started (nothing was sent)",
       "velkarin: nothing was sent\n", 0},
      {"a dry run", kOneRowPlan, "--dry-run", 0, 0, false, false, kStaleReport, 0,
       "not started (dry run)", "", 0},
      {"a plan with a problem", badPlan, "--yes", 0, 0, false, false, kStaleReport, 2, nullptr,
       "velkarin: removed the report ", 0},
      {"a hangup while configuring", silentPlan, "--yes", SIGHUP, 1, false, false, kStaleReport,
       143, "no reply before the interrupt; the device may have taken the configuration",
       "velkarin: interrupted: finishing", 1},
      {"standard output nobody reads", kOneRowPlan, "--yes", 0, 0, true, false, kStaleReport, 1,
       "configured", "velkarin: cannot write to standard output: Broken pipe\n", 1},
      {"the plan as its own report", kOneRowPlan, "--yes", 0, 0, false, true, nullptr, 2, kKept,
       "is the plan itself", 0},
      {"a bad plan as its own report", badPlan, "--yes", 0, 0, false, true, nullptr, 2, kKept,
       "is the plan itself", 0},
      {"a file that is no report", kOneRowPlan, "--yes", 0, 0, false, false, "notes\n", 2, kKept,
       "is not a report of velkarin apply; choose another name or remove it", 0},
      {"a bad plan and a file that is no report", badPlan, "--yes", 0, 0, false, false, "notes\n",
       2, kKept, "is not a report of velkarin apply", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A device that keeps the network busy holds the scan for its full 3 s.
    DevsimProcess devsim({"--device", kPlanDevices[0], "--device", kPlanDevices[1], "--device",
                          "serial=B1,ip=10.0.1.2,netmask=255.0.0.0,onCommand=silent", "--device",
                          "serial=F1,ip=10.9.0.1,netmask=255.0.0.0,floodRate=20"});
    ASSERT_DEVSIM_READY(devsim);
    TempFile plan(c.plan);
    TempFile report(c.earlier != nullptr ? c.earlier : "");
    const std::string reportPath = c.reportIsPlan ? plan.path() : report.path();
    ChildProcess tool({CliPath(), "apply", plan.path(), c.option, "--report", reportPath}, false,
                      false, c.outputUnread);
    if (c.signal != 0 && c.signalAtCommands == 0) {
      ASSERT_TRUE(devsim.WaitForReceived(1, 10000));
      tool.Signal(c.signal);
    } else if (c.signal != 0) {
      ASSERT_TRUE(tool.WaitForOutput(
          [&](const std::string&) { return Commands(devsim).size() >= c.signalAtCommands; },
          seconds(30)));
      tool.Signal(c.signal);
    }
    ASSERT_TRUE(tool.WaitForExit(seconds(60))) << tool.err();
    EXPECT_FALSE(tool.endedBySignal()) << tool.err();
    EXPECT_EQ(tool.exitCode(), c.exitCode) << tool.err();
    EXPECT_TRUE(Contains(tool.err(), c.err)) << tool.err();
    EXPECT_EQ(plan.Read(), c.plan);
    if (c.result == kKept) {
      if (!c.reportIsPlan) {
        EXPECT_EQ(report.Read(), c.earlier);
      }
    } else if (c.result != nullptr) {
      const std::map<std::string, std::string> results = ResultsBySerial(report.Read());
      ASSERT_EQ(results.size(), 1u) << report.Read();
      EXPECT_EQ(results.begin()->second, c.result) << report.Read();
    } else {
      EXPECT_FALSE(std::ifstream(report.path()).good()) << report.Read();
    }
    EXPECT_EQ(Commands(devsim).size(), c.commands);
  }
}

// list --csv --output writes a file for a German Excel: UTF-8 with a
// byte-order mark, semicolons, a name that would be a formula neutralised;
// the file is a plan, and its report takes its separator and mark, and is
// known as a report on the next run.
TEST_F(CliTest, ListWritesAFileForExcelThatIsAPlanWithAReportInItsForm) {
  DevsimProcess devsim(
      {"--device",
       "serial=A1,ip=10.0.0.1,netmask=255.0.0.0,gateway=10.0.0.254,name=Pr\xC3\xBC"
       "f",
       "--device",
       "serial=A2,ip=10.0.0.2,netmask=255.0.0.0,gateway=10.0.0.254,name==HYPERLINK(\"http://"
       "x.example/?\"&A1;\"klick\")"});
  ASSERT_DEVSIM_READY(devsim);
  TempFile plan;
  TempFile report;
  const RunResult list = RunCli({"list", "--csv", "--separator", ";", "--output", plan.path()});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_EQ(list.out, "");
  EXPECT_EQ(plan.Read(),
            "\xEF\xBB\xBFserialText;name;dhcp;ipAddress;netmask;gateway;status;interface\r\n"
            "0000A1;Pr\xC3\xBC"
            "f;No;10.0.0.1;255.0.0.0;10.0.0.254;-;lo\r\n"
            "0000A2;\"'=HYPERLINK(\"\"http://x.example/?\"\"&A1;\"\"klick\"\")\";No;10.0.0.2;"
            "255.0.0.0;10.0.0.254;-;lo\r\n");
  for (int run = 0; run < 2; ++run) {
    const RunResult apply = RunCli({"apply", plan.path(), "--yes", "--report", report.path()});
    ASSERT_EQ(apply.exitCode, 0) << apply.err;
    const std::vector<std::string> lines = Lines(report.Read());
    ASSERT_EQ(lines.size(), 3u) << report.Read();
    EXPECT_EQ(lines[0],
              "\xEF\xBB\xBFline;serial;name;device_id;interface;dhcp;ip;netmask;gateway;result;"
              "detail;commands\r");
    EXPECT_TRUE(Contains(lines[2], ";already done;")) << lines[2];
  }
  EXPECT_EQ(Commands(devsim).size(), 0u);
}

// What a dry run says when a planned device may be missing: nobody answered
// (where discovery went, the usual causes), only other devices did, or the
// network never fell quiet; no planned device found is a failure.
TEST_F(CliTest, ADryRunSaysWhyPlannedDevicesMayBeMissing) {
  struct Case {
    const char* what;
    std::vector<std::string> devices;
    int exitCode;
    const char* err;
  };
  const Case cases[] = {
      {"nobody answers",
       {},
       7,
       "velkarin: no device answered the discovery sent to 255.255.255.255:8001 out of lo; "
       "usually a firewall drops the answers: allow incoming UDP from source port 8001 (iptables "
       "-I "
       "INPUT -p udp --sport 8001 -j ACCEPT; answers come to a port the system chooses, and new "
       "devices answer from 0.0.0.0), or a network cable or adapter is down\n"},
      {"only others answer",
       {"--device", kPlanDevices[2]},
       7,
       "velkarin: no device of the plan answered, 1 other did;"},
      {"devices keep answering past the bound",
       {"--device", kPlanDevices[0], "--fleet", "60", "--fleet-spread-ms", "6000",
        "--fleet-template", "ip=172.16.0.1,netmask=255.255.0.0"},
       0,
       "velkarin: warning: the network was not quiet after 3.0 s; the list may be incomplete"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<DevsimProcess> devsim;
    if (!c.devices.empty()) {
      devsim = std::make_unique<DevsimProcess>(c.devices);
      ASSERT_DEVSIM_READY(*devsim);
    }
    TempFile plan(kOneRowPlan);
    const RunResult run = RunCli({"apply", plan.path(), "--dry-run"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
  }
}

// An interrupt while a device is configured finishes the row in flight: a
// reply that comes late still counts, and no new row is started.
TEST_F(CliTest, AnInterruptFinishesTheRowsInFlight) {
  DevsimProcess devsim(
      {"--device", "serial=B1,ip=10.0.1.2,netmask=255.0.0.0,replyDelayMs=1000,afterAccept=none",
       "--device", kPlanDevices[0]});
  ASSERT_DEVSIM_READY(devsim);
  TempFile plan("serial,ip,netmask\nB1,10.0.1.9,255.0.0.0\nA1,10.0.0.9,255.0.0.0\n");
  TempFile report;
  ChildProcess tool(
      {CliPath(), "apply", plan.path(), "--yes", "--jobs", "1", "--report", report.path()});
  ASSERT_TRUE(tool.WaitForOutput([&](const std::string&) { return !Commands(devsim).empty(); },
                                 seconds(30)));
  tool.Signal(SIGINT);
  ASSERT_TRUE(tool.WaitForExit(seconds(30)));
  EXPECT_EQ(tool.exitCode(), 130) << tool.err();
  EXPECT_TRUE(Contains(report.Read(),
                       ",0000B1,,,lo,no,10.0.1.9,255.0.0.0,,\"accepted, not "
                       "verified (interrupted)\""))
      << report.Read();
  EXPECT_EQ(ResultsBySerial(report.Read()).at("0000A1"), "not started (interrupted)");
  EXPECT_EQ(CommandTargets(Commands(devsim)).count("0000A1"), 0u);
}

// A second interrupt while a device is configured ends the run at once: the
// row in flight is unknown, the one never started says so, and the
// progress line is cleared before the interrupt is told.
TEST_F(CliTest, ASecondInterruptEndsTheRunAtOnce) {
  DevsimProcess devsim({"--device", "serial=B1,ip=10.0.1.2,netmask=255.0.0.0,onCommand=silent",
                        "--device", kPlanDevices[0]});
  ASSERT_DEVSIM_READY(devsim);
  TempFile plan("serial,ip,netmask\nB1,10.0.1.9,255.0.0.0\nA1,10.0.0.9,255.0.0.0\n");
  TempFile report;
  ChildProcess tool(
      {CliPath(), "apply", plan.path(), "--yes", "--jobs", "1", "--report", report.path()},
      /*stderrTerminal=*/true);
  ASSERT_TRUE(tool.WaitForOutput([&](const std::string&) { return !Commands(devsim).empty(); },
                                 seconds(30)))
      << tool.err();
  tool.Signal(SIGINT);
  ASSERT_TRUE(tool.WaitForOutput(
      [&](const std::string&) { return Contains(tool.err(), "velkarin: interrupted"); },
      seconds(30)))
      << tool.err();
  tool.Signal(SIGINT);
  ASSERT_TRUE(tool.WaitForExit(seconds(30)));
  EXPECT_EQ(tool.exitCode(), 130) << tool.err();
  EXPECT_TRUE(Contains(tool.err(), "\rvelkarin: interrupted: finishing")) << tool.err();
  const std::map<std::string, std::string> results = ResultsBySerial(report.Read());
  EXPECT_EQ(results.at("0000B1"), "unknown (interrupted while being configured)");
  EXPECT_EQ(results.at("0000A1"), "not started (interrupted)");
  EXPECT_EQ(Commands(devsim).size(), 1u);
}

// Worker threads that cannot be started, and a worker whose memory runs out,
// with the system failing under velkarin (a preloaded library): each failure
// is its row's result, and the rest of the run goes on.
TEST_F(CliTest, AWorkerThatCannotStartOrFailsCostsOnlyItsRows) {
#ifndef VELKARIN_SYSTEM_FAULTS
  GTEST_SKIP() << "the system's faults are preloaded only into the plain build";
#else
  struct Case {
    const char* what;
    const char* variable;
    const char* value;
    const char* jobs;
    int exitCode;
    const char* resultA1;
    const char* resultA2;
    const char* err;
  };
  const Case cases[] = {
      {"no thread at all", "VELKARIN_FAIL_THREADS_AFTER", "0", "2", 7,
       "not started (no worker thread could be started)",
       "not started (no worker thread could be started)",
       "velkarin: warning: 2 of 2 worker threads could not be started\n"},
      {"one thread of two", "VELKARIN_FAIL_THREADS_AFTER", "1", "2", 0, "configured", "configured",
       "velkarin: warning: 1 of 2 worker threads could not be started\n"},
      {"memory runs out on the worker", "VELKARIN_FAIL_THREAD_MEMORY", "1", "1", 7,
       "failed in the tool", "configured", "velkarin: 1 of 2 rows succeeded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DevsimProcess devsim({"--device", kPlanDevices[0], "--device", kPlanDevices[1]});
    ASSERT_DEVSIM_READY(devsim);
    TempFile plan("serial,ip,netmask\nA1,10.0.0.11,255.0.0.0\nA2,10.0.0.12,255.0.0.0\n");
    TempFile report;
    setenv("LD_PRELOAD", VELKARIN_SYSTEM_FAULTS, 1);
    setenv(c.variable, c.value, 1);
    ChildProcess tool(
        {CliPath(), "apply", plan.path(), "--yes", "--jobs", c.jobs, "--report", report.path()});
    unsetenv(c.variable);
    unsetenv("LD_PRELOAD");
    ASSERT_TRUE(tool.WaitForExit(seconds(60)));
    EXPECT_FALSE(tool.endedBySignal()) << tool.err();
    EXPECT_EQ(tool.exitCode(), c.exitCode) << tool.err();
    EXPECT_TRUE(Contains(tool.err(), c.err)) << tool.err();
    std::map<std::string, std::string> results = ResultsBySerial(report.Read());
    // The memory fault hits the first row its worker takes.
    EXPECT_EQ(results["0000A1"], c.resultA1) << report.Read();
    EXPECT_EQ(results["0000A2"], c.resultA2) << report.Read();
  }
#endif
}

// As a German spreadsheet saves a plan: semicolons, Windows-1252, CRLF, an
// empty row, a notes column, German truth values; the identifier's umlaut
// must reach the device as the byte it announces.
const char* const kGermanPlan =
    "serial;name;device_id;dhcp;ip;netmask;gateway;Bemerkung\r\n"
    "C0DE;Pr\xFC"
    "fstand-\xC4;Pr\xFC"
    "f-1;nein;10.5.0.1;255.255.0.0;10.5.255.254;Halle 2 \x96 S\xFC"
    "d\r\n"
    ";;;;;;;\r\n"
    "1A2B;Plain;;ja;;;;\"neu; gepr\xFC"
    "ft\"\r\n";

TEST_F(CliTest, APlanSavedByAGermanSpreadsheetIsApplied) {
  DevsimProcess devsim({"--device",
                        // The simulator takes its texts in UTF-8 and announces them in Latin-1.
                        "serial=C0DE,name=Prüfstand-Ä,deviceId=Prüf-1,"
                        "ip=10.0.0.1,netmask=255.0.0.0,gateway=10.0.0.254",
                        "--device",
                        "serial=1A2B,name=Plain,ip=10.0.0.2,netmask=255.0.0.0,gateway=10.0.0.254"});
  ASSERT_DEVSIM_READY(devsim);
  TempFile plan(kGermanPlan);
  TempFile report;
  const RunResult run = RunCli({"apply", plan.path(), "--yes", "--report", report.path()});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_TRUE(Contains(run.err, plan.path() + ": not UTF-8 text, read as Windows-1252")) << run.err;
  const std::map<std::string, std::string> results = ResultsBySerial(report.Read());
  EXPECT_EQ(results, (std::map<std::string, std::string>{{"001A2B", "configured"},
                                                         {"00C0DE", "configured"}}))
      << report.Read();
  EXPECT_TRUE(Contains(run.out,
                       "Pr\xC3\xBC"
                       "fstand-\xC3\x84"))
      << run.out;
  // Run again as JSON (nothing left to send): the identifier's letters as
  // JSON escapes of their own, not as the plan's bytes.
  const RunResult json = RunCli({"apply", plan.path(), "--yes", "--json"});
  EXPECT_EQ(json.exitCode, 0) << json.err;
  EXPECT_TRUE(Contains(json.out, R"("deviceId": "Pr\u00fcf-1")")) << json.out;
  EXPECT_TRUE(Contains(json.out, R"("name": "Pr\u00fcfstand-\u00c4")")) << json.out;
}

}  // namespace
}  // namespace velkarin::test
