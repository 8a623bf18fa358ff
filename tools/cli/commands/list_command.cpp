// velkarin list --cycle: the engine's published list after its first complete cycle.
#include <csignal>
#include <cstdio>
#include <string>

#include "cli/commands/commands.h"
#include "cli/commands/destination_text.h"
#include "cli/output/device_csv.h"
#include "cli/output/device_json.h"
#include "cli/output/device_table.h"
#include "cli/output/json_writer.h"
#include "cli/output/result_words.h"
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

// False when stdout cannot be written (closed pipe, full disk).
bool PrintDevices(const DeviceList& devices, const ListOptions& options, bool first) {
  std::string text;
  if (options.json) {
    text = WriteJson(DevicesToJson(devices), 2) + "\n";
  } else if (options.csv) {
    if (!first) text = "\r\n";
#ifdef _WIN32
    // Spreadsheets on Windows take a file without the mark for the ANSI code page.
    const bool byteOrderMark = first && FormOf(stdout) != TextForm::kWideConsole;
#else
    const bool byteOrderMark = false;
#endif
    text += FormatDeviceCsv(devices, byteOrderMark);
    return WriteText(stdout, text, /*exactLineEnds=*/true);
  } else {
    if (!first) text = "\n";
    text += FormatDeviceTable(devices);
  }
  return WriteText(stdout, text);
}

}  // namespace

int RunList(const ListOptions& options) {
  if (options.watch) return RunWatch(options);
  if (!options.cycle) return RunScanList(options);
  InstallInterruptHandler();
  DeviceFinder finder(options.destination);
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
