#include "config/configuration_wait.h"

#include "config/address_rules.h"
#include "platform/clock.h"
#include "protocol/address.h"

namespace velkarin {
namespace {

// How often the wait looks again for an interface whose socket could not be
// opened (one removed since the first scan, say).
constexpr std::uint32_t kReopenSliceMs = 100;

}  // namespace

std::vector<ObservedConfiguration> AwaitConfigurations(
    const std::vector<ScanTarget>& targets, const std::vector<ExpectedConfiguration>& expected,
    std::uint32_t timeoutMs, const ScanTiming& timing, const std::function<bool()>& keepGoing) {
  std::vector<ObservedConfiguration> observed(expected.size());
  std::size_t left = expected.size();
  const std::uint32_t start = platform::TickCountMs();
  bool stopped = false;
  const std::function<bool()> goOn = [&] {
    stopped = stopped || (keepGoing && !keepGoing());
    return !stopped;
  };
  while (left > 0 && !stopped) {
    const ScanResult scan = ScanDevices(targets, timing, goOn);
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
        if (d.record.serial != e.sent.serial || d.interfaceName != e.interfaceName) continue;
        if (!e.sent.deviceId.empty() && !SameTextIgnoringCase(d.record.deviceId, e.sent.deviceId)) {
          continue;
        }
        observed[i].seen = true;
        observed[i].announced = d.record;
        if (IsDeviceConfigured(e.sent, d.record)) {
          observed[i].configured = true;
          --left;
          break;
        }
      }
    }
    if (platform::TickElapsed(start, platform::TickCountMs()) >= timeoutMs) break;
  }
  return observed;
}

}  // namespace velkarin
