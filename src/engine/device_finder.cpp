#include "engine/device_finder.h"

#include <utility>

#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/guarded.h"
#include "platform/interfaces.h"
#include "platform/pump.h"
#include "platform/socket.h"
#include "protocol/announcement.h"

namespace velkarin {

int CollectAnnouncement(UdpChannel& channel, char* buffer, DeviceCollector& collector) {
  bool senderUnconfigured = false;
  const int count = channel.Receive(buffer, kReceiveBufferSize, senderUnconfigured);
  if (count <= 0) return count;
  DeviceRecord record = ParseAnnouncement(buffer, static_cast<std::size_t>(count));
  if (senderUnconfigured) ApplyUnconfiguredSender(record);
  record.interfaceIndex = channel.destination().interfaceIndex;
  collector.Add(std::move(record));
  return count;
}

namespace {

// Only the limited broadcast is sent out of every adapter: any other
// destination is routed by the system, and its adapters are never listed.
std::vector<ScanTarget> CurrentTargets(const Destination& destination) {
  if (destination.address != kBroadcastAddress || destination.interfaceIndex != 0) {
    return EngineTargets({}, destination);
  }
  return EngineTargets(platform::ListIpv4Interfaces(), destination);
}

bool SameTargets(const std::vector<ScanTarget>& a, const std::vector<ScanTarget>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].interfaceName != b[i].interfaceName ||
        a[i].destination.interfaceIndex != b[i].destination.interfaceIndex) {
      return false;
    }
  }
  return true;
}

}  // namespace

DeviceFinder::DeviceFinder(Destination destination, FinderTiming timing)
    : destination_(destination), timing_(timing) {
  RenewChannels();
}

void DeviceFinder::RenewChannels() {
  std::vector<ScanTarget> wanted = CurrentTargets(destination_);
  if (!channels_.empty() && SameTargets(wanted, targets_)) return;
  std::vector<std::unique_ptr<UdpChannel>> channels;
  channels.reserve(wanted.size());
  for (const ScanTarget& target : wanted) {
    channels.push_back(std::make_unique<UdpChannel>(target.destination));
  }
  platform::LockGuard guard(lock_);
  targets_.swap(wanted);
  channels_.swap(channels);
}

std::vector<ScanTarget> DeviceFinder::targets() {
  platform::LockGuard guard(lock_);
  return targets_;
}

DeviceFinder::~DeviceFinder() {
  notify_ = nullptr;
  Stop();
}

bool DeviceFinder::Start() {
  Stop();
  stopRequested_ = false;
  // Running from now on: a stop that comes before the new thread has begun
  // must wait for it, or a destroy could free the engine under it.
  running_ = true;
  workerThread_ = platform::ThreadCreate(&DiscoveryWorker, this, kWorkerStackSize);
  if (!workerThread_.valid()) {
    running_ = false;
    return false;
  }
  return true;
}

void DeviceFinder::Stop() {
  stopRequested_ = true;
  while (running_) {
    // The worker may be inside a notification that waits for this thread.
    platform::SleepServingSentMessages(timing_.pollMs);
    // A start nested in a served message must not outlive this stop.
    stopRequested_ = true;
  }
  JoinWorker();
}

void DeviceFinder::JoinWorker() {
  // Taken out first: a stop nested in a served message may join it already.
  platform::ThreadHandle thread = workerThread_;
  workerThread_ = platform::ThreadHandle();
  if (thread.valid()) platform::ThreadJoin(thread);
}

DeviceList DeviceFinder::CopyOut() {
  platform::LockGuard guard(lock_);
  // Flagged until the copy is made: a caller whose copy fails (and who is
  // left without the list) is offered it again by the next notification.
  listChanged_ = true;
  platform::CheckAllocation();
  DeviceList copy = devices_;
  listChanged_ = false;
  return copy;
}

void DeviceFinder::SetNotify(FinderNotifyFn notify) { notify_ = notify; }

bool DeviceFinder::listChanged() {
  platform::LockGuard guard(lock_);
  return listChanged_;
}

