// velkarin set: one scan for the device, its delivery by the interface it
// was heard on, then the device's own word on what it took.
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/commands/set_entries.h"
#include "cli/commands/set_interface.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/result_words.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"
#include "cli/plan/address_entry.h"
#include "cli/terminal/terminal.h"
#include "config/config_command.h"
#include "config/config_delivery.h"
#include "config/config_transaction.h"
#include "config/configuration_wait.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace velkarin::cli {
namespace {

struct Progress {
  Spinner spinner;
  std::string text;
};

// Runs on this thread whenever the transaction looks at its message queue.
// An interrupt ends its waits as a host's quit would.
void DrawProgress(void* context) {
  auto* progress = static_cast<Progress*>(context);
  if (Interrupted()) platform::NoteQuitRequested();
  progress->spinner.Tick(progress->text);
}

// The progress of the wait for the new announcement: its seconds left.
std::function<bool()> WaitProgress(Progress& progress, std::uint32_t waitMs) {
  const std::uint32_t start = platform::TickCountMs();
  const std::string text = progress.text;
  return [&progress, start, waitMs, text] {
    const std::uint32_t waited = platform::TickElapsed(start, platform::TickCountMs());
    const std::uint32_t left = waited < waitMs ? (waitMs - waited + 999) / 1000 : 0;
    progress.spinner.Tick(text + " (" + std::to_string(left) + " s left)");
    return !Interrupted();
  };
}

// How far a run came before Ctrl-C or SIGTERM stopped it.
enum class Stage { kNotSent, kSent, kAccepted };

int ReportInterrupt(Stage stage, const std::string& serialText) {
  static const char* const kWords[] = {
      "interrupted; nothing was sent",
      "interrupted after the configuration was sent, before the device replied; it may "
      "have taken it: run `velkarin list` to check",
      "interrupted after the device accepted the configuration, before it was verified; run "
      "`velkarin list` to check",
  };
  WriteText(stderr, "velkarin: " + serialText + ": " + kWords[static_cast<int>(stage)] + "\n");
  return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
}

class ScopedPumpHook {
 public:
  ScopedPumpHook(platform::PumpHook hook, void* context) { platform::SetPumpHook(hook, context); }
  ~ScopedPumpHook() { platform::SetPumpHook(nullptr, nullptr); }
  ScopedPumpHook(const ScopedPumpHook&) = delete;
  ScopedPumpHook& operator=(const ScopedPumpHook&) = delete;
};

// Before the command goes out, against the devices heard with it: one that
// would take the command as well is never sent it, and an address another
// device announces is refused, as apply refuses it, unless allowed.
bool RefusedBeforeSending(const SetOptions& options, const DeviceRecord& record,
                          const SetTarget& found) {
  const std::string serialText = SerialText(options.serial);
  if (!OtherTakers(record, found.device, found.heard).empty()) {
    WriteText(stderr, "velkarin: " + serialText + ": " +
                          OtherTakersText(record, found.device, found.heard, "--device-id") + "\n");
    return true;
  }
  if (record.dhcp != 0) return false;
  const std::vector<std::string> conflicts = AddressConflictWarnings(
      DeviceList(found.heard.begin(), found.heard.end()), found.device, record.ipAddress);
  for (const std::string& text : conflicts) {
    if (!options.allowDuplicates) {
      WriteText(stderr, "velkarin: " + text + " (--allow-duplicates sends it anyway)\n");
    } else if (!options.quiet) {
      PrintWarning(text);
    }
  }
  return !options.allowDuplicates && !conflicts.empty();
}

}  // namespace

