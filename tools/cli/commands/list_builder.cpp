// velkarin list: its options and their checks.
#include <memory>

#include "cli/commands/builders.h"
#include "cli/commands/commands.h"
#include "cli/output/result_words.h"

namespace velkarin::cli {

BuiltCommand AddListCommand(CLI::App& app) {
  struct State {
    ListOptions options;
    BroadcastOption broadcast;
    std::string separator;
  };
  auto state = std::make_shared<State>();
  ListOptions& options = state->options;
  CLI::App* list = app.add_subcommand(
      "list",
      "List the devices that answer discovery (by every interface that can broadcast; the list "
      "is complete once no new device has answered for 0.6 s)");
  CLI::Option* json = list->add_flag("--json", options.json,
                                     "print a JSON array of device records instead of a table "
                                     "(ASCII: other characters as \\u escapes)");
  CLI::Option* csv =
      list->add_flag("--csv", options.csv,
                     "print the table as CSV in UTF-8 with a header row of field names (on "
                     "Windows with a byte-order mark, so that spreadsheets show the letters "
                     "right); a cell a spreadsheet would run as a formula gets a leading '")
          ->excludes(json);
  list->add_option("--separator", state->separator,
                   "the CSV's separator, ',' or ';' (a German Excel opens ';'; default: "
#ifdef _WIN32
                   "the user's list separator when it is ';', else ','"
#else
                   "','"
#endif
                   ")")
      ->check(CLI::IsMember({",", ";"}))
      ->needs(csv)
      ->type_name("CHAR");
  CLI::Option* output = list->add_option(
      "--output", options.outputPath,
      "write the --csv or --json listing to this file instead of standard output (UTF-8, the "
      "CSV with a byte-order mark; written by the tool itself, so no shell re-encodes it)");
  output->type_name("FILE");
  CLI::Option* watch =
      list->add_flag("--watch", options.watch,
                     "keep scanning until Ctrl-C: the list, then a line per device that "
                     "appeared, changed its configuration or left (missed by 3 scans in a "
                     "row); with --json, the list as one array on a line, then one object per "
                     "event")
          ->excludes(csv);
  AddBroadcastOption(*list, state->broadcast);
  list->add_option("--interface", options.interfaces, kInterfaceHelp)->type_name("NAME");
  list->add_flag("--cycle", options.cycle,
                 "list what one cycle of the discovery engine finds, as the property page does "
                 "(at most 202 devices; on every interface that can broadcast, or the one "
                 "--interface)")
      ->excludes(watch);
  AddScanSecondsOption(*list, options.scanSeconds);
  list->footer(ExitCodeHelp(HelpScope::kList));
  output->excludes(watch);

  return {list, [state]() {
            if (!state->options.outputPath.empty() && !state->options.csv && !state->options.json) {
              return UsageError("--output writes the --csv or the --json listing; add one of them");
            }
            state->options.separator =
                state->separator.empty() ? DefaultCsvSeparator() : state->separator[0];
            std::string problem;
            if (!ReadBroadcastOption(state->broadcast, state->options.destination,
                                     state->options.broadcastGiven, state->options.broadcasts,
                                     problem)) {
              return ValueError(problem);
            }
            return RunList(state->options);
          }};
}

}  // namespace velkarin::cli
