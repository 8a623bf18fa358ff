#include "engine/scan_targets.h"

namespace velkarin {

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

std::vector<ScanTarget> EngineTargets(const std::vector<platform::NetInterface>& all,
                                      const Destination& destination) {
  if (destination.address == kBroadcastAddress && destination.interfaceIndex == 0) {
    std::string unknown;
    std::vector<ScanTarget> targets = ScanTargetsFor(all, {}, destination, unknown);
    if (targets.size() > 1) return targets;
  }
  return {{std::string(), destination}};
}

}  // namespace velkarin
