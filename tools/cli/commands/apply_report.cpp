#include "cli/commands/apply_report.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands/builders.h"
#include "cli/output/device_csv.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/file_io.h"
#include "cli/output/json_writer.h"
#include "cli/output/text_encoding.h"
#include "cli/output/text_output.h"

namespace velkarin::cli {
namespace {

const std::vector<std::string>& ReportColumns() {
  static const std::vector<std::string> columns = {"line",      "serial", "name",   "device_id",
                                                   "interface", "dhcp",   "ip",     "netmask",
                                                   "gateway",   "result", "detail", "commands"};
  return columns;
}

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
  std::string notStarted;
  double verifySeconds = 15.0;
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
      return "accepted, " + NotSeenAgainWords(ending.verifySeconds);
    case Outcome::kNotConfigured:
      return "not configured as sent";
    case Outcome::kNotVerified:
      return "accepted, not verified (interrupted)";
    case Outcome::kFailed:
      return "failed in the tool";
    case Outcome::kUnknown:
      return "unknown (interrupted while being configured)";
    case Outcome::kHeldBack:
      return "held back: the plan's password was refused by other devices";
    case Outcome::kNoReplyInterrupted:
      return "no reply before the interrupt; the device may have taken the configuration";
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

// The commands sent for a row, unless a worker still runs it (after a second
// interrupt): its count is then unknown and is not read.
std::optional<int> CommandsSent(const RowRun& run) {
  if (run.outcome == Outcome::kUnknown) return std::nullopt;
  return run.delivery.commands;
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

// In the plan's separator, with a byte-order mark: the report is for people
// to open in the spreadsheet the plan came from.
CsvForm ReportForm(char separator) { return CsvForm{separator, true}; }

// set's one row comes from no plan: it has no line.
bool HasLine(const RowRun& run) { return run.row->line > 0; }

std::string ReportCsv(const std::vector<RowRun>& runs, const Ending& ending, char separator) {
  std::vector<std::vector<std::string>> rows = {{}};
  for (const RowRun& run : runs) {
    const DeviceRecord& p = run.planned;
    rows.push_back({HasLine(run) ? std::to_string(run.row->line) : "", SerialText(p.serial),
                    NameText(run), Latin1ToUtf8(p.deviceId), InterfaceText(run),
                    p.dhcp != 0 ? "yes" : "no", p.dhcp != 0 ? "" : p.ipAddress,
                    p.dhcp != 0 ? "" : p.netmask, p.dhcp != 0 ? "" : p.gateway,
                    ResultWords(run, ending), run.detail,
                    CommandsSent(run) ? std::to_string(*CommandsSent(run)) : ""});
  }
  return FormatCsvRows(rows, ReportColumns(), ReportForm(separator));
}

// What is at the --report path, and so whether a report may replace it or a
// refused run remove it: only this tool's report, by its header row, and
// never the plan (which may be a report of an earlier run).
enum class ReportFile { kAbsent, kEmpty, kOurs, kThePlan, kOther, kUnreadable };

ReportFile LookAtReportFile(const ApplyOptions& options, std::string& reason) {
  if (SameFile(options.reportPath, options.planPath)) return ReportFile::kThePlan;
  if (!PathExists(options.reportPath)) return ReportFile::kAbsent;
  const std::string mark = "\xEF\xBB\xBF";
  std::string start;
  // The header, its line end, and the mark of this or an earlier version.
  const std::size_t most = mark.size() + FormatCsvRows({{}}, ReportColumns(), {}).size();
  if (!ReadFileStart(options.reportPath, most, start, reason)) return ReportFile::kUnreadable;
  if (start.empty()) return ReportFile::kEmpty;
  if (start.compare(0, mark.size(), mark) == 0) start.erase(0, mark.size());
  for (const char separator : {',', ';'}) {
    std::string header = FormatCsvRows({{}}, ReportColumns(), ReportForm(separator));
    header = header.substr(mark.size(), header.size() - mark.size() - 2);
    // Without its "\r\n": an editor may have left "\n".
    if (start.size() > header.size() && start.compare(0, header.size(), header) == 0 &&
        (start[header.size()] == '\r' || start[header.size()] == '\n')) {
      return ReportFile::kOurs;
    }
  }
  return ReportFile::kOther;
}

// Whose report the file must be: apply's and set's are one kind.
std::string ReportOwner(const ApplyOptions& options) {
  return options.singleDevice.empty() ? "velkarin apply" : "velkarin set or apply";
}

// Why the report may not be written to its file; "" when it may.
std::string ReportFileProblem(const ApplyOptions& options) {
  std::string reason;
  const std::string& path = options.reportPath;
  switch (LookAtReportFile(options, reason)) {
    case ReportFile::kAbsent:
    case ReportFile::kEmpty:
    case ReportFile::kOurs:
      return "";
    case ReportFile::kThePlan:
      return "--report: " + path + " is the plan itself; give the report another file name";
    case ReportFile::kOther:
      return "--report: " + path + " is not a report of " + ReportOwner(options) +
             "; choose another name or remove it";
    case ReportFile::kUnreadable:
      return "--report: cannot read " + path + " to see that it is a report of " +
             ReportOwner(options) + " (" + reason + "); choose another name or remove it";
  }
  return "";
}

std::string ReportJson(const std::vector<RowRun>& runs, const Ending& ending) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const RowRun& run : runs) {
    const DeviceRecord& p = run.planned;
    nlohmann::ordered_json o;
    if (HasLine(run)) {
      o["line"] = run.row->line;
    } else {
      o["line"] = nullptr;
    }
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
    if (const auto commands = CommandsSent(run)) {
      o["commands"] = *commands;
    } else {
      o["commands"] = nullptr;
    }
    array.push_back(o);
  }
  return WriteJson(array, 2) + "\n";
}

// After a run with failures: how many, which, and what to do.
void SummarizeFailures(const std::vector<RowRun>& runs, const Ending& ending) {
  std::size_t failed = 0;
  for (const RowRun& run : runs) failed += Succeeded(run) ? 0 : 1;
  if (failed == 0) return;
  std::string text = "velkarin: " + std::to_string(runs.size() - failed) + " of " +
                     CountText(runs.size(), "row") + " succeeded, " + std::to_string(failed) +
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

bool WriteRunReport(const ApplyTable& table, const ApplyOptions& options, const RunEnd& end) {
  const Ending ending{options.password.has_value(), end.notStarted, options.verifySeconds};
  bool written = true;
  if (end.print) {
    // main says why standard output failed.
    written = WriteText(
        stdout, options.json ? ReportJson(table.rows, ending) : ReportTable(table.rows, ending));
  }
  if (!options.reportPath.empty()) {
    // Looked at again: the file may have changed since the run began.
    std::string reason = ReportFileProblem(options);
    if (!reason.empty()) {
      WriteText(stderr, "velkarin: the report is not written: " + reason + "\n");
      written = false;
    } else if (!WriteWholeFile(options.reportPath,
                               ReportCsv(table.rows, ending, table.plan.separator), reason)) {
      WriteText(stderr,
                "velkarin: cannot write the report " + options.reportPath + ": " + reason + "\n");
      written = false;
    }
  }
  return written;
}

int Report(const ApplyTable& table, const ApplyOptions& options, const RunEnd& end) {
  if (!WriteRunReport(table, options, end)) return EXIT_ERROR;
  if (!end.judged) return end.status;
  const Ending ending{options.password.has_value(), end.notStarted, options.verifySeconds};
  SummarizeFailures(table.rows, ending);
  for (const RowRun& run : table.rows) {
    if (!Succeeded(run)) return EXIT_PLAN_UNFINISHED;
  }
  return EXIT_OK;
}

int CheckReportFile(const ApplyOptions& options) {
  if (options.reportPath.empty()) return EXIT_OK;
  const std::string problem = ReportFileProblem(options);
  return problem.empty() ? EXIT_OK : ValueError(problem);
}

void RemoveStaleReport(const ApplyOptions& options) {
  std::string reason;
  if (options.reportPath.empty() || LookAtReportFile(options, reason) != ReportFile::kOurs) return;
  if (RemoveFile(options.reportPath)) {
    WriteText(stderr,
              "velkarin: removed the report " + options.reportPath + " of an earlier run: " +
                  (options.singleDevice.empty() ? "this plan was not run" : "nothing was sent") +
                  "\n");
  }
}

}  // namespace velkarin::cli
