// velkarin set: apply of one row. The scan, the exchange with its resends,
// the verification and the report are apply's; set keeps its own checks
// before sending, its lines of output and its exit codes.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands/apply_jobs.h"
#include "cli/commands/apply_report.h"
#include "cli/commands/apply_steps.h"
#include "cli/commands/commands.h"
#include "cli/commands/set_entries.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/result_words.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"
#include "cli/terminal/terminal.h"
#include "config/config_command.h"
#include "config/config_transaction.h"
#include "protocol/address.h"

namespace velkarin::cli {
namespace {

// How far a run came before Ctrl-C or SIGTERM stopped it.
enum class Stage { kNotSent, kSent, kAccepted };

RunEnd Interrupt(Stage stage, const std::string& serialText) {
  static const char* const kWords[] = {
      "interrupted; nothing was sent",
      "interrupted after the configuration was sent, before the device replied; it may "
      "have taken it: run `velkarin list` to check",
      "interrupted after the device accepted the configuration, before it was verified; run "
      "`velkarin list` to check",
  };
  WriteText(stderr, "velkarin: " + serialText + ": " + kWords[static_cast<int>(stage)] + "\n");
  return InterruptedEnd(true);
}

// An end that set's own checks or outcome decide; the row is reported.
RunEnd Ended(int status) {
  RunEnd end;
  end.status = status;
  return end;
}

// Refused before anything was sent, as apply refuses a plan after its scan.
RunEnd NothingSent(int status) {
  RunEnd end = Ended(status);
  end.notStarted = "nothing was sent";
  end.print = false;
  return end;
}

// Success on standard output, unless it carries the JSON report.
void Say(const ApplyOptions& run, const std::string& line) {
  if (!run.json) WriteText(stdout, run.singleDevice + ": " + line + "\n");
}

// Every failure on standard error, so that a script reads only what it can rely on.
void Complain(const ApplyOptions& run, const std::string& line) {
  WriteText(stderr, "velkarin: " + run.singleDevice + ": " + line + "\n");
}

RunEnd RefuseTwoInterfaces(const ApplyOptions& run, const std::vector<ScannedDevice>& named) {
  std::vector<std::string> names;
  for (const ScannedDevice& d : named) {
    bool known = false;
    for (const std::string& name : names) known = known || name == d.interfaceName;
    if (!known) names.push_back(d.interfaceName);
  }
  std::string where;
  for (const std::string& name : names) where += (where.empty() ? "" : " and ") + DisplayUtf8(name);
  Complain(run, "different devices announce this serial behind " + where +
                    "; name the one to configure with --interface");
  WriteText(stderr, "velkarin: nothing was sent\n");
  return NothingSent(EXIT_USAGE);
}

// Nothing was sent: no device announces both the serial and the identifier.
RunEnd NotFound(const ApplyTable& table, const ApplyOptions& run) {
  const DeviceRecord& planned = table.rows.front().planned;
  if (planned.deviceId.empty()) {
    Complain(run, std::string(ConfigOutcomeWords(CONFIG_NOT_FOUND, false)) + " (" +
                      ConfigResultName(CONFIG_NOT_FOUND) + ")");
    return Ended(ExitCodeForResult(CONFIG_NOT_FOUND));
  }
  const std::string id = DisplayDeviceText(planned.deviceId);
  const ScannedDevice* owner = nullptr;
  for (const ScannedDevice& d : table.scan.devices) {
    if (SameTextIgnoringCase(d.record.deviceId, planned.deviceId)) owner = &d;
  }
  if (owner != nullptr) {
    Complain(run, "not found; the identifier " + id + " belongs to device " +
                      SerialText(owner->record.serial));
  } else {
    Complain(run, "not found; no device announces the identifier " + id);
  }
  return Ended(EXIT_NOT_THAT_DEVICE);
}

// Against the devices heard behind the device's interface: one that would
// take the command as well is never sent it, and an address another device
// announces is refused, as apply refuses it, unless allowed.
bool RefusedBeforeSending(const ApplyOptions& run, const RowRun& row,
                          const std::vector<DeviceRecord>& heard) {
  if (!OtherTakers(row.planned, row.device.record, heard).empty()) {
    Complain(run, OtherTakersText(row.planned, row.device.record, heard, "--device-id"));
    return true;
  }
  if (row.planned.dhcp != 0) return false;
  const std::vector<std::string> conflicts = AddressConflictWarnings(
      DeviceList(heard.begin(), heard.end()), row.device.record, row.planned.ipAddress);
  for (const std::string& text : conflicts) {
    if (!run.allowDuplicates) {
      WriteText(stderr, "velkarin: " + text + " (--allow-duplicates sends it anyway)\n");
    } else if (!run.quiet) {
      PrintWarning(text);
    }
  }
  return !run.allowDuplicates && !conflicts.empty();
}

// The device the scan heard, checked before the command goes out; queued
// for the exchange, or the end of the run.
std::optional<RunEnd> ChooseDevice(ApplyTable& table, const ApplyOptions& run) {
  RowRun& row = table.rows.front();
  std::vector<ScannedDevice> named;
  for (const ScannedDevice& d : table.scan.devices) {
    if (RowNamesDevice(*row.row, d.record)) named.push_back(d);
  }
  // Which of them took it would depend on the interface the system picks.
  if (DifferentDevicesBehindInterfaces(named)) return RefuseTwoInterfaces(run, named);
  if (named.empty()) {
    row.outcome = Outcome::kNotFound;
    return NotFound(table, run);
  }
  row.heard = true;
  row.device = named.front();
  const char* password = run.password ? run.password->c_str() : nullptr;
  const ConfigResult problem = FoundDeviceProblem(row.planned, password, row.device.record);
  if (problem != CONFIG_OK) {
    row.result = problem;
    row.outcome = Outcome::kTransaction;
    Complain(run, ConfigOutcomeWords(problem, run.password.has_value()) + " (" +
                      ConfigResultName(problem) + ")");
    return Ended(ExitCodeForResult(problem));
  }
  std::vector<DeviceRecord> heard;
  for (const ScannedDevice& d : table.scan.devices) {
    if (d.interfaceName == row.device.interfaceName) heard.push_back(d.record);
  }
  if (RefusedBeforeSending(run, row, heard)) {
    WriteText(stderr, "velkarin: nothing was sent\n");
    return NothingSent(EXIT_USAGE);
  }
  // Sent even when the device announces the configuration already: set is
  // asked to send, where apply skips a row that is done.
  QueueToConfigure(row, table.targets, table.queue);
  return std::nullopt;
}

// What the exchange came to, before the verification: the end of the run,
// or nothing when the device accepted and is to be verified.
std::optional<RunEnd> JudgeExchange(const RowRun& row, const ApplyOptions& run) {
  switch (row.outcome) {
    case Outcome::kPending:
      if (row.state.load() == kFinished) break;  // accepted
      if (Interrupted()) return Interrupt(Stage::kNotSent, run.singleDevice);
      Complain(run, "nothing was sent: no worker thread could be started");
      return Ended(EXIT_ERROR);
    case Outcome::kConfigured:
      // Seen announcing what it was sent: nothing to wait for.
      if (row.delivery.replyLost) {
        Say(run, "configured; its reply was lost (" +
                     CountText(static_cast<std::size_t>(row.delivery.commands), "command") +
                     " sent)");
      } else {
        Say(run, ConfigOutcomeWords(CONFIG_OK, false) + " (" + ConfigResultName(CONFIG_OK) + ")");
        Say(run, "configured");
      }
      return Ended(EXIT_OK);
    case Outcome::kFailed:
      Complain(run, "failed in the tool: " + row.detail);
      return Ended(EXIT_ERROR);
    case Outcome::kNoReplyInterrupted:
    case Outcome::kUnknown:
      return Interrupt(Stage::kSent, run.singleDevice);
    default: {
      // A device's own answer stands, though an interrupt came.
      const std::string words = ConfigOutcomeWords(row.result, run.password.has_value());
      Complain(run, words + " (" + ConfigResultName(row.result) + ")");
      return Ended(ExitCodeForResult(row.result));
    }
  }
  Say(run, ConfigOutcomeWords(CONFIG_OK, false) + " (" + ConfigResultName(CONFIG_OK) + ")");
  return std::nullopt;
}

// The device's own word on what it took.
RunEnd JudgeVerification(const RowRun& row, const ApplyOptions& run) {
  switch (row.outcome) {
    case Outcome::kConfigured:
      Say(run, "configured");
      return Ended(EXIT_OK);
    case Outcome::kNotSeenAgain:
      Complain(run, NotSeenAgainWords(run.verifySeconds) + "; " + kRestartingHint);
      return Ended(EXIT_NOT_SEEN_AGAIN);
    case Outcome::kNotConfigured: {
      Complain(run, "not configured as sent");
      for (const std::string& difference : row.differences) {
        WriteText(stderr, "  " + difference + "\n");
      }
      return Ended(EXIT_NOT_CONFIGURED);
    }
    default:
      return Interrupt(Stage::kAccepted, run.singleDevice);
  }
}

// The steps of apply for the one row, with set's checks and words between
// them. Whichever ends the run, the row is reported once.
RunEnd RunSteps(ApplyTable& table, const ApplyOptions& run) {
  if (Interrupted()) return Interrupt(Stage::kNotSent, run.singleDevice);
  if (!run.quiet) {
    for (const std::string& text : PlausibilityWarningTexts(table.rows.front().planned)) {
      PrintWarning(text);
    }
  }
  if (auto end = ChooseTargets(table, run)) return *end;
  if (auto end = ScanForPlan(table, run)) {
    return Interrupted() ? Interrupt(Stage::kNotSent, run.singleDevice) : *end;
  }
  if (auto end = ChooseDevice(table, run)) return *end;
  if (Interrupted()) return Interrupt(Stage::kNotSent, run.singleDevice);
  if (auto end = ConfigureQueue(table, run)) {
    // A second interrupt: the worker still holds the row.
    Interrupt(Stage::kSent, run.singleDevice);
    return *end;
  }
  const RowRun& row = table.rows.front();
  if (auto end = JudgeExchange(row, run)) return *end;
  Verify(table.queue, table.targets, run);
  return JudgeVerification(row, run);
}

}  // namespace

ApplyOptions SetAsApply(const SetOptions& options) {
  ApplyOptions run;
  run.yes = true;
  run.jobs = 1;
  run.json = options.json;
  run.reportPath = options.reportPath;
  run.allowDuplicates = options.allowDuplicates;
  run.password = options.password;
  run.destination = options.destination;
  run.broadcastGiven = options.broadcastGiven;
  run.broadcasts = options.broadcasts;
  run.interfaces = options.interfaces;
  run.quiet = options.quiet;
  run.verifySeconds = options.verifySeconds;
  run.scanSeconds = options.scanSeconds;
  run.singleDevice = SerialText(options.serial);
  return run;
}

int RunSet(const SetOptions& options) {
  const ApplyOptions run = SetAsApply(options);
  ApplyTable table;
  PlanRow planRow;
  planRow.entries = options;
  // The password is the run's, as a plan's for its rows.
  planRow.entries.password.reset();
  table.plan.rows.push_back(planRow);
  table.rows = std::vector<RowRun>(1);
  table.rows.front().row = &table.plan.rows.front();
  table.rows.front().planned = ConfigurationRecord(planRow.entries);

  RunEnd end = RunSteps(table, run);
  // The JSON is the only output with --json; the lines were said without it.
  end.print = end.print && run.json;
  const int status = WriteRunReport(table, run, end) ? end.status : EXIT_ERROR;
  if (end.atOnce) {
    // The worker still holds the row: the tool ends without waiting for it.
    if (!FlushOutput()) std::fprintf(stderr, "velkarin: %s\n", OutputFailure().c_str());
    std::fflush(stderr);
    std::_Exit(status);
  }
  return status;
}

}  // namespace velkarin::cli
