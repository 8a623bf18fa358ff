// The tool's subcommands: each builder adds one to the option parser with
// its options and checks, and gives back what runs it once it was parsed.
#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>

#include "protocol/udp_channel.h"

namespace velkarin::cli {

// Runs a parsed subcommand to its exit code.
using CommandRunner = std::function<int()>;

struct BuiltCommand {
  CLI::App* command = nullptr;
  CommandRunner run;
  // A clearer message for the parser's error, when the command has one ("").
  std::function<std::string()> explain = nullptr;
};

BuiltCommand AddListCommand(CLI::App& app);
BuiltCommand AddSetCommand(CLI::App& app);
BuiltCommand AddApplyCommand(CLI::App& app);
BuiltCommand AddPlanCommand(CLI::App& app);

// "velkarin: MESSAGE" and the hint to --help on standard error; EXIT_USAGE.
// For a command line of the wrong shape (an unknown option, one missing).
int UsageError(const std::string& message);
// "velkarin: MESSAGE" alone; EXIT_USAGE. For a value the message explains.
int ValueError(const std::string& message);

// Help shared by the commands that send.
extern const char* const kBroadcastHelp;
extern const char* const kInterfaceHelp;

// --broadcast ADDRESS[:PORT], as every command takes it, repeatable.
struct BroadcastOption {
  std::vector<std::string> texts;
  CLI::Option* option = nullptr;
};
void AddBroadcastOption(CLI::App& command, BroadcastOption& broadcast);
// When --broadcast was given: every destination in `all`, the first in
// `destination`, and `given` set; false, with the problem in words, when a
// text is no address.
bool ReadBroadcastOption(const BroadcastOption& broadcast, Destination& destination, bool& given,
                         std::vector<Destination>& all, std::string& problem);

// --password [PASSWORD] and --password-file FILE, with VELKARIN_PASSWORD.
struct PasswordOptions {
  std::string value;
  std::string file;
  CLI::Option* valueOption = nullptr;
  CLI::Option* fileOption = nullptr;
};
// --scan-seconds S: how long a scan listens (0, not given: until quiet).
void AddScanSecondsOption(CLI::App& command, double& seconds);
// --verify-seconds S, for set and apply.
void AddVerifySecondsOption(CLI::App& command, double& seconds);

void AddPasswordOptions(CLI::App& command, PasswordOptions& password, const char* valueHelp);
// The password from whichever source was given (none: `wire` stays empty),
// in the bytes it is sent as; a warning about a plain value goes to standard
// error. False, with the problem in words, when it cannot be used.
bool ReadPasswordOptions(const PasswordOptions& password, std::optional<std::string>& wire,
                         std::string& problem);

}  // namespace velkarin::cli
