#include "cli/commands/apply_steps.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands/apply_report.h"
#include "cli/commands/set_entries.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/file_io.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"
#include "cli/plan/address_entry.h"
#include "cli/terminal/terminal.h"
#include "config/config_command.h"
#include "config/configuration_wait.h"
#include "platform/interfaces.h"

namespace velkarin::cli {
namespace {

// Scans after the first for planned devices it did not hear: a lost
// announcement or discovery datagram is no reason to end a row "not found".
constexpr int kScansForTheUnheard = 2;

// A plan of 10,000 devices as list writes it takes about 1 MiB: a file larger
// than this is no plan, and reading it whole could take all the memory.
constexpr std::size_t kMaxPlanBytes = std::size_t{16} << 20;

// Refused before anything was sent: the report says so, stdout stays empty.
RunEnd Refused(int status) {
  RunEnd end;
  end.status = status;
  end.notStarted = "nothing was sent";
  end.print = false;
  return end;
}

int RefusePlan(const std::string& path, const std::vector<PlanProblem>& problems) {
  for (const PlanProblem& problem : problems) {
    WriteText(stderr, "velkarin: " + path + ": " + DisplayUtf8(PlanProblemText(problem)) + "\n");
  }
  std::fprintf(stderr, "velkarin: nothing was sent\n");
  return EXIT_USAGE;
}

// Asked before anything is sent; with --json on stderr, so that standard
// output stays JSON. An interrupt ends the question (Interrupted() says so).
// The answer takes the words that say yes in a plan's dhcp column. With
// standard input redirected, it is read from the terminal.
bool Confirmed(std::size_t count) {
  WriteText(stderr, "velkarin: configure " + CountText(count, "device") + "? (" + YesWordsText() +
                        "; anything else: no) [y/N] ");
  std::fflush(stderr);
  std::string answer;
  const bool read = ReadAnswerLine(answer);
  if (Interrupted()) std::fputc('\n', stderr);
  return read && ReadYesNo(answer) == true;
}

bool RowHeard(const PlanRow& row, const ScannedDevice& d) {
  return RowNamesDevice(row, d.record) &&
         (row.interfaceName.empty() || d.interfaceName == row.interfaceName);
}

bool EveryRowHeard(const std::vector<PlanRow>& rows, const std::vector<ScannedDevice>& devices) {
  for (const PlanRow& row : rows) {
    bool heard = false;
    for (const ScannedDevice& d : devices) heard = heard || RowHeard(row, d);
    if (!heard) return false;
  }
  return true;
}

// Adds the devices of a later scan that the earlier ones did not hear, in
// the scan's order (by serial).
void AddUnheard(const std::vector<ScannedDevice>& more, std::vector<ScannedDevice>& devices) {
  for (const ScannedDevice& d : more) {
    bool known = false;
    for (const ScannedDevice& k : devices) {
      known = known || (k.interfaceName == d.interfaceName && k.record.serial == d.record.serial &&
                        k.record.deviceId == d.record.deviceId);
    }
    if (!known) devices.push_back(d);
  }
  std::stable_sort(devices.begin(), devices.end(),
                   [](const ScannedDevice& a, const ScannedDevice& b) {
                     return a.record.serial < b.record.serial;
                   });
}

// A row that names no interface while different devices announce its
// serial behind two: which one it means, the plan does not say.
std::optional<PlanProblem> AmbiguousRowProblem(const PlanRow& row,
                                               const std::vector<ScannedDevice>& heard) {
  if (!row.interfaceName.empty()) return std::nullopt;
  std::vector<ScannedDevice> named;
  for (const ScannedDevice& d : heard) {
    if (RowHeard(row, d)) named.push_back(d);
  }
  if (!DifferentDevicesBehindInterfaces(named)) return std::nullopt;
  return PlanProblem{row.line, "interface",
                     "different devices announce this serial behind different interfaces; name "
                     "the one to configure in the interface column (device " +
                         SerialText(row.entries.serial) + ")"};
}

// A row to configure whose command another device behind the same
// interface would take as well.
std::optional<PlanProblem> OtherTakersProblem(const RowRun& run,
                                              const std::vector<ScannedDevice>& heard) {
  std::vector<DeviceRecord> sameInterface;
  for (const ScannedDevice& d : heard) {
    if (d.interfaceName == run.device.interfaceName) sameInterface.push_back(d.record);
  }
  if (OtherTakers(run.planned, run.device.record, sameInterface).empty()) return std::nullopt;
  return PlanProblem{run.row->line, "serial",
                     OtherTakersText(run.planned, run.device.record, sameInterface, "device_id") +
                         " (device " + SerialText(run.planned.serial) + ")"};
}

// The rows whose configuration the scan shows already, or that it did not
// hear; the rest are queued for a worker. A DHCP row whose address was
// edited, and one whose command another device would take, go to `refused`.
std::vector<RowRun*> Classify(std::vector<RowRun>& runs, const std::vector<ScannedDevice>& heard,
                              const std::vector<ScanTarget>& targets,
                              std::vector<PlanProblem>& refused) {
  std::vector<RowRun*> queue;
  for (RowRun& run : runs) {
    for (const ScannedDevice& d : heard) {
      if (!RowHeard(*run.row, d)) continue;
      run.heard = true;
      run.device = d;
      if (auto problem = EditedDhcpProblem(*run.row, d.record)) refused.push_back(*problem);
      if (auto problem = AmbiguousRowProblem(*run.row, heard)) refused.push_back(*problem);
      break;
    }
    if (!run.heard) {
      run.action = Action::kNotFound;
      run.outcome = Outcome::kNotFound;
    } else if (AnnouncesConfiguration(run.device.record, run.planned)) {
      run.action = Action::kAlreadyDone;
      run.outcome = Outcome::kAlreadyDone;
    } else {
      QueueToConfigure(run, targets, queue);
      if (auto problem = OtherTakersProblem(run, heard)) refused.push_back(*problem);
    }
  }
  return queue;
}

// When no planned device answered: where discovery went and the usual
// causes, as `list` says it, or that only other devices answered.
void HintNoneFound(const std::vector<RowRun>& runs, const ScanResult& scan,
                   const std::vector<ScanTarget>& targets, const ApplyOptions& options) {
  if (runs.empty()) return;
  for (const RowRun& run : runs) {
    if (run.heard) return;
  }
  if (scan.devices.empty()) {
    std::vector<std::string> names;
    for (const ScanTarget& target : targets) {
      if (!target.interfaceName.empty()) names.push_back(target.interfaceName);
    }
    std::fprintf(stderr, "%s\n", NoDeviceAnsweredText(options.destination, names).c_str());
  } else {
    // Planned devices heard behind another adapter than their rows name.
    bool elsewhere = false;
    for (const RowRun& run : runs) {
      for (const ScannedDevice& d : scan.devices) {
        if (!RowNamesDevice(*run.row, d.record)) continue;
        elsewhere = true;
        WriteText(stderr, "velkarin: line " + std::to_string(run.row->line) + ": device " +
                              SerialText(d.record.serial) + " answered on interface '" +
                              DisplayUtf8(d.interfaceName) + "', but the row names interface '" +
                              DisplayUtf8(run.row->interfaceName) +
                              "'; correct or clear the row's interface\n");
        break;
      }
    }
    if (elsewhere) return;
    WriteText(stderr, "velkarin: no device of the plan answered, " +
                          CountText(scan.devices.size(), "other") +
                          " did; check the plan's serial numbers, identifiers and interfaces "
                          "against `velkarin list`\n");
  }
}

}  // namespace

void QueueToConfigure(RowRun& run, const std::vector<ScanTarget>& targets,
                      std::vector<RowRun*>& queue) {
  run.action = Action::kConfigure;
  std::size_t target = 0;
  for (std::size_t t = 0; t < targets.size(); ++t) {
    if (targets[t].interfaceName == run.device.interfaceName) target = t;
  }
  run.exchange = DeviceExchange(targets[target].destination);
  queue.push_back(&run);
}

RunEnd InterruptedEnd(bool print) {
  RunEnd end;
  end.status = InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
  end.print = print;
  return end;
}

int ReadPlanStep(const ApplyOptions& options, ApplyTable& table) {
  std::string text;
  std::string reason;
  if (!ReadTextFile(options.planPath, kMaxPlanBytes, text, reason)) {
    WriteText(stderr, "velkarin: cannot read the plan " + options.planPath + ": " + reason + "\n");
    return EXIT_USAGE;
  }
  Plan& plan = table.plan;
  plan = ReadPlan(text, options.allowPasswordColumn);
  if (plan.readAsWindows1252) {
    WriteText(stderr, "velkarin: " + options.planPath +
                          ": not UTF-8 text, read as Windows-1252 (the ANSI code page)\n");
  }
  if (!plan.problems.empty()) {
    const int status = RefusePlan(options.planPath, plan.problems);
    RemoveStaleReport(options);
    return status;
  }
  if (!options.quiet) {
    for (const PlanRow& row : plan.rows) {
      for (const std::string& warning :
           PlausibilityWarningTexts(ConfigurationRecord(row.entries))) {
        PrintWarning("line " + std::to_string(row.line) + ": " + warning);
      }
    }
  }
  std::vector<RowRun> rows(plan.rows.size());
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    rows[i].row = &plan.rows[i];
    rows[i].planned = ConfigurationRecord(plan.rows[i].entries);
  }
  table.rows.swap(rows);
  return EXIT_OK;
}

