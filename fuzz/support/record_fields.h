// Whole-record comparison and printing for the fuzz targets: unlike the
// list's equality, every field counts, flags and sort key included.
#pragma once
#include <string>

#include "protocol/device_record.h"
#include "support/fuzz_check.h"

namespace velkarin::fuzz {

inline bool SameFields(const DeviceRecord& a, const DeviceRecord& b) {
  return a.serial == b.serial && a.name == b.name && a.dhcp == b.dhcp &&
         a.ipAddress == b.ipAddress && a.netmask == b.netmask && a.gateway == b.gateway &&
         a.extNumber1 == b.extNumber1 && a.extTextB == b.extTextB && a.deviceId == b.deviceId &&
         a.deviceIndex == b.deviceIndex && a.commandSuffix == b.commandSuffix &&
         a.extTexts == b.extTexts && a.extNumber2 == b.extNumber2 && a.extTextA == b.extTextA &&
         a.auxTextB == b.auxTextB && a.auxNumber == b.auxNumber && a.auxTextA == b.auxTextA &&
         a.statusFlags == b.statusFlags && a.sortKey == b.sortKey;
}

inline std::string Describe(const DeviceRecord& r) {
  std::string out = "{serial=" + std::to_string(r.serial) + " name=" + Quoted(r.name) +
                    " dhcp=" + std::to_string(r.dhcp) + " ip=" + Quoted(r.ipAddress) +
                    " mask=" + Quoted(r.netmask) + " gw=" + Quoted(r.gateway) +
                    " ext1=" + std::to_string(r.extNumber1) + " extB=" + Quoted(r.extTextB) +
                    " id=" + Quoted(r.deviceId) + " index=" + std::to_string(r.deviceIndex) +
                    " suffix=" + std::to_string(r.commandSuffix) + " texts=";
  for (const std::string& text : r.extTexts) out += Quoted(text) + ",";
  out += " ext2=" + std::to_string(r.extNumber2) + " extA=" + Quoted(r.extTextA) +
         " auxB=" + Quoted(r.auxTextB) + " aux=" + std::to_string(r.auxNumber) +
         " auxA=" + Quoted(r.auxTextA) + " flags=" + std::to_string(r.statusFlags) +
         " sortKey=" + std::to_string(r.sortKey) + "}";
  return out;
}

}  // namespace velkarin::fuzz
