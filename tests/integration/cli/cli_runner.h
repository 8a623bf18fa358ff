// Runs the velkarin program of this build.
#pragma once
#include <chrono>
#include <string>
#include <vector>

#include "child_process.h"

namespace velkarin::test {

// VELKARIN_CLI if set, else the program in this build's tools/cli.
std::string CliPath();

// velkarin with the arguments, run to its end.
RunResult RunCli(const std::vector<std::string>& arguments,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60));

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace velkarin::test
