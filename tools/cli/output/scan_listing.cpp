#include "cli/output/scan_listing.h"

#include <array>
#include <cstdio>

#include "cli/commands/destination_text.h"
#include "cli/output/device_csv.h"
#include "cli/output/device_json.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/result_words.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"

namespace velkarin::cli {

std::string UnknownInterfaceProblem(const std::string& name,
                                    const std::vector<platform::NetInterface>& all) {
  std::string up;
  for (const platform::NetInterface& i : all) up += (up.empty() ? "" : ", ") + i.name;
  return "no IPv4 interface named '" + name + "' is up (" +
         (up.empty() ? std::string("none is") : "up: " + up) + ")";
}

std::vector<std::vector<std::string>> ScanTableCells(const std::vector<ScannedDevice>& devices) {
  DeviceList records;
  for (const ScannedDevice& d : devices) records.push_back(d.record);
  std::vector<std::vector<std::string>> rows = DeviceTableCells(records);
  rows.front().push_back("Interface");
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const std::string& name = devices[i].interfaceName;
    rows[i + 1].push_back(name.empty() ? "-" : name);
  }
  return rows;
}

std::string FormatScanTable(const std::vector<ScannedDevice>& devices) {
  return FormatTableRows(ScanTableCells(devices));
}

std::string FormatScanCsv(const std::vector<ScannedDevice>& devices, const CsvForm& form) {
  std::vector<std::string> header = DeviceCsvHeader();
  header.push_back("interface");
  return FormatCsvRows(ScanTableCells(devices), header, form);
}

nlohmann::ordered_json ScanToJson(const std::vector<ScannedDevice>& devices) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const ScannedDevice& d : devices) {
    nlohmann::ordered_json o = DeviceToJson(d.record);
    // Interface names are the system's own text (UTF-8 on both platforms).
    if (d.interfaceName.empty()) {
      o["interface"] = nullptr;
    } else {
      o["interface"] = d.interfaceName;
    }
    array.push_back(std::move(o));
  }
  return array;
}

void WarnIfScanIncomplete(const ScanResult& scan, std::size_t targetCount, double scanSeconds,
                          const std::string& remedy) {
  if (scan.channelsOpen > 0 && scan.channelsOpen < static_cast<int>(targetCount)) {
    PrintWarning(std::to_string(static_cast<int>(targetCount) - scan.channelsOpen) + " of " +
                 std::to_string(targetCount) + " interfaces could not be used");
  }
  if (scan.channelsOpen > 0 && !scan.quiet) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", scanSeconds);
    PrintWarning(std::string("the network was not quiet after ") + seconds +
                 " s; the list may be incomplete" + remedy);
  }
}

ScanTiming ScanTimingFor(double scanSeconds) {
  ScanTiming timing;
  if (scanSeconds > 0) {
    timing.maxScanMs = static_cast<std::uint32_t>(scanSeconds * 1000.0);
    timing.listenMs = timing.maxScanMs;
  }
  return timing;
}

int ChooseScanTargets(const std::vector<Destination>& broadcasts,
                      const std::vector<std::string>& names, const Destination& destination,
                      std::vector<ScanTarget>& targets) {
  if (!broadcasts.empty() && names.empty()) {
    // Directed broadcasts to routed cells: each is where its devices are
    // heard, and where their commands go.
    targets.clear();
    for (const Destination& b : broadcasts) {
      targets.push_back({broadcasts.size() == 1 ? std::string() : DestinationText(b), b});
    }
    return 0;
  }
  if (broadcasts.size() > 1) {
    WriteText(stderr,
              "velkarin: several --broadcast go by the system's routes; give them without "
              "--interface\n");
    return EXIT_USAGE;
  }
  std::string unknown;
  const std::vector<platform::NetInterface> all = platform::ListIpv4Interfaces();
  targets = ScanTargetsFor(all, names, destination, unknown);
  if (!unknown.empty()) {
    WriteText(stderr, "velkarin: " + DisplayUtf8(UnknownInterfaceProblem(unknown, all)) + "\n");
    return EXIT_USAGE;
  }
  if (targets.empty()) {
    WriteText(stderr, "velkarin: no IPv4 interface is up\n");
    return EXIT_NO_INTERFACE;
  }
  return 0;
}

}  // namespace velkarin::cli
