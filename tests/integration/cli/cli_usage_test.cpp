// velkarin refuses bad options and entries with exit code 2 and sends nothing.
#include <string>
#include <vector>

#include "cli_fixture.h"

namespace velkarin::test {
namespace {

TEST_F(CliTest, HelpListsTheCommandsAndTheExitCodes) {
  const RunResult help = RunCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* part :
       {"list", "set", "Exit codes:", "  2    bad options", "  17   set: no reply"}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
  const RunResult setHelp = RunCli({"set", "--help"});
  EXPECT_EQ(setHelp.exitCode, 0);
  for (const char* part : {"--dhcp", "--ip", "--netmask", "--gateway", "--device-id", "--password",
                           "--broadcast", "SERIAL"}) {
    EXPECT_NE(setHelp.out.find(part), std::string::npos) << part;
  }
  const RunResult listHelp = RunCli({"list", "--help"});
  EXPECT_EQ(listHelp.exitCode, 0);
  for (const char* part : {"--json", "--watch", "--broadcast", "  130 ", "  143 "}) {
    EXPECT_NE(listHelp.out.find(part), std::string::npos) << part;
  }
  // Each command's help shows only the codes it can end with.
  for (const char* part : {"  3 ", "  12 ", "  17 "}) {
    EXPECT_EQ(listHelp.out.find(part), std::string::npos) << part;
  }
  EXPECT_NE(setHelp.out.find("  17 "), std::string::npos);
  // Ctrl-C and SIGTERM end every command alike.
  EXPECT_NE(setHelp.out.find("  130  interrupted by Ctrl-C"), std::string::npos);
  EXPECT_NE(setHelp.out.find("  143  terminated (SIGTERM)"), std::string::npos);
  // set sends by one interface; list and apply by several.
  EXPECT_EQ(setHelp.out.find("NAME only (repeatable"), std::string::npos);
  EXPECT_EQ(setHelp.out.find("--interface NAME ..."), std::string::npos);
  EXPECT_NE(listHelp.out.find("NAME only (repeatable"), std::string::npos);
  // The plan's form, in the help of the command that reads it.
  const RunResult applyHelp = RunCli({"apply", "--help"});
  for (const char* part : {"`velkarin list --csv` prints is a plan", "dhcp (yes or no",
                           "Lines that start with # are comments"}) {
    EXPECT_NE(applyHelp.out.find(part), std::string::npos) << part;
  }
  EXPECT_NE(setHelp.out.find("ADDRESS[/PREFIX]"), std::string::npos);
}

struct UsageCase {
  std::vector<std::string> arguments;
  std::string message;  // part of what stderr says
  bool shape = false;   // a command line of the wrong shape: points to --help
};

TEST_F(CliTest, BadOptionsAndEntriesAreUsageErrorsAndSendNothing) {
  // Listens on the devices' port, so that anything sent would be seen.
  DevsimProcess devsim({"--device", "serial=1A2B,ip=10.0.0.9,netmask=255.0.0.0"});
  ASSERT_DEVSIM_READY(devsim);

  const std::vector<UsageCase> cases = {
      {{}, "subcommand is required", true},
      {{"frobnicate"}, "unknown command 'frobnicate'", true},
      {{"list", "extra"}, "extra", true},
      {{"list", "--bogus"}, "--bogus", true},
      {{"list", "--broadcast"}, "--broadcast", true},
      {{"list", "--broadcast", "1.2.3.4:99999"}, "invalid --broadcast '1.2.3.4:99999'"},
      {{"list", "--broadcast", "0.0.0.0"}, "invalid --broadcast '0.0.0.0'"},
      {{"list", "--broadcast", "devices.local"}, "invalid --broadcast"},
      {{"set"}, "SERIAL", true},
      {{"set", "1A2B"}, "set needs --dhcp, or --ip with --netmask", true},
      {{"set", "XYZ", "--dhcp"}, "invalid serial number 'XYZ'"},
      {{"set", "123456789", "--dhcp"}, "invalid serial number '123456789'"},
      {{"set", "1A2B", "--dhcp", "--ip", "10.0.0.5", "--netmask", "255.0.0.0"}, "excludes", true},
      {{"set", "1A2B", "--ip", "10.0.0.5"}, "--netmask"},
      {{"set", "1A2B", "--netmask", "255.0.0.0"}, "--ip", true},
      {{"set", "1A2B", "--dhcp", "--gateway", "10.0.0.1"}, "excludes", true},
      {{"set", "1A2B", "--ip", "192.168.0.300", "--netmask", "255.255.255.0"},
       "invalid IP configuration: invalid IP address '192.168.0.300'"},
      {{"set", "1A2B", "--ip", "abc", "--netmask", "255.255.255.0"}, "invalid IP address 'abc'"},
      {{"set", "1A2B", "--ip", "", "--netmask", "255.255.255.0"}, "invalid IP address ''"},
      {{"set", "1A2B", "--ip", "0.0.0.0", "--netmask", "255.255.255.0"},
       "invalid IP address '0.0.0.0'"},
      {{"set", "1A2B", "--ip", "192.168.000.0100", "--netmask", "255.255.255.0"},
       "invalid IP address '192.168.000.0100'"},
      {{"set", "1A2B", "--ip", "192.168.001.010", "--netmask", "255.255.255.0"},
       "invalid IP address '192.168.001.010': write 192.168.1.10 (a part with a leading zero is "
       "read as octal"},
      {{"set", "1A2B", "--ip", "10.0.0.5", "--netmask", "0.0.0.0"}, "invalid netmask '0.0.0.0'"},
      {{"set", "1A2B", "--ip", "10.0.0.5", "--netmask", "255.0.0.0", "--gateway", "gw"},
       "invalid gateway 'gw'"},
      {{"set", "1A2B", "--ip", "10.0.0.5", "--netmask", "255.0.0.0", "--gateway", "0"},
       "invalid gateway '0'"},
      {{"set", "1A2B", "--dhcp", "--broadcast", "1.2.3.4:"}, "invalid --broadcast '1.2.3.4:'"},
      {{"set", "1A2B", "--ip", "10.0.0.5\x1b[2J", "--netmask", "255.0.0.0"},
       "invalid IP address '10.0.0.5\\x1B[2J'"},
      // Addresses no device can have: a device that took one would be lost.
      {{"set", "1A2B", "--ip", "127.0.0.1", "--netmask", "255.0.0.0"},
       "no device can be given --ip 127.0.0.1 with --netmask 255.0.0.0: 127.0.0.0/8 is the "
       "loopback range"},
      {{"set", "1A2B", "--ip", "224.0.0.1", "--netmask", "255.255.255.0"}, "multicast range"},
      {{"set", "1A2B", "--ip", "255.255.255.255", "--netmask", "255.255.255.0"},
       "limited broadcast address"},
      {{"set", "1A2B", "--ip", "240.1.2.3", "--netmask", "255.0.0.0"}, "240.0.0.0/4 is reserved"},
      {{"set", "1A2B", "--ip", "0.1.2.3", "--netmask", "255.0.0.0"}, "0.0.0.0/8"},
      {{"set", "1A2B", "--ip", "10.0.0.255", "--netmask", "255.255.255.0"},
       "broadcast address of 10.0.0.0/24"},
      {{"set", "1A2B", "--ip", "10.0.0.5", "--netmask", "255.0.255.0"}, "not a run of ones"},
      {{"set", "1A2B", "--ip", "10.0.0.5", "--netmask", "255.0.0.0", "--gateway", "224.0.0.1"},
       "--gateway 224.0.0.1: 224.0.0.0/4"},
      // The prefix form of --ip.
      {{"set", "1A2B", "--ip", "10.0.0.5/32"}, "(/32)"},
      {{"set", "1A2B", "--ip", "10.0.0.5/0"}, "invalid --ip '10.0.0.5/0'"},
      {{"set", "1A2B", "--ip", "10.0.0.5/33"}, "invalid --ip '10.0.0.5/33'"},
      {{"set", "1A2B", "--ip", "10.0.0.5/24", "--netmask", "255.255.0.0"},
       "--ip 10.0.0.5/24 gives the netmask 255.255.255.0, but --netmask is '255.255.0.0'"},
      // What the transaction would refuse, refused before any search.
      {{"set", "1A2B", "--dhcp", "--password", "123456789012345678901"},
       "--password has 21 characters"},
      {{"set", "1A2B", "--device-id", std::string(240, 'D'), "--ip", "10.0.0.5", "--netmask",
        "255.0.0.0"},
       "--device-id is too long"},
      {{"set", "0", "--dhcp"}, "serial number 0 names no device"},
      {{"list", "--csv", "--json"}, "excludes", true},
      // Device texts are Latin-1: what it lacks is named, nothing is sent.
      {{"set", "1A2B", "--dhcp", "--device-id",
        "Pr\xC3\xBC"
        "f\xE2\x82\xAC"},
       "invalid --device-id 'Pr\xC3\xBC"
       "f\xE2\x82\xAC': U+20AC '\xE2\x82\xAC' is not a Latin-1 "
       "character (U+0000 to U+00FF); devices take Latin-1 text"},
      {{"set", "1A2B", "--dhcp", "--device-id", "Pr\xC3"},
       "invalid --device-id 'Pr\\xC3': malformed UTF-8 (byte 0xC3 at offset 2)"},
      {{"set", "1A2B", "--dhcp", "--password", "\xE2\x82\xAC"},
       "--password has a character that devices cannot take, at position 1"},
      // What a newcomer types: the reply says what was meant.
      {{"set", "--password", "0042F0", "--dhcp"},
       "--password took what looks like a serial number as the password; to be asked for the "
       "password, give SERIAL first",
       true},
      {{"set", "1A2B", "--dhcp", "--gw", "10.0.0.1"}, "(--gw: did you mean --gateway?)", true},
      {{"list", "--jsn"}, "(--jsn: did you mean --json?)", true},
      {{"set", "1A2B", "--ip", "10.0.0.5", "--netmask", "24"},
       "invalid --netmask '24': a prefix length goes after the address (--ip 10.0.0.5/24)"},
      {{"list", "--interface", "eth7"}, "no IPv4 interface named 'eth7' is up (up: lo)"},
      {{"set", "1A2B", "--dhcp", "--interface", "eth7"}, "named 'eth7' is up (up: lo)"},
      {{"apply", "/nonexistent/plan.csv", "--yes"},
       "cannot read the plan /nonexistent/plan.csv: No such file or directory"},
      // The plan is read before a password is asked for (no terminal to ask on here).
      {{"apply", "/nonexistent/plan.csv", "--yes", "--password"},
       "cannot read the plan /nonexistent/plan.csv"},
      // Read in pieces, and refused at the first: it never ends.
      {{"apply", "/dev/zero", "--yes"},
       "cannot read the plan /dev/zero: not a text file: byte 0 is NUL"},
  };
  for (const UsageCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.arguments) shown += " [" + a + "]";
    const RunResult run = RunCli(c.arguments);
    ASSERT_TRUE(run.finished) << shown;
    EXPECT_EQ(run.exitCode, 2) << shown << "\n" << run.err;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_EQ(run.err.rfind("velkarin: ", 0), 0u) << shown << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << shown << "\n" << run.err;
    EXPECT_EQ(run.err.find("Run with --help") != std::string::npos, c.shape) << shown << "\n"
                                                                             << run.err;
  }
  // Not even a search: the devices' port received nothing.
  EXPECT_TRUE(devsim.Received().empty());
}

TEST_F(CliTest, WithNoInterfaceUpEveryCommandEndsAlike) {
  // A namespace of its own, whose loopback is down.
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"list"}, {"set", "1A2B", "--dhcp"}}) {
    std::vector<std::string> command = {"/usr/bin/unshare", "--net", CliPath()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const RunResult run = RunProgram(command);
    EXPECT_EQ(run.exitCode, 6) << arguments.front() << ": " << run.err;
    EXPECT_EQ(run.err, "velkarin: no IPv4 interface is up\n") << arguments.front();
  }
}

TEST_F(CliTest, AcceptedEntriesMatchTheFormsRules) {
  // An empty gateway and the gateway 0.0.0.0 are accepted; these entries
  // pass the checks and reach the (absent) device.
  for (const char* gateway : {"", "0.0.0.0"}) {
    const RunResult run = RunCli({"set", "C0FFEE", "--ip", "192.168.0.10", "--netmask",
                                  "255.255.255.0", "--gateway", gateway},
                                 std::chrono::seconds(30));
    EXPECT_EQ(run.exitCode, 12) << gateway << ": " << run.out << run.err;
    EXPECT_EQ(run.err, "velkarin: C0FFEE: device not found (CONFIG_NOT_FOUND)\n");
  }
}

}  // namespace
}  // namespace velkarin::test
