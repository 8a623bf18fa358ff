// velkarin apply: one scan, then every row of a plan that needs it configured
// and verified, several devices at once.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/address_entry.h"
#include "cli/commands.h"
#include "cli/device_csv.h"
#include "cli/device_table.h"
#include "cli/display_text.h"
#include "cli/file_io.h"
#include "cli/json_writer.h"
#include "cli/plan.h"
#include "cli/result_words.h"
#include "cli/scan_listing.h"
#include "cli/set_entries.h"
#include "cli/terminal.h"
#include "cli/text_encoding.h"
#include "cli/text_output.h"
#include "cli/warnings.h"
#include "config/config_delivery.h"
#include "config/config_transaction.h"
#include "config/configuration_wait.h"
#include "engine/device_finder.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace velkarin::cli {
namespace {

constexpr std::uint32_t kAnnounceAgainMs = 15000;
// Scans after the first for planned devices it did not hear: a lost
// announcement or discovery datagram is no reason to end a row "not found".
constexpr int kScansForTheUnheard = 2;

enum class Action { kConfigure, kAlreadyDone, kNotFound };

enum class Outcome {
  kPending,        // not run (yet)
  kConfigured,     // accepted, and announced as planned
  kAlreadyDone,    // announced as planned before anything was sent
  kNotFound,       // not heard by the scan; nothing sent
  kTransaction,    // the transaction failed: `result` says how
  kNotSeenAgain,   // accepted, then not heard within the wait
  kNotConfigured,  // accepted, but announces something else
  kNotVerified,    // accepted; interrupted before it was seen again
  kFailed,         // the tool failed while configuring it: `detail` says how
  kUnknown,        // in flight when a second interrupt ended the run
};

// Where a worker is with a row. A finished row's result may be read once
// `state` says so; a row still running is the worker's alone.
enum JobState : int { kWaiting, kRunning, kFinished };

struct RowRun {
  const PlanRow* row = nullptr;
  DeviceRecord planned;  // what the device is sent
  Action action = Action::kNotFound;
  bool heard = false;
  ScannedDevice device;    // as the scan heard it, when heard
  std::size_t target = 0;  // the scan target it was heard by
  std::atomic<int> state{kWaiting};
  // Written by the worker before it finishes the row.
  ConfigResult result = CONFIG_OK;
  std::string failure;          // what went wrong in the tool, if anything
  Delivery delivery;            // the commands sent, and how they ended
  ConfigChallenge challenge{};  // the device's, from one command to the next
  std::chrono::steady_clock::time_point firstSent;
  // Written by the main thread alone.
  Outcome outcome = Outcome::kPending;
  std::string detail;
};

const char* ActionWords(Action action) {
  switch (action) {
    case Action::kConfigure:
      return "configure";
    case Action::kAlreadyDone:
      return "already done";
    case Action::kNotFound:
      return "not found";
  }
  return "";
}

bool Succeeded(const RowRun& run) {
  return run.outcome == Outcome::kConfigured || run.outcome == Outcome::kAlreadyDone;
}

// How a run ended for the rows it did not start: "interrupted", "dry run".
struct Ending {
  bool passwordGiven = false;
  std::string notStarted = "interrupted";
};

std::string ResultWords(const RowRun& run, const Ending& ending) {
  switch (run.outcome) {
    case Outcome::kPending:
      return "not started (" + ending.notStarted + ")";
    case Outcome::kConfigured:
      return "configured";
    case Outcome::kAlreadyDone:
      return "already done";
    case Outcome::kNotFound:
      return "not found";
    case Outcome::kTransaction:
      return ConfigOutcomeWords(run.result, ending.passwordGiven || run.row->entries.password);
    case Outcome::kNotSeenAgain:
      return "accepted, not seen again within " + std::to_string(kAnnounceAgainMs / 1000) + " s";
    case Outcome::kNotConfigured:
      return "not configured as sent";
    case Outcome::kNotVerified:
      return "accepted, not verified (interrupted)";
    case Outcome::kFailed:
      return "failed in the tool";
    case Outcome::kUnknown:
      return "unknown (interrupted while being configured)";
  }
  return "";
}

// A configuration in a few words: "DHCP", or "10.0.0.5/255.0.0.0 gw 10.0.0.1".
std::string ConfigurationText(const DeviceRecord& r) {
  if (r.dhcp != 0) return "DHCP";
  std::string text = r.ipAddress + "/" + r.netmask;
  if (!r.gateway.empty() && r.gateway != "0.0.0.0") text += " gw " + r.gateway;
  return text;
}

// The interface the row goes by; empty where the system chooses it.
const std::string& InterfaceName(const RowRun& run) {
  return run.heard ? run.device.interfaceName : run.row->interfaceName;
}

std::string InterfaceText(const RowRun& run) {
  return InterfaceName(run).empty() ? "-" : InterfaceName(run);
}

// The name the device announces, else the plan's name column.
std::string NameText(const RowRun& run) {
  if (run.heard) return DisplayDeviceText(run.device.record.name);
  return run.row->name.empty() ? "-" : DisplayUtf8(run.row->name);
}

std::string PreviewTable(const std::vector<RowRun>& runs) {
  std::vector<std::vector<std::string>> rows = {
      {"Line", "Serial", "Name", "Interface", "Current", "Planned", "Action"}};
  for (const RowRun& run : runs) {
    rows.push_back({std::to_string(run.row->line), SerialText(run.planned.serial), NameText(run),
                    InterfaceText(run), run.heard ? ConfigurationText(run.device.record) : "-",
                    ConfigurationText(run.planned), ActionWords(run.action)});
  }
  return FormatTableRows(rows);
}

std::string ReportTable(const std::vector<RowRun>& runs, const Ending& ending) {
  std::vector<std::vector<std::string>> rows = {
      {"Line", "Serial", "Name", "Interface", "Planned", "Result"}};
  for (const RowRun& run : runs) {
    std::string result = ResultWords(run, ending);
    if (!run.detail.empty()) result += ": " + run.detail;
    rows.push_back({std::to_string(run.row->line), SerialText(run.planned.serial), NameText(run),
                    InterfaceText(run), ConfigurationText(run.planned), result});
  }
  return FormatTableRows(rows);
}

std::string ReportCsv(const std::vector<RowRun>& runs, const Ending& ending) {
  std::vector<std::vector<std::string>> rows = {{}};
  for (const RowRun& run : runs) {
    const DeviceRecord& p = run.planned;
    rows.push_back({std::to_string(run.row->line), SerialText(p.serial), NameText(run),
                    Latin1ToUtf8(p.deviceId), InterfaceText(run), p.dhcp != 0 ? "yes" : "no",
                    p.dhcp != 0 ? "" : p.ipAddress, p.dhcp != 0 ? "" : p.netmask,
                    p.dhcp != 0 ? "" : p.gateway, ResultWords(run, ending), run.detail,
                    std::to_string(run.delivery.commands)});
  }
  return FormatCsvRows(rows,
                       {"line", "serial", "name", "device_id", "interface", "dhcp", "ip", "netmask",
                        "gateway", "result", "detail", "commands"},
                       false);
}

std::string ReportJson(const std::vector<RowRun>& runs, const Ending& ending) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const RowRun& run : runs) {
    const DeviceRecord& p = run.planned;
    nlohmann::ordered_json o;
    o["line"] = run.row->line;
    o["serialText"] = SerialText(p.serial);
    o["name"] = NameText(run);
    o["deviceId"] = Latin1ToUtf8(p.deviceId);
    // As in list's JSON: no name is null.
    if (InterfaceName(run).empty()) {
      o["interface"] = nullptr;
    } else {
      o["interface"] = InterfaceName(run);
    }
    o["dhcp"] = p.dhcp != 0;
    o["ipAddress"] = p.dhcp != 0 ? "" : p.ipAddress;
    o["netmask"] = p.dhcp != 0 ? "" : p.netmask;
    o["gateway"] = p.dhcp != 0 ? "" : p.gateway;
    o["result"] = ResultWords(run, ending);
    o["succeeded"] = Succeeded(run);
    o["detail"] = run.detail;
    array.push_back(o);
  }
  return WriteJson(array, 2) + "\n";
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
bool Confirmed(std::size_t count) {
  std::fprintf(stderr, "velkarin: configure %zu device%s? [y/N] ", count, count == 1 ? "" : "s");
  std::fflush(stderr);
  std::string answer;
  const bool read = ReadInputLine(answer);
  if (Interrupted()) std::fputc('\n', stderr);
  return read && (answer == "y" || answer == "Y" || answer == "yes");
}

