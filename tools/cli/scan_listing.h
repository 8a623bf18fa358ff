// The one-shot listing: which interfaces to scan, and the table and JSON of
// what each interface heard.
#pragma once
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "engine/device_scan.h"
#include "platform/interfaces.h"

namespace velkarin::cli {

// The interfaces a scan uses by default: every one that can broadcast, or,
// on a host with none (a private test network), the loopback ones.
std::vector<platform::NetInterface> DefaultScanInterfaces(
    const std::vector<platform::NetInterface>& all);

// One target per interface, each sending to `destination` out of it. With
// `names`, exactly the interfaces named, in that order; `unknown` then holds
// the first name that is no IPv4 interface that is up.
std::vector<ScanTarget> ScanTargetsFor(const std::vector<platform::NetInterface>& all,
                                       const std::vector<std::string>& names,
                                       const Destination& destination, std::string& unknown);

// As the device table, with a last column naming the interface ("-" when the
// system chose it).
std::string FormatScanTable(const std::vector<ScannedDevice>& devices);
// The device records' JSON, each with a last field "interface".
nlohmann::ordered_json ScanToJson(const std::vector<ScannedDevice>& devices);

}  // namespace velkarin::cli
