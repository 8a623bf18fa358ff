// The simulator's one thread: waits for datagrams, due actions, a stop
// signal (SIGTERM, SIGINT), the stop file, the end of standard input, the
// release of the watched lock or the end of the run time.
#pragma once
#include <string>

#include "network.h"
#include "scheduler.h"
#include "simulator.h"

namespace velkarin::devsim {

struct StopConditions {
  std::string stopFile;   // empty: none
  int maxRuntimeS = 0;    // 0: no limit
  bool stdinEof = false;  // end when standard input ends
  int watchLockFd = -1;   // end when nobody holds a lock on this open file
};

// Installs the signal handlers; call before anything can wait.
bool InstallStopSignals(std::string& error);

// Runs until a stop condition holds; returns why it stopped.
std::string RunServer(Simulator& simulator, DeviceSockets& sockets, Scheduler& scheduler,
                      const StopConditions& stop);

}  // namespace velkarin::devsim
