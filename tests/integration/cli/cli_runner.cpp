#include "cli_runner.h"

#include <cstdlib>
#include <sstream>

namespace velkarin::test {

std::string CliPath() {
  if (const char* path = std::getenv("VELKARIN_CLI"); path != nullptr && *path != '\0') return path;
  const char* build = std::getenv("VELKARIN_BUILD_DIR");
  return std::string(build != nullptr ? build : VELKARIN_BINARY_DIR) + "/tools/cli/velkarin";
}

RunResult RunCli(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout) {
  std::vector<std::string> argv{CliPath()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunProgram(argv, timeout);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace velkarin::test
