#include "config/configuration_wait.h"

#include "config/entry_rules.h"
#include "platform/clock.h"
#include "protocol/address.h"

namespace velkarin {

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
