// A record with the fields that a list of devices shows in its columns.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "protocol/device_record.h"

namespace velkarin::test {

inline DeviceRecord ListedRecord(std::uint32_t serial, std::string name, std::int32_t dhcp,
                                 std::string ipAddress, std::string netmask, std::string gateway,
                                 std::uint32_t statusFlags = 0) {
  DeviceRecord record;
  record.serial = serial;
  record.name = std::move(name);
  record.dhcp = dhcp;
  record.ipAddress = std::move(ipAddress);
  record.netmask = std::move(netmask);
  record.gateway = std::move(gateway);
  record.statusFlags = statusFlags;
  return record;
}

}  // namespace velkarin::test
