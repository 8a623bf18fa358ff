// velkarin set: its options and their checks, all made before anything is
// sent.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/address_entry.h"
#include "cli/builders.h"
#include "cli/commands.h"
#include "cli/destination_text.h"
#include "cli/password_source.h"
#include "cli/result_words.h"
#include "cli/set_entries.h"
#include "cli/set_interface.h"

namespace velkarin::cli {

BuiltCommand AddSetCommand(CLI::App& app) {
  struct State {
    SetOptions options;
    std::string serialText;
    std::string broadcast;
    std::string password;
    std::string passwordFile;
    CLI::Option* ip = nullptr;
    CLI::Option* netmask = nullptr;
    CLI::Option* password_ = nullptr;
    CLI::Option* passwordFile_ = nullptr;
    CLI::Option* broadcast_ = nullptr;
  };
  auto state = std::make_shared<State>();
  SetOptions& options = state->options;
  CLI::App* set =
      app.add_subcommand("set", "Give the device with serial number SERIAL a new IP configuration");
  set->add_option("SERIAL", state->serialText, "the serial number as `list` shows it (hexadecimal)")
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
  state->password_ =
      set->add_option("--password", state->password,
                      "send the authenticated command (20 characters at most); without a "
                      "value, ask for it on the terminal without echo")
          ->expected(0, 1)
          ->type_name("[PASSWORD]");
  state->passwordFile_ =
      set->add_option("--password-file", state->passwordFile,
                      "read the password from the first line of FILE (- for standard input); "
                      "VELKARIN_PASSWORD is used when neither option is given")
          ->type_name("FILE")
          ->excludes(state->password_);
  set->add_option("--interface", options.interfaces, kInterfaceHelp)->type_name("NAME");
  set->add_flag("--quiet", options.quiet,
                "print no warnings (about the entries or an address another device announces)");
  state->broadcast_ =
      set->add_option("--broadcast", state->broadcast, kBroadcastHelp)->type_name("ADDRESS[:PORT]");
  set->footer(ExitCodeHelp(HelpScope::kSet));

  return {set, [state]() {
            SetOptions& setOptions = state->options;
            const auto serial = ParseSerialText(state->serialText);
            if (!serial) {
              return UsageError("invalid serial number '" + state->serialText +
                                "' (1 to 8 hexadecimal digits)");
            }
            setOptions.serial = *serial;
            if (!setOptions.dhcp && state->ip->count() == 0) {
              return UsageError("set needs --dhcp, or --ip with --netmask");
            }
            if (const auto problem =
                    CheckConfigurationEntries(setOptions, state->netmask->count() > 0)) {
              return UsageError(problem->message);
            }
            if (state->broadcast_->count() > 0) {
              const auto destination = ParseDestination(state->broadcast);
              if (!destination) return UsageError("invalid --broadcast '" + state->broadcast + "'");
              setOptions.destination = *destination;
              setOptions.broadcastGiven = true;
            }
            PasswordSources sources;
            sources.option = state->password_->count() > 0;
            sources.optionValue = state->password;
            if (state->passwordFile_->count() > 0) sources.file = state->passwordFile;
            sources.environment = std::getenv("VELKARIN_PASSWORD");
            const PasswordOutcome secret = ResolvePassword(sources);
            if (!secret.error.empty()) return UsageError(secret.error);
            if (!secret.warning.empty())
              std::fprintf(stderr, "velkarin: warning: %s\n", secret.warning.c_str());
            if (secret.password) {
              std::string problem;
              const auto wirePassword = WireText("--password", *secret.password, problem);
              if (!wirePassword) return UsageError(problem);
              setOptions.password = *wirePassword;
            }
            if (const auto problem = BadArgumentProblem(setOptions)) return UsageError(*problem);
            const std::string interfaceProblem = ChooseSetInterface(setOptions);
            if (!interfaceProblem.empty()) return UsageError(interfaceProblem);
            return RunSet(setOptions);
          }};
}

}  // namespace velkarin::cli
