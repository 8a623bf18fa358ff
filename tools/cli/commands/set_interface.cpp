#include "cli/commands/set_interface.h"

#include <algorithm>

#include "cli/commands/builders.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/result_words.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_output.h"
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
  bool chosenById = false;
  std::vector<ScannedDevice> named;  // the devices the command would name
  for (const ScannedDevice& d : scan.devices) {
    if (d.record.serial != options.serial) continue;
    const bool idMatches =
        !options.deviceId.empty() && SameTextIgnoringCase(d.record.deviceId, options.deviceId);
    if (options.deviceId.empty() || idMatches) named.push_back(d);
    if (chosen == nullptr || (idMatches && !chosenById)) {
      chosen = &d;
      chosenById = idMatches;
    }
  }
  if (chosen == nullptr) return 0;
  // Which of them took it would depend on the interface the system picks.
  if (DifferentDevicesBehindInterfaces(named)) {
    std::vector<std::string> names;
    for (const ScannedDevice& d : named) {
      if (std::find(names.begin(), names.end(), d.interfaceName) == names.end()) {
        names.push_back(d.interfaceName);
      }
    }
    std::string where;
    for (const std::string& name : names) {
      where += (where.empty() ? "" : " and ") + DisplayUtf8(name);
    }
    WriteText(stderr, "velkarin: " + SerialText(options.serial) +
                          ": different devices announce this serial behind " + where +
                          "; name the one to configure with --interface\n"
                          "velkarin: nothing was sent\n");
    return EXIT_USAGE;
  }
  for (const ScanTarget& t : targets) {
    if (t.interfaceName == chosen->interfaceName) options.destination = t.destination;
  }
  return 0;
}

}  // namespace velkarin::cli