int RunSet(const SetOptions& options) {
  const DeviceRecord record = ConfigurationRecord(options);
  const std::string serialText = SerialText(options.serial);
  Progress progress;
  // The delivery's waits look at this thread's queue: an interrupt ends them.
  ScopedPumpHook hook(&DrawProgress, &progress);
  const auto tick = [&progress] {
    progress.spinner.Tick(progress.text);
    return !Interrupted();
  };

  if (Interrupted()) return ReportInterrupt(Stage::kNotSent, serialText);
  if (!options.quiet) {
    for (const std::string& text : PlausibilityWarningTexts(record)) PrintWarning(text);
  }
  progress.text = "looking for " + serialText;
  SetTarget target;
  if (const int status = FindSetTarget(options, tick, target)) return status;
  progress.spinner.Clear();
  if (Interrupted()) return ReportInterrupt(Stage::kNotSent, serialText);
  const char* password = options.password ? options.password->c_str() : nullptr;
  ConfigResult result =
      target.found ? FoundDeviceProblem(record, password, target.device) : CONFIG_NOT_FOUND;
  if (result == CONFIG_NOT_FOUND && !record.deviceId.empty()) {
    // Nothing was sent: the identifier and the serial name no one device.
    const std::string id = DisplayDeviceText(record.deviceId);
    if (target.identifierOwner) {
      WriteText(stderr, "velkarin: " + serialText + ": not found; the identifier " + id +
                            " belongs to device " + SerialText(target.identifierOwner->serial) +
                            "\n");
    } else {
      WriteText(stderr, "velkarin: " + serialText +
                            ": not found; no device announces the identifier " + id + "\n");
    }
    return EXIT_NOT_THAT_DEVICE;
  }
  if (result == CONFIG_OK && RefusedBeforeSending(options, record, target)) {
    WriteText(stderr, "velkarin: nothing was sent\n");
    return EXIT_USAGE;
  }
  Delivery delivery;
  if (result == CONFIG_OK) {
    progress.text = "configuring " + serialText;
    delivery = DeliverConfiguration(target.target, record, password, target.device,
                                    DeliveryLimits(), [] { return !Interrupted(); });
    result = delivery.result;
  }
  progress.spinner.Clear();
  // A device's own answer stands; an interrupt only cuts a wait short.
  if (Interrupted() && result == CONFIG_NO_REPLY) return ReportInterrupt(Stage::kSent, serialText);
  // Success on standard output, every failure on standard error, so that a
  // script reads only what it can rely on.
  const std::string words = ConfigOutcomeWords(result, options.password.has_value());
  if (result != CONFIG_OK) {
    WriteText(stderr,
              "velkarin: " + serialText + ": " + words + " (" + ConfigResultName(result) + ")\n");
    return ExitCodeForResult(result);
  }
  if (delivery.replyLost) {
    // Seen announcing what it was sent after the command: nothing to wait for.
    WriteText(stdout, serialText + ": configured; its reply was lost (" +
                          CountText(static_cast<std::size_t>(delivery.commands), "command") +
                          " sent)\n");
    return EXIT_OK;
  }
  WriteText(stdout, serialText + ": " + words + " (" + ConfigResultName(result) + ")\n");

  // The pump hook showed the previous text while the command ran.
  // cppcheck-suppress redundantAssignment
  progress.text = "waiting for " + serialText + " to announce itself again";
  // Scanned until it announces what it was sent, or the wait is up, as
  // apply waits: a device may announce its old configuration for a while
  // after it accepted. Twins share a serial: an identifier says which one.
  const std::uint32_t verifyMs = static_cast<std::uint32_t>(options.verifySeconds * 1000.0);
  const ObservedConfiguration observed =
      AwaitConfigurations({target.target}, {{target.target.interfaceName, record}}, verifyMs,
                          ScanTimingFor(options.scanSeconds), WaitProgress(progress, verifyMs))
          .front();
  const bool found = observed.seen;
  const DeviceRecord& announced = observed.announced;
  progress.spinner.Clear();
  if (!observed.configured && Interrupted()) {
    return ReportInterrupt(Stage::kAccepted, serialText);
  }
  if (!found) {
    WriteText(stderr, "velkarin: " + serialText + ": " + NotSeenAgainWords(options.verifySeconds) +
                          "; " + kRestartingHint + "\n");
    return EXIT_NOT_SEEN_AGAIN;
  }
  const std::vector<std::string> differences =
      DescribeDifferences(ConfigurationDifferences(record, announced, RuleContext::TOOL));
  if (differences.empty()) {
    WriteText(stdout, serialText + ": configured\n");
    return EXIT_OK;
  }
  WriteText(stderr, "velkarin: " + serialText + ": not configured as sent\n");
  for (const std::string& difference : differences) WriteText(stderr, "  " + difference + "\n");
  return EXIT_NOT_CONFIGURED;
}

}  // namespace velkarin::cli
