// What a watch says between its scans: the devices that appeared, changed
// their configuration or left, each in one line of text or one JSON object.
#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/device_scan.h"

namespace velkarin::cli {

struct WatchEvent {
  enum Kind { kAppeared, kChanged, kLeft } kind = kAppeared;
  ScannedDevice device;  // as heard now; for kLeft, as last heard
  DeviceRecord before;   // kChanged: as heard before
};

// The devices heard so far, by interface, serial and identifier. A device
// a scan missed has not left: a lossy network loses a whole scan's answers
// now and then. It has left once `missesToLeave` scans in a row missed it.
class WatchState {
 public:
  explicit WatchState(int missesToLeave) : missesToLeave_(missesToLeave) {}
  // The first call takes in what is there, without events.
  std::vector<WatchEvent> Update(const std::vector<ScannedDevice>& heard);

 private:
  struct Known {
    ScannedDevice device;
    int missed = 0;
  };
  int missesToLeave_;
  bool started_ = false;
  std::vector<Known> known_;
};

// "appeared: 002201  East-1  No  10.71.2.2  255.255.255.0  10.71.2.1  -  vh2",
// a changed one with "(was ip 10.71.2.2)" after it.
std::string WatchEventText(const WatchEvent& event);
// {"event": "appeared", "device": {... as list --json ...}}, a changed one
// with "was": the fields that changed, as they were.
nlohmann::ordered_json WatchEventJson(const WatchEvent& event);

}  // namespace velkarin::cli
