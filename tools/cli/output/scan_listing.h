// The one-shot listing: which interfaces to scan, and the table and JSON of
// what each interface heard.
#pragma once
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/output/device_csv.h"
#include "engine/device_scan.h"
#include "engine/scan_targets.h"
#include "platform/interfaces.h"

namespace velkarin::cli {

// What to say of an --interface NAME that is no IPv4 interface that is up:
// the names of those that are, to choose from.
std::string UnknownInterfaceProblem(const std::string& name,
                                    const std::vector<platform::NetInterface>& all);

// The targets of a command's scan: the --broadcast destinations (`broadcasts`)
// when given without --interface, each named by its address when there are
// several, else ScanTargetsFor over the interfaces that are up. 0, or the exit
// code after its message on standard error.
int ChooseScanTargets(const std::vector<Destination>& broadcasts,
                      const std::vector<std::string>& names, const Destination& destination,
                      std::vector<ScanTarget>& targets);

// A scan's timing for --scan-seconds: listen that long, for devices that
// answer late; 0 (not given): until the network is quiet, from 1 s to 3 s.
ScanTiming ScanTimingFor(double scanSeconds);

// Warns on stderr when the scan may have missed devices: an interface whose
// socket did not open, or a network not quiet within `scanSeconds`. `remedy`
// ends the second warning (" (--scan-seconds)").
void WarnIfScanIncomplete(const ScanResult& scan, std::size_t targetCount, double scanSeconds,
                          const std::string& remedy);

// As the device table, with a last column naming the interface ("-" when the
// system chose it).
// The device table's cells with one more column, the interface ("-" when
// the scan named none).
std::vector<std::vector<std::string>> ScanTableCells(const std::vector<ScannedDevice>& devices);
std::string FormatScanTable(const std::vector<ScannedDevice>& devices);
// As FormatDeviceCsv, with an `interface` column.
std::string FormatScanCsv(const std::vector<ScannedDevice>& devices, const CsvForm& form);
// The device records' JSON, each with a last field "interface".
nlohmann::ordered_json ScanToJson(const std::vector<ScannedDevice>& devices);

}  // namespace velkarin::cli
