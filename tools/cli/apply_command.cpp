// velkarin apply: one scan, then every row of a plan that needs it configured
// and verified, several devices at once.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/address_entry.h"
#include "cli/commands.h"
#include "cli/device_csv.h"
#include "cli/device_table.h"
#include "cli/display_text.h"
#include "cli/json_writer.h"
#include "cli/plan.h"
#include "cli/result_words.h"
#include "cli/scan_listing.h"
#include "cli/set_entries.h"
#include "cli/terminal.h"
#include "cli/text_encoding.h"
#include "cli/text_output.h"
#include "cli/warnings.h"
#include "config/config_transaction.h"
#include "config/configuration_wait.h"
#include "engine/device_finder.h"

namespace velkarin::cli {
namespace {

constexpr std::uint32_t kAnnounceAgainMs = 15000;

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
};

struct RowRun {
  const PlanRow* row = nullptr;
  DeviceRecord planned;  // what the device is sent
  Action action = Action::kNotFound;
  bool heard = false;
  ScannedDevice device;    // as the scan heard it, when heard
  std::size_t target = 0;  // the scan target it was heard by
  bool started = false;    // a worker took it
  Outcome outcome = Outcome::kPending;
  ConfigResult result = CONFIG_OK;
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

std::string ResultWords(const RowRun& run, bool passwordGiven) {
  switch (run.outcome) {
    case Outcome::kPending:
      return "not started (interrupted)";
    case Outcome::kConfigured:
      return "configured";
    case Outcome::kAlreadyDone:
      return "already done";
    case Outcome::kNotFound:
      return "not found";
    case Outcome::kTransaction:
      return ConfigOutcomeWords(run.result, passwordGiven || run.row->entries.password);
    case Outcome::kNotSeenAgain:
      return "accepted, not seen again within " + std::to_string(kAnnounceAgainMs / 1000) + " s";
    case Outcome::kNotConfigured:
      return "not configured as sent";
    case Outcome::kNotVerified:
      return "accepted, not verified (interrupted)";
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

std::string PreviewTable(const std::vector<RowRun>& runs) {
  std::vector<std::vector<std::string>> rows = {
      {"Line", "Serial", "Interface", "Current", "Planned", "Action"}};
  for (const RowRun& run : runs) {
    rows.push_back({std::to_string(run.row->line), SerialText(run.planned.serial),
                    InterfaceText(run), run.heard ? ConfigurationText(run.device.record) : "-",
                    ConfigurationText(run.planned), ActionWords(run.action)});
  }
  return FormatTableRows(rows);
}

std::string ReportTable(const std::vector<RowRun>& runs, bool passwordGiven) {
  std::vector<std::vector<std::string>> rows = {
      {"Line", "Serial", "Interface", "Planned", "Result"}};
  for (const RowRun& run : runs) {
    std::string result = ResultWords(run, passwordGiven);
    if (!run.detail.empty()) result += ": " + run.detail;
    rows.push_back({std::to_string(run.row->line), SerialText(run.planned.serial),
                    InterfaceText(run), ConfigurationText(run.planned), result});
  }
  return FormatTableRows(rows);
}

std::string ReportCsv(const std::vector<RowRun>& runs, bool passwordGiven) {
  std::vector<std::vector<std::string>> rows = {{}};
  for (const RowRun& run : runs) {
    const DeviceRecord& p = run.planned;
    rows.push_back({std::to_string(run.row->line), SerialText(p.serial), Latin1ToUtf8(p.deviceId),
                    InterfaceText(run), p.dhcp != 0 ? "yes" : "no", p.dhcp != 0 ? "" : p.ipAddress,
                    p.dhcp != 0 ? "" : p.netmask, p.dhcp != 0 ? "" : p.gateway,
                    ResultWords(run, passwordGiven), run.detail});
  }
  return FormatCsvRows(rows,
                       {"line", "serial", "device_id", "interface", "dhcp", "ip", "netmask",
                        "gateway", "result", "detail"},
                       false);
}

std::string ReportJson(const std::vector<RowRun>& runs, bool passwordGiven) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const RowRun& run : runs) {
    const DeviceRecord& p = run.planned;
    nlohmann::ordered_json o;
    o["line"] = run.row->line;
    o["serialText"] = SerialText(p.serial);
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
    o["result"] = ResultWords(run, passwordGiven);
    o["succeeded"] = Succeeded(run);
    o["detail"] = run.detail;
    array.push_back(o);
  }
  return WriteJson(array, 2) + "\n";
}

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return !in.bad();
}

// Asked on a terminal before anything is sent. Ctrl-C at the question ends
// the tool at once: there is nothing to finish yet.
bool Confirmed(std::size_t count) {
  std::signal(SIGINT, SIG_DFL);
  std::fprintf(stderr, "velkarin: configure %zu device%s? [y/N] ", count, count == 1 ? "" : "s");
  std::fflush(stderr);
  std::string answer;
  const bool read = static_cast<bool>(std::getline(std::cin, answer));
  InstallInterruptHandler();
  return read && (answer == "y" || answer == "Y" || answer == "yes");
}

struct Counters {
  std::atomic<std::size_t> next{0};
  std::atomic<int> done{0};
  std::atomic<int> failed{0};
  std::atomic<int> workersDone{0};
};

// One worker: takes the next row to configure until none is left or an
// interrupt came. Each transaction gets an engine of its own, so the
// configuration challenge is never shared between threads.
void ConfigureRows(const std::vector<RowRun*>& queue, const std::vector<ScanTarget>& targets,
                   const ApplyOptions& options, Counters& counters) {
  for (;;) {
    if (Interrupted()) return;
    const std::size_t index = counters.next.fetch_add(1);
    if (index >= queue.size()) return;
    RowRun& run = *queue[index];
    run.started = true;
    const std::optional<std::string>& password =
        run.row->entries.password ? run.row->entries.password : options.password;
    DeviceFinder finder(targets[run.target].destination);
    run.result = ConfigureFoundDevice(finder, run.planned, password ? password->c_str() : nullptr,
                                      run.device.record);
    run.outcome = run.result == CONFIG_OK ? Outcome::kPending : Outcome::kTransaction;
    ++(run.result == CONFIG_OK ? counters.done : counters.failed);
  }
}

}  // namespace

