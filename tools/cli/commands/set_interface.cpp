#include "cli/commands/set_interface.h"

#include <algorithm>

#include "cli/commands/builders.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/result_words.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_output.h"
#include "protocol/address.h"

namespace velkarin::cli {
namespace {

bool NamedBy(const SetOptions& options, const DeviceRecord& d) {
  return d.serial == options.serial &&
         (options.deviceId.empty() || SameTextIgnoringCase(d.deviceId, options.deviceId));
}

int RefuseTwoInterfaces(const SetOptions& options, const std::vector<ScannedDevice>& named) {
  std::vector<std::string> names;
  for (const ScannedDevice& d : named) {
    if (std::find(names.begin(), names.end(), d.interfaceName) == names.end()) {
      names.push_back(d.interfaceName);
    }
  }
  std::string where;
  for (const std::string& name : names) where += (where.empty() ? "" : " and ") + DisplayUtf8(name);
  WriteText(stderr, "velkarin: " + SerialText(options.serial) +
                        ": different devices announce this serial behind " + where +
                        "; name the one to configure with --interface\n"
                        "velkarin: nothing was sent\n");
  return EXIT_USAGE;
}

}  // namespace

int FindSetTarget(const SetOptions& options, const std::function<bool()>& keepGoing,
                  SetTarget& out) {
  if (options.interfaces.size() > 1) return UsageError("set sends by one --interface only");
  std::vector<ScanTarget> targets;
  const int status =
      ChooseScanTargets(options.broadcasts, options.interfaces, options.destination, targets);
  if (status != 0) return status;
  out.target = targets.front();
  // A lost answer is no reason to say "not found": two more scans, as apply
  // looks again for the planned devices it did not hear.
  ScanResult scan;
  std::vector<ScannedDevice> named;
  for (int look = 0; look < 3 && named.empty() && (look == 0 || keepGoing()); ++look) {
    scan = ScanDevices(targets, ScanTimingFor(options.scanSeconds), keepGoing);
    for (const ScannedDevice& d : scan.devices) {
      if (NamedBy(options, d.record)) named.push_back(d);
    }
  }
  // Which of them took it would depend on the interface the system picks.
  if (DifferentDevicesBehindInterfaces(named)) return RefuseTwoInterfaces(options, named);
  if (named.empty()) {
    for (const ScannedDevice& d : scan.devices) {
      if (!options.deviceId.empty() && SameTextIgnoringCase(d.record.deviceId, options.deviceId)) {
        out.identifierOwner = d.record;
      }
    }
    return 0;
  }
  out.found = true;
  out.device = named.front().record;
  for (const ScanTarget& t : targets) {
    if (t.interfaceName == named.front().interfaceName) out.target = t;
  }
  for (const ScannedDevice& d : scan.devices) {
    if (d.interfaceName == out.target.interfaceName) out.heard.push_back(d.record);
  }
  return 0;
}

}  // namespace velkarin::cli
