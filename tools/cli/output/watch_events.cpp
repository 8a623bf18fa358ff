#include "cli/output/watch_events.h"

#include "cli/output/device_json.h"
#include "cli/output/scan_listing.h"
#include "protocol/address.h"

namespace velkarin::cli {
namespace {

bool SameDevice(const ScannedDevice& a, const ScannedDevice& b) {
  return a.interfaceName == b.interfaceName && a.record.serial == b.record.serial &&
         SameTextIgnoringCase(a.record.deviceId, b.record.deviceId);
}

// The texts of a device a technician watches, besides its DHCP flag.
std::string DeviceRecord::*const kFields[] = {&DeviceRecord::name, &DeviceRecord::ipAddress,
                                              &DeviceRecord::netmask, &DeviceRecord::gateway};

bool SameConfiguration(const DeviceRecord& a, const DeviceRecord& b) {
  if ((a.dhcp != 0) != (b.dhcp != 0)) return false;
  for (std::string DeviceRecord::*field : kFields) {
    if (a.*field != b.*field) return false;
  }
  return true;
}

}  // namespace

std::vector<WatchEvent> WatchState::Update(const std::vector<ScannedDevice>& heard) {
  std::vector<WatchEvent> events;
  std::vector<bool> seen(known_.size(), false);
  for (const ScannedDevice& d : heard) {
    std::size_t k = 0;
    while (k < known_.size() && !SameDevice(known_[k].device, d)) ++k;
    if (k == known_.size()) {
      if (started_) events.push_back({WatchEvent::kAppeared, d, {}});
      known_.push_back({d, 0});
      seen.push_back(true);
      continue;
    }
    seen[k] = true;
    known_[k].missed = 0;
    if (!SameConfiguration(known_[k].device.record, d.record)) {
      events.push_back({WatchEvent::kChanged, d, known_[k].device.record});
    }
    known_[k].device = d;
  }
  std::vector<Known> kept;
  for (std::size_t k = 0; k < known_.size(); ++k) {
    if (!seen[k] && ++known_[k].missed >= missesToLeave_) {
      events.push_back({WatchEvent::kLeft, known_[k].device, {}});
    } else {
      kept.push_back(known_[k]);
    }
  }
  known_.swap(kept);
  started_ = true;
  return events;
}

std::string WatchEventText(const WatchEvent& event) {
  static const char* const kWords[] = {"appeared", "changed", "left"};
  const std::vector<std::vector<std::string>> cells = ScanTableCells({event.device});
  std::string text = std::string(kWords[event.kind]) + ":";
  for (const std::string& cell : cells.back()) text += "  " + cell;
  if (event.kind == WatchEvent::kChanged) {
    // The old values as the table shows them.
    const std::vector<std::vector<std::string>> old = ScanTableCells({{"", event.before}});
    std::string was;
    for (std::size_t i = 0; i < old.back().size() && i < cells.back().size(); ++i) {
      if (old.back()[i] != cells.back()[i]) {
        was += (was.empty() ? "" : ", ") + cells.front()[i] + " " + old.back()[i];
      }
    }
    text += "  (was " + was + ")";
  }
  return text + "\n";
}

nlohmann::ordered_json WatchEventJson(const WatchEvent& event) {
  static const char* const kWords[] = {"appeared", "changed", "left"};
  nlohmann::ordered_json o;
  o["event"] = kWords[event.kind];
  o["device"] = ScanToJson({event.device}).front();
  if (event.kind == WatchEvent::kChanged) {
    const nlohmann::ordered_json before = DeviceToJson(event.before);
    nlohmann::ordered_json was = nlohmann::ordered_json::object();
    for (auto it = before.begin(); it != before.end(); ++it) {
      if (o["device"][it.key()] != it.value()) was[it.key()] = it.value();
    }
    o["was"] = was;
  }
  return o;
}

}  // namespace velkarin::cli
