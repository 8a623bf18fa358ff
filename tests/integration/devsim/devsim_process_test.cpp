// Starting and stopping the simulator, natively and from Windows programs
// under Wine.
#include <chrono>
#include <cstdlib>
#include <string>

#include "devsim_test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
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
  DevsimProcess badSerial({"--port", "0", "--device", "serial=XYZ"});
  EXPECT_FALSE(badSerial.ready());
  EXPECT_NE(badSerial.error().find("serial"), std::string::npos) << badSerial.error();

  DevsimProcess badKey({"--port", "0"}, R"({"devices": [{"serail": "A1"}]})");
  EXPECT_FALSE(badKey.ready());
  EXPECT_NE(badKey.error().find("serail"), std::string::npos) << badKey.error();

  DevsimProcess badJson({"--port", "0"}, R"({"devices": [)");
  EXPECT_FALSE(badJson.ready());
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