int InterruptedExit() { return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED; }

// The report of this run: on standard output when `print`, and in the
// --report file. Every way out once the plan has been read comes here, so
// that the file never shows an earlier run. EXIT_OK, or EXIT_ERROR after its
// message.
int WriteReport(const std::vector<RowRun>& runs, const ApplyOptions& options, const Ending& ending,
                bool print) {
  int status = EXIT_OK;
  if (print &&
      !WriteText(stdout, options.json ? ReportJson(runs, ending) : ReportTable(runs, ending))) {
    status = EXIT_ERROR;  // main says why
  }
  if (!options.reportPath.empty()) {
    std::string reason;
    if (!WriteWholeFile(options.reportPath, ReportCsv(runs, ending), reason)) {
      WriteText(stderr,
                "velkarin: cannot write the report " + options.reportPath + ": " + reason + "\n");
      status = EXIT_ERROR;
    }
  }
  return status;
}

// A plan that is not run leaves no report of an earlier run behind.
void RemoveStaleReport(const ApplyOptions& options) {
  if (options.reportPath.empty()) return;
  if (std::remove(options.reportPath.c_str()) == 0) {
    std::fprintf(stderr,
                 "velkarin: removed the report %s of an earlier run: this plan was not run\n",
                 options.reportPath.c_str());
  }
}

