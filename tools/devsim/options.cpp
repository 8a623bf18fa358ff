#include "options.h"

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>

#include "velkarin_version.h"

namespace velkarin::devsim {

void RedirectOutputEarly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* path = nullptr;
    if (std::strcmp(argv[i], "--output") == 0) {
      if (i + 1 == argc) return;  // no value; the option parser reports it
      path = argv[i + 1];
    } else if (std::strncmp(argv[i], "--output=", 9) == 0) {
      path = argv[i] + 9;
    } else {
      continue;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;  // stays where it was; the option parser reports nothing more
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
    return;
  }
}

bool ParseOptions(int argc, char** argv, Options& o, int& exitCode) {
  CLI::App app{
      "velkarin-devsim: simulates a fleet of devices that answer discovery and configuration\n"
      "commands on one UDP port. Runs only in a private network namespace (loopback alone;\n"
      "see scripts/netns-run.sh).\n\n"
      "Device keys (JSON file and --device): serial name dhcp ip netmask gateway extNumber1\n"
      "extTexts deviceId deviceIndex extNumber2 extTextA extTextB commandSuffix auxNumber\n"
      "auxTextA auxTextB sections terminateLastSection raw unconfigured answersDiscovery\n"
      "announceDelayMs repeat repeatIntervalMs floodPerDiscovery floodRate floodDurationMs\n"
      "floodVary onCommand replyStatus replyCode replyBytes oversizeLength replyCount\n"
      "replyIntervalMs extraReplies replyDelayMs matchIndex password challenge challenges\n"
      "afterAccept afterAcceptDelayMs silentWhileChanging dhcpFlag emptyGateway otherDhcp otherIp\n"
      "otherNetmask otherGateway. See tools/devsim/README.md.",
      "velkarin-devsim"};
  app.set_version_flag("--version", std::string("velkarin-devsim ") + VELKARIN_VERSION_TEXT,
                       "Print the version and exit");
  app.add_option("--port", o.port, "UDP port to listen on (0: any free port)")
      ->check(CLI::Range(0, 65535));
  app.add_option("--config", o.configFile, "JSON file: {\"devices\": [...], \"fleet\": {...}}");
  app.add_option("--device", o.devices,
                 "a device as key=value,... e.g. serial=A1B2,name=\"Pump 3\",ip=10.0.0.5")
      ->type_name("PROFILE")
      ->allow_extra_args(false);
  app.add_option("--fleet", o.fleetCount, "add N generated devices")->check(CLI::Range(0, 100000));
  app.add_option("--fleet-template", o.fleetTemplate, "key=value,... applied to generated devices")
      ->type_name("PROFILE");
  app.add_option("--fleet-serial-base", o.fleetSerialBase,
                 "hex serial of the first generated device");
  app.add_option("--fleet-spread-ms", o.fleetSpreadMs,
                 "spread the generated devices' announcements over this many ms")
      ->check(CLI::Range(0, 600000));
  app.add_option("--log", o.logFile, "log every datagram received and sent, one line each");
  app.add_option("--ready-file", o.readyFile,
                 "once bound, write port=N and pid=P here (atomically); removed on exit");
  app.add_option("--stop-file", o.stopFile, "end cleanly as soon as this file exists");
  app.add_option("--max-runtime", o.maxRuntimeS, "end after this many seconds (0: never)")
      ->check(CLI::Range(0, 86400 * 7));
  app.add_flag("--exit-on-stdin-eof", o.exitOnStdinEof,
               "end cleanly when standard input reaches its end (its writer closed it or ended)");
  app.add_option("--watch-lock", o.watchLock,
                 "end cleanly once no process holds a lock on this file (a POSIX record lock "
                 "on its first byte; LockFileEx under Wine makes one); the starter locks it first");
  app.add_option("--output", o.outputFile,
                 "append standard output and error to this file (taken before anything else)");
  app.add_flag("--allow-any-network", o.allowAnyNetwork,
               "DANGEROUS: run outside a private network namespace; the simulator then answers "
               "on every real network this machine is on");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and the like as CLI11 writes them; every error is a bad
    // configuration (exit status 2), in the simulator's own words.
    if (e.get_exit_code() == 0) {
      exitCode = app.exit(e);
    } else {
      std::fprintf(stderr, "velkarin-devsim: %s\nRun with --help for more information.\n",
                   e.what());
      exitCode = 2;
    }
    return false;
  }
  return true;
}

}  // namespace velkarin::devsim
