#include "cli/output/device_json.h"

#include "cli/output/device_table.h"
#include "cli/output/text_encoding.h"
#include "engine/device_collector.h"

namespace velkarin::cli {

nlohmann::ordered_json DeviceToJson(const DeviceRecord& r) {
  nlohmann::ordered_json extTexts = nlohmann::ordered_json::array();
  for (const std::string& text : r.extTexts) extTexts.push_back(Latin1ToUtf8(text));
  nlohmann::ordered_json o;
  o["serial"] = r.serial;
  // The serial number as the table shows it and as `set` reads it (hex).
  o["serialText"] = SerialText(r.serial);
  o["name"] = Latin1ToUtf8(r.name);
  o["dhcp"] = r.dhcp;
  o["ipAddress"] = Latin1ToUtf8(r.ipAddress);
  o["netmask"] = Latin1ToUtf8(r.netmask);
  o["gateway"] = Latin1ToUtf8(r.gateway);
  o["extNumber1"] = r.extNumber1;
  o["extTextB"] = Latin1ToUtf8(r.extTextB);
  o["deviceId"] = Latin1ToUtf8(r.deviceId);
  o["deviceIndex"] = r.deviceIndex;
  o["commandSuffix"] = r.commandSuffix;
  o["extTexts"] = std::move(extTexts);
  o["extNumber2"] = r.extNumber2;
  o["extTextA"] = Latin1ToUtf8(r.extTextA);
  o["auxTextB"] = Latin1ToUtf8(r.auxTextB);
  o["auxNumber"] = r.auxNumber;
  o["auxTextA"] = Latin1ToUtf8(r.auxTextA);
  o["statusFlags"] = r.statusFlags;
  o["status"] = StatusText(r.statusFlags);
  o["sortKey"] = r.sortKey;
  // Spelled out, so no one has to know the flag's bit.
  o["addressConflict"] = (r.statusFlags & STATUS_IP_CLASH) != 0;
  return o;
}

nlohmann::ordered_json DevicesToJson(const DeviceList& devices) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const DeviceRecord& record : devices) array.push_back(DeviceToJson(record));
  return array;
}

}  // namespace velkarin::cli
