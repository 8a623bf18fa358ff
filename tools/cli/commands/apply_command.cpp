// velkarin apply: one scan, then every row of a plan that needs it configured
// and verified, several devices at once. The run is a row of steps over one
// table (apply_steps, apply_jobs); whichever ends it, the report is written
// once (apply_report).
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "cli/commands/apply_jobs.h"
#include "cli/commands/apply_report.h"
#include "cli/commands/apply_steps.h"
#include "cli/commands/commands.h"
#include "cli/output/display_text.h"
#include "cli/output/text_output.h"
#include "cli/terminal/terminal.h"

namespace velkarin::cli {
namespace {

RunEnd RunSteps(ApplyTable& table, const ApplyOptions& options) {
  if (auto end = ChooseTargets(table, options)) return *end;
  if (auto end = ScanForPlan(table, options)) return *end;
  if (auto end = DecideActions(table, options)) return *end;
  if (auto end = Confirm(table, options)) return *end;
  if (auto end = ConfigureQueue(table, options)) return *end;
  return Verify(table.queue, table.targets, options);
}

}  // namespace

int RunApply(ApplyOptions options, const PasswordReader& readPassword) {
  ApplyTable table;
  if (const int status = ReadPlanStep(options, table)) return status;
  std::string problem;
  if (!readPassword(options.password, problem)) {
    WriteText(stderr, "velkarin: " + DisplayUtf8(problem) + "\n");
    return EXIT_USAGE;
  }
  if (const int status = CheckPlanPassword(options, table)) return status;
  const RunEnd end = RunSteps(table, options);
  const int status = Report(table, options, end);
  if (end.atOnce) {
    // The workers still hold their rows: the tool ends without waiting for them.
    if (!FlushOutput()) std::fprintf(stderr, "velkarin: %s\n", OutputFailure().c_str());
    std::fflush(stderr);
    std::_Exit(status);
  }
  return status;
}

}  // namespace velkarin::cli
