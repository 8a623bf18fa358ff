#include "cli/scan_listing.h"

#include <array>

#include "cli/device_json.h"
#include "cli/device_table.h"
#include "cli/display_text.h"

namespace velkarin::cli {

std::vector<platform::NetInterface> DefaultScanInterfaces(
    const std::vector<platform::NetInterface>& all) {
  std::vector<platform::NetInterface> chosen;
  for (const platform::NetInterface& i : all) {
    if (i.broadcast && !i.loopback) chosen.push_back(i);
  }
  if (!chosen.empty()) return chosen;
  for (const platform::NetInterface& i : all) {
    if (i.loopback) chosen.push_back(i);
  }
  return chosen;
}

std::vector<ScanTarget> ScanTargetsFor(const std::vector<platform::NetInterface>& all,
                                       const std::vector<std::string>& names,
                                       const Destination& destination, std::string& unknown) {
  std::vector<platform::NetInterface> chosen;
  if (names.empty()) {
    chosen = DefaultScanInterfaces(all);
  } else {
    for (const std::string& name : names) {
      const platform::NetInterface* match = nullptr;
      for (const platform::NetInterface& i : all) {
        if (i.name == name) match = &i;
      }
      if (match == nullptr) {
        unknown = name;
        return {};
      }
      chosen.push_back(*match);
    }
  }
  std::vector<ScanTarget> targets;
  for (const platform::NetInterface& i : chosen) {
    Destination aimed = destination;
    aimed.interfaceIndex = i.index;
    targets.push_back({i.name, aimed});
  }
  return targets;
}

std::string FormatScanTable(const std::vector<ScannedDevice>& devices) {
  using Row = std::array<std::string, 8>;
  std::vector<Row> rows;
  rows.push_back({"Snr", "Name", "DHCP", "IP", "Netmask", "Gateway", "Status", "Interface"});
  for (const ScannedDevice& d : devices) {
    const DeviceRecord& r = d.record;
    const std::string status = StatusFlagWords(r.statusFlags);
    rows.push_back({SerialText(r.serial), DisplayText(r.name), DhcpText(r.dhcp),
                    DisplayText(r.ipAddress), DisplayText(r.netmask), DisplayText(r.gateway),
                    status.empty() ? "-" : status,
                    d.interfaceName.empty() ? "-" : DisplayText(d.interfaceName)});
  }
  std::array<std::size_t, 8> widths{};
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (row[c].size() > widths[c]) widths[c] = row[c].size();
    }
  }
  std::string table;
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      table += row[c];
      if (c + 1 < row.size()) table.append(widths[c] - row[c].size() + 2, ' ');
    }
    table += '\n';
  }
  return table;
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

}  // namespace velkarin::cli
