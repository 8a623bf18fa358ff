// velkarin list --cycle: the engine's published list after its first complete cycle.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/commands/destination_text.h"
#include "cli/output/device_csv.h"
#include "cli/output/device_json.h"
#include "cli/output/device_table.h"
#include "cli/output/file_io.h"
#include "cli/output/json_writer.h"
#include "cli/output/result_words.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"
#include "cli/terminal/terminal.h"
#include "engine/device_finder.h"
#include "platform/clock.h"

namespace velkarin::cli {
namespace {

constexpr std::uint32_t kWaitSliceMs = 20;

// SIGTERM asks the tool to stop and says so in the exit code; SIGINT is the
// user's documented way to end a watch, so only before the first list is it
// a failure.
int InterruptedExitCode(int fallback) {
  return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : fallback;
}

// False when the listing cannot be written.
bool PrintDevices(const DeviceList& devices, const ListOptions& options, bool first) {
  std::string text;
  if (options.json) {
    text = WriteJson(DevicesToJson(devices), 2) + "\n";
  } else if (options.csv) {
    if (!first) text = "\r\n";
    text += FormatDeviceCsv(devices, ListingCsvForm(options, first));
  } else {
    if (!first) text = "\n";
    text += FormatDeviceTable(devices);
  }
  return WriteListing(options, text) == EXIT_OK;
}

}  // namespace

CsvForm ListingCsvForm(const ListOptions& options, bool first) {
  CsvForm form{options.separator, !options.outputPath.empty()};
#ifdef _WIN32
  // Spreadsheets on Windows take a file without the mark for the ANSI code page.
  form.byteOrderMark = form.byteOrderMark || (first && FormOf(stdout) != TextForm::kWideConsole);
#else
  (void)first;
#endif
  return form;
}

int WriteListing(const ListOptions& options, const std::string& text) {
  if (options.outputPath.empty()) {
    return WriteText(stdout, text, /*exactLineEnds=*/options.csv) ? EXIT_OK : EXIT_ERROR;
  }
  std::string reason;
  if (WriteWholeFile(options.outputPath, text, reason)) return EXIT_OK;
  WriteText(stderr, "velkarin: cannot write " + options.outputPath + ": " + reason + "\n");
  return EXIT_ERROR;
}

int RunList(const ListOptions& options) {
  if (options.watch) return RunWatch(options);
  if (!options.cycle) return RunScanList(options);
  Destination destination = options.destination;
  if (!options.interfaces.empty()) {
    // The engine searches one adapter when named, as it does on a host with one.
    std::vector<ScanTarget> targets;
    if (const int status = ChooseScanTargets({}, options.interfaces, destination, targets)) {
      return status;
    }
    if (targets.size() > 1) {
      WriteText(stderr,
                "velkarin: --cycle searches every interface or one; give one --interface\n");
      return EXIT_USAGE;
    }
    destination = targets.front().destination;
  }
  InstallInterruptHandler();
  DeviceFinder finder(destination);
  if (!finder.Start()) {
    WriteText(stderr, "velkarin: cannot start the discovery thread\n");
    return EXIT_ERROR;
  }

  {
    Spinner spinner;
    const std::string text = "looking for devices (" + DestinationText(options.destination) + ")";
    while (finder.cyclesCompleted() == 0 && !Interrupted()) {
      spinner.Tick(text);
      platform::SleepMs(kWaitSliceMs);
    }
  }
  if (Interrupted()) {
    finder.Stop();
    return InterruptedExitCode(EXIT_INTERRUPTED);
  }

  const DeviceList devices = finder.CopyOut();
  if (!PrintDevices(devices, options, true)) {
    finder.Stop();
    return EXIT_ERROR;
  }
  if (devices.empty()) WriteText(stderr, NoDeviceAnsweredText(options.destination) + "\n");
  finder.Stop();
  return EXIT_OK;
}

}  // namespace velkarin::cli
