// Figures of the UDP channel:
//  1. a receive with nothing waiting, which must return at once (target:
//     below 50 us, where a blocking receive would never return);
//  2. opening and closing a channel (the configuration poll opens one per
//     pass, every 250 ms);
//  3. one discovery datagram from a channel to a receiver on 127.0.0.1 and
//     back into the channel.
//
// The third sends datagrams, so this program runs only inside a private
// network namespace (scripts/netns-run.sh).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "figures_reporter.h"
#include "network_bench.h"
#include "platform/socket.h"
#include "protocol/udp_channel.h"

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

void BM_EmptyReceive(benchmark::State& state) {
  velkarin::UdpChannel channel;
  char buffer[1024];
  bool unconfigured = false;
  for (auto _ : state) {
    const int count = channel.Receive(buffer, sizeof buffer, unconfigured);
    if (count > 0) state.SkipWithError("a datagram arrived");
    benchmark::DoNotOptimize(count);
  }
}
BENCHMARK(BM_EmptyReceive)->Unit(benchmark::kMicrosecond);

void BM_OpenAndClose(benchmark::State& state) {
  for (auto _ : state) {
    velkarin::UdpChannel channel;
    benchmark::DoNotOptimize(channel.socket());
  }
}
BENCHMARK(BM_OpenAndClose)->Unit(benchmark::kMicrosecond);

// A device on 127.0.0.1 that echoes what it gets is played inline: the
// channel sends, the receiver takes it and answers, the channel takes the
// answer.
void BM_DiscoveryRoundTrip(benchmark::State& state) {
  using namespace velkarin::platform;
  const SocketHandle device = UdpSocketOpen();
  SocketBindAny(device, 0);
  velkarin::UdpChannel channel(velkarin::Destination{kLoopback, SocketLocalPort(device)});
  char buffer[1024];
  for (auto _ : state) {
    channel.SendDiscovery();
    std::uint32_t sender = 0;
    std::uint16_t port = 0;
    if (SocketWaitReadable(device, 1000) != 1 ||
        SocketReceiveFrom(device, buffer, sizeof buffer, &sender, &port) != 5) {
      state.SkipWithError("the discovery datagram did not arrive");
      break;
    }
    SocketSendTo(device, "A1B2 0", 6, kLoopback, port);
    bool unconfigured = true;
    if (SocketWaitReadable(channel.socket(), 1000) != 1 ||
        channel.Receive(buffer, sizeof buffer, unconfigured) != 6) {
      state.SkipWithError("the answer did not arrive");
      break;
    }
  }
  SocketClose(device);
}
BENCHMARK(BM_DiscoveryRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const int status = velkarin::bench::StartInPrivateNetwork("udp_channel_bench", argc, argv);
  if (status >= 0) return status;
  velkarin::bench::FiguresReporter reporter("mean");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const velkarin::bench::FiguresReporter::Times emptyReceive = reporter.Of("BM_EmptyReceive");
  if (emptyReceive.runs > 0) {
    const double us = emptyReceive.realNs / 1e3;
    std::printf("\nempty receive: %.2f us, target below 50 us: %s\n", us,
                us < 50 ? "met" : "NOT MET");
  }
  return 0;
}
