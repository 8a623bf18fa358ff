// velkarin list --watch: the tool's scan over the chosen interfaces, again
// and again; the first list whole, then what changed.
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
#include "cli/output/watch_events.h"
#include "cli/terminal/terminal.h"
#include "platform/clock.h"

namespace velkarin::cli {
namespace {

// A device has left once this many scans in a row missed it: at 10 % loss a
// single scan misses one of 40 devices now and then, three in a row hardly
// ever. With the pause between scans, a departure shows within about 5 s.
constexpr int kMissesToLeave = 3;
// Between scans, so that a watch sends about one discovery a second.
constexpr std::uint32_t kPauseMs = 1000;
constexpr std::uint32_t kSliceMs = 50;

}  // namespace

int RunWatch(const ListOptions& options) {
  std::vector<ScanTarget> targets;
  if (const int status =
          ChooseScanTargets(options.broadcasts, options.interfaces, options.destination, targets)) {
    return status;
  }
  InstallInterruptHandler();
  const ScanTiming timing = ScanTimingFor(options.scanSeconds);
  WatchState state(kMissesToLeave);
  bool first = true;
  while (!Interrupted()) {
    ScanResult scan;
    {
      Spinner spinner;
      scan = ScanDevices(targets, timing, [&] {
        if (first)
          spinner.Tick("looking for devices (" + DestinationText(options.destination) + ")");
        return !Interrupted();
      });
    }
    if (Interrupted()) break;
    if (scan.channelsOpen == 0) {
      WriteText(stderr, "velkarin: cannot open a socket for discovery\n");
      return EXIT_ERROR;
    }
    const std::vector<WatchEvent> events = state.Update(scan.devices);
    std::string text;
    if (first) {
      // The whole list first; with --json on one line, as each event.
      text = options.json ? WriteJson(ScanToJson(scan.devices), -1) + "\n"
                          : FormatScanTable(scan.devices);
      if (!WriteText(stdout, text)) return EXIT_ERROR;  // main says why
      std::fflush(stdout);
      if (scan.devices.empty()) {
        WriteText(stderr, NoDeviceAnsweredText(options.destination) + "\n");
      }
      first = false;
    } else {
      for (const WatchEvent& event : events) {
        text += options.json ? WriteJson(WatchEventJson(event), -1) + "\n" : WatchEventText(event);
      }
      if (!text.empty()) {
        if (!WriteText(stdout, text)) return EXIT_ERROR;
        std::fflush(stdout);
      }
    }
    for (std::uint32_t waited = 0; waited < kPauseMs && !Interrupted(); waited += kSliceMs) {
      platform::SleepMs(kSliceMs);
    }
  }
  if (first) return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
  return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_OK;
}

}  // namespace velkarin::cli
