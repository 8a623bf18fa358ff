// velkarin set: the configuration reaches the device, the outcome is named,
// and every failure ends with its own exit code.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_fixture.h"

namespace velkarin::test {
namespace {

using std::chrono::seconds;

const char* const kPump =
    "serial=1A2B,name=Pump,dhcp=0,ip=192.168.1.20,netmask=255.255.255.0,gateway=192.168.1.1";

TEST_F(CliTest, SetFixedAddressIsSentCheckedAndListedAfterwards) {
  DevsimProcess devsim({"--device", kPump});
  ASSERT_DEVSIM_READY(devsim);

  const RunResult set = RunCli(
      {"set", "1a2b", "--ip", "10.0.0.5", "--netmask", "255.0.0.0", "--gateway", "10.0.0.1"});
  ASSERT_TRUE(set.finished);
  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  EXPECT_EQ(Lines(set.out), (std::vector<std::string>{"001A2B: accepted by the device (CONFIG_OK)",
                                                      "001A2B: configured"}));
  EXPECT_EQ(set.err, "");
  EXPECT_EQ(Commands(devsim), std::vector<std::string>{"001A2B 5 0 10.0.0.5 255.0.0.0 10.0.0.1"});

  const RunResult list = RunCli({"list", "--json"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  const nlohmann::json devices = nlohmann::json::parse(list.out);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]["ipAddress"], "10.0.0.5");
  EXPECT_EQ(devices[0]["netmask"], "255.0.0.0");
  EXPECT_EQ(devices[0]["gateway"], "10.0.0.1");
}

// A prefix gives the netmask; without a gateway the device announces 0.0.0.0
// and keeps its name, and the tool counts it as configured.
TEST_F(CliTest, SetIpWithPrefixSendsTheNetmaskItGives) {
  DevsimProcess devsim({"--device", kPump});
  ASSERT_DEVSIM_READY(devsim);
  const RunResult set = RunCli({"set", "1A2B", "--ip", "10.0.0.5/8"});
  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  EXPECT_EQ(Lines(set.out), (std::vector<std::string>{"001A2B: accepted by the device (CONFIG_OK)",
                                                      "001A2B: configured"}));
  EXPECT_EQ(Commands(devsim), std::vector<std::string>{"001A2B 5 0 10.0.0.5 255.0.0.0 "});

  const RunResult list = RunCli({"list", "--json"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  const nlohmann::json devices = nlohmann::json::parse(list.out);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]["netmask"], "255.0.0.0");
  EXPECT_EQ(devices[0]["gateway"], "0.0.0.0");
  EXPECT_EQ(devices[0]["name"], "Pump");
}

// velkarin with standard output on /dev/full, where every write fails.
RunResult RunCliIntoFullDisk(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full", CliPath()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunProgram(argv, seconds(90));
}

struct FullOutputCase {
  std::vector<std::string> arguments;
  int exitCode;
  const char* err;  // all of standard error
};

TEST_F(CliTest, AResultThatCannotBeWrittenIsAFailure) {
  DevsimProcess devsim({"--device", kPump});
  ASSERT_DEVSIM_READY(devsim);
  const std::string lost = "velkarin: cannot write to standard output: No space left on device\n";
  const std::vector<FullOutputCase> cases = {
      {{"list"}, 1, lost.c_str()},
      {{"list", "--json"}, 1, lost.c_str()},
      {{"set", "1A2B", "--dhcp"}, 1, lost.c_str()},
      // A failure keeps its own code; it went to standard error, which works.
      {{"set", "C0DE", "--dhcp"}, 12, "velkarin: 00C0DE: device not found (CONFIG_NOT_FOUND)\n"},
      // Help is output too.
      {{"set", "--help"}, 1, lost.c_str()},
  };
  for (const FullOutputCase& c : cases) {
    const RunResult run = RunCliIntoFullDisk(c.arguments);
    ASSERT_TRUE(run.finished) << c.arguments[0];
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[0] << " " << c.arguments.size() << "\n"
                                        << run.err;
    EXPECT_EQ(run.err, c.err) << c.arguments[0] << " " << c.arguments.size();
  }
}

TEST_F(CliTest, SetDrawsProgressOnATerminalWhileTheTransactionWaits) {
  DevsimProcess devsim({"--device", kPump});
  ASSERT_DEVSIM_READY(devsim);
  ChildProcess set({CliPath(), "set", "1A2B", "--dhcp"}, /*stderrTerminal=*/true);
  ASSERT_TRUE(set.WaitForExit(seconds(60)));
  EXPECT_EQ(set.exitCode(), 0) << set.out();
  EXPECT_EQ(Lines(set.out()),
            (std::vector<std::string>{"001A2B: accepted by the device (CONFIG_OK)",
                                      "001A2B: configured"}));
  // Drawn from inside the scan's and the delivery's waits.
  EXPECT_TRUE(Contains(set.err(), "| looking for 001A2B")) << set.err();
  EXPECT_TRUE(Contains(set.err(), "\r/ looking for 001A2B")) << set.err();
  EXPECT_TRUE(Contains(set.err(), " configuring 001A2B")) << set.err();
  EXPECT_TRUE(Contains(set.err(), " waiting for 001A2B to announce itself again")) << set.err();
  ASSERT_FALSE(set.err().empty());
  EXPECT_EQ(set.err().back(), '\r');
}

TEST_F(CliTest, SetDhcpSendsTheDhcpCommand) {
  DevsimProcess devsim({"--device", kPump});
  ASSERT_DEVSIM_READY(devsim);
  const RunResult set = RunCli({"set", "001A2B", "--dhcp"});
  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  EXPECT_TRUE(Contains(set.out, "001A2B: configured")) << set.out;
  EXPECT_EQ(Commands(devsim), std::vector<std::string>{"001A2B 5 1   "});
}

TEST_F(CliTest, SetByDeviceIdWithPasswordSendsTheAuthenticatedCommand) {
  DevsimProcess devsim({"--device",
                        "serial=1A2B,name=Lock,ip=192.168.1.30,netmask=255.255.255.0,"
                        "gateway=192.168.1.1,deviceId=DEV-7,deviceIndex=1,"
                        "onCommand=require-auth,password=sesame"});
  ASSERT_DEVSIM_READY(devsim);
  const RunResult set = RunCli({"set", "1A2B", "--device-id", "dev-7", "--password", "sesame",
                                "--ip", "192.168.1.31", "--netmask", "255.255.255.0"});
  EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
  EXPECT_TRUE(Contains(set.out, "001A2B: configured")) << set.out;
  const std::vector<std::string> commands = Commands(devsim);
  ASSERT_EQ(commands.size(), 1u);
  // Named by the identifier given, in the authenticated form.
  EXPECT_EQ(commands[0].rfind("dev-7 8 ", 0), 0u) << commands[0];
}

// Its name with an umlaut, which the simulator announces in Latin-1.
const char* const kValve =
    "serial=C0DE,name=Ventil-S\u00fcd,dhcp=0,ip=192.168.1.30,netmask=255.255.255.0,"
    "gateway=192.168.1.1";

TEST_F(CliTest, SetRefusesAnAddressConflictUnlessAllowedAndWarnsOfDoubtfulEntries) {
  const std::string conflict =
      "IP address 192.168.1.30 is already announced by device 00C0DE (Ventil-S\u00fcd); giving "
      "it to 001A2B as well makes an address conflict";
  const std::string doubtfulGateway =
      "velkarin: warning: gateway 10.0.0.1 is outside subnet 192.168.1.0/24 of IP address "
      "192.168.1.30 and netmask 255.255.255.0, so the device cannot reach it";
  const struct {
    const char* what;
    std::vector<std::string> setArguments;
    int exitCode;
    std::vector<std::string> errLines;
    const char* command;  // null: nothing sent
  } cases[] = {
      {"an address another device announces",
       {"set", "1A2B", "--ip", "192.168.1.30", "--netmask", "255.255.255.0", "--gateway",
        "192.168.1.1"},
       2,
       {"velkarin: " + conflict + " (--allow-duplicates sends it anyway)",
        "velkarin: nothing was sent"},
       nullptr},
      {"the conflict allowed",
       {"set", "1A2B", "--allow-duplicates", "--ip", "192.168.1.30", "--netmask", "255.255.255.0",
        "--gateway", "192.168.1.1"},
       0,
       {"velkarin: warning: " + conflict},
       "001A2B 5 0 192.168.1.30 255.255.255.0 192.168.1.1"},
      {"a doubtful gateway first, then the conflict",
       {"set", "1A2B", "--allow-duplicates", "--ip", "192.168.1.30", "--netmask", "255.255.255.0",
        "--gateway", "10.0.0.1"},
       0,
       {doubtfulGateway, "velkarin: warning: " + conflict},
       "001A2B 5 0 192.168.1.30 255.255.255.0 10.0.0.1"},
      {"--quiet",
       {"set", "1A2B", "--quiet", "--allow-duplicates", "--ip", "192.168.1.30", "--netmask",
        "255.255.255.0", "--gateway", "10.0.0.1"},
       0,
       {},
       "001A2B 5 0 192.168.1.30 255.255.255.0 10.0.0.1"},
      {"the device's own address",
       {"set", "1A2B", "--ip", "192.168.1.20", "--netmask", "255.255.255.0"},
       0,
       {},
       "001A2B 5 0 192.168.1.20 255.255.255.0 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevsimProcess devsim({"--device", kPump, "--device", kValve});
    ASSERT_DEVSIM_READY(devsim);
    const RunResult set = RunCli(c.setArguments);
    ASSERT_TRUE(set.finished);
    EXPECT_EQ(set.exitCode, c.exitCode) << set.out << set.err;
    EXPECT_EQ(Lines(set.err), c.errLines);
    EXPECT_EQ(Commands(devsim),
              c.command ? std::vector<std::string>{c.command} : std::vector<std::string>{});
  }
}

// The simulator's arguments for these --device values.
std::vector<std::string> DeviceArguments(const std::vector<std::string>& devices) {
  std::vector<std::string> arguments;
  for (const std::string& device : devices) {
    arguments.push_back("--device");
    arguments.push_back(device);
  }
  return arguments;
}

struct FailureCase {
  const char* what;
  std::vector<std::string> devices;  // --device values
  std::vector<std::string> setArguments;
  int exitCode;
  std::vector<std::string> outLines;  // standard output: only what succeeded
  std::vector<std::string> errLines;  // standard error: the failure
  bool commandSent;
  bool sentAgain = false;  // more than one command: the first one's reply came too late
  // With --json, or --report FILE added here: the row as apply reports it.
  enum { kLines, kJson, kReport } form = kLines;
  const char* result = nullptr;  // the row's result in apply's words
};

// The row of `set --json` or `set --report`: its result in words, and
// whether it succeeded and how many commands it sent, as the simulator
// received them.
struct ReportedRow {
  std::string serial;
  std::string result;
  bool succeeded = false;
  std::size_t commands = 0;
};

ReportedRow ReadReportedRow(const FailureCase& c, const std::string& out,
                            const std::string& reportPath) {
  ReportedRow row;
  if (c.form == FailureCase::kJson) {
    const nlohmann::json rows = nlohmann::json::parse(out);
    EXPECT_EQ(rows.size(), 1u) << out;
    EXPECT_TRUE(rows[0]["line"].is_null()) << out;
    row.serial = rows[0]["serialText"].get<std::string>();
    row.result = rows[0]["result"].get<std::string>();
    row.succeeded = rows[0]["succeeded"].get<bool>();
    row.commands = rows[0]["commands"].get<std::size_t>();
  } else {
    std::ifstream in(reportPath, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    const std::vector<std::string> lines = Lines(text);
    EXPECT_EQ(lines.size(), 2u) << text;
    if (lines.size() != 2) return row;
    // These rows' texts hold no comma: the fields split plainly.
    std::vector<std::string> fields;
    std::stringstream line(lines[1].substr(0, lines[1].find('\r')));
    for (std::string field; std::getline(line, field, ',');) fields.push_back(field);
    EXPECT_EQ(fields.size(), 12u) << lines[1];
    if (fields.size() != 12) return row;
    EXPECT_EQ(fields[0], "") << "no plan, no line";
    row = {fields[1], fields[9], false, std::stoul(fields[11])};
    row.succeeded = row.result == "configured";
  }
  return row;
}

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.what; }

class CliSetFailure : public CliTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(CliSetFailure, IsNamedInWordsAndEndsWithItsOwnCode) {
  const FailureCase& c = GetParam();
  DevsimProcess devsim(DeviceArguments(c.devices));
  ASSERT_DEVSIM_READY(devsim);

  std::vector<std::string> arguments = c.setArguments;
  const std::string reportPath = devsim.directory() + "/report.csv";
  if (c.form == FailureCase::kJson) arguments.push_back("--json");
  if (c.form == FailureCase::kReport) arguments.insert(arguments.end(), {"--report", reportPath});
  const RunResult set = RunCli(arguments, seconds(90));
  ASSERT_TRUE(set.finished);
  EXPECT_EQ(set.exitCode, c.exitCode) << set.out << set.err;
  if (c.form != FailureCase::kJson) {
    EXPECT_EQ(Lines(set.out), c.outLines);
  }
  EXPECT_EQ(Lines(set.err), c.errLines);
  EXPECT_EQ(!Commands(devsim).empty(), c.commandSent);
  if (c.sentAgain) {
    EXPECT_GE(Commands(devsim).size(), 2u) << devsim.LogText();
  }
  if (c.form != FailureCase::kLines) {
    const ReportedRow row = ReadReportedRow(c, set.out, reportPath);
    EXPECT_EQ(row.serial, "001A2B");
    EXPECT_EQ(row.result, c.result);
    EXPECT_EQ(row.succeeded, c.exitCode == 0);
    EXPECT_EQ(row.commands, Commands(devsim).size()) << devsim.LogText();
  }
}

const std::vector<std::string> kFixed = {"set",      "1A2B",      "--ip",
                                         "10.0.0.5", "--netmask", "255.0.0.0"};

const char* const kPasswordWarning =
    "velkarin: warning: a password given on the command line is visible to other users of this "
    "computer; prefer --password without a value, --password-file or VELKARIN_PASSWORD";

std::string With(const char* extra) { return std::string(kPump) + "," + extra; }

INSTANTIATE_TEST_SUITE_P(
    Results, CliSetFailure,
    testing::Values(
        FailureCase{"NotFound",
                    {"serial=C0DE,ip=10.9.9.9,netmask=255.0.0.0"},
                    kFixed,
                    12,
                    {},
                    {"velkarin: 001A2B: device not found (CONFIG_NOT_FOUND)"},
                    false},
        FailureCase{"Refused",
                    {With("onCommand=refuse")},
                    kFixed,
                    13,
                    {},
                    {"velkarin: 001A2B: refused by the device; it may need a password "
                     "(--password) (CONFIG_REFUSED)"},
                    true},
        // With the password, the authenticated retry is refused too: the
        // password may be wrong.
        FailureCase{"RefusedWithPassword",
                    {With("onCommand=require-auth,password=sesame")},
                    {"set", "1A2B", "--dhcp", "--password", "wrong"},
                    13,
                    {},
                    {kPasswordWarning,
                     "velkarin: 001A2B: refused by the device; the password may be wrong "
                     "(CONFIG_REFUSED)"},
                    true},
        FailureCase{"OtherStatus",
                    {With("onCommand=status,replyStatus=0")},
                    kFixed,
                    14,
                    {},
                    {"velkarin: 001A2B: not accepted by the device (CONFIG_FAILED)"},
                    true},
        FailureCase{
            "SerialSharedWithoutId",
            {With("name=First"), "serial=1A2B,name=Second,ip=192.168.1.21,netmask=255.255.255.0"},
            kFixed,
            15,
            {},
            {"velkarin: 001A2B: serial number shared with another device, and the device "
             "announces no identifier (CONFIG_SERIAL_SHARED_NO_ID)"},
            false},
        FailureCase{"SerialClash",
                    {With("deviceId=ONE"),
                     "serial=1A2B,name=Two,ip=192.168.1.21,netmask=255.255.255.0,deviceId=TWO"},
                    kFixed,
                    16,
                    {},
                    {"velkarin: 001A2B: serial number clash: devices with this serial number "
                     "announce different identifiers (CONFIG_SERIAL_CLASH)"},
                    false},
        // The device named is the one that announces both the serial and the
        // identifier, or none: nothing is sent to another device.
        FailureCase{
            "IdentifierOfAnotherDevice",
            {With("deviceId=CHILLER-1"),
             "serial=1A2C,name=Two,ip=192.168.1.21,netmask=255.255.255.0,deviceId=CHILLER-2"},
            {"set", "1A2B", "--device-id", "CHILLER-2", "--dhcp"},
            5,
            {},
            {"velkarin: 001A2B: not found; the identifier CHILLER-2 belongs to device 001A2C"},
            false},
        // A device outside the command whose identifier is the serial's
        // text takes the command too: refused, with the way out.
        FailureCase{"IdentifierThatIsTheSerialOfAnother",
                    {With("deviceId=PUMP-7"),
                     "serial=C0DE,name=Other,ip=192.168.1.21,netmask=255.255.255.0,"
                     "deviceId=001a2b"},
                    kFixed,
                    2,
                    {},
                    {"velkarin: 001A2B: a command for 001A2B would configure device 00C0DE "
                     "(identifier 001a2b) as well; name 001A2B by its identifier: --device-id "
                     "PUMP-7",
                     "velkarin: nothing was sent"},
                    false},
        FailureCase{"SerialZeroWithIdentifier",
                    {With("deviceId=PUMP-7")},
                    {"set", "0", "--device-id", "PUMP-7", "--dhcp"},
                    5,
                    {},
                    {"velkarin: 000000: not found; the identifier PUMP-7 belongs to device 001A2B"},
                    false},
        FailureCase{"UnknownIdentifier",
                    {With("deviceId=PUMP-7")},
                    {"set", "1A2B", "--device-id", "WRONG", "--dhcp"},
                    5,
                    {},
                    {"velkarin: 001A2B: not found; no device announces the identifier WRONG"},
                    false},
        // Twins share a serial: the one named by its identifier is configured
        // and judged by its own announcement, not its twin's, which is the
        // newer one (it answers after it).
        FailureCase{"TwinVerifiedAsItself",
                    {With("serial=C1,deviceId=TWIN-A"),
                     "serial=C1,name=B,ip=192.168.1.21,netmask=255.255.255.0,deviceId=TWIN-B"},
                    {"set", "C1", "--device-id", "TWIN-A", "--dhcp"},
                    0,
                    {"0000C1: accepted by the device (CONFIG_OK)", "0000C1: configured"},
                    {},
                    true},
        FailureCase{"NoReply",
                    {With("onCommand=silent")},
                    kFixed,
                    17,
                    {},
                    {"velkarin: 001A2B: no reply from the device (CONFIG_NO_REPLY)"},
                    true},
        // Each reply comes later than the time a device still announcing its
        // old configuration is given, and the device announces the change
        // later still: the command goes out again, to a device that took
        // it. A late reply counts, to either command.
        FailureCase{"LateReplyToACommandSentAgain",
                    {With("replyDelayMs=2000,afterAcceptDelayMs=3000")},
                    kFixed,
                    0,
                    {"001A2B: accepted by the device (CONFIG_OK)", "001A2B: configured"},
                    {},
                    true,
                    true},
        // The device renews its challenge with each refusal, late: the
        // answer is signed with the challenge of the last command's refusal,
        // not an earlier one's, and is taken.
        FailureCase{"LateChallengeAnsweredWithTheLastOne",
                    {With("onCommand=require-auth,password=sesame,"
                          "challenge=00112233445566778899AABBCCDDEEFF,replyDelayMs=1500,"
                          "afterAcceptDelayMs=3000")},
                    {"set", "1A2B", "--dhcp", "--password", "sesame"},
                    0,
                    {"001A2B: accepted by the device (CONFIG_OK)", "001A2B: configured"},
                    {kPasswordWarning},
                    true,
                    true},
        // As apply's JSON report of one row, with the commands counted.
        FailureCase{"LateReplyAsJson",
                    {With("replyDelayMs=2000,afterAcceptDelayMs=3000")},
                    kFixed,
                    0,
                    {},
                    {},
                    true,
                    true,
                    FailureCase::kJson,
                    "configured"},
        // A late refusal is an answer too: nothing more goes out after it.
        // As apply's report file; the lines are printed as well.
        FailureCase{"LateRefusalInAReport",
                    {With("onCommand=refuse,replyDelayMs=1500")},
                    kFixed,
                    13,
                    {},
                    {"velkarin: 001A2B: refused by the device; it may need a password "
                     "(--password) (CONFIG_REFUSED)"},
                    true,
                    true,
                    FailureCase::kReport,
                    "refused by the device; it may need a password (--password)"},
        FailureCase{"KeepsItsOldConfiguration",
                    {With("afterAccept=none")},
                    kFixed,
                    4,
                    {"001A2B: accepted by the device (CONFIG_OK)"},
                    {"velkarin: 001A2B: not configured as sent",
                     "  IP address: sent 10.0.0.5, announced 192.168.1.20",
                     "  netmask: sent 255.0.0.0, announced 255.255.255.0",
                     "  gateway: sent none, announced 192.168.1.1"},
                    true},
        FailureCase{"NotSeenAgain",
                    {With("afterAccept=vanish")},
                    kFixed,
                    3,
                    {"001A2B: accepted by the device (CONFIG_OK)"},
                    {"velkarin: 001A2B: not seen again within 15 s; it may be restarting to take "
                     "its new address: run `velkarin list` in a while, or give it longer with "
                     "--verify-seconds"},
                    true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.what; });

// Ctrl-C or SIGTERM in the middle of set: it says how far the run came, on a
// line of its own where the spinner was.
struct InterruptCase {
  const char* what;
  std::vector<std::string> devices;  // --device values
  std::vector<std::string> setArguments;
  enum { kDiscoverySent, kCommandSent, kAccepted } signalWhen;
  int signalNumber;
  int exitCode;
  const char* says;
};

void PrintTo(const InterruptCase& c, std::ostream* os) { *os << c.what; }

class CliSetInterrupt : public CliTest, public testing::WithParamInterface<InterruptCase> {};

TEST_P(CliSetInterrupt, SaysHowFarTheRunCame) {
  const InterruptCase& c = GetParam();
  DevsimProcess devsim(DeviceArguments(c.devices));
  ASSERT_DEVSIM_READY(devsim);
  std::vector<std::string> argv = {CliPath()};
  argv.insert(argv.end(), c.setArguments.begin(), c.setArguments.end());
  ChildProcess set(argv, /*stderrTerminal=*/true);
  if (c.signalWhen == InterruptCase::kAccepted) {
    ASSERT_TRUE(set.WaitForOutput(
        [](const std::string& out) { return Contains(out, "accepted by the device"); },
        seconds(60)))
        << set.err();
  } else {
    const auto end = std::chrono::steady_clock::now() + seconds(60);
    const auto reached = [&] {
      return c.signalWhen == InterruptCase::kDiscoverySent ? !devsim.Received().empty()
                                                           : !Commands(devsim).empty();
    };
    while (!reached() && std::chrono::steady_clock::now() < end) devsim.WaitForReceived(1, 20);
    ASSERT_TRUE(reached());
  }
  set.Signal(c.signalNumber);
  ASSERT_TRUE(set.WaitForExit(seconds(60)));
  EXPECT_EQ(set.exitCode(), c.exitCode) << set.err();
  EXPECT_FALSE(set.endedBySignal());
  // The spinner's line cleared, then the message, and nothing drawn after it.
  EXPECT_TRUE(Contains(set.err(), "\rvelkarin: " + std::string(c.says))) << set.err();
  ASSERT_FALSE(set.err().empty());
  EXPECT_EQ(set.err().back(), '\n') << set.err();
}

INSTANTIATE_TEST_SUITE_P(
    Stages, CliSetInterrupt,
    testing::Values(
        InterruptCase{"NotSent",
                      {"serial=C0DE,ip=10.9.9.9,netmask=255.0.0.0"},
                      kFixed,
                      InterruptCase::kDiscoverySent,
                      SIGTERM,
                      143,
                      "001A2B: interrupted; nothing was sent"},
        InterruptCase{"SentWithoutReply",
                      {With("onCommand=silent")},
                      kFixed,
                      InterruptCase::kCommandSent,
                      SIGINT,
                      130,
                      "001A2B: interrupted after the configuration was sent, before the device "
                      "replied; it may have taken it: run `velkarin list` to check"},
        InterruptCase{"AcceptedNotVerified",
                      {With("afterAccept=vanish")},
                      kFixed,
                      InterruptCase::kAccepted,
                      SIGINT,
                      130,
                      "001A2B: interrupted after the device accepted the configuration, before "
                      "it was verified; run `velkarin list` to check"}),
    [](const testing::TestParamInfo<InterruptCase>& info) { return info.param.what; });

}  // namespace
}  // namespace velkarin::test

namespace velkarin::test {
namespace {

// What `list --json` prints, `set` takes: each record's serialText, fed back,
// reaches that record's device and no other, even where the serial's decimal
// digits (17136 for 0042F0) read as another device's serial in hexadecimal.
TEST_F(CliTest, EveryListedSerialTextAddressesItsOwnDevice) {
  DevsimProcess devsim({"--device", "serial=42F0,name=Bench,ip=172.20.5.9,netmask=255.255.0.0",
                        "--device", "serial=17136,name=Trap,ip=172.20.5.10,netmask=255.255.0.0",
                        "--device",
                        "serial=ABCDEF12,name=Wide,ip=172.20.5.11,netmask=255.255.0.0"});
  ASSERT_DEVSIM_READY(devsim);
  const RunResult before = RunCli({"list", "--json"});
  ASSERT_EQ(before.exitCode, 0) << before.err;
  const nlohmann::json listed = nlohmann::json::parse(before.out);
  ASSERT_EQ(listed.size(), 3u);
  // The CSV's first column is the same text, row for row.
  const RunResult csv = RunCli({"list", "--csv"});
  ASSERT_EQ(csv.exitCode, 0) << csv.err;
  std::vector<std::string> csvSerials;
  for (const std::string& line : Lines(csv.out))
    csvSerials.push_back(line.substr(0, line.find(',')));
  std::vector<std::string> jsonSerials = {"serialText"};
  for (const nlohmann::json& record : listed) jsonSerials.push_back(record["serialText"]);
  EXPECT_EQ(csvSerials, jsonSerials);
  // Each device gets an address of its own, named by its decimal serial.
  for (const nlohmann::json& record : listed) {
    const std::string ip =
        "10.1." + std::to_string(record["serial"].get<std::uint32_t>() % 251) + ".1";
    const RunResult set =
        RunCli({"set", record["serialText"].get<std::string>(), "--ip", ip + "/16"});
    EXPECT_EQ(set.exitCode, 0) << record["serialText"] << set.out << set.err;
  }
  const RunResult after = RunCli({"list", "--json"});
  for (const nlohmann::json& record : nlohmann::json::parse(after.out)) {
    EXPECT_EQ(record["ipAddress"],
              "10.1." + std::to_string(record["serial"].get<std::uint32_t>() % 251) + ".1")
        << record["serialText"];
  }
}

}  // namespace
}  // namespace velkarin::test
