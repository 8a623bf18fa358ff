// A plain model of the device collector: the merge rules written out step by
// step over a vector, with no shortcuts (the collector itself caches address
// values and compares cheap fields first). The collector's unit test and fuzz
// target hold it against the collector; the engine benchmark times it as the
// walk that converts address texts at every comparison.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/address.h"
#include "protocol/device_record.h"

namespace velkarin::test {

class CollectorModel {
 public:
  static bool Equal(const DeviceRecord& a, const DeviceRecord& b) {
    return a.serial == b.serial && a.dhcp == b.dhcp && a.deviceIndex == b.deviceIndex &&
           a.extNumber2 == b.extNumber2 && a.auxNumber == b.auxNumber &&
           SameAddress(a.ipAddress, b.ipAddress) && SameAddress(a.netmask, b.netmask) &&
           SameAddress(a.gateway, b.gateway) && a.name == b.name && a.extTextB == b.extTextB &&
           a.deviceId == b.deviceId && a.extTexts == b.extTexts && a.extTextA == b.extTextA &&
           a.auxTextB == b.auxTextB && a.auxTextA == b.auxTextA;
  }

  // New record `a` against listed record `b`.
  static void Cross(DeviceRecord& a, DeviceRecord& b) {
    if (SameAddress(a.ipAddress, "1.1.1.1") || SameAddress(a.ipAddress, "0.0.0.0")) {
      a.statusFlags |= 0x08;
    } else if (SameAddress(a.ipAddress, b.ipAddress)) {
      a.statusFlags |= 0x02;
      b.statusFlags |= 0x02;
    }
    if (a.serial == 0) {
      a.statusFlags |= 0x04;
      return;
    }
    if (a.serial != b.serial) return;
    if (!SameTextIgnoringCase(a.deviceId, b.deviceId)) {
      a.statusFlags |= 0x10;
      b.statusFlags |= 0x10;
    }
    if (b.deviceId.empty()) b.statusFlags |= 0x01;
    if (a.deviceId.empty()) a.statusFlags |= 0x01;
  }

  // Returns the position of the listed record that `r` matched, or -1 when
  // `r` was appended.
  int Add(DeviceRecord r) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      DeviceRecord& e = list[i];
      if (Equal(r, e)) {
        for (std::size_t j = i + 1; j < list.size(); ++j) Cross(r, list[j]);
        if (e.statusFlags != r.statusFlags) {
          e.statusFlags = r.statusFlags;
          changed = true;
        }
        return static_cast<int>(i);
      }
      const bool suffixesAgree =
          r.commandSuffix < 0 || e.commandSuffix < 0 || r.commandSuffix == e.commandSuffix;
      if (!r.deviceId.empty() && r.deviceId == e.deviceId && suffixesAgree &&
          r.deviceIndex == e.deviceIndex) {
        for (std::size_t j = i + 1; j < list.size(); ++j) Cross(r, list[j]);
        e = r;
        changed = true;
        return static_cast<int>(i);
      }
      Cross(r, e);
    }
    list.push_back(r);
    changed = true;
    return -1;
  }

  // The first record in the order of the wanted sort whose fields qualify.
  bool FindBySerial(std::uint32_t serial, DeviceRecord& found) const {
    for (const DeviceRecord& record : list) {
      if (record.serial == serial) {
        found = record;
        found.sortKey = 0;
        return true;
      }
    }
    return false;
  }

  bool FindByDeviceId(const std::string& id, std::int32_t index, DeviceRecord& found) const {
    const DeviceRecord* best = nullptr;
    for (const DeviceRecord& record : list) {
      if (!SameTextIgnoringCase(record.deviceId, id)) continue;
      if (index >= 1 && record.deviceIndex != index) continue;
      if (best == nullptr || record.deviceId < best->deviceId) best = &record;
    }
    if (best == nullptr) return false;
    found = *best;
    found.sortKey = 7;
    return true;
  }

  // Ordering by sort key; byte-wise texts (std::string compares unsigned).
  static bool Less(const DeviceRecord& a, const DeviceRecord& b, std::int32_t key) {
    switch (key) {
      case 0:
        return a.serial < b.serial;
      case 1:
        return a.name < b.name;
      case 2:
        return a.dhcp < b.dhcp;
      case 3:
        return a.ipAddress < b.ipAddress;
      case 4:
        return a.netmask < b.netmask;
      case 5:
        return a.gateway < b.gateway;
      case 6:
        return a.extTextB < b.extTextB;
      case 7:
        return a.deviceId < b.deviceId;
      case 8:
        return a.deviceIndex < b.deviceIndex;
      case 9:
      case 10:
      case 11:
      case 12:
        return a.extTexts[key - 9] < b.extTexts[key - 9];
      case 13:
        return a.extNumber2 < b.extNumber2;
      case 14:
        return a.extTextA < b.extTextA;
      case 15:
        return a.auxTextB < b.auxTextB;
      case 16:
        return a.auxNumber < b.auxNumber;
      case 17:
        return a.auxTextA < b.auxTextA;
      default:
        return false;
    }
  }

  std::vector<DeviceRecord> list;
  bool changed = false;
};

}  // namespace velkarin::test
