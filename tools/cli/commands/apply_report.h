// velkarin apply's tables: the preview before anything is sent, and the one
// report of the run.
#pragma once
#include <string>
#include <vector>

#include "cli/commands/apply_table.h"
#include "cli/commands/commands.h"

namespace velkarin::cli {

// Each row's device, its current and planned configuration, and its action.
std::string PreviewTable(const std::vector<RowRun>& runs);

// The report on standard output when `end.print` (the table, or the JSON
// with --json) and in the --report file; false after saying why either
// could not be written (main says why for standard output).
bool WriteRunReport(const ApplyTable& table, const ApplyOptions& options, const RunEnd& end);

// The report of the run, written once on every way out once the plan has
// been read, so that the --report file never shows an earlier run: on
// standard output when `end.print`, and in the file. EXIT_ERROR when it
// could not be written (after its message); else, for a run judged by its
// rows, the failures summed up and EXIT_PLAN_UNFINISHED or EXIT_OK;
// otherwise end.status.
int Report(const ApplyTable& table, const ApplyOptions& options, const RunEnd& end);

// Before anything else: the --report file may be replaced only when it is
// absent, empty or a report of apply or set, and never when it is the plan.
// EXIT_USAGE (after its message) otherwise.
int CheckReportFile(const ApplyOptions& options);

// A plan that is not run leaves no report of an earlier run behind; any
// other file, and the plan, stay as they are.
void RemoveStaleReport(const ApplyOptions& options);

}  // namespace velkarin::cli
