#include "config/configuration_wait.h"

#include <algorithm>

#include "config/address_rules.h"
#include "platform/clock.h"
#include "protocol/address.h"

namespace velkarin {
namespace {

// How often the wait looks again for an interface whose socket could not be
// opened (one removed since the first scan, say).
constexpr std::uint32_t kReopenSliceMs = 100;

bool IsExpectedDevice(const ExpectedConfiguration& e, const ScannedDevice& d) {
  return d.record.serial == e.sent.serial && d.interfaceName == e.interfaceName &&
         (e.sent.deviceId.empty() || SameTextIgnoringCase(d.record.deviceId, e.sent.deviceId));
}

}  // namespace

std::vector<ObservedConfiguration> AwaitConfigurations(
    const std::vector<ScanTarget>& targets, const std::vector<ExpectedConfiguration>& expected,
    std::uint32_t timeoutMs, const ScanTiming& timing, const std::function<bool()>& keepGoing) {
  std::vector<ObservedConfiguration> observed(expected.size());
  std::size_t left = static_cast<std::size_t>(std::count_if(
      expected.begin(), expected.end(), [](const ExpectedConfiguration& e) { return e.awaited; }));
  const std::uint32_t start = platform::TickCountMs();
  bool stopped = false;
  const std::function<bool()> goOn = [&] {
    stopped = stopped || (keepGoing && !keepGoing());
    return !stopped;
  };
  // A scan need not wait for the network to fall quiet once it has what it
  // is for: every device still looked for announcing what it was sent, or,
  // in a single look, announcing anything at all (its old configuration
  // says it has not taken the command). Another scan would only follow a
  // device still changing too soon.
  const bool singleLook = timeoutMs == 0;
  const ScanEnough enough = [&](const std::vector<ScannedDevice>& heard) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (observed[i].configured || !expected[i].awaited) continue;
      const bool found = std::any_of(heard.begin(), heard.end(), [&](const ScannedDevice& d) {
        return IsExpectedDevice(expected[i], d) &&
               (singleLook || AnnouncesConfiguration(d.record, expected[i].sent));
      });
      if (!found) return false;
    }
    return true;
  };
  // A wait asks on until its devices have announced what they were sent.
  ScanTiming asking = timing;
  asking.askUntilEnough = !singleLook;
  while (left > 0 && !stopped) {
    const ScanResult scan = ScanDevices(targets, asking, goOn, enough);
    if (scan.channelsOpen == 0) {
      // Nothing to listen on: wait as a scan would, then try again.
      for (std::uint32_t waited = 0; waited < timing.idleMs && goOn(); waited += kReopenSliceMs) {
        platform::SleepMs(kReopenSliceMs);
      }
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (observed[i].configured) continue;
      const ExpectedConfiguration& e = expected[i];
      for (const ScannedDevice& d : scan.devices) {
        if (!IsExpectedDevice(e, d)) continue;
        observed[i].seen = true;
        observed[i].announced = d.record;
        if (AnnouncesConfiguration(d.record, e.sent)) {
          observed[i].configured = true;
          left -= e.awaited ? 1 : 0;
          break;
        }
      }
    }
    if (platform::TickElapsed(start, platform::TickCountMs()) >= timeoutMs) break;
  }
  return observed;
}

}  // namespace velkarin