int RunApply(const ApplyOptions& options) {
  std::string text;
  if (!ReadFile(options.planPath, text)) {
    WriteText(stderr, "velkarin: cannot read the plan " + options.planPath + "\n");
    return EXIT_USAGE;
  }
  const Plan plan = ReadPlan(text, options.allowPasswordColumn);
  if (!plan.problems.empty()) {
    for (const PlanProblem& problem : plan.problems) {
      WriteText(stderr, "velkarin: " + options.planPath + ": " +
                            DisplayUtf8(PlanProblemText(problem)) + "\n");
    }
    std::fprintf(stderr, "velkarin: nothing was sent\n");
    return EXIT_USAGE;
  }
  if (!options.quiet) {
    for (const PlanRow& row : plan.rows) {
      for (const std::string& warning :
           PlausibilityWarningTexts(ConfigurationRecord(row.entries))) {
        PrintWarning("line " + std::to_string(row.line) + ": " + warning);
      }
    }
  }

  std::vector<ScanTarget> targets;
  if (const int status = ChooseScanTargets(options.broadcastGiven, options.interfaces,
                                           options.destination, targets)) {
    return status;
  }
  for (const PlanRow& row : plan.rows) {
    if (row.interfaceName.empty()) continue;
    bool scanned = false;
    for (const ScanTarget& t : targets) scanned = scanned || t.interfaceName == row.interfaceName;
    if (!scanned) {
      WriteText(stderr, "velkarin: " + options.planPath + ": line " + std::to_string(row.line) +
                            ", interface: no IPv4 interface named '" + row.interfaceName +
                            "' is up and scanned\nvelkarin: nothing was sent\n");
      return EXIT_USAGE;
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
  if (Interrupted()) return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
  if (scan.channelsOpen == 0) {
    std::fprintf(stderr, "velkarin: cannot open a socket for discovery\n");
    return EXIT_ERROR;
  }
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
    return EXIT_USAGE;
  }

  std::vector<RowRun> runs(plan.rows.size());
  std::vector<RowRun*> queue;
  for (std::size_t i = 0; i < plan.rows.size(); ++i) {
    RowRun& run = runs[i];
    run.row = &plan.rows[i];
    run.planned = ConfigurationRecord(run.row->entries);
    for (const ScannedDevice& d : scan.devices) {
      if (!RowNamesDevice(*run.row, d.record)) continue;
      if (!run.row->interfaceName.empty() && d.interfaceName != run.row->interfaceName) continue;
      run.heard = true;
      run.device = d;
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

  if (options.dryRun || (!options.yes && !queue.empty())) {
    if (!WriteText(stdout, PreviewTable(runs))) return EXIT_ERROR;
    if (options.dryRun) return EXIT_OK;
    if (!Confirmed(queue.size())) {
      std::fprintf(stderr, "velkarin: nothing was sent\n");
      return EXIT_PLAN_UNFINISHED;
    }
  }

  Counters counters;
  {
    const std::size_t jobs =
        std::min<std::size_t>(static_cast<std::size_t>(options.jobs), queue.size());
    std::vector<std::thread> workers;
    for (std::size_t j = 0; j < jobs; ++j) {
      workers.emplace_back([&] {
        ConfigureRows(queue, targets, options, counters);
        ++counters.workersDone;
      });
    }
    Spinner spinner;
    const int total = static_cast<int>(queue.size());
    while (counters.workersDone.load() < static_cast<int>(jobs)) {
      const int done = counters.done.load();
      const int failed = counters.failed.load();
      spinner.Tick((Interrupted() ? "interrupted, finishing: " : "configuring: ") +
                   std::to_string(done) + " done, " + std::to_string(failed) + " failed, " +
                   std::to_string(total - done - failed) + " left");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (std::thread& w : workers) w.join();
  }

  // Every accepted device, verified together.
  std::vector<ExpectedConfiguration> expected;
  std::vector<RowRun*> accepted;
  for (RowRun* run : queue) {
    if (!run->started || run->result != CONFIG_OK) continue;
    expected.push_back({run->device.interfaceName, run->planned});
    accepted.push_back(run);
  }
  if (!expected.empty()) {
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

  const bool passwordGiven = options.password.has_value();
  bool written = WriteText(
      stdout, options.json ? ReportJson(runs, passwordGiven) : ReportTable(runs, passwordGiven));
  int status = EXIT_OK;
  if (!options.reportPath.empty()) {
    std::ofstream report(options.reportPath, std::ios::binary | std::ios::trunc);
    report << ReportCsv(runs, passwordGiven);
    report.close();
    if (!report) {
      WriteText(stderr, "velkarin: cannot write the report " + options.reportPath + "\n");
      status = EXIT_ERROR;
    }
  }
  if (!written) return EXIT_ERROR;  // main says why
  if (status != EXIT_OK) return status;
  if (Interrupted()) return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
  for (const RowRun& run : runs) {
    if (!Succeeded(run)) return EXIT_PLAN_UNFINISHED;
  }
  return EXIT_OK;
}

}  // namespace velkarin::cli