void DeviceFinder::DiscoveryWorker(void* finder) noexcept {
  auto* self = static_cast<DeviceFinder*>(finder);
  // An exception leaving a thread's function would end the host process.
  platform::Guarded([self] { self->RunWorker(); });
  // The last access to the engine: once it is clear, stop may return and the
  // engine may be freed.
  self->running_ = false;
}

void DeviceFinder::SendDiscoveries() {
  for (const auto& channel : channels_) channel->SendDiscovery();
}

void DeviceFinder::RunCollectionPass(char* buffer) {
  int datagrams = 0;
  int idle = 0;
  // Ends after a run of receives in which no channel had anything, or after
  // a bounded number of datagrams from all of them, so that a flood cannot
  // hold the cycle open.
  while (datagrams < timing_.maxDatagramsPerPass && idle < timing_.idleReceivesPerPass) {
    bool took = false;
    for (const auto& channel : channels_) {
      if (datagrams >= timing_.maxDatagramsPerPass) break;
      if (CollectAnnouncement(*channel, buffer, collector_) <= 0) continue;
      ++datagrams;
      took = true;
    }
    if (!took) {
      platform::SleepMs(timing_.idleSleepMs);
      ++idle;
      continue;
    }
    idle = 0;
  }
}

void DeviceFinder::DiscardStaleDatagrams(char* buffer) {
  // Answers that a pass left queued when it reached its datagram bound were
  // sent for an earlier cycle. Taken into this one, they would list devices
  // that no longer answer, and once they fill the socket's queue, answers of
  // devices that do answer are dropped. Bounded, so a flood cannot hold the
  // cycle here either.
  for (const auto& channel : channels_) {
    for (int i = 0; i < kMaxStaleDatagrams; ++i) {
      if (platform::SocketWaitReadable(channel->socket(), 0) != 1) break;
      bool senderUnconfigured = false;
      channel->Receive(buffer, kReceiveBufferSize, senderUnconfigured);
    }
  }
}

void DeviceFinder::RunCycle(char* buffer) {
  // A device that does not answer in this cycle is absent from its result.
  collector_.Clear();
  DiscardStaleDatagrams(buffer);
  SendDiscoveries();
  // The period counts from the cycle's first requests, once they are out, so
  // that work before them, or a pause between the clock and the send, slower
  // in one cycle than the next, cannot bring two cycles' requests closer.
  cycleStartMs_ = platform::ProcessClockMs();
  RunCollectionPass(buffer);
  SendDiscoveries();
  RunCollectionPass(buffer);
  platform::SleepMs(timing_.pauseAfterPassesMs);

  DeviceList working = collector_.Snapshot();
  SortDeviceList(working, SORT_SERIAL);
  // This thread is the only writer of devices_, so it reads it unlocked.
  if (!SameDevices(working, devices_)) {
    platform::LockGuard guard(lock_);
    // A swap cannot fail: the published list is either whole or unchanged.
    devices_.swap(working);
    listChanged_ = true;
  }
  ++cyclesCompleted_;
  // Repeated every cycle until someone copies the list; no lock is held,
  // so the notification may copy it.
  const FinderNotifyFn notify = notify_;
  if (notify != nullptr && listChanged()) notify(this);
  // An adapter plugged in or connected meanwhile is searched from the next
  // cycle on. Listed here, in the cycle's idle time, so that listing slowly
  // does not shift the cycle's discovery requests.
  RenewChannels();
}

void DeviceFinder::RunWorker() {
  char buffer[kReceiveBufferSize];
  while (!stopRequested_) {
    cycleStartMs_ = platform::ProcessClockMs();
    // A cycle that fails (memory running out while it copies records) ends
    // there and publishes nothing, so the last published list stands. The
    // worker goes on with its next cycle all the same: such a shortage is
    // usually passing, and a worker that ended would leave the page showing
    // a list that no longer changes.
    platform::Guarded([this, &buffer] { RunCycle(buffer); });
    if (stopRequested_) break;
    for (;;) {
      if (platform::ProcessClockMs() - cycleStartMs_ >= timing_.cyclePeriodMs) break;
      platform::SleepMs(timing_.pollMs);
      if (stopRequested_) break;
    }
  }
}

}  // namespace velkarin
