// The record a test sends to give a device a fixed address.
#pragma once
#include <cstdint>

#include "protocol/device_record.h"

namespace velkarin::test {

inline DeviceRecord StaticConfiguration(std::uint32_t serial, const char* ipAddress,
                                        const char* netmask, const char* gateway) {
  DeviceRecord record;
  record.serial = serial;
  record.ipAddress = ipAddress;
  record.netmask = netmask;
  record.gateway = gateway;
  return record;
}

// The three address fields of a fixed configuration alone, as a form holds
// them before a device is chosen.
inline DeviceRecord FixedAddresses(const char* ipAddress, const char* netmask,
                                   const char* gateway) {
  return StaticConfiguration(0, ipAddress, netmask, gateway);
}

}  // namespace velkarin::test
