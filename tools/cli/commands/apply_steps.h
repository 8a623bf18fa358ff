// velkarin apply's steps up to the first command: each fills in the table,
// and a step that ends the run says how. The configuration and its
// verification are in apply_jobs.
#pragma once
#include <optional>
#include <vector>

#include "cli/commands/apply_table.h"
#include "cli/commands/commands.h"

namespace velkarin::cli {

// The end of a run that an interrupt stopped: EXIT_INTERRUPTED, or
// EXIT_TERMINATED after SIGTERM; the report on standard output when `print`.
RunEnd InterruptedEnd(bool print);

// Reads and checks the plan (its messages and warnings on standard error):
// EXIT_OK, with the table's rows made; otherwise the exit code, and nothing
// was sent.
int ReadPlanStep(const ApplyOptions& options, ApplyTable& table);

// The rows that the plan's password (asked for once the plan passed its
// checks) would make too long: EXIT_OK, or refused as a plan's problems are.
int CheckPlanPassword(const ApplyOptions& options, const ApplyTable& table);

// Where the scans go; a row naming an interface that is not scanned here is
// looked for on every interface.
std::optional<RunEnd> ChooseTargets(ApplyTable& table, const ApplyOptions& options);

// The one discovery scan that every row is compared with and sent to, asked
// again for the planned devices it did not hear.
std::optional<RunEnd> ScanForPlan(ApplyTable& table, const ApplyOptions& options);

// Each row's action: already done, not found, or queued to be configured;
// refused when a planned address is announced by another device (unless
// allowed) or a DHCP row's addresses were edited.
std::optional<RunEnd> DecideActions(ApplyTable& table, const ApplyOptions& options);

// A row heard by the scan, to be configured through an exchange toward the
// interface its device was heard on.
void QueueToConfigure(RowRun& run, const std::vector<ScanTarget>& targets,
                      std::vector<RowRun*>& queue);

// The preview, and the question unless --yes; the end of a dry run.
std::optional<RunEnd> Confirm(const ApplyTable& table, const ApplyOptions& options);

}  // namespace velkarin::cli
