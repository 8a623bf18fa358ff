// Merges announcements into one record per device and flags clashes.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/device_list.h"
#include "platform/lock.h"

namespace velkarin {

enum StatusFlag : std::uint32_t {
  STATUS_SERIAL_SHARED_NO_ID = 0x01,
  STATUS_IP_CLASH = 0x02,
  STATUS_NO_SERIAL = 0x04,
  STATUS_NO_IP = 0x08,
  STATUS_SERIAL_CLASH = 0x10,
  // Set by a scan of several interfaces: another device, announcing
  // otherwise, has this serial behind another interface.
  STATUS_SERIAL_ELSEWHERE = 0x20,
};

class DeviceCollector {
 public:
  DeviceCollector();
  ~DeviceCollector();
  DeviceCollector(const DeviceCollector&) = delete;
  DeviceCollector& operator=(const DeviceCollector&) = delete;

  bool Add(DeviceRecord record);
  DeviceList Snapshot();
  std::size_t Count();  // the records listed
  void Clear();
  bool TakeChanged(bool clear);
  bool FindByDeviceId(const std::string& deviceId, std::int32_t deviceIndex, DeviceRecord& found);
  bool FindBySerial(std::uint32_t serial, DeviceRecord& found);
  // The record with this serial (and this identifier, ignoring case, unless
  // `deviceId` is empty) that was announced last: a device without an
  // identifier that changes its settings is listed once per setting, and only
  // the newest says what it runs now.
  bool FindNewest(std::uint32_t serial, const std::string& deviceId, DeviceRecord& found);

 private:
  // A listed record with its three addresses already converted and a digest
  // of its deviceId, so that the comparisons of a merge neither parse the
  // same texts again and again nor compare identifiers that cannot be equal.
  struct Entry {
    DeviceRecord record;
    AddressValues addresses;
    std::uint32_t deviceIdDigest;
    std::uint64_t lastSeen;  // the number of the Add that last matched it
  };

  // The listed records in arrival order; `takeChanged` also clears changed_.
  DeviceList CopyList(bool takeChanged);

  std::atomic<bool> changed_{false};
  // In order of first arrival. Records are only appended or updated in place
  // until Clear, so a vector keeps them in place as a list would.
  std::vector<Entry> list_;
  std::uint64_t adds_ = 0;
  platform::Lock lock_;
};

// Sets bits in `a` (and `b`) from comparing new record `a` with listed `b`.
void CrossCheck(DeviceRecord& a, DeviceRecord& b);

}  // namespace velkarin
