// velkarin-devsim: a fleet of simulated devices on one UDP port, for tests
// and demonstrations inside a private network namespace.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "datagram_log.h"
#include "device_json.h"
#include "network.h"
#include "options.h"
#include "scheduler.h"
#include "server_loop.h"
#include "simulator.h"

namespace velkarin::devsim {
namespace {

// 1 to 8 hex digits, nothing else (std::stoul would take blanks and signs).
std::uint32_t FleetSerialBase(const std::string& text) {
  const bool hex = !text.empty() && text.size() <= 8 &&
                   text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  if (!hex) {
    throw std::invalid_argument("--fleet-serial-base '" + text +
                                "': expected 1 to 8 hexadecimal digits");
  }
  return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
}

std::vector<DeviceProfile> BuildFleet(const Options& o) {
  std::vector<DeviceProfile> devices;
  if (!o.configFile.empty()) devices = LoadConfigFile(o.configFile);
  for (const std::string& text : o.devices) {
    devices.push_back(DeviceFromJsonAt(ParseDeviceOption(text), "--device " + text));
  }
  if (o.fleetCount > 0) {
    Fleet fleet;
    fleet.count = o.fleetCount;
    fleet.spreadMs = o.fleetSpreadMs;
    fleet.serialBase = FleetSerialBase(o.fleetSerialBase);
    std::vector<DeviceProfile> generated;
    try {
      if (!o.fleetTemplate.empty()) fleet.tmpl = ParseDeviceOption(o.fleetTemplate);
      generated = GenerateFleet(fleet);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(std::string("--fleet-template: ") + e.what());
    }
    devices.insert(devices.end(), generated.begin(), generated.end());
  }
  return devices;
}

// Written under another name and renamed, so a reader never sees half of it.
bool WriteReadyFile(const std::string& path, std::uint16_t port) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << "port=" << port << "\npid=" << getpid() << "\n";
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int Run(int argc, char** argv) {
  RedirectOutputEarly(argc, argv);
  Options options;
  int exitCode = 0;
  if (!ParseOptions(argc, argv, options, exitCode)) return exitCode;

  if (!options.allowAnyNetwork && !InPrivateNetwork()) {
    std::fprintf(stderr,
                 "velkarin-devsim: this network namespace has interfaces other than lo; the\n"
                 "simulated devices would answer on a real network. Run it inside a private\n"
                 "namespace (scripts/netns-run.sh), or pass --allow-any-network if you really\n"
                 "mean it.\n");
    return 4;
  }

  std::vector<DeviceProfile> devices;
  try {
    devices = BuildFleet(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velkarin-devsim: %s\n", e.what());
    return 2;
  }

  DatagramLog log;
  if (!options.logFile.empty() && !log.Open(options.logFile)) {
    std::fprintf(stderr, "velkarin-devsim: cannot open the log %s\n", options.logFile.c_str());
    return 2;
  }
  std::string error;
  if (!InstallStopSignals(error)) {
    std::fprintf(stderr, "velkarin-devsim: %s\n", error.c_str());
    return 1;
  }
  DeviceSockets sockets;
  if (!sockets.Open(static_cast<std::uint16_t>(options.port), error)) {
    std::fprintf(stderr, "velkarin-devsim: port %d: %s\n", options.port, error.c_str());
    return 1;
  }
  for (const DeviceProfile& d : devices) {
    if (d.unconfigured && !sockets.OpenUnconfigured(error)) {
      std::fprintf(stderr, "velkarin-devsim: %s\n", error.c_str());
      return 1;
    }
  }

  int watchLockFd = -1;
  if (!options.watchLock.empty()) {
    watchLockFd = open(options.watchLock.c_str(), O_RDWR | O_CLOEXEC);
    if (watchLockFd < 0) {
      std::fprintf(stderr, "velkarin-devsim: cannot open %s\n", options.watchLock.c_str());
      return 2;
    }
  }

  Scheduler scheduler;
  Simulator simulator(std::move(devices), sockets, log, scheduler);
  log.Event("listening on port " + std::to_string(sockets.port()) + " with " +
            std::to_string(simulator.size()) + " devices");
  if (!options.readyFile.empty() && !WriteReadyFile(options.readyFile, sockets.port())) {
    std::fprintf(stderr, "velkarin-devsim: cannot write %s\n", options.readyFile.c_str());
    return 1;
  }
  std::printf("READY port=%u\n", sockets.port());
  std::fflush(stdout);
  // Tests use a simulator without devices to see what a tool sends; said
  // only after READY, since a starter may take earlier output for a failure.
  if (simulator.size() == 0) {
    std::fprintf(stderr,
                 "velkarin-devsim: no devices (none from --device, --config or --fleet); "
                 "listening and logging only\n");
  }

  StopConditions stop;
  stop.stopFile = options.stopFile;
  stop.maxRuntimeS = options.maxRuntimeS;
  stop.stdinEof = options.exitOnStdinEof;
  stop.watchLockFd = watchLockFd;
  const std::string why = RunServer(simulator, sockets, scheduler, stop);
  log.Event("stopped: " + why);
  if (!options.readyFile.empty()) std::remove(options.readyFile.c_str());
  if (watchLockFd >= 0) close(watchLockFd);
  const bool failed = why.compare(0, 5, "poll:") == 0;
  if (failed) std::fprintf(stderr, "velkarin-devsim: %s\n", why.c_str());
  return failed ? 1 : 0;
}

}  // namespace
}  // namespace velkarin::devsim

int main(int argc, char** argv) { return velkarin::devsim::Run(argc, argv); }