// The exit code once the report is written: its own failure, else `status`.
int Ended(int reportStatus, int status) { return reportStatus != EXIT_OK ? reportStatus : status; }

// What the workers share. It outlives a run that a second interrupt ended,
// since the workers are not waited for then.
struct Workers {
  const std::vector<RowRun*>* queue;
  const std::vector<ScanTarget>* targets;
  const ApplyOptions* options;
  std::atomic<std::size_t> next{0};
  std::atomic<int> done{0};
  std::atomic<int> failed{0};
  std::atomic<int> workersDone{0};
};

// One row's transaction. Each gets an engine of its own, so the
// configuration challenge is never shared between threads. What goes wrong
// in the tool is the row's result, not the run's end.
void ConfigureRow(RowRun& run, const std::vector<ScanTarget>& targets,
                  const ApplyOptions& options) {
  try {
    const std::optional<std::string>& password =
        run.row->entries.password ? run.row->entries.password : options.password;
    if (run.delivery.commands == 0) run.firstSent = std::chrono::steady_clock::now();
    DeviceFinder finder(targets[run.target].destination);
    finder.configChallenge() = run.challenge;
    run.result = SendConfiguration(finder, run.planned, password ? password->c_str() : nullptr,
                                   run.device.record, DeliveryLimits(), run.delivery);
    run.challenge = finder.configChallenge();
  } catch (const std::exception& error) {
    run.failure = error.what();
  } catch (...) {
    run.failure = "unknown error";
  }
}

