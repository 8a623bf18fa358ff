#include "engine/device_collector.h"

#include <utility>

#include "platform/faults.h"
#include "protocol/address.h"

namespace velkarin {

namespace {

// The two addresses that mean "this device has no usable address".
bool IsPlaceholderAddress(std::uint32_t value) {
  static const std::uint32_t kZero = AddressValue("0.0.0.0");
  static const std::uint32_t kOnes = AddressValue("1.1.1.1");
  return value == kZero || value == kOnes;
}

// FNV-1a: texts with different digests differ, so most identifier
// comparisons end without looking at the texts.
std::uint32_t Digest(const std::string& text) {
  std::uint32_t digest = 2166136261u;
  for (const char c : text) {
    digest = (digest ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return digest;
}

// Whether listed record `e` is the device of new record `r`, announcing new
// data. The digests are those of the two deviceId texts.
bool SameDeviceNewData(const DeviceRecord& r, std::uint32_t rDigest, const DeviceRecord& e,
                       std::uint32_t eDigest) {
  if (r.deviceId.empty() || r.deviceIndex != e.deviceIndex) return false;
  const bool suffixesAgree =
      r.commandSuffix < 0 || e.commandSuffix < 0 || r.commandSuffix == e.commandSuffix;
  return suffixesAgree && rDigest == eDigest && r.deviceId == e.deviceId;
}

// `aPlaceholder` is IsPlaceholderAddress(aIp), worked out once per merge.
void CrossCheckValues(DeviceRecord& a, std::uint32_t aIp, bool aPlaceholder, DeviceRecord& b,
                      std::uint32_t bIp) {
  if (aPlaceholder) {
    a.statusFlags |= STATUS_NO_IP;
  } else if (aIp == bIp && a.interfaceIndex == b.interfaceIndex) {
    // An address is unique per network: two cells behind two adapters may
    // use the same scheme.
    a.statusFlags |= STATUS_IP_CLASH;
    b.statusFlags |= STATUS_IP_CLASH;
  }
  if (a.serial == 0) {
    a.statusFlags |= STATUS_NO_SERIAL;
    return;
  }
  if (a.serial != b.serial) return;
  if (!SameTextIgnoringCase(a.deviceId, b.deviceId)) {
    a.statusFlags |= STATUS_SERIAL_CLASH;
    b.statusFlags |= STATUS_SERIAL_CLASH;
  }
  if (b.deviceId.empty()) b.statusFlags |= STATUS_SERIAL_SHARED_NO_ID;
  if (a.deviceId.empty()) a.statusFlags |= STATUS_SERIAL_SHARED_NO_ID;
}

}  // namespace

void CrossCheck(DeviceRecord& a, DeviceRecord& b) {
  const std::uint32_t aIp = AddressValue(a.ipAddress);
  CrossCheckValues(a, aIp, IsPlaceholderAddress(aIp), b, AddressValue(b.ipAddress));
}

DeviceCollector::DeviceCollector() = default;

DeviceCollector::~DeviceCollector() {
  platform::LockGuard guard(lock_);
  list_.clear();
}

bool DeviceCollector::Add(DeviceRecord record) {
  platform::LockGuard guard(lock_);
  const AddressValues values = AddressValuesOf(record);
  const bool placeholder = IsPlaceholderAddress(values.ip);
  const std::uint32_t digest = Digest(record.deviceId);
  const std::uint64_t seen = ++adds_;
  const std::size_t count = list_.size();
  for (std::size_t i = 0; i < count; ++i) {
    Entry& listed = list_[i];
    const bool unchanged = SameRecord(record, values, listed.record, listed.addresses);
    if (unchanged || SameDeviceNewData(record, digest, listed.record, listed.deviceIdDigest)) {
      for (std::size_t j = i + 1; j < count; ++j) {
        CrossCheckValues(record, values.ip, placeholder, list_[j].record, list_[j].addresses.ip);
      }
      listed.lastSeen = seen;
      if (unchanged) {
        // Only the flags may change; the listed record keeps its other fields.
        if (listed.record.statusFlags != record.statusFlags) {
          listed.record.statusFlags = record.statusFlags;
          changed_ = true;
        }
      } else {
        listed.record = std::move(record);
        listed.addresses = values;
        listed.deviceIdDigest = digest;
        changed_ = true;
      }
      return true;
    }
    CrossCheckValues(record, values.ip, placeholder, listed.record, listed.addresses.ip);
  }
  list_.push_back({std::move(record), values, digest, seen});
  changed_ = true;
  return true;
}

std::size_t DeviceCollector::Count() {
  platform::LockGuard guard(lock_);
  return list_.size();
}

DeviceList DeviceCollector::CopyList(bool takeChanged) {
  platform::CheckAllocation();
  DeviceList copy;
  platform::LockGuard guard(lock_);
  for (const Entry& entry : list_) copy.push_back(entry.record);
  // Under the lock with the copy: an Add after it sets the flag again.
  if (takeChanged) changed_ = false;
  return copy;
}

DeviceList DeviceCollector::Snapshot() { return CopyList(true); }

void DeviceCollector::Clear() {
  // Only the filling thread clears, but the lock costs nothing here and keeps
  // a stray reader safe.
  platform::LockGuard guard(lock_);
  list_.clear();
}

bool DeviceCollector::TakeChanged(bool clear) {
  return clear ? changed_.exchange(false) : changed_.load();
}

bool DeviceCollector::FindByDeviceId(const std::string& deviceId, std::int32_t deviceIndex,
                                     DeviceRecord& found) {
  DeviceList copy = CopyList(false);
  for (DeviceRecord& record : copy) record.sortKey = SORT_DEVICE_ID;
  if (copy.size() >= 2) copy.sort();
  for (const DeviceRecord& record : copy) {
    if (SameTextIgnoringCase(record.deviceId, deviceId) &&
        (deviceIndex < 1 || record.deviceIndex == deviceIndex)) {
      found = record;
      return true;
    }
  }
  return false;
}

bool DeviceCollector::FindBySerial(std::uint32_t serial, DeviceRecord& found) {
  DeviceList copy = CopyList(false);
  for (DeviceRecord& record : copy) record.sortKey = SORT_SERIAL;
  if (copy.size() >= 2) copy.sort();
  for (const DeviceRecord& record : copy) {
    if (record.serial == serial) {
      found = record;
      return true;
    }
  }
  return false;
}

}  // namespace velkarin

namespace velkarin {

bool DeviceCollector::FindNewest(std::uint32_t serial, const std::string& deviceId,
                                 DeviceRecord& found) {
  platform::LockGuard guard(lock_);
  const Entry* newest = nullptr;
  for (const Entry& entry : list_) {
    if (entry.record.serial != serial) continue;
    if (!deviceId.empty() && !SameTextIgnoringCase(entry.record.deviceId, deviceId)) continue;
    if (newest == nullptr || entry.lastSeen > newest->lastSeen) newest = &entry;
  }
  if (newest == nullptr) return false;
  platform::CheckAllocation();  // the copy below allocates its texts
  found = newest->record;
  return true;
}

}  // namespace velkarin
