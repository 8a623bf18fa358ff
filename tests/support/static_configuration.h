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

}  // namespace velkarin::test
