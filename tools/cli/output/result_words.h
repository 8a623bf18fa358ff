// Outcomes of the tool in words and as exit codes.
#pragma once
#include <string>

#include "config/config_transaction.h"

namespace velkarin::cli {

enum ExitCode : int {
  EXIT_OK = 0,
  EXIT_ERROR = 1,            // the tool itself could not work (no thread, output failed)
  EXIT_USAGE = 2,            // bad options or entries; nothing was sent
  EXIT_NOT_SEEN_AGAIN = 3,   // accepted, but the device did not announce itself within 15 s
  EXIT_NOT_CONFIGURED = 4,   // accepted, but the device announces another configuration
  EXIT_NOT_THAT_DEVICE = 5,  // no device announces both the identifier and the serial
  EXIT_NO_INTERFACE = 6,     // no IPv4 interface is up to discover on
  EXIT_PLAN_UNFINISHED = 7,  // apply: a row ended neither configured nor already done
  EXIT_RESULT_BASE = 10,     // 10 + the transaction's result code: 11 to 17
  EXIT_INTERRUPTED = 130,    // list: SIGINT before the first cycle ended (the shell's code)
  EXIT_TERMINATED = 143,     // list: SIGTERM (the shell's code)
};

// What the transaction's result means, in a few words ("device not found").
const char* ConfigResultWords(ConfigResult result);
// The result line's words for this run: a refusal of a command sent without
// a password adds that the device may need one; with one, that it may be wrong.
std::string ConfigOutcomeWords(ConfigResult result, bool passwordGiven);
// "not seen again within 15 s", for a device that accepted and then
// announced nothing while the verification waited `seconds`.
std::string NotSeenAgainWords(double seconds);
// Why a device may be silent after it accepted, and what to do.
extern const char* const kRestartingHint;

// 0 for CONFIG_OK, otherwise EXIT_RESULT_BASE + result.
int ExitCodeForResult(ConfigResult result);

// The exit codes and their meanings, for --help: those of both commands, or
// only those that `list` or `set` can end with.
enum class HelpScope { kAll, kList, kSet, kApply };
std::string ExitCodeHelp(HelpScope scope = HelpScope::kAll);

}  // namespace velkarin::cli
