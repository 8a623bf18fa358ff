// Figures of the engine under load, against velkarin-devsim:
//  1. a flood of announcements at the simulator's full speed aimed at a
//     running engine for ten seconds: the rate the simulator reached (from
//     its log), cycles and datagrams per cycle, the engine's CPU time and
//     resident memory, and how long stop takes at points spread over the
//     cycle;
//  2. a thousand devices answering every discovery, at once and spread over
//     a second: how many of them each cycle lists, how long a cycle and a
//     copy of the list take, and how many a configuration poll hears;
//  3. a configuration beside a device that floods every discovery: the
//     result, how long it took and the memory its search used.
// Both send datagrams: they run only inside a private network namespace
// (scripts/netns-run.sh). No target is set for them; the figures are for
// reading.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/config_transaction.h"
#include "devsim_process.h"
#include "engine/finder_facade.h"
#include "engine_aim.h"
#include "load_support.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "private_network.h"

namespace {

using velkarin::DeviceList;
using velkarin::FinderInstance;
using velkarin::platform::SleepMs;

constexpr double kMiB = 1024.0 * 1024.0;

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double CpuMs(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double ResidentMiB() { return static_cast<double>(velkarin::test::ResidentBytes()) / kMiB; }

// Creates the engine, aimed at the simulator; false, said on the output, when
// the simulator did not start.
bool CreateEngineFor(const velkarin::test::DevsimProcess& sim, const char* figures) {
  if (!sim.ready()) {
    std::printf("%s: the simulator did not start\n", figures);
    return false;
  }
  velkarin::FinderSetCreateOptions(velkarin::test::BroadcastTo(sim.port()),
                                   velkarin::FinderTiming());
  velkarin::FinderCreate();
  return true;
}

// The flooding device stops once it has taken a command (it vanishes).
void EndFlood(std::uint16_t port) {
  velkarin::UdpChannel channel(velkarin::test::BroadcastTo(port));
  const std::string command = "100000 5 0 10.0.0.9 255.0.0.0 10.0.0.1";
  channel.SendRaw(command.data(), command.size());
  velkarin::platform::SocketWaitReadable(channel.socket(), 2000);
}

void MeasureFlood() {
  constexpr double kFloodMs = 10000;
  velkarin::test::DevsimProcess sim(
      {"--port", "0", "--device", "serial=500000,name=Quiet,ip=10.0.0.5", "--device",
       "serial=100000,name=Flood,ip=10.0.0.6,repeat=0,floodRate=1000000,"
       "floodDurationMs=5000,floodVary=true,afterAccept=vanish"});
  if (!CreateEngineFor(sim, "flood")) return;
  velkarin::DeviceFinder* finder = FinderInstance();
  const double residentBefore = ResidentMiB();
  double residentMost = residentBefore;
  // The engine's share is the process's time less this thread's watching.
  const double cpuStart = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  const double watchStart = CpuMs(CLOCK_THREAD_CPUTIME_ID);
  const double start = NowMs();
  velkarin::FinderStart();

  // Stops at points spread over the cycle (a start begins a cycle): in the
  // collection, in the pause after it, in the wait; each followed by a start.
  const double delays[] = {1500, 2, 30, 80, 700, 2900, 10, 60};
  std::size_t nextDelay = 0;
  std::vector<double> stops;
  std::vector<std::size_t> sizes;
  std::uint32_t seenCycles = 0;
  unsigned ticks = 0;
  double nextStop = start + delays[nextDelay++];
  DeviceList devices;
  while (NowMs() - start < kFloodMs) {
    SleepMs(1);
    if (++ticks % 50 == 0) residentMost = std::max(residentMost, ResidentMiB());
    if (finder->cyclesCompleted() != seenCycles) {
      seenCycles = finder->cyclesCompleted();
      velkarin::FinderGetDevices(devices);
      sizes.push_back(devices.size());
    }
    if (NowMs() >= nextStop) {
      const double stopStart = NowMs();
      velkarin::FinderStop();
      stops.push_back(NowMs() - stopStart);
      velkarin::FinderStart();
      nextStop = nextDelay < sizeof delays / sizeof delays[0] ? NowMs() + delays[nextDelay++]
                                                              : start + 2 * kFloodMs;
    }
  }
  const double cpu =
      CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuStart - (CpuMs(CLOCK_THREAD_CPUTIME_ID) - watchStart);
  const double wall = NowMs() - start;
  const std::uint32_t cycles = finder->cyclesCompleted();
  velkarin::FinderStop();
  EndFlood(sim.port());
  velkarin::FinderDestroy();
  const velkarin::test::SentFigures sent =
      velkarin::test::CountSent(sim.directory() + "/devsim.log");

  std::printf("\nflood of announcements, each a new device, for %.1f s:\n", wall / 1e3);
  std::printf("  simulator sent %llu datagrams in %.2f s = %.0f per second\n",
              static_cast<unsigned long long>(sent.datagrams), sent.spanSeconds(),
              sent.perSecond());
  std::string sizeText;
  for (std::size_t s : sizes) sizeText += " " + std::to_string(s);
  std::printf("  %u cycles completed; records listed after each:%s (bound 202)\n", cycles,
              sizeText.c_str());
  std::printf("  engine CPU time %.0f ms = %.2f %% of one core\n", cpu, cpu / wall * 100.0);
  std::printf("  resident memory %.1f MiB before, at most %.1f MiB (+%.1f)\n", residentBefore,
              residentMost, residentMost - residentBefore);
  std::sort(stops.begin(), stops.end());
  std::string stopText;
  for (double s : stops) {
    char text[32];
    std::snprintf(text, sizeof text, " %.0f", s);
    stopText += text;
  }
  std::printf("  stop under the flood, ms:%s\n", stopText.c_str());
}

void MeasureFleet(int fleet, int spreadMs) {
  std::vector<std::string> arguments = {"--port", "0", "--fleet", std::to_string(fleet)};
  if (spreadMs > 0) {
    arguments.push_back("--fleet-spread-ms");
    arguments.push_back(std::to_string(spreadMs));
  }
  velkarin::test::DevsimProcess sim(arguments);
  if (!CreateEngineFor(sim, "fleet")) return;
  velkarin::DeviceFinder* finder = FinderInstance();
  const double start = NowMs();
  velkarin::FinderStart();
  std::printf(
      "\n%d devices answering, %s:\n", fleet,
      spreadMs > 0 ? ("spread over " + std::to_string(spreadMs) + " ms").c_str() : "all at once");
  double previous = start;
  for (std::uint32_t cycle = 1; cycle <= 4; ++cycle) {
    while (finder->cyclesCompleted() < cycle && NowMs() - start < 20000) SleepMs(1);
    const double end = NowMs();
    DeviceList devices;
    const double copyStart = NowMs();
    velkarin::FinderGetDevices(devices);
    const double copyUs = (NowMs() - copyStart) * 1e3;
    std::printf("  cycle %u: %zu listed, ended %.0f ms after the %s; copy of the list %.1f us\n",
                cycle, devices.size(), end - previous, cycle == 1 ? "start" : "previous cycle",
                copyUs);
    previous = end;
  }
  velkarin::FinderStop();
  velkarin::DeviceCollector collector;
  velkarin::PollOnce(*finder, collector);
  std::printf("  one poll of a configuration search hears %zu devices\n",
              collector.Snapshot().size());
  velkarin::FinderDestroy();
}

// A configuration beside a device that floods every discovery with new
// serial numbers: each poll of the search takes its share of the flood into
// the search's list, which grows until the search's time is up.
void MeasureFloodedTransaction(bool vary) {
  velkarin::test::DevsimProcess sim(
      {"--port", "0", "--device", "serial=A1B2,name=Pump,ip=10.0.0.5", "--device",
       std::string("serial=100000,name=Flood,ip=10.0.0.6,floodRate=1000000,"
                   "floodDurationMs=30000") +
           (vary ? ",floodVary=true" : "")});
  if (!sim.ready()) {
    std::printf("flooded transaction: the simulator did not start\n");
    return;
  }
  velkarin::DeviceFinder finder(velkarin::test::BroadcastTo(sim.port()));
  velkarin::DeviceRecord record;
  record.serial = 0xA1B2;
  record.ipAddress = "10.0.0.9";
  record.netmask = "255.0.0.0";
  record.gateway = "10.0.0.1";
  const double residentBefore = ResidentMiB();
  std::atomic<bool> done{false};
  std::atomic<double> residentMost{residentBefore};
  std::thread watcher([&] {
    while (!done) {
      residentMost = std::max(residentMost.load(), ResidentMiB());
      SleepMs(20);
    }
  });
  const double start = NowMs();
  const velkarin::ConfigResult result = velkarin::ConfigureDevice(finder, record, nullptr);
  const double elapsed = NowMs() - start;
  done = true;
  watcher.join();
  std::printf(
      "\nconfiguration beside a flood of %s: %s after %.0f ms; resident memory %.1f MiB "
      "before, at most %.1f MiB\n",
      vary ? "new devices" : "one repeated announcement", velkarin::ConfigResultName(result),
      elapsed, residentBefore, residentMost.load());
}

}  // namespace

int main() {
  setenv("VELKARIN_DEVSIM", VELKARIN_DEVSIM_BUILT, 0);
  if (!velkarin::test::InPrivateNetwork()) {
    std::printf(
        "not in a private network namespace: the load figures are skipped\n"
        "(run through scripts/netns-run.sh)\n");
    return 0;
  }
  std::printf("simulator: %s\n", velkarin::test::DevsimProgram().c_str());
  MeasureFlood();
  MeasureFleet(1000, 0);
  MeasureFleet(1000, 1000);
  MeasureFloodedTransaction(false);
  MeasureFloodedTransaction(true);
  return 0;
}
