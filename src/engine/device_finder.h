// The discovery engine: a worker thread that finds the devices every cycle
// and publishes the sorted list when it changes.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/device_collector.h"
#include "engine/device_list.h"
#include "engine/scan_targets.h"
#include "platform/lock.h"
#include "platform/thread.h"
#include "protocol/udp_channel.h"

namespace velkarin {

using FinderNotifyFn = void (*)(void* finder);

// The worker's time constants and bounds. Tests may shorten them; the module
// always runs with the defaults.
struct FinderTiming {
  std::int32_t cyclePeriodMs = 3000;
  std::uint32_t idleSleepMs = 60;
  int idleReceivesPerPass = 10;
  int maxDatagramsPerPass = 101;
  std::uint32_t pauseAfterPassesMs = 100;
  std::uint32_t pollMs = 100;
};

constexpr std::size_t kWorkerStackSize = 1048576;
constexpr std::size_t kReceiveBufferSize = 1024;
// Datagrams left from earlier cycles that a cycle discards before it begins.
constexpr int kMaxStaleDatagrams = 4096;

// One non-blocking receive on `channel` into `buffer` (kReceiveBufferSize
// bytes): an announcement taken is parsed, marked with the channel's
// interface and added to `collector`. Gives the receive's count, more than 0
// when a record was added. The step of every discovery loop: the worker's
// passes, the transaction's polls, the scan.
int CollectAnnouncement(UdpChannel& channel, char* buffer, DeviceCollector& collector);

class DeviceFinder {
 public:
  explicit DeviceFinder(Destination destination = Destination(),
                        FinderTiming timing = FinderTiming());
  ~DeviceFinder();  // clears the notification, stops the worker
  DeviceFinder(const DeviceFinder&) = delete;
  DeviceFinder& operator=(const DeviceFinder&) = delete;

  // False when no thread could be made. Ends a worker that still runs
  // first. The engine counts as running from before the thread exists, so a
  // stop or destroy right after start waits for the new worker.
  bool Start();
  // Returns once no worker runs. While it waits it serves messages that
  // other threads send to this one, so a notification that waits for this
  // thread (a synchronous message to the page) can finish. Not for the
  // worker itself (from inside a notification): it would wait for itself.
  void Stop();
  // The published list; clears listChanged, or sets it when the copy fails.
  DeviceList CopyOut();
  void SetNotify(FinderNotifyFn notify);

  bool running() const { return running_.load(); }
  bool listChanged();
  // Cycles whose result has been published (or found equal to the published
  // list), counted from construction: a caller can tell when the list
  // reflects a whole cycle even if it did not change.
  std::uint32_t cyclesCompleted() const { return cyclesCompleted_.load(); }
  const Destination& destination() const { return destination_; }
  const FinderTiming& timing() const { return timing_; }
  // Where the engine's cycles send discovery now (EngineTargets): one
  // target per adapter of the host, or the destination alone. A copy, as
  // the worker renews them when the host's adapters change.
  std::vector<ScanTarget> targets();

  // For the configuration layer, which keeps its challenge with the engine
  // from a reply to the next authenticated command (all zeros until a reply
  // brings one); only the thread that runs a transaction touches it.
  ConfigChallenge& configChallenge() { return configChallenge_; }

 private:
  static void DiscoveryWorker(void* finder) noexcept;
  void RunWorker();
  void RunCycle(char* buffer);
  void DiscardStaleDatagrams(char* buffer);
  void SendDiscoveries();
  void RunCollectionPass(char* buffer);
  void JoinWorker();
  // Lists the adapters again and opens a channel for each target, when the
  // targets differ from those of the open channels.
  void RenewChannels();

  Destination destination_;
  FinderTiming timing_;
  DeviceCollector collector_;
  // One per target, in the order of targets_; only the worker changes them
  // after construction, under the lock for targets_.
  std::vector<ScanTarget> targets_;
  std::vector<std::unique_ptr<UdpChannel>> channels_;
  std::int64_t cycleStartMs_ = 0;  // the worker's own
  DeviceList devices_;
  std::atomic<bool> stopRequested_{true};
  std::atomic<bool> running_{false};
  bool listChanged_ = false;
  platform::ThreadHandle workerThread_;
  std::atomic<FinderNotifyFn> notify_{nullptr};
  std::atomic<std::uint32_t> cyclesCompleted_{0};
  platform::Lock lock_;
  ConfigChallenge configChallenge_{};
};

}  // namespace velkarin
