// velkarin list without --cycle: one scan of every chosen interface.
#include <csignal>
#include <cstdio>
#include <string>

#include "cli/commands/commands.h"
#include "cli/commands/destination_text.h"
#include "cli/output/json_writer.h"
#include "cli/output/result_words.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"
#include "cli/terminal/terminal.h"

namespace velkarin::cli {
namespace {

std::string ProgressText(const ListOptions& options, const std::vector<ScanTarget>& targets) {
  std::string text = "looking for devices (" + DestinationText(options.destination);
  // One interface: as the engine's listing says it.
  if (targets.size() > 1) {
    text += " on ";
    for (std::size_t i = 0; i < targets.size(); ++i) {
      if (i > 0) text += ", ";
      text += targets[i].interfaceName;
    }
  }
  return text + ")";
}

}  // namespace

int RunScanList(const ListOptions& options) {
  std::vector<ScanTarget> targets;
  if (const int status =
          ChooseScanTargets(options.broadcasts, options.interfaces, options.destination, targets)) {
    return status;
  }

  InstallInterruptHandler();
  const ScanTiming timing = ScanTimingFor(options.scanSeconds);
  ScanResult result;
  {
    Spinner spinner;
    const std::string text = ProgressText(options, targets);
    result = ScanDevices(targets, timing, [&] {
      spinner.Tick(text);
      return !Interrupted();
    });
  }
  if (Interrupted()) return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
  if (result.channelsOpen == 0) {
    WriteText(stderr, "velkarin: cannot open a socket for discovery\n");
    return EXIT_ERROR;
  }
  std::string text;
  if (options.json) {
    text = WriteJson(ScanToJson(result.devices), 2) + "\n";
  } else if (options.csv) {
    text = FormatScanCsv(result.devices, ListingCsvForm(options, true));
  } else {
    text = FormatScanTable(result.devices);
  }
  if (const int status = WriteListing(options, text)) return status;
  if (result.devices.empty()) {
    std::vector<std::string> names;
    for (const ScanTarget& target : targets) {
      if (!target.interfaceName.empty()) names.push_back(target.interfaceName);
    }
    WriteText(stderr, NoDeviceAnsweredText(options.destination, names) + "\n");
  }
  WarnIfScanIncomplete(result, targets.size(), timing.maxScanMs / 1000.0, " (--scan-seconds)");
  return EXIT_OK;
}

}  // namespace velkarin::cli
