// The tool's subcommands: each builder adds one to the option parser with
// its options and checks, and gives back what runs it once it was parsed.
#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <string>

namespace velkarin::cli {

// Runs a parsed subcommand to its exit code.
using CommandRunner = std::function<int()>;

struct BuiltCommand {
  CLI::App* command = nullptr;
  CommandRunner run;
};

BuiltCommand AddListCommand(CLI::App& app);
BuiltCommand AddSetCommand(CLI::App& app);
BuiltCommand AddApplyCommand(CLI::App& app);

// "velkarin: MESSAGE" and the hint to --help on standard error; EXIT_USAGE.
int UsageError(const std::string& message);

// Help shared by the commands that send.
extern const char* const kBroadcastHelp;
extern const char* const kInterfaceHelp;

}  // namespace velkarin::cli
