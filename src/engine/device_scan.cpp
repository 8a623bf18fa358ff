#include "engine/device_scan.h"

#include <algorithm>
#include <memory>

#include "engine/device_collector.h"
#include "engine/device_finder.h"
#include "platform/clock.h"
#include "platform/interfaces.h"

namespace velkarin {
namespace {

// A thousand answers arriving together must fit while the scan is busy
// merging: about 1.5 KiB of queue each, whatever their length.
constexpr int kReceiveQueueBytes = 4 * 1024 * 1024;

struct Channel {
  std::unique_ptr<UdpChannel> udp;
  std::unique_ptr<DeviceCollector> collector;
};

// Takes what is queued on one channel, up to a bound so that a flood on one
// interface cannot keep the others or the time bound from being looked at.
// Gives the number of announcements taken.
int Drain(Channel& channel, char* buffer) {
  constexpr int kMaxPerDrain = 256;
  int taken = 0;
  // Failed reads count too: a socket that stays readable while every read
  // fails must not hold the scan here.
  for (int reads = 0; reads < kMaxPerDrain; ++reads) {
    const int count = CollectAnnouncement(*channel.udp, buffer, *channel.collector);
    if (count <= 0) {
      // A datagram too long for the buffer is dropped with an error, and
      // more may wait behind it.
      if (count < 0 && platform::SocketWaitReadable(channel.udp->socket(), 0) == 1) continue;
      break;
    }
    ++taken;
  }
  return taken;
}

// Decides after each round whether another discovery datagram is worth it,
// and how long a round lasts on this network.
class Rounds {
 public:
  explicit Rounds(const ScanTiming& timing) : timing_(timing) {}

  // Called as a round ends with `known` devices heard so far; `wanting`:
  // what the scan is for has not been heard yet, and it asks on for it
  // while answers are being lost.
  bool AskAgain(std::size_t known, bool wanting) {
    if (known > knownAtSend_) {
      quiet_ = 0;
      return true;
    }
    ++quiet_;
    // No device was new and every known one answered again: nothing is
    // being lost, as on most networks, so the scan ends as soon as it can.
    // Silence proves nothing: the discovery datagrams may have been lost.
    if (known > 0 && answers_ >= known) return false;
    persisting_ = quiet_ >= timing_.quietRounds && wanting;
    return quiet_ < timing_.quietRounds || persisting_;
  }
  void Sent(std::size_t known, std::uint32_t now) {
    knownAtSend_ = known;
    answers_ = 0;
    sentAt_ = now;
  }
  void Heard(int answers, std::uint32_t now) {
    if (answers <= 0) return;
    answers_ += static_cast<std::size_t>(answers);
    slowest_ = std::max(slowest_, platform::TickElapsed(sentAt_, now));
    answered_ = true;
  }
  // A round waits for the answers of the slowest device heard so far, with
  // room to spare, but no longer: on a network that loses datagrams, the
  // next round finds a lost answer sooner than a long wait would.
  std::uint32_t Length() const {
    if (persisting_) return timing_.repeatMs;
    if (!answered_) return timing_.roundMs;
    return std::min(timing_.roundMs,
                    timing_.shortestRoundMs + 2 * std::min(slowest_, timing_.roundMs));
  }

 private:
  const ScanTiming& timing_;
  std::size_t knownAtSend_ = 0;
  std::size_t answers_ = 0;
  int quiet_ = 0;
  std::uint32_t sentAt_ = 0;
  std::uint32_t slowest_ = 0;  // since the send before it, of any answer
  bool answered_ = false;
  bool persisting_ = false;  // asking on for what the scan is for
};

// What the channels have heard, channel after channel.
std::vector<ScannedDevice> HeardDevices(std::vector<Channel>& channels,
                                        const std::vector<ScanTarget>& targets,
                                        const std::vector<std::size_t>& targetOf) {
  std::vector<ScannedDevice> devices;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    DeviceList list = channels[i].collector->Snapshot();
    SortDeviceList(list, SORT_SERIAL);
    for (DeviceRecord& record : list) {
      devices.push_back({targets[targetOf[i]].interfaceName, std::move(record)});
    }
  }
  return devices;
}

// True when some announcement of the serial heard on interface `a` equals
// one heard on `b`: a device heard behind both, not two devices.
bool HeardAlike(const std::vector<ScannedDevice>& group, const std::string& a,
                const std::string& b) {
  for (const ScannedDevice& x : group) {
    if (x.interfaceName != a) continue;
    for (const ScannedDevice& y : group) {
      if (y.interfaceName == b && x.record == y.record) return true;
    }
  }
  return false;
}

// Two cells built alike may each have a device with one serial: a command
// naming that serial reaches whichever lies behind the interface it leaves
// by, so such devices are marked for the caller to tell apart.
void MarkSerialsElsewhere(std::vector<ScannedDevice>& devices) {
  for (auto first = devices.begin(); first != devices.end();) {
    auto end = std::find_if(first, devices.end(), [&first](const ScannedDevice& d) {
      return d.record.serial != first->record.serial;
    });
    if (DifferentDevicesBehindInterfaces(std::vector<ScannedDevice>(first, end))) {
      for (auto d = first; d != end; ++d) d->record.statusFlags |= STATUS_SERIAL_ELSEWHERE;
    }
    first = end;
  }
}

}  // namespace

