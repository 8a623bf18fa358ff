// velkarin apply: its options and their checks.
#include <memory>

#include "cli/commands/apply_report.h"
#include "cli/commands/builders.h"
#include "cli/commands/commands.h"
#include "cli/commands/set_entries.h"
#include "cli/output/result_words.h"
#include "cli/terminal/terminal.h"

namespace velkarin::cli {

BuiltCommand AddApplyCommand(CLI::App& app) {
  struct State {
    ApplyOptions options;
    BroadcastOption broadcast;
    PasswordOptions password;
  };
  auto state = std::make_shared<State>();
  ApplyOptions& options = state->options;
  CLI::App* apply = app.add_subcommand(
      "apply",
      "Give every device of the plan PLAN (CSV: serial, device_id, dhcp or ip/netmask/gateway, "
      "interface) its configuration; rows already done are skipped, so running it again "
      "resumes it");
  apply->add_option("PLAN", options.planPath, "the plan, a CSV file with a header row")->required();
  CLI::Option* dryRun = apply->add_flag(
      "--dry-run", options.dryRun,
      "print each row's current and planned configuration and what would happen; send nothing");
  apply
      ->add_flag("--yes", options.yes,
                 "configure without asking (needed when there is no terminal to ask on)")
      ->excludes(dryRun);
  apply->add_option("--jobs", options.jobs, "configure at most N devices at once (16)")
      ->type_name("N")
      ->check(CLI::Range(1, 64));
  apply->add_flag("--json", options.json, "print the report as a JSON array instead of a table");
  apply
      ->add_option("--report", options.reportPath,
                   "write the report to FILE as CSV as well, one row per plan row")
      ->type_name("FILE");
  apply->add_flag("--allow-duplicates", options.allowDuplicates,
                  "send a planned address that a device outside the plan announces");
  apply->add_flag("--allow-password-column", options.allowPasswordColumn,
                  "read a password column of the plan (the row's password for its device)");
  AddPasswordOptions(*apply, state->password,
                     "one password for the plan (20 characters at most); without a value, "
                     "ask for it on the terminal without echo");
  AddScanSecondsOption(*apply, options.scanSeconds);
  AddVerifySecondsOption(*apply, options.verifySeconds);
  apply->add_option("--interface", options.interfaces, kInterfaceHelp)->type_name("NAME");
  apply->add_flag("--quiet", options.quiet, "print no warnings about the plan's entries");
  AddBroadcastOption(*apply, state->broadcast);
  apply->footer(
      "The plan is CSV with a header row naming its columns: serial (required), device_id, "
      "dhcp (yes or no, in any case; empty: no), ip (ADDRESS or ADDRESS/PREFIX), netmask, "
      "gateway, interface, and password with --allow-password-column. What `velkarin list "
      "--csv` prints is a plan: edit its addresses and apply it (its other columns are "
      "ignored). Lines that start with # are comments.\n\n" +
      ExitCodeHelp(HelpScope::kApply));

  return {
      apply, [state]() {
        ApplyOptions& applyOptions = state->options;
        std::string problem;
        if (!ReadBroadcastOption(state->broadcast, applyOptions.destination,
                                 applyOptions.broadcastGiven, applyOptions.broadcasts, problem)) {
          return ValueError(problem);
        }
        // Asked before the scan, so that nothing goes out unless it can go on.
        if (!applyOptions.dryRun && !applyOptions.yes && !AnswerTerminalAvailable()) {
          return UsageError(
              "apply asks before it sends; give --yes when there is no terminal to ask on "
              "(or --dry-run to see what it would do)");
        }
        if (const int status = CheckReportFile(applyOptions)) return status;
        return RunApply(applyOptions, [state](std::optional<std::string>& password,
                                              std::string& passwordProblem) {
          return ReadPasswordOptions(state->password, password, passwordProblem);
        });
      }};
}

}  // namespace velkarin::cli
