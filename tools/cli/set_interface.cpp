#include "cli/set_interface.h"

#include "cli/scan_listing.h"
#include "cli/terminal.h"
#include "engine/device_scan.h"
#include "platform/interfaces.h"
#include "protocol/address.h"

namespace velkarin::cli {

std::string ChooseSetInterface(SetOptions& options) {
  if (options.interfaces.size() > 1) return "set sends by one --interface only";
  if (options.broadcastGiven && options.interfaces.empty()) return "";
  const std::vector<platform::NetInterface> all = platform::ListIpv4Interfaces();
  std::string unknown;
  const std::vector<ScanTarget> targets =
      ScanTargetsFor(all, options.interfaces, options.destination, unknown);
  if (!unknown.empty()) return "no IPv4 interface named '" + unknown + "' is up";
  if (!options.interfaces.empty() || targets.size() == 1) {
    if (!targets.empty()) options.destination = targets.front().destination;
    return "";
  }
  if (targets.empty()) return "";
  const ScanResult scan = ScanDevices(targets, ScanTiming(), [] { return !Interrupted(); });
  const ScannedDevice* chosen = nullptr;
  for (const ScannedDevice& d : scan.devices) {
    if (d.record.serial != options.serial) continue;
    const bool idMatches =
        !options.deviceId.empty() && SameTextIgnoringCase(d.record.deviceId, options.deviceId);
    if (chosen == nullptr || idMatches) chosen = &d;
    if (idMatches) break;
  }
  if (chosen == nullptr) return "";
  for (const ScanTarget& t : targets) {
    if (t.interfaceName == chosen->interfaceName) options.destination = t.destination;
  }
  return "";
}

}  // namespace velkarin::cli
