// Where the page tests find the module under test and the simulator.
#pragma once
#include <string>

namespace velkarin::pagetest {

// The plug-in module (VELKARIN_DLL, a Windows path).
std::string PluginPath();
// The Linux simulator program (VELKARIN_DEVSIM, a Linux path).
std::string SimulatorPath();
// A folder for this run's files (a Windows path), made on first use.
std::string WorkFolder();

}  // namespace velkarin::pagetest