ScanResult ScanDevices(const std::vector<ScanTarget>& targets, const ScanTiming& timing,
                       const std::function<bool()>& keepGoing, const ScanEnough& enough) {
  ScanResult result;
  std::vector<Channel> channels;
  std::vector<platform::SocketHandle> sockets;
  std::vector<std::size_t> targetOf;
  for (std::size_t t = 0; t < targets.size(); ++t) {
    auto udp = std::make_unique<UdpChannel>(targets[t].destination);
    if (udp->socket() == platform::kInvalidSocket) continue;
    platform::SocketSetReceiveBuffer(udp->socket(), kReceiveQueueBytes);
    sockets.push_back(udp->socket());
    targetOf.push_back(t);
    channels.emplace_back();
    channels.back().udp = std::move(udp);
    channels.back().collector = std::make_unique<DeviceCollector>();
  }
  result.channelsOpen = static_cast<int>(channels.size());
  if (channels.empty()) return result;

  const std::unique_ptr<bool[]> readable = std::make_unique<bool[]>(channels.size());
  char buffer[kReceiveBufferSize];
  const auto knownDevices = [&channels] {
    std::size_t known = 0;
    for (const Channel& c : channels) known += c.collector->Count();
    return known;
  };
  Rounds rounds(timing);
  // The scan ends by quiet no sooner than `listenMs` after the last of its
  // first datagrams: a device that answers late answers each of them, and
  // the later ones are there for a lost first.
  const std::uint32_t lastFirstSend =
      static_cast<std::uint32_t>(std::max(timing.sends - 1, 0)) * timing.repeatMs;
  const std::uint32_t listenEnd =
      timing.listenMs == 0 ? 0 : std::min(timing.maxScanMs, lastFirstSend + timing.listenMs);
  const std::uint32_t start = platform::TickCountMs();
  std::uint32_t lastActivity = start;  // the last send, or answer of a device new to the scan
  std::uint32_t lastSend = 0;          // since the start
  bool sending = true;
  int sent = 0;
  for (;;) {
    const std::uint32_t now = platform::TickCountMs();
    const std::uint32_t elapsed = platform::TickElapsed(start, now);
    const std::uint32_t nextSend = sent < timing.sends
                                       ? static_cast<std::uint32_t>(sent) * timing.repeatMs
                                       : lastSend + rounds.Length();
    // None at the time bound: the scan ends there, and its answers would not be read.
    if (sending && elapsed >= nextSend && elapsed < timing.maxScanMs) {
      if (sent >= timing.sends) {
        sending = rounds.AskAgain(knownDevices(), timing.askUntilEnough && enough);
      }
      if (sending) {
        for (Channel& c : channels) c.udp->SendDiscovery();
        ++sent;
        lastActivity = platform::TickCountMs();
        lastSend = platform::TickElapsed(start, lastActivity);
        rounds.Sent(knownDevices(), lastActivity);
        continue;
      }
    }
    const std::uint32_t quietFor = platform::TickElapsed(lastActivity, now);
    // After rounds that outlasted the idle window, a slow device has had its
    // time since the first datagram: a round's wait is quiet enough.
    const std::uint32_t idleMs = sent > timing.sends && elapsed >= timing.idleMs
                                     ? std::min(timing.idleMs, rounds.Length())
                                     : timing.idleMs;
    if (!sending && quietFor >= idleMs && elapsed >= listenEnd) {
      result.quiet = true;
      break;
    }
    if (elapsed >= timing.maxScanMs) break;
    if (keepGoing && !keepGoing()) break;
    // Wakes for the next send, the end of the idle window or the time bound,
    // whichever comes first; at most 100 ms so `keepGoing` is asked often.
    std::uint32_t wait =
        std::max(idleMs - std::min(quietFor, idleMs), listenEnd - std::min(elapsed, listenEnd));
    if (sending) wait = std::min(wait, nextSend - std::min(nextSend, elapsed));
    wait = std::min({wait, timing.maxScanMs - elapsed, static_cast<std::uint32_t>(100)});
    const int ready =
        platform::SocketsWaitReadable(sockets.data(), readable.get(), sockets.size(), wait);
    if (ready < 0) break;
    if (ready == 0) continue;
    const std::uint32_t readableAt = platform::TickCountMs();
    const std::size_t knownBefore = knownDevices();
    int heard = 0;
    for (std::size_t i = 0; i < channels.size(); ++i) {
      if (readable[i]) heard += Drain(channels[i], buffer);
    }
    rounds.Heard(heard, readableAt);
    result.answers += heard;
    // Only a device not heard before keeps the scan reading: the rounds make
    // every known device answer again, and a slow fleet would otherwise
    // never fall quiet.
    if (knownDevices() > knownBefore) lastActivity = platform::TickCountMs();
    bool changed = false;
    for (Channel& c : channels) changed = c.collector->TakeChanged(true) || changed;
    if (enough && changed && enough(HeardDevices(channels, targets, targetOf))) {
      result.quiet = true;
      break;
    }
  }
  result.rounds = sent;

  result.devices = HeardDevices(channels, targets, targetOf);
  // Stable: devices heard on one interface keep the order of the targets.
  std::stable_sort(result.devices.begin(), result.devices.end(),
                   [](const ScannedDevice& a, const ScannedDevice& b) {
                     return a.record.serial < b.record.serial;
                   });
  MarkSerialsElsewhere(result.devices);
  return result;
}

bool AnswersLost(const ScanResult& scan) {
  return static_cast<std::size_t>(scan.answers) <
         static_cast<std::size_t>(scan.rounds) * scan.devices.size();
}

bool DifferentDevicesBehindInterfaces(const std::vector<ScannedDevice>& matches) {
  for (const ScannedDevice& a : matches) {
    for (const ScannedDevice& b : matches) {
      if (a.interfaceName != b.interfaceName &&
          !HeardAlike(matches, a.interfaceName, b.interfaceName)) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace velkarin