int CheckPlanPassword(const ApplyOptions& options, const ApplyTable& table) {
  const std::vector<PlanProblem> problems = PlanPasswordProblems(table.plan, options.password);
  if (problems.empty()) return EXIT_OK;
  const int status = RefusePlan(options.planPath, problems);
  RemoveStaleReport(options);
  return status;
}

std::optional<RunEnd> ChooseTargets(ApplyTable& table, const ApplyOptions& options) {
  if (const int status = ChooseScanTargets(options.broadcasts, options.interfaces,
                                           options.destination, table.targets)) {
    return Refused(status);
  }
  // A plan made on another computer names that computer's interfaces; one
  // that is up here may be left out by --interface or --broadcast.
  std::optional<std::vector<platform::NetInterface>> up;
  for (PlanRow& row : table.plan.rows) {
    if (row.interfaceName.empty()) continue;
    bool scanned = false;
    for (const ScanTarget& t : table.targets) {
      scanned = scanned || t.interfaceName == row.interfaceName;
    }
    if (scanned) continue;
    if (!up) up = platform::ListIpv4Interfaces();
    bool isUp = false;
    for (const platform::NetInterface& i : *up) isUp = isUp || i.name == row.interfaceName;
    const std::string name = "'" + DisplayUtf8(row.interfaceName) + "'";
    const std::string why =
        !isUp ? "no IPv4 interface named " + name + " is up here"
        : options.interfaces.empty()
            ? "interface " + name + " is not scanned with --broadcast"
            : "interface " + name + " is not among those named with --interface";
    PrintWarning(options.planPath + ": line " + std::to_string(row.line) + ", interface: " + why +
                 "; the device is looked for on every interface scanned");
    row.interfaceName.clear();
  }
  return std::nullopt;
}

