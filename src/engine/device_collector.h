// Merges announcements into one record per device and flags clashes.
#pragma once
#include <cstdint>
#include <string>

#include "engine/device_list.h"
#include "platform/lock.h"

namespace velkarin {

enum StatusFlag : std::uint32_t {
  STATUS_SERIAL_SHARED_NO_ID = 0x01,
  STATUS_IP_CLASH = 0x02,
  STATUS_NO_SERIAL = 0x04,
  STATUS_NO_IP = 0x08,
  STATUS_SERIAL_CLASH = 0x10,
};

class DeviceCollector {
 public:
  DeviceCollector();
  ~DeviceCollector();
  DeviceCollector(const DeviceCollector&) = delete;
  DeviceCollector& operator=(const DeviceCollector&) = delete;

  bool Add(DeviceRecord record);
  DeviceList Snapshot();
  void Clear();
  bool TakeChanged(bool clear);
  bool FindByDeviceId(const std::string& deviceId, std::int32_t deviceIndex, DeviceRecord& found);
  bool FindBySerial(std::uint32_t serial, DeviceRecord& found);

 private:
  bool changed_ = false;
  // (the implementation may keep derived data beside the list)
  DeviceList list_;
  platform::Lock lock_;
};

// Sets bits in `a` (and `b`) from comparing new record `a` with listed `b`.
void CrossCheck(DeviceRecord& a, DeviceRecord& b);

}  // namespace velkarin
