// velkarin set: one configuration transaction, then the device's own word
// on what it took.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/commands/set_entries.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/result_words.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"
#include "cli/plan/address_entry.h"
#include "cli/terminal/terminal.h"
#include "config/config_command.h"
#include "config/config_delivery.h"
#include "config/config_transaction.h"
#include "config/configuration_wait.h"
#include "engine/device_finder.h"
#include "platform/pump.h"

namespace velkarin::cli {
namespace {

constexpr std::uint32_t kAnnounceAgainMs = 15000;

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

}  // namespace

int RunSet(const SetOptions& options) {
  const DeviceRecord record = ConfigurationRecord(options);
  const std::string serialText = SerialText(options.serial);

  // The transaction runs its own searches; the engine's worker is not needed.
  DeviceFinder finder(options.destination);
  Progress progress;
  ScopedPumpHook hook(&DrawProgress, &progress);

  // The handler is in place since the interface was chosen.
  if (Interrupted()) return ReportInterrupt(Stage::kNotSent, serialText);
  if (!options.quiet) {
    for (const std::string& text : PlausibilityWarningTexts(record)) PrintWarning(text);
  }
  Stage stage = Stage::kNotSent;
  // Before the command goes out, against the devices the transaction heard:
  // an address another device announces is refused, as apply refuses it.
  bool conflictRefused = false;
  const BeforeSendHook checkConflicts = [&](const DeviceList& heard, const DeviceRecord& target) {
    if (Interrupted()) return false;
    // A device that takes the command as well would be configured unasked:
    // never sent, whatever is allowed.
    const std::vector<DeviceRecord> all(heard.begin(), heard.end());
    if (!OtherTakers(record, target, all).empty()) {
      progress.spinner.Clear();
      WriteText(stderr, "velkarin: " + serialText + ": " +
                            OtherTakersText(record, target, all, "--device-id") + "\n");
      conflictRefused = true;
      return false;
    }
    stage = Stage::kSent;
    if (record.dhcp != 0) return true;
    const std::vector<std::string> conflicts =
        AddressConflictWarnings(heard, target, record.ipAddress);
    if (conflicts.empty()) return true;
    progress.spinner.Clear();
    for (const std::string& text : conflicts) {
      if (!options.allowDuplicates) {
        WriteText(stderr, "velkarin: " + text + " (--allow-duplicates sends it anyway)\n");
      } else if (!options.quiet) {
        PrintWarning(text);
      }
    }
    conflictRefused = !options.allowDuplicates;
    if (conflictRefused) stage = Stage::kNotSent;
    return options.allowDuplicates;
  };

  progress.text = "configuring " + serialText;
  const char* password = options.password ? options.password->c_str() : nullptr;
  DeviceRecord other;
  ConfigResult result = FindDeviceToConfigure(finder, record, password, other, checkConflicts);
  Delivery delivery;
  if (result == CONFIG_OK) {
    delivery = DeliverConfiguration(ScanTarget{"", options.destination}, record, password, other,
                                    DeliveryLimits(), [] { return !Interrupted(); });
    result = delivery.result;
  }
  progress.spinner.Clear();
  if (conflictRefused) {
    WriteText(stderr, "velkarin: nothing was sent\n");
    return EXIT_USAGE;
  }
  // A device's own answer stands; an interrupt only cuts a wait short.
  if (Interrupted() && result == CONFIG_NO_REPLY) return ReportInterrupt(stage, serialText);
  if (result == CONFIG_NOT_FOUND && !record.deviceId.empty()) {
    // Nothing was sent: the identifier and the serial name no one device.
    const std::string id = DisplayDeviceText(record.deviceId);
    if (!other.deviceId.empty()) {
      WriteText(stderr, "velkarin: " + serialText + ": not found; the identifier " + id +
                            " belongs to device " + SerialText(other.serial) + "\n");
    } else {
      WriteText(stderr, "velkarin: " + serialText +
                            ": not found; no device announces the identifier " + id + "\n");
    }
    return EXIT_NOT_THAT_DEVICE;
  }
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
  const ObservedConfiguration observed =
      AwaitConfigurations({ScanTarget{"", options.destination}}, {{"", record}}, kAnnounceAgainMs,
                          ScanTiming(),
                          [&progress] {
                            progress.spinner.Tick(progress.text);
                            return !Interrupted();
                          })
          .front();
  const bool found = observed.seen;
  const DeviceRecord& announced = observed.announced;
  progress.spinner.Clear();
  if (!observed.configured && Interrupted()) {
    return ReportInterrupt(Stage::kAccepted, serialText);
  }
  if (!found) {
    WriteText(stderr, "velkarin: " + serialText + ": not seen again within " +
                          std::to_string(kAnnounceAgainMs / 1000) + " s\n");
    return EXIT_NOT_SEEN_AGAIN;
  }
  const std::vector<std::string> differences =
      DescribeDifferences(ConfigurationDifferences(record, announced));
  if (differences.empty()) {
    WriteText(stdout, serialText + ": configured\n");
    return EXIT_OK;
  }
  WriteText(stderr, "velkarin: " + serialText + ": not configured as sent\n");
  for (const std::string& difference : differences) WriteText(stderr, "  " + difference + "\n");
  return EXIT_NOT_CONFIGURED;
}

}  // namespace velkarin::cli
