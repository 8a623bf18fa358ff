#include "cli/commands/set_interface.h"

#include "cli/commands/builders.h"
#include "cli/output/scan_listing.h"
#include "cli/terminal/terminal.h"
#include "engine/device_scan.h"
#include "platform/interfaces.h"
#include "protocol/address.h"

namespace velkarin::cli {

int ChooseSetInterface(SetOptions& options) {
  if (options.interfaces.size() > 1) return UsageError("set sends by one --interface only");
  std::vector<ScanTarget> targets;
  const int status =
      ChooseScanTargets(options.broadcastGiven, options.interfaces, options.destination, targets);
  if (status != 0) return status;
  if (targets.size() == 1) {
    options.destination = targets.front().destination;
    return 0;
  }
  const ScanResult scan = ScanDevices(targets, ScanTiming(), [] { return !Interrupted(); });
  const ScannedDevice* chosen = nullptr;
  for (const ScannedDevice& d : scan.devices) {
    if (d.record.serial != options.serial) continue;
    const bool idMatches =
        !options.deviceId.empty() && SameTextIgnoringCase(d.record.deviceId, options.deviceId);
    if (chosen == nullptr || idMatches) chosen = &d;
    if (idMatches) break;
  }
  if (chosen == nullptr) return 0;
  for (const ScanTarget& t : targets) {
    if (t.interfaceName == chosen->interfaceName) options.destination = t.destination;
  }
  return 0;
}

}  // namespace velkarin::cli