std::optional<RunEnd> ScanForPlan(ApplyTable& table, const ApplyOptions& options) {
  InstallInterruptHandler();
  ScanResult& scan = table.scan;
  const std::string sought =
      options.singleDevice.empty() ? "the devices of the plan" : options.singleDevice;
  {
    Spinner spinner;
    scan = ScanDevices(table.targets, ScanTimingFor(options.scanSeconds), [&] {
      spinner.Tick("looking for " + sought);
      return !Interrupted();
    });
  }
  if (Interrupted()) return InterruptedEnd(true);
  if (scan.channelsOpen == 0) {
    std::fprintf(stderr, "velkarin: cannot open a socket for discovery\n");
    return Refused(EXIT_ERROR);
  }
  for (int again = 0; again < kScansForTheUnheard && !EveryRowHeard(table.plan.rows, scan.devices);
       ++again) {
    Spinner spinner;
    // The first scan heard the rest of the network: this one ends as soon
    // as every device of the plan has been heard.
    std::vector<PlanRow> unheard;
    for (const PlanRow& row : table.plan.rows) {
      if (!EveryRowHeard({row}, scan.devices)) unheard.push_back(row);
    }
    const ScanResult more = ScanDevices(
        table.targets, ScanTimingFor(options.scanSeconds),
        [&] {
          spinner.Tick("looking again for " + sought +
                       (options.singleDevice.empty() ? " not heard yet" : ""));
          return !Interrupted();
        },
        [&](const std::vector<ScannedDevice>& found) { return EveryRowHeard(unheard, found); });
    if (Interrupted()) return InterruptedEnd(true);
    AddUnheard(more.devices, scan.devices);
  }
  WarnIfScanIncomplete(scan, table.targets.size(),
                       ScanTimingFor(options.scanSeconds).maxScanMs / 1000.0,
                       "; a device not heard is reported not found");
  return std::nullopt;
}

