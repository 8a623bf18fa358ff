// How close a successful configuration comes to the time its own timers set.
// The search polls every 250 ms until the device has been found and the
// collector has been quiet for more than a second, and the reply wait lasts
// 3000 ms once an answer has come; so the floor is (polls x 250 ms) + 3000 ms.
// Everything above it is the transaction's own cost (target: within 2 %).
//
// The device is played by this program on loopback, so it runs only inside a
// private network namespace (scripts/netns-run.sh).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "config/config_reply.h"
#include "config/config_transaction.h"
#include "fake_device.h"
#include "private_network.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_SuccessfulTransaction(benchmark::State& state) {
  // Answers discovery with an announcement and every command with "accepted".
  velkarin::test::FakeDevice device;
  device.AnswerRaw({"A1B2 0 10.0.0.5 255.255.255.0 10.0.0.1 Bench"});
  device.ReplyToEveryCommand({{0, "A1B2 5 1"}});
  velkarin::DeviceFinder finder(velkarin::Destination{velkarin::kBroadcastAddress, device.port()});
  velkarin::DeviceRecord record;
  record.serial = 0xA1B2;
  record.ipAddress = "10.0.0.9";
  record.netmask = "255.255.255.0";
  record.gateway = "10.0.0.1";

  double total = 0, floor = 0, search = 0, searchFloor = 0, reply = 0;
  int polls = 0, failures = 0;
  for (auto _ : state) {
    const int discoveriesBefore = device.discoveries();
    const Clock::time_point start = Clock::now();
    const velkarin::ConfigResult result = velkarin::ConfigureDevice(finder, record, nullptr);
    const Clock::time_point end = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    if (result != velkarin::CONFIG_OK) ++failures;
    const int n = device.discoveries() - discoveriesBefore;
    const Clock::time_point commandAt = device.lastCommandAt();
    polls += n;
    total += Ms(end - start);
    floor += n * double(velkarin::kPollPauseMs) + velkarin::kReplyMinimumMs;
    search += Ms(commandAt - start);
    searchFloor += n * double(velkarin::kPollPauseMs);
    reply += Ms(end - commandAt);
  }
  const double runs = double(state.iterations());
  state.counters["failures"] = failures;
  state.counters["polls"] = polls / runs;
  state.counters["total_ms"] = total / runs;
  state.counters["floor_ms"] = floor / runs;
  state.counters["over_floor_%"] = 100.0 * (total - floor) / floor;
  state.counters["search_ms"] = search / runs;
  state.counters["search_floor_ms"] = searchFloor / runs;
  state.counters["reply_wait_ms"] = reply / runs;
}
BENCHMARK(BM_SuccessfulTransaction)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!velkarin::test::InPrivateNetwork()) {
    std::fprintf(stderr, "config_bench sends datagrams: run it inside scripts/netns-run.sh\n");
    return 3;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
