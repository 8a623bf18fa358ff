// Outcomes of the tool in words and as exit codes.
#pragma once
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
  EXIT_RESULT_BASE = 10,     // 10 + the transaction's result code: 11 to 17
};

// What the transaction's result means, in a few words ("device not found").
const char* ConfigResultWords(ConfigResult result);
// 0 for CONFIG_OK, otherwise EXIT_RESULT_BASE + result.
int ExitCodeForResult(ConfigResult result);

// The exit codes and their meanings, for --help.
const char* ExitCodeHelp();

}  // namespace velkarin::cli
