// Starting and stopping the simulator, natively and from Windows programs
// under Wine.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "devsim_test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velkarin::test {
namespace {

using namespace std::string_literals;

using DevsimLifecycle = DevsimTest;

TEST_F(DevsimLifecycle, PortZeroPicksAFreePortAndStopEndsTheSimulatorCleanly) {
  DevsimProcess sim({"--port", "0", "--device", "serial=A1B2"});
  ASSERT_SIM_READY(sim);
  ASSERT_NE(sim.port(), 0);
  ASSERT_NE(sim.port(), 8001);
  ProbeSocket probe;
  ASSERT_EQ(Discover(probe, sim).size(), 1u);
  EXPECT_TRUE(sim.Stop());
  EXPECT_FALSE(sim.running());
  EXPECT_TRUE(Discover(probe, sim, 300).empty());
  const std::string log = sim.LogText();
  EXPECT_NE(log.find("EV stopped: "), std::string::npos) << log;
  // Stopped twice is stopped.
  EXPECT_TRUE(sim.Stop());
}

TEST_F(DevsimLifecycle, ListensOnTheDevicesPortByDefault) {
  DevsimProcess sim({"--device", "serial=A1B2"});
  ASSERT_SIM_READY(sim);
  EXPECT_EQ(sim.port(), 8001);
  ProbeSocket probe;
  EXPECT_EQ(BytesOf(Discover(probe, sim)), std::vector<std::string>{"A1B2 0\0"s});
}

TEST_F(DevsimLifecycle, ReadsItsDevicesFromAJsonFileAndTheCommandLineTogether) {
  DevsimProcess sim({"--port", "0", "--device", "serial=2,name=\"from the, command line\""},
                    R"({"devices": [{"serial": 1, "name": "from the file"}],
                        "fleet": {"count": 2, "serialBase": "F0"}})");
  ASSERT_SIM_READY(sim);
  ProbeSocket probe;
  std::vector<std::string> answers = BytesOf(Discover(probe, sim));
  std::sort(answers.begin(), answers.end());
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[0], "1 0\0"s);  // no address: the section ends before the name
  EXPECT_EQ(answers[1], "2 0\0"s);
  EXPECT_EQ(Section1(answers[2]), "F0 0 10.0.0.1 255.0.0.0 10.0.0.254 Sim device 1");
  EXPECT_EQ(Section1(answers[3]), "F1 0 10.0.0.2 255.0.0.0 10.0.0.254 Sim device 2");
}

TEST_F(DevsimLifecycle, ReportsABadConfigurationInsteadOfStarting) {
  std::vector<std::string> folders;
  {
    DevsimProcess badSerial({"--port", "0", "--device", "serial=XYZ"});
    EXPECT_FALSE(badSerial.ready());
    EXPECT_NE(badSerial.error().find("serial"), std::string::npos) << badSerial.error();

    DevsimProcess badKey({"--port", "0"}, R"({"devices": [{"serail": "A1"}]})");
    EXPECT_FALSE(badKey.ready());
    EXPECT_NE(badKey.error().find("serail"), std::string::npos) << badKey.error();

    DevsimProcess badJson({"--port", "0"}, R"({"devices": [)");
    EXPECT_FALSE(badJson.ready());
    folders = {badSerial.directory(), badKey.directory(), badJson.directory()};
  }
  // A simulator that never got ready leaves no folder behind (its lock file
  // must be let go, or Wine only deletes it when the test program ends).
  for (const std::string& folder : folders) {
    std::ofstream probe(LocalPath(folder + "/probe"));
    EXPECT_FALSE(probe.is_open()) << folder << " is still there";
  }
}

