// How long parsing an announcement takes next to receiving it: the discovery
// worker does both for every datagram, and parsing should cost well under
// the receive itself (target: parse / receive < 0.6).
//
// The receive is measured on real UDP sockets on 127.0.0.1, so this program
// runs only inside a private network namespace (scripts/netns-run.sh).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "figures_reporter.h"
#include "network_bench.h"
#include "platform/socket.h"
#include "protocol/address.h"
#include "protocol/announcement.h"

namespace {

using namespace std::string_literals;

// An announcement of 100 bytes with all three sections.
const std::string kAnnouncement =
    "00A1B2 0 192.168.10.20 255.255.255.0 192.168.10.1 Sensor 2\0"
    "7 t0 t1 t2 t3 IOX-4 2 13 ta tb 5\0"
    "fF01 aa bb\0"s;

constexpr std::size_t kReceiveBuffer = 1024;  // the worker's buffer size

void BM_ParseAnnouncement(benchmark::State& state) {
  for (auto _ : state) {
    velkarin::DeviceRecord record =
        velkarin::ParseAnnouncement(kAnnouncement.data(), kAnnouncement.size());
    benchmark::DoNotOptimize(record);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kAnnouncement.size()));
}
BENCHMARK(BM_ParseAnnouncement);

void BM_SameAddress(benchmark::State& state) {
  // The pairs the device list compares most: equal forms, different
  // addresses, an empty text and an unreadable one.
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"192.168.10.20", "192.168.10.20"},
      {"192.168.10.20", "192.168.010.020"},
      {"192.168.10.20", "192.168.10.21"},
      {"", "0.0.0.0"},
      {"10.0.0.1", "no address"}};
  std::size_t i = 0;
  for (auto _ : state) {
    const auto& pair = pairs[i];
    benchmark::DoNotOptimize(velkarin::SameAddress(pair.first, pair.second));
    i = i + 1 == pairs.size() ? 0 : i + 1;
  }
}
BENCHMARK(BM_SameAddress);

// A sender and a non-blocking receiver on 127.0.0.1, through the platform's
// sockets as the worker uses them. Datagrams are queued in batches outside
// the timed part, so the figure is one non-blocking receive of a waiting
// announcement into a 1024-byte buffer.
void BM_ReceiveAnnouncement(benchmark::State& state) {
  using namespace velkarin::platform;
  constexpr std::uint32_t kLoopback = 0x7F000001;
  const SocketHandle receiver = UdpSocketOpen();
  const SocketHandle sender = UdpSocketOpen();
  if (receiver == kInvalidSocket || sender == kInvalidSocket ||
      !SocketBindAddress(receiver, kLoopback, 0) || !SocketSetNonBlocking(receiver)) {
    state.SkipWithError("cannot set up the loopback sockets");
    SocketClose(sender);
    SocketClose(receiver);
    return;
  }
  const std::uint16_t port = SocketLocalPort(receiver);

  constexpr int kBatch = 64;  // fits the default receive queue
  char buffer[kReceiveBuffer];
  int waiting = 0;
  for (auto _ : state) {
    if (waiting == 0) {
      state.PauseTiming();
      for (int i = 0; i < kBatch; ++i) {
        SocketSendTo(sender, kAnnouncement.data(), kAnnouncement.size(), kLoopback, port);
      }
      waiting = kBatch;
      state.ResumeTiming();
    }
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    const int count = SocketReceiveFrom(receiver, buffer, sizeof buffer, &from, &fromPort);
    if (count != static_cast<int>(kAnnouncement.size())) {
      state.SkipWithError(
          ("receive returned " + std::to_string(count) + ", errno " + std::to_string(errno))
              .c_str());
      break;
    }
    benchmark::DoNotOptimize(buffer);
    --waiting;
  }
  SocketClose(sender);
  SocketClose(receiver);
}
BENCHMARK(BM_ReceiveAnnouncement);

}  // namespace

int main(int argc, char** argv) {
  const int status = velkarin::bench::StartInPrivateNetwork("protocol_bench", argc, argv);
  if (status >= 0) return status;
  velkarin::bench::FiguresReporter reporter("mean", isatty(STDOUT_FILENO)
                                                        ? benchmark::ConsoleReporter::OO_Defaults
                                                        : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto parse = reporter.Of("BM_ParseAnnouncement");
  const auto receive = reporter.Of("BM_ReceiveAnnouncement");
  if (parse.runs == 0 || receive.runs == 0) return 0;  // filtered out or failed
  std::printf("\nannouncement of %zu bytes, per datagram:\n", kAnnouncement.size());
  std::printf("  real time: parse %.0f ns, receive %.0f ns, parse / receive = %.3f\n", parse.realNs,
              receive.realNs, parse.realNs / receive.realNs);
  std::printf("  CPU time:  parse %.0f ns, receive %.0f ns, parse / receive = %.3f\n", parse.cpuNs,
              receive.cpuNs, parse.cpuNs / receive.cpuNs);
  const double ratio = parse.realNs / receive.realNs;
  std::printf("target parse / receive < 0.6 (real time): %s\n", ratio < 0.6 ? "met" : "NOT MET");
  return 0;
}
