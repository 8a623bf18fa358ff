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
  list->add_flag("--csv", options.csv,
                 "print the table as CSV in UTF-8 with a header row of field names (on "
                 "Windows with a byte-order mark, so that spreadsheets show the letters right)")
      ->excludes(json);
  list->add_flag("--watch", options.watch,
                 "keep running and print the list again whenever it changes, until Ctrl-C "
                 "(with --json, one array per line; with --csv, a blank line between lists); a "
                 "watch follows the discovery engine's cycles by the system's choice of "
                 "interface, as --cycle does, so its lists have no interface column");
  AddBroadcastOption(*list, state->broadcast);
  list->add_option("--interface", options.interfaces, kInterfaceHelp)->type_name("NAME");
  list->add_flag("--cycle", options.cycle,
                 "list what one cycle of the discovery engine finds, as the property page does "
                 "(at most 202 devices, by the system's choice of interface)");
  list->add_option("--scan-seconds", options.scanSeconds,
                   "end the scan after this many seconds even if answers keep coming (3)")
      ->check(CLI::Range(0.1, 3600.0));
  list->footer(ExitCodeHelp(HelpScope::kList));

  return {list, [state]() {
            std::string problem;
            if (!ReadBroadcastOption(state->broadcast, state->options.destination,
                                     state->options.broadcastGiven, problem)) {
              return ValueError(problem);
            }
            return RunList(state->options);
          }};
}

}  // namespace velkarin::cli