// Run in a process of its own by the test below: starts a simulator, tells
// where its log is, and ends without stopping it.
TEST(DevsimOrphan, DISABLED_StartsASimulatorAndDiesWithoutStoppingIt) {
  const char* report = std::getenv("VELKARIN_ORPHAN_REPORT");
  if (report == nullptr) GTEST_SKIP() << "only as the child of DevsimLifecycle";
  auto* sim = new DevsimProcess({"--port", "0", "--device", "serial=0FA"});
  ASSERT_SIM_READY(*sim);
  std::ofstream(LocalPath(report)) << sim->port() << "\n" << sim->directory() << "\n";
  std::_Exit(0);  // no destructor, no Stop
}

// Runs this test program again with only the test above.
int RunOrphanChild(const std::string& report) {
  const std::string filter =
      "--gtest_filter=DevsimOrphan.DISABLED_StartsASimulatorAndDiesWithoutStoppingIt";
  const std::string disabled = "--gtest_also_run_disabled_tests";
#ifdef _WIN32
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  SetEnvironmentVariableA("VELKARIN_ORPHAN_REPORT", report.c_str());
  std::string line = "\"" + std::string(self) + "\" " + filter + " " + disabled;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &info);
  SetEnvironmentVariableA("VELKARIN_ORPHAN_REPORT", nullptr);
  if (!started) return -1;
  WaitForSingleObject(info.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  return static_cast<int>(code);
#else
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("VELKARIN_ORPHAN_REPORT", report.c_str(), 1);
    execl("/proc/self/exe", "net_devsim", filter.c_str(), disabled.c_str(), nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST_F(DevsimLifecycle, ASimulatorEndsWhenTheProcessThatStartedItDies) {
  DevsimProcess place({"--port", "0"});  // for a folder of our own
  ASSERT_SIM_READY(place);
  const std::string report = place.directory() + "/orphan.txt";
  ASSERT_EQ(RunOrphanChild(report), 0);
  std::ifstream in(LocalPath(report));
  std::string port, dir;
  ASSERT_TRUE(std::getline(in, port) && std::getline(in, dir)) << "no report from the child";
  in.close();
  std::remove(LocalPath(report).c_str());

  std::string log;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    std::ifstream file(LocalPath(dir + "/devsim.log"));
    std::ostringstream text;
    text << file.rdbuf();
    log = text.str();
    if (log.find("EV stopped:") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(log.find("EV stopped: watched lock released"), std::string::npos) << log;
  ProbeSocket probe;
  ASSERT_TRUE(probe.Broadcast("0 1 A", static_cast<std::uint16_t>(std::stoi(port))));
  EXPECT_FALSE(probe.Receive(300));
  if (!HasFailure()) RemoveDevsimDirectory(dir);
}

#ifndef _WIN32

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Simulator() {
  const char* path = std::getenv("VELKARIN_DEVSIM");
  return path != nullptr ? path : "";
}

// In a nested namespace that has an interface besides lo, the simulator
// refuses to start. The extra interface (a bridge without ports, or a veth
// pair with both ends inside) is down and has no address, so even a
// simulator that did start could reach nothing.
TEST_F(DevsimLifecycle, RefusesToRunOutsideAPrivateNetwork) {
  const int status = RunShell(
      "unshare --net sh -c '(ip link add velk0 type bridge || ip link add velk0 type veth peer "
      "name velk1) >/dev/null 2>&1 || exit 99; exec \"" +
      Simulator() + "\" --port 0 --device serial=1 --max-runtime 2' >/dev/null 2>&1");
  if (status == 99) GTEST_SKIP() << "no interface can be made in a nested namespace here";
  EXPECT_EQ(status, 4);
}

// Run with its output captured; the exit status, or -1.
struct ShellRun {
  int status;
  std::string output;
};

ShellRun RunSimulator(const std::string& arguments, const std::string& dir) {
  const std::string out = dir + "/out";
  const int status = RunShell("\"" + Simulator() + "\" " + arguments + " --max-runtime 1 >" + out +
                              " 2>&1 </dev/null");
  std::ifstream in(out);
  std::ostringstream text;
  text << in.rdbuf();
  return {status, text.str()};
}

TEST_F(DevsimLifecycle, BadOptionsAndConfigurationsExitWith2AndNameWhatIsWrong) {
  const std::string dir = "/tmp/velkarin-devsim-options-" + std::to_string(getpid());
  ASSERT_EQ(RunShell("mkdir -p " + dir), 0);
  std::ofstream(dir + "/fleet.json")
      << R"({"devices": [{"serial": "A1"}, {"serial": "B2", "ipp": "10.0.0.1"}]})";
  std::ofstream(dir + "/bad-fleet.json") << R"({"fleet": {"count": 2, "template": {"nmae": 1}}})";
  struct Case {
    std::string arguments;
    std::vector<std::string> said;  // each in the message
  };
  const std::vector<Case> cases = {
      {"--bogus", {"--bogus"}},
      {"--port", {"--port"}},
      {"--port 65536", {"--port", "65536"}},
      {"--port -1", {"--port"}},
      {"--fleet 2 --fleet-serial-base XYZ", {"--fleet-serial-base 'XYZ'", "hexadecimal"}},
      {"--fleet 2 --fleet-serial-base 123456789", {"--fleet-serial-base"}},
      {"--fleet 2 --fleet-template nmae=x", {"--fleet-template", "\"nmae\""}},
      {"--device serial=1 --device serial=C0DE,ipp=1", {"--device serial=C0DE", "\"ipp\""}},
      {"--config " + dir + "/fleet.json", {"fleet.json: device 2 (serial B2)", "\"ipp\""}},
      {"--config " + dir + "/bad-fleet.json", {"bad-fleet.json: fleet device 1", "\"nmae\""}},
      // Device texts travel in Latin-1: what it lacks is refused, not sent in UTF-8.
      {"--device 'serial=1,name=\xE2\x82\xAC 5'", {"\"name\"", "U+20AC", "\\xNN"}},
      {"--device 'serial=1,deviceId=A\\xZ1'", {"\"deviceId\"", "\\x needs two hex digits"}},
  };
  for (const Case& c : cases) {
    const ShellRun run = RunSimulator(c.arguments, dir);
    EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.output;
    EXPECT_EQ(run.output.rfind("velkarin-devsim: ", 0), 0u) << c.arguments << "\n" << run.output;
    for (const std::string& part : c.said) {
      EXPECT_NE(run.output.find(part), std::string::npos) << c.arguments << "\n" << run.output;
    }
  }
  RunShell("rm -rf " + dir);
}

// Tests start it without devices to watch what a tool sends: it says so, and runs.
TEST_F(DevsimLifecycle, WithoutDevicesItSaysSoAndListensAnyway) {
  const std::string dir = "/tmp/velkarin-devsim-empty-" + std::to_string(getpid());
  ASSERT_EQ(RunShell("mkdir -p " + dir), 0);
  const ShellRun run = RunSimulator("--port 0", dir);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("READY port="), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("velkarin-devsim: no devices"), std::string::npos) << run.output;
  RunShell("rm -rf " + dir);
}

TEST_F(DevsimLifecycle, EndsAtTheStopFileTheEndOfItsInputOrItsMaximumRunTime) {
  const std::string dir = "/tmp/velkarin-devsim-lifecycle-" + std::to_string(getpid());
  ASSERT_EQ(RunShell("mkdir -p " + dir), 0);
  const std::string run = "\"" + Simulator() + "\" --port 0 --ready-file " + dir + "/ready";

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunShell("(sleep 0.5; touch " + dir + "/stop) & " + run + " --stop-file " + dir +
                     "/stop >/dev/null </dev/null; status=$?; wait; exit $status"),
            0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunShell("sleep 0.5 | " + run + " --exit-on-stdin-eof >/dev/null"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunShell(run + " --max-runtime 1 >/dev/null </dev/null"), 0);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::seconds(5));

  // Each run removed its ready file as it ended.
  EXPECT_NE(RunShell("test -e " + dir + "/ready"), 0);
  RunShell("rm -rf " + dir);
}

#endif

}  // namespace
}  // namespace velkarin::test
