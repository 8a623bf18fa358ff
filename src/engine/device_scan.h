// One-shot discovery for the command-line tool: the discovery datagram goes
// out of every chosen interface at once, and the scan reads until no device
// new to it has answered for the engine's idle window, with no cap on the
// number of devices. It lives beside the engine's cycle, which the page keeps.
// On a network that loses datagrams the scan asks again, round after round,
// for as long as the rounds still bring devices not heard before.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/scan_targets.h"
#include "protocol/device_record.h"
#include "protocol/udp_channel.h"

namespace velkarin {

struct ScanTiming {
  std::uint32_t idleMs = 600;      // the engine's 10 idle receives of 60 ms
  std::uint32_t maxScanMs = 3000;  // a network that never falls quiet
  // The scan ends by quiet no sooner than this after the last of its first
  // `sends` datagrams (but by `maxScanMs`): field devices answer discovery
  // up to a second late, and the answer to the first may be lost.
  std::uint32_t listenMs = 1000;
  std::uint32_t repeatMs = 100;  // the second discovery datagram, for a lost first
  int sends = 2;
  // Rounds after those `sends` while the network loses datagrams: a round
  // in which a known device stayed silent, or one that brought a device not
  // heard before. Sending stops after `quietRounds` rounds in a row brought
  // none, or after a round in which every known device answered and none was
  // new. A round lasts `shortestRoundMs` and twice the slowest answer heard
  // so far, counted from the send before it, up to `roundMs`; `roundMs`
  // until a device has answered. Answers still coming in lengthen the round
  // they come in.
  std::uint32_t roundMs = 250;
  std::uint32_t shortestRoundMs = 50;
  int quietRounds = 3;
  // A scan given what it is for (ScanEnough) asks on every `repeatMs` after
  // those rounds while answers are lost, until it has it or the time bound:
  // a wait for devices to announce a new configuration, on a network that
  // loses their answers, hears them sooner than from a scan that only
  // listens after its rounds.
  bool askUntilEnough = false;
};

struct ScannedDevice {
  std::string interfaceName;
  DeviceRecord record;
};

struct ScanResult {
  // Sorted by serial, then in the order of the targets. A device heard on
  // two interfaces appears once for each; clash flags compare the devices
  // heard on the same interface, but for STATUS_SERIAL_ELSEWHERE.
  std::vector<ScannedDevice> devices;
  bool quiet = false;    // ended by the idle window or by `enough`, not by the time bound
  int channelsOpen = 0;  // targets whose socket could be opened
  int rounds = 0;        // discovery datagrams sent out of each channel
  int answers = 0;       // announcements heard, on every channel
};

// True when the scan heard fewer announcements than every device answering
// every discovery datagram would give: the network loses datagrams (or a
// device answers only some). False for a scan that heard no device.
bool AnswersLost(const ScanResult& scan);

// `keepGoing`, if set, is asked between waits; false ends the scan early.
// `enough`, if set, is asked with the devices heard so far (in no order)
// whenever what was heard has changed; true ends the scan at once, as the
// caller has all it was looking for.
using ScanEnough = std::function<bool(const std::vector<ScannedDevice>&)>;
ScanResult ScanDevices(const std::vector<ScanTarget>& targets, const ScanTiming& timing,
                       const std::function<bool()>& keepGoing = nullptr,
                       const ScanEnough& enough = nullptr);

// True when `matches`, the devices that one command would name, lie behind
// two interfaces and announce differently there: two devices, not one heard
// twice, and the interface the command leaves by would choose between them.
bool DifferentDevicesBehindInterfaces(const std::vector<ScannedDevice>& matches);

}  // namespace velkarin