// One worker: takes the next row to configure until none is left or an
// interrupt came.
void ConfigureRows(void* argument) {
  Workers& w = *static_cast<Workers*>(argument);
  for (;;) {
    if (Interrupted()) break;
    const std::size_t index = w.next.fetch_add(1);
    if (index >= w.queue->size()) break;
    RowRun& run = *(*w.queue)[index];
    run.state.store(kRunning);
    ConfigureRow(run, *w.targets, *w.options);
    const bool ok = run.failure.empty() && run.result == CONFIG_OK;
    // A command without a reply is not done yet: it is looked at, and sent again.
    const bool unanswered = run.failure.empty() && run.result == CONFIG_NO_REPLY;
    run.state.store(kFinished);
    if (!unanswered) ++(ok ? w.done : w.failed);
  }
  ++w.workersDone;
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

// The rows whose configuration the scan shows already, or that it did not
// hear; the rest are queued for a worker. A DHCP row whose address was
// edited goes to `edited`.
std::vector<RowRun*> Classify(std::vector<RowRun>& runs, const std::vector<ScannedDevice>& heard,
                              const std::vector<ScanTarget>& targets,
                              std::vector<PlanProblem>& edited) {
  std::vector<RowRun*> queue;
  for (RowRun& run : runs) {
    for (const ScannedDevice& d : heard) {
      if (!RowHeard(*run.row, d)) continue;
      run.heard = true;
      run.device = d;
      if (auto problem = EditedDhcpProblem(*run.row, d.record)) edited.push_back(*problem);
      break;
    }
    if (!run.heard) {
      run.action = Action::kNotFound;
      run.outcome = Outcome::kNotFound;
    } else if (IsDeviceConfigured(run.planned, run.device.record)) {
      run.action = Action::kAlreadyDone;
      run.outcome = Outcome::kAlreadyDone;
    } else {
      run.action = Action::kConfigure;
      for (std::size_t t = 0; t < targets.size(); ++t) {
        if (targets[t].interfaceName == run.device.interfaceName) run.target = t;
      }
      queue.push_back(&run);
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
    std::fprintf(stderr,
                 "velkarin: no device of the plan answered, %zu other%s did; check the plan's "
                 "serial numbers, identifiers and interfaces against `velkarin list`\n",
                 scan.devices.size(), scan.devices.size() == 1 ? "" : "s");
  }
}

// Runs the queue on up to --jobs workers while the spinner shows the count.
// False when a second interrupt asked to stop at once: the workers may
// still be running then, and the rows they hold are theirs.
bool RunWorkers(const std::vector<RowRun*>& queue, const std::vector<ScanTarget>& targets,
                const ApplyOptions& options) {
  auto shared = std::make_unique<Workers>();
  Workers& w = *shared;
  w.queue = &queue;
  w.targets = &targets;
  w.options = &options;
  const std::size_t jobs =
      std::min<std::size_t>(static_cast<std::size_t>(options.jobs), queue.size());
  std::vector<platform::ThreadHandle> threads;
  for (std::size_t j = 0; j < jobs; ++j) {
    platform::ThreadHandle thread = platform::ThreadCreate(ConfigureRows, &w, 0);
    if (thread.valid()) threads.push_back(thread);
  }
  if (threads.size() < jobs) {
    std::fprintf(stderr, "velkarin: warning: %zu of %zu worker threads could not be started\n",
                 jobs - threads.size(), jobs);
  }
  Spinner spinner;
  const int total = static_cast<int>(queue.size());
  bool toldInterrupt = false;
  while (w.workersDone.load() < static_cast<int>(threads.size())) {
    if (InterruptCount() >= 2) {
      spinner.Clear();
      static_cast<void>(shared.release());  // still in the workers' hands
      return false;
    }
    if (Interrupted() && !toldInterrupt) {
      spinner.Clear();
      std::fprintf(stderr,
                   "velkarin: interrupted: finishing the devices in flight (interrupt again to "
                   "stop at once)\n");
      toldInterrupt = true;
    }
    const int done = w.done.load();
    const int failed = w.failed.load();
    spinner.Tick((Interrupted() ? "finishing: " : "configuring: ") + std::to_string(done) +
                 " done, " + std::to_string(failed) + " failed, " +
                 std::to_string(total - done - failed) + " left");
    platform::SleepMs(50);
  }
  for (platform::ThreadHandle& thread : threads) platform::ThreadJoin(thread);
  return true;
}

// One scan for the devices whose command got no reply (configured, their
// reply was lost) and the accepted ones not yet seen configured. Gives the
// rows to send the command again.
std::vector<RowRun*> LookAtUnanswered(const std::vector<RowRun*>& sent,
                                      const std::vector<ScanTarget>& targets) {
  std::vector<ExpectedConfiguration> expected;
  std::vector<RowRun*> looked;
  bool unanswered = false;
  for (RowRun* run : sent) {
    if (run->state.load() != kFinished || !run->failure.empty() ||
        (run->result != CONFIG_OK && run->result != CONFIG_NO_REPLY)) {
      continue;
    }
    if (run->outcome == Outcome::kConfigured) continue;
    unanswered = unanswered || run->result == CONFIG_NO_REPLY;
    DeviceRecord announced = run->planned;
    announced.serial = run->device.record.serial;
    expected.push_back({run->device.interfaceName, announced});
    looked.push_back(run);
  }
  std::vector<RowRun*> again;
  if (!unanswered) return again;
  Spinner spinner;
  const std::vector<ObservedConfiguration> observed =
      AwaitConfigurations(targets, expected, 0, ScanTiming(), [&] {
        spinner.Tick("looking at the devices whose reply was lost");
        return !Interrupted();
      });
  for (std::size_t i = 0; i < looked.size(); ++i) {
    RowRun* run = looked[i];
    if (observed[i].configured) {
      run->delivery.replyLost = run->result == CONFIG_NO_REPLY;
      run->result = CONFIG_OK;
      run->outcome = Outcome::kConfigured;
    } else if (run->result == CONFIG_NO_REPLY) {
      again.push_back(run);
    }
  }
  return again;
}

// The rows the workers finished, in words; those never started stay pending.
void TakeResults(const std::vector<RowRun*>& queue) {
  for (RowRun* run : queue) {
    const int state = run->state.load();
    if (state == kRunning) run->outcome = Outcome::kUnknown;
    if (state != kFinished) continue;
    if (!run->failure.empty()) {
      run->outcome = Outcome::kFailed;
      run->detail = run->failure;
    } else if (run->result != CONFIG_OK) {
      run->outcome = Outcome::kTransaction;
    }
  }
}

// Every accepted device, verified together.
void Verify(const std::vector<RowRun*>& queue, const std::vector<ScanTarget>& targets) {
  std::vector<ExpectedConfiguration> expected;
  std::vector<RowRun*> accepted;
  for (RowRun* run : queue) {
    if (run->state.load() != kFinished || run->outcome != Outcome::kPending) continue;
    expected.push_back({run->device.interfaceName, run->planned});
    accepted.push_back(run);
  }
  if (expected.empty()) return;
  Spinner spinner;
  const std::vector<ObservedConfiguration> observed =
      AwaitConfigurations(targets, expected, kAnnounceAgainMs, ScanTiming(), [&] {
        spinner.Tick("waiting for " + std::to_string(expected.size()) +
                     " devices to announce their new configuration");
        return !Interrupted();
      });
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    RowRun& run = *accepted[i];
    const ObservedConfiguration& o = observed[i];
    if (o.configured) {
      run.outcome = Outcome::kConfigured;
    } else if (Interrupted()) {
      run.outcome = Outcome::kNotVerified;
    } else if (!o.seen) {
      run.outcome = Outcome::kNotSeenAgain;
    } else {
      run.outcome = Outcome::kNotConfigured;
      for (const std::string& d :
           DescribeDifferences(ConfigurationDifferences(run.planned, o.announced))) {
        run.detail += (run.detail.empty() ? "" : "; ") + d;
      }
    }
  }
}

// After a run with failures: how many, which, and what to do.
void SummarizeFailures(const std::vector<RowRun>& runs, const Ending& ending) {
  std::size_t failed = 0;
  for (const RowRun& run : runs) failed += Succeeded(run) ? 0 : 1;
  if (failed == 0) return;
  std::string text = "velkarin: " + std::to_string(runs.size() - failed) + " of " +
                     std::to_string(runs.size()) + " rows succeeded, " + std::to_string(failed) +
                     " failed:\n";
  for (const RowRun& run : runs) {
    if (Succeeded(run)) continue;
    text += "velkarin:   line " + std::to_string(run.row->line) + ", " +
            SerialText(run.planned.serial) + ": " + ResultWords(run, ending) +
            (run.detail.empty() ? "" : ": " + run.detail) + "\n";
  }
  text += "velkarin: fix them and run the plan again: rows already done are skipped\n";
  WriteText(stderr, text);
}

}  // namespace

