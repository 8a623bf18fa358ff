// The simulator's command line.
#pragma once
#include <string>
#include <vector>

namespace velkarin::devsim {

struct Options {
  int port = 8001;  // 0: the system picks a free port
  std::string configFile;
  std::vector<std::string> devices;  // --device key=value,...
  int fleetCount = 0;
  std::string fleetTemplate;
  std::string fleetSerialBase = "100000";
  int fleetSpreadMs = 0;
  std::string logFile;
  std::string readyFile;
  std::string stopFile;
  int maxRuntimeS = 0;  // 0: no limit
  bool exitOnStdinEof = false;
  std::string watchLock;
  std::string outputFile;
  bool allowAnyNetwork = false;
};

// Sends standard output and error to the file named by --output, before
// anything is written; for starters that cannot redirect standard error
// themselves (Wine hands a Unix program only its standard input and output).
void RedirectOutputEarly(int argc, char** argv);

// Parses argv. On --help, or on an error, prints and sets exitCode; the
// caller then exits with it.
bool ParseOptions(int argc, char** argv, Options& options, int& exitCode);

}  // namespace velkarin::devsim
