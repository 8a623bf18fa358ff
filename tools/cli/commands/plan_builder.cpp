// velkarin plan: its options and their checks.
#include <memory>

#include "cli/commands/builders.h"
#include "cli/commands/commands.h"
#include "cli/output/result_words.h"
#include "cli/plan/address_entry.h"

namespace velkarin::cli {

BuiltCommand AddPlanCommand(CLI::App& app) {
  struct State {
    PlanOptions options;
    BroadcastOption broadcast;
    std::vector<std::string> serials;
  };
  auto state = std::make_shared<State>();
  PlanOptions& options = state->options;
  CLI::App* plan = app.add_subcommand(
      "plan",
      "Write a plan for apply (CSV) that gives the devices heard consecutive fixed addresses, "
      "in serial order, skipping every address announced now");
  plan->add_option("--from", options.from,
                   "the first address to give and the subnet's prefix length (192.168.0.20/24); "
                   "the addresses of the subnet from there on are handed out, but for the "
                   "network's and the broadcast address, the gateway and any address a device "
                   "announces on the same network now; each interface's devices get their own "
                   "run, as cells built alike do")
      ->type_name("ADDRESS/PREFIX")
      ->required();
  plan->add_option("--gateway", options.gateway, "the gateway of every row (default: none)")
      ->type_name("ADDRESS");
  plan->add_flag("--without-address", options.withoutAddress,
                 "only the devices that announce no usable address (0.0.0.0 or 1.1.1.1)");
  plan->add_flag("--conflicts", options.conflicts,
                 "only the devices whose address another device announces on the same network");
  plan->add_option("--serial", state->serials,
                   "only the device with this serial (repeatable; with the two options before, "
                   "a device any of them names)")
      ->type_name("SERIAL");
  plan->add_option("--output", options.outputPath,
                   "write the plan to FILE instead of standard output")
      ->type_name("FILE");
  AddBroadcastOption(*plan, state->broadcast);
  plan->add_option("--interface", options.interfaces, kInterfaceHelp)->type_name("NAME");
  AddScanSecondsOption(*plan, options.scanSeconds);
  plan->footer(ExitCodeHelp(HelpScope::kList));

  return {plan, [state]() {
            std::string problem;
            if (!ReadBroadcastOption(state->broadcast, state->options.destination,
                                     state->options.broadcastGiven, state->options.broadcasts,
                                     problem)) {
              return ValueError(problem);
            }
            for (const std::string& text : state->serials) {
              const std::optional<std::uint32_t> serial = ParseSerialText(text);
              if (!serial) {
                return ValueError("invalid --serial '" + text +
                                  "' (1 to 8 hexadecimal digits, as list shows it)");
              }
              state->options.serials.push_back(*serial);
            }
            return RunPlan(state->options);
          }};
}

}  // namespace velkarin::cli