int RunApply(const ApplyOptions& options) {
  std::string text;
  std::string reason;
  if (!ReadWholeFile(options.planPath, text, reason)) {
    WriteText(stderr, "velkarin: cannot read the plan " + options.planPath + ": " + reason + "\n");
    return EXIT_USAGE;
  }
  Plan plan = ReadPlan(text, options.allowPasswordColumn, options.password);
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
  std::vector<RowRun> runs(plan.rows.size());
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    runs[i].row = &plan.rows[i];
    runs[i].planned = ConfigurationRecord(plan.rows[i].entries);
  }
  Ending ending;
  ending.passwordGiven = options.password.has_value();
  // Refused before anything was sent: the report says so, stdout stays empty.
  Ending refused = ending;
  refused.notStarted = "nothing was sent";

  std::vector<ScanTarget> targets;
  if (const int status = ChooseScanTargets(options.broadcastGiven, options.interfaces,
                                           options.destination, targets)) {
    return Ended(WriteReport(runs, options, refused, false), status);
  }
  // A plan made on another computer names that computer's interfaces.
  for (PlanRow& row : plan.rows) {
    if (row.interfaceName.empty()) continue;
    bool scanned = false;
    for (const ScanTarget& t : targets) scanned = scanned || t.interfaceName == row.interfaceName;
    if (!scanned) {
      PrintWarning(options.planPath + ": line " + std::to_string(row.line) +
                   ", interface: no IPv4 interface named '" + DisplayUtf8(row.interfaceName) +
                   "' is up and scanned here; the device is looked for on every interface");
      row.interfaceName.clear();
    }
  }

  // The one discovery scan: what every row is compared with and sent to.
  InstallInterruptHandler();
  ScanResult scan;
  {
    Spinner spinner;
    scan = ScanDevices(targets, ScanTiming(), [&] {
      spinner.Tick("looking for the devices of the plan");
      return !Interrupted();
    });
  }
  if (Interrupted()) return Ended(WriteReport(runs, options, ending, true), InterruptedExit());
  if (scan.channelsOpen == 0) {
    std::fprintf(stderr, "velkarin: cannot open a socket for discovery\n");
    return Ended(WriteReport(runs, options, refused, false), EXIT_ERROR);
  }
  for (int again = 0; again < kScansForTheUnheard && !EveryRowHeard(plan.rows, scan.devices);
       ++again) {
    Spinner spinner;
    const ScanResult more = ScanDevices(targets, ScanTiming(), [&] {
      spinner.Tick("looking again for the devices of the plan not heard yet");
      return !Interrupted();
    });
    if (Interrupted()) return Ended(WriteReport(runs, options, ending, true), InterruptedExit());
    AddUnheard(more.devices, scan.devices);
  }
  WarnIfScanIncomplete(scan, targets.size(), ScanTiming().maxScanMs / 1000.0,
                       "; a device not heard is reported not found");
  const std::vector<PlanProblem> conflicts = AnnouncedAddressProblems(plan.rows, scan.devices);
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
    return Ended(WriteReport(runs, options, refused, false), EXIT_USAGE);
  }

  std::vector<PlanProblem> edited;
  const std::vector<RowRun*> queue = Classify(runs, scan.devices, targets, edited);
  if (!edited.empty()) {
    const int status = RefusePlan(options.planPath, edited);
    return Ended(WriteReport(runs, options, refused, false), status);
  }
  HintNoneFound(runs, scan, targets, options);
  const bool noneFound = !runs.empty() && std::none_of(runs.begin(), runs.end(),
                                                       [](const RowRun& r) { return r.heard; });

  if (options.dryRun || (!options.yes && !queue.empty())) {
    // With --json, standard output carries the JSON report alone.
    if (!WriteText(options.json ? stderr : stdout, PreviewTable(runs))) return EXIT_ERROR;
    if (options.dryRun) {
      Ending dry = ending;
      dry.notStarted = "dry run";
      return Ended(WriteReport(runs, options, dry, options.json),
                   noneFound ? EXIT_PLAN_UNFINISHED : EXIT_OK);
    }
    if (!Confirmed(queue.size())) {
      std::fprintf(stderr, "velkarin: nothing was sent\n");
      if (Interrupted()) {
        return Ended(WriteReport(runs, options, ending, options.json), InterruptedExit());
      }
      Ending declined = ending;
      declined.notStarted = "declined";
      return Ended(WriteReport(runs, options, declined, options.json), EXIT_OK);
    }
  }

  // A command without a reply goes out again, a few times, unless a look at
  // the device shows that only its reply was lost.
  const DeliveryLimits limits;
  for (std::vector<RowRun*> pending = queue; !pending.empty() && !Interrupted();) {
    if (!RunWorkers(pending, targets, options)) {
      // A second interrupt: the rows in flight are unknown, and the workers
      // are not waited for.
      TakeResults(queue);
      const int status = Ended(WriteReport(runs, options, ending, true), InterruptedExit());
      if (!FlushOutput()) std::fprintf(stderr, "velkarin: %s\n", OutputFailure().c_str());
      std::fflush(stderr);
      std::_Exit(status);
    }
    std::vector<RowRun*> next;
    for (RowRun* run : LookAtUnanswered(pending, targets)) {
      const bool timeLeft = std::chrono::steady_clock::now() - run->firstSent <
                            std::chrono::milliseconds(limits.deliveryMs);
      if (timeLeft && run->delivery.commands < limits.maxCommands) next.push_back(run);
    }
    pending = next;
  }
  if (!queue.empty()) {
    TakeResults(queue);
    Verify(queue, targets);
  }
  bool workerless = false;
  for (const RowRun* run : queue) workerless = workerless || run->state.load() == kWaiting;
  if (workerless && !Interrupted()) ending.notStarted = "no worker thread could be started";

  const int reportStatus = WriteReport(runs, options, ending, true);
  if (reportStatus != EXIT_OK) return reportStatus;
  if (Interrupted()) return InterruptedExit();
  SummarizeFailures(runs, ending);
  for (const RowRun& run : runs) {
    if (!Succeeded(run)) return EXIT_PLAN_UNFINISHED;
  }
  return EXIT_OK;
}

}  // namespace velkarin::cli
