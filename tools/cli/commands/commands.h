// The tool's two commands, each run to its exit code.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/output/device_csv.h"
#include "protocol/udp_channel.h"

namespace velkarin::cli {

struct ListOptions {
  bool json = false;
  bool csv = false;
  bool watch = false;
  Destination destination;
  // One-shot scan (the default) or the engine's cycle (--cycle, and --watch).
  bool cycle = false;
  bool broadcastGiven = false;          // --broadcast: its destinations, no enumeration
  std::vector<Destination> broadcasts;  // every --broadcast
  std::vector<std::string> interfaces;  // --interface, repeatable
  double scanSeconds = 0.0;             // --scan-seconds; 0: until the network is quiet
  char separator = ',';                 // of --csv
  std::string outputPath;               // --output: the listing goes to this file instead
};

// The listing on standard output, or in the --output file (which the tool
// writes itself, so that no shell re-encodes it). EXIT_OK, or EXIT_ERROR
// after saying why a file could not be written (main says why for stdout).
int WriteListing(const ListOptions& options, const std::string& text);
// The form of the listing's CSV: a file gets the byte-order mark; standard
// output too on Windows unless it is the console.
CsvForm ListingCsvForm(const ListOptions& options, bool first);

// Prints the devices found by one scan, or the first complete discovery
// cycle (`cycle`); with `watch`, what changes until interrupted.
int RunList(const ListOptions& options);
// The one-shot scan of every interface (scan_command.cpp).
int RunScanList(const ListOptions& options);
// The watch: the first scan's list, then a line per device that appeared,
// changed its configuration or left (watch_command.cpp).
int RunWatch(const ListOptions& options);

struct PlanOptions {
  std::string from;     // ADDRESS/PREFIX
  std::string gateway;  // empty: none
  bool withoutAddress = false;
  bool conflicts = false;
  std::vector<std::uint32_t> serials;  // with the two above: a device any of them names
  std::string outputPath;              // empty: standard output
  Destination destination;
  bool broadcastGiven = false;
  std::vector<Destination> broadcasts;  // every --broadcast
  std::vector<std::string> interfaces;
  double scanSeconds = 0.0;  // --scan-seconds; 0: until the network is quiet
};

// Scans once and writes a plan for apply that gives the chosen devices
// consecutive fixed addresses; refused when the range runs out.
int RunPlan(const PlanOptions& options);

struct SetOptions {
  std::uint32_t serial = 0;
  bool dhcp = false;
  std::string ipAddress;
  std::string netmask;
  std::string gateway;
  std::string deviceId;
  std::optional<std::string> password;
  Destination destination;
  bool broadcastGiven = false;
  std::vector<Destination> broadcasts;  // every --broadcast
  std::vector<std::string> interfaces;  // --interface: at most one is used
  bool quiet = false;                   // no warnings
  bool allowDuplicates = false;         // send an address another device announces
  double verifySeconds = 15.0;          // how long the device may take to announce itself again
  double scanSeconds = 0.0;             // --scan-seconds; 0: until the network is quiet
  bool json = false;                    // the result as apply's JSON report of one row
  std::string reportPath;               // --report: apply's report file, of one row
};

// Runs the configuration as apply runs a plan's row: one scan, the command
// (sent again while the device may have missed it), then the wait for the
// device to announce what it took. The entries must have been checked.
int RunSet(const SetOptions& options);

struct ApplyOptions {
  std::string planPath;
  bool dryRun = false;
  bool yes = false;
  int jobs = 16;
  bool json = false;
  std::string reportPath;  // empty: no report file
  bool allowDuplicates = false;
  bool allowPasswordColumn = false;
  std::optional<std::string> password;  // for every row without its own
  Destination destination;
  bool broadcastGiven = false;
  std::vector<Destination> broadcasts;  // every --broadcast
  std::vector<std::string> interfaces;
  bool quiet = false;
  double verifySeconds = 15.0;  // how long an accepted device may take to announce itself
  double scanSeconds = 0.0;     // --scan-seconds; 0: until the network is quiet
  // `set` runs as apply of one row: its serial text, by which the progress
  // and the messages name the device instead of counting rows. Empty: apply.
  std::string singleDevice;
};

// set's options as apply's for its one row: every row's password is the
// plan's, no question is asked, one job.
ApplyOptions SetAsApply(const SetOptions& options);

// Reads the plan's password into `password`; false with the problem in words.
using PasswordReader =
    std::function<bool(std::optional<std::string>& password, std::string& problem)>;

// Checks the whole plan, then asks for its password (so that nobody types
// one for a plan that cannot be read), scans once, and configures and
// verifies the rows that need it, several at once; prints the report.
int RunApply(ApplyOptions options, const PasswordReader& readPassword);

}  // namespace velkarin::cli
