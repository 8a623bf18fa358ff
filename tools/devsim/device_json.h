// Devices from JSON objects: the configuration file, --device options and
// generated fleets all go through DeviceFromJson, so they share one set of keys.
#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "device_profile.h"

namespace velkarin::devsim {

// Throws std::invalid_argument naming the key on an unknown key or a bad value.
DeviceProfile DeviceFromJson(const nlohmann::json& object);
// The same, with a failure's reason preceded by `place` ("fleet.json: device
// 2") and the device's serial number when it gives one, so that the device
// can be found among many.
DeviceProfile DeviceFromJsonAt(const nlohmann::json& object, const std::string& place);

// "key=value,key=value": a value in double quotes may hold commas (inside,
// a backslash escapes '"' and itself); a value that starts with '[' or '{' is JSON up to its
// matching bracket; any other value runs to the next comma.
nlohmann::json ParseDeviceOption(const std::string& text);

struct Fleet {
  int count = 0;
  std::uint32_t serialBase = 0x100000;
  int spreadMs = 0;  // announcement delays spread evenly over this time
  nlohmann::json tmpl = nlohmann::json::object();
};

// Device i (from 0) gets serial serialBase + i, name "Sim device <i+1>" (or the
// template's name with " <i+1>"), ip 10.x.y.z counting from 10.0.0.1 (unless the
// template sets one), netmask 255.0.0.0 and gateway 10.0.0.254 by default.
std::vector<DeviceProfile> GenerateFleet(const Fleet& fleet);

// A file holding {"devices": [...], "fleet": {...}} or just [...].
std::vector<DeviceProfile> LoadConfigFile(const std::string& path);

}  // namespace velkarin::devsim
