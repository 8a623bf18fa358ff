// The options that several commands take, added and read in one way.
#include <cstdio>
#include <cstdlib>

#include "cli/commands/builders.h"
#include "cli/commands/destination_text.h"
#include "cli/commands/set_entries.h"
#include "cli/output/warnings.h"
#include "cli/plan/address_entry.h"
#include "cli/terminal/password_source.h"

namespace velkarin::cli {

void AddBroadcastOption(CLI::App& command, BroadcastOption& broadcast) {
  broadcast.option = command.add_option("--broadcast", broadcast.texts, kBroadcastHelp)
                         ->type_name("ADDRESS[:PORT]")
                         ->expected(1)
                         ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

bool ReadBroadcastOption(const BroadcastOption& broadcast, Destination& destination, bool& given,
                         std::vector<Destination>& all, std::string& problem) {
  for (const std::string& text : broadcast.texts) {
    const auto parsed = ParseDestination(text);
    if (!parsed) {
      problem = "invalid --broadcast '" + text + "'";
      return false;
    }
    all.push_back(*parsed);
  }
  if (all.empty()) return true;
  destination = all.front();
  given = true;
  return true;
}

void AddScanSecondsOption(CLI::App& command, double& seconds) {
  command
      .add_option("--scan-seconds", seconds,
                  "listen this many seconds for answers, for devices that answer late (by "
                  "default until no new device has answered for 0.6 s, at least 1 s, at most 3 s)")
      ->type_name("S")
      ->check(CLI::Range(0.1, 3600.0));
}

void AddVerifySecondsOption(CLI::App& command, double& seconds) {
  command
      .add_option("--verify-seconds", seconds,
                  "wait up to S seconds for a device that accepted to announce its new "
                  "configuration: longer for devices that restart to take it (15)")
      ->type_name("S")
      ->check(CLI::Range(1.0, 3600.0));
}

void AddPasswordOptions(CLI::App& command, PasswordOptions& password, const char* valueHelp) {
  password.valueOption = command.add_option("--password", password.value, valueHelp)
                             ->expected(0, 1)
                             ->type_name("[PASSWORD]");
  password.fileOption =
      command
          .add_option("--password-file", password.file,
                      "read the password from the first line of FILE (- for standard input); "
                      "VELKARIN_PASSWORD is used when neither option is given")
          ->type_name("FILE")
          ->excludes(password.valueOption);
}

bool ReadPasswordOptions(const PasswordOptions& password, std::optional<std::string>& wire,
                         std::string& problem) {
  PasswordSources sources;
  sources.option = password.valueOption->count() > 0;
  sources.optionValue = password.value;
  if (password.fileOption->count() > 0) sources.file = password.file;
  const std::optional<std::string> environment = EnvironmentText("VELKARIN_PASSWORD");
  sources.environment = environment ? environment->c_str() : nullptr;
  const PasswordOutcome secret = ResolvePassword(sources);
  if (!secret.error.empty()) {
    problem = secret.error;
    return false;
  }
  if (!secret.warning.empty()) PrintWarning(secret.warning);
  wire = secret.password;
  return true;
}

}  // namespace velkarin::cli