std::optional<RunEnd> DecideActions(ApplyTable& table, const ApplyOptions& options) {
  const std::vector<PlanProblem> conflicts =
      AnnouncedAddressProblems(table.plan.rows, table.scan.devices);
  for (const PlanProblem& problem : conflicts) {
    const std::string where = options.planPath + ": " + PlanProblemText(problem);
    if (options.allowDuplicates) {
      PrintWarning(where);
    } else {
      WriteText(stderr, "velkarin: " + where + " (--allow-duplicates sends it anyway)\n");
    }
  }
  if (!conflicts.empty() && !options.allowDuplicates) {
    std::fprintf(stderr, "velkarin: nothing was sent\n");
    return Refused(EXIT_USAGE);
  }
  std::vector<PlanProblem> edited;
  table.queue = Classify(table.rows, table.scan.devices, table.targets, edited);
  if (!edited.empty()) return Refused(RefusePlan(options.planPath, edited));
  if (!options.quiet && !table.queue.empty()) {
    const std::vector<platform::NetInterface> up = platform::ListIpv4Interfaces();
    for (const RowRun* run : table.queue) {
      if (run->row->entries.dhcp) continue;
      const std::string warning =
          OutsideSubnetWarning(run->row->entries.ipAddress, run->device.interfaceName, up);
      if (!warning.empty()) {
        PrintWarning(options.planPath + ": line " + std::to_string(run->row->line) + ": " +
                     warning);
      }
    }
  }
  HintNoneFound(table.rows, table.scan, table.targets, options);
  return std::nullopt;
}

std::optional<RunEnd> Confirm(const ApplyTable& table, const ApplyOptions& options) {
  if (!options.dryRun && (options.yes || table.queue.empty())) return std::nullopt;
  // With --json, standard output carries the JSON report alone.
  if (!WriteText(options.json ? stderr : stdout, PreviewTable(table.rows))) {
    return Refused(EXIT_ERROR);  // main says why
  }
  RunEnd end;
  end.print = options.json;
  if (options.dryRun) {
    const bool noneFound =
        !table.rows.empty() &&
        std::none_of(table.rows.begin(), table.rows.end(), [](const RowRun& r) { return r.heard; });
    end.status = noneFound ? EXIT_PLAN_UNFINISHED : EXIT_OK;
    end.notStarted = "dry run";
    return end;
  }
  if (Confirmed(table.queue.size())) return std::nullopt;
  std::fprintf(stderr, "velkarin: nothing was sent\n");
  if (Interrupted()) return InterruptedEnd(options.json);
  end.notStarted = "declined";
  return end;
}

}  // namespace velkarin::cli
