#include "page_env.h"

#include <windows.h>

#include <cstdlib>

namespace velkarin::pagetest {
namespace {

std::string Required(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string PluginPath() { return Required("VELKARIN_DLL"); }

std::string SimulatorPath() { return Required("VELKARIN_DEVSIM"); }

std::string WorkFolder() {
  static std::string folder;
  if (folder.empty()) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    folder = std::string(temp) + "velkarin-page-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  return folder;
}

}  // namespace velkarin::pagetest
