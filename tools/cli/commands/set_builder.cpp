// velkarin set: its options and their checks, all made before anything is
// sent.
#include <memory>

#include "cli/commands/apply_report.h"
#include "cli/commands/builders.h"
#include "cli/commands/commands.h"
#include "cli/commands/set_entries.h"
#include "cli/output/result_words.h"
#include "cli/plan/address_entry.h"
#include "cli/terminal/terminal.h"

namespace velkarin::cli {

BuiltCommand AddSetCommand(CLI::App& app) {
  struct State {
    SetOptions options;
    std::string serialText;
    BroadcastOption broadcast;
    PasswordOptions password;
    CLI::Option* serial = nullptr;
    CLI::Option* ip = nullptr;
    CLI::Option* netmask = nullptr;
  };
  auto state = std::make_shared<State>();
  SetOptions& options = state->options;
  CLI::App* set =
      app.add_subcommand("set", "Give the device with serial number SERIAL a new IP configuration");
  state->serial = set->add_option("SERIAL", state->serialText,
                                  "the serial number as `list` shows it (hexadecimal)")
                      ->required();
  CLI::Option* dhcp = set->add_flag("--dhcp", options.dhcp, "let the device use DHCP");
  state->ip = set->add_option("--ip", options.ipAddress,
                              "fixed IP address; ADDRESS/PREFIX (10.0.0.5/24) gives the "
                              "netmask too")
                  ->type_name("ADDRESS[/PREFIX]");
  state->netmask =
      set->add_option("--netmask", options.netmask, "netmask (with --ip)")->type_name("MASK");
  CLI::Option* gateway =
      set->add_option("--gateway", options.gateway, "gateway (with --ip; may be empty or 0.0.0.0)")
          ->type_name("GATEWAY");
  dhcp->excludes(state->ip)->excludes(state->netmask)->excludes(gateway);
  state->netmask->needs(state->ip);
  gateway->needs(state->ip);
  set->add_option("--device-id", options.deviceId,
                  "the identifier the device announces: tells apart devices that share a "
                  "serial number, and makes sure the device is the one meant (it must "
                  "announce both SERIAL and ID, or nothing is sent)")
      ->type_name("ID");
  AddPasswordOptions(*set, state->password,
                     "send the authenticated command (20 characters at most); without a "
                     "value, ask for it on the terminal without echo");
  set->add_option("--interface", options.interfaces,
                  "send by the interface NAME (by default by the one on which the device is "
                  "heard)")
      ->type_name("NAME")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  set->add_flag(
      "--quiet", options.quiet,
      "print no warnings (about the entries, or an address sent with --allow-duplicates)");
  set->add_flag("--allow-duplicates", options.allowDuplicates,
                "send an address that another device announces (an address conflict)");
  set->add_flag("--json", options.json,
                "print the result as apply's JSON report of one row instead of lines");
  set->add_option("--report", options.reportPath,
                  "write the result to FILE as apply's CSV report, of one row")
      ->type_name("FILE");
  AddScanSecondsOption(*set, options.scanSeconds);
  AddVerifySecondsOption(*set, options.verifySeconds);
  AddBroadcastOption(*set, state->broadcast);
  set->footer(ExitCodeHelp(HelpScope::kSet));

  // "set --password 0042F0 --dhcp": the serial went to --password.
  const auto explain = [state]() -> std::string {
    const std::string& taken = state->password.value;
    if (state->serial->count() > 0 || state->password.valueOption->count() == 0 ||
        !ParseSerialText(taken)) {
      return "";
    }
    // The value is shown nowhere: it may be a password after all.
    return "set needs SERIAL, but --password took what looks like a serial number as the "
           "password; to be asked for the password, give SERIAL first (velkarin set SERIAL "
           "--password ...)";
  };
  return {set,
          [state]() {
            SetOptions& setOptions = state->options;
            const auto serial = ParseSerialText(state->serialText);
            if (!serial) {
              return ValueError("invalid serial number '" + state->serialText +
                                "' (1 to 8 hexadecimal digits)");
            }
            setOptions.serial = *serial;
            if (!setOptions.dhcp && state->ip->count() == 0) {
              return UsageError("set needs --dhcp, or --ip with --netmask");
            }
            if (setOptions.interfaces.size() > 1) {
              return UsageError("set sends by one --interface only");
            }
            if (const int status = CheckReportFile(SetAsApply(setOptions))) return status;
            // Entries that are refused leave no report of an earlier run, as
            // a plan with problems does not.
            const auto refuse = [&setOptions](const std::string& message) {
              const int status = ValueError(message);
              RemoveStaleReport(SetAsApply(setOptions));
              return status;
            };
            if (const auto problem =
                    CheckConfigurationEntries(setOptions, state->netmask->count() > 0)) {
              return refuse(problem->message);
            }
            std::string problem;
            if (!ReadBroadcastOption(state->broadcast, setOptions.destination,
                                     setOptions.broadcastGiven, setOptions.broadcasts, problem) ||
                !ReadPasswordOptions(state->password, setOptions.password, problem)) {
              return ValueError(problem);
            }
            if (const auto bad = BadArgumentProblem(setOptions)) return refuse(bad->message);
            // From here on Ctrl-C and SIGTERM are reported with how far the run came.
            InstallInterruptHandler();
            return RunSet(setOptions);
          },
          explain};
}

}  // namespace velkarin::cli
