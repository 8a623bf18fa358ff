#include "engine/device_list.h"

#include <cstring>

#include "protocol/address.h"

namespace velkarin {

namespace {

// Byte-wise, unsigned; on an equal common prefix the shorter text is smaller.
bool TextLess(const std::string& a, const std::string& b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  const int order = std::memcmp(a.data(), b.data(), common);
  if (order != 0) return order < 0;
  return a.size() < b.size();
}

}  // namespace

AddressValues AddressValuesOf(const DeviceRecord& record) {
  return {AddressValue(record.ipAddress), AddressValue(record.netmask),
          AddressValue(record.gateway)};
}

bool SameRecord(const DeviceRecord& a, const AddressValues& aAddresses, const DeviceRecord& b,
                const AddressValues& bAddresses) {
  // Cheap integer fields first: most unequal pairs differ in their serial.
  return a.serial == b.serial && a.dhcp == b.dhcp && a.deviceIndex == b.deviceIndex &&
         a.extNumber2 == b.extNumber2 && a.auxNumber == b.auxNumber &&
         aAddresses.ip == bAddresses.ip && aAddresses.netmask == bAddresses.netmask &&
         aAddresses.gateway == bAddresses.gateway && a.name == b.name && a.extTextB == b.extTextB &&
         a.deviceId == b.deviceId && a.extTexts == b.extTexts && a.extTextA == b.extTextA &&
         a.auxTextB == b.auxTextB && a.auxTextA == b.auxTextA;
}

bool operator==(const DeviceRecord& a, const DeviceRecord& b) {
  // Unequal serials settle it before any address text is read.
  return a.serial == b.serial && SameRecord(a, AddressValuesOf(a), b, AddressValuesOf(b));
}

bool operator!=(const DeviceRecord& a, const DeviceRecord& b) { return !(a == b); }

bool operator<(const DeviceRecord& a, const DeviceRecord& b) {
  switch (a.sortKey) {
    case SORT_SERIAL:
      return a.serial < b.serial;
    case SORT_NAME:
      return TextLess(a.name, b.name);
    case SORT_DHCP:
      return a.dhcp < b.dhcp;
    case SORT_IP_ADDRESS:
      return TextLess(a.ipAddress, b.ipAddress);
    case SORT_NETMASK:
      return TextLess(a.netmask, b.netmask);
    case SORT_GATEWAY:
      return TextLess(a.gateway, b.gateway);
    case SORT_EXT_TEXT_B:
      return TextLess(a.extTextB, b.extTextB);
    case SORT_DEVICE_ID:
      return TextLess(a.deviceId, b.deviceId);
    case SORT_DEVICE_INDEX:
      return a.deviceIndex < b.deviceIndex;
    case SORT_EXT_TEXT_0:
      return TextLess(a.extTexts[0], b.extTexts[0]);
    case SORT_EXT_TEXT_1:
      return TextLess(a.extTexts[1], b.extTexts[1]);
    case SORT_EXT_TEXT_2:
      return TextLess(a.extTexts[2], b.extTexts[2]);
    case SORT_EXT_TEXT_3:
      return TextLess(a.extTexts[3], b.extTexts[3]);
    case SORT_EXT_NUMBER_2:
      return a.extNumber2 < b.extNumber2;
    case SORT_EXT_TEXT_A:
      return TextLess(a.extTextA, b.extTextA);
    case SORT_AUX_TEXT_B:
      return TextLess(a.auxTextB, b.auxTextB);
    case SORT_AUX_NUMBER:
      return a.auxNumber < b.auxNumber;
    case SORT_AUX_TEXT_A:
      return TextLess(a.auxTextA, b.auxTextA);
    default:
      // No caller sets another key; unordered keeps a stable sort's input order.
      return false;
  }
}

void SortDeviceList(DeviceList& list, std::int32_t key) {
  for (DeviceRecord& record : list) record.sortKey = key;
  // std::list::sort is a stable merge sort.
  list.sort();
}

bool SameDevices(const DeviceList& a, const DeviceList& b) {
  if (a.size() != b.size()) return false;
  auto j = b.begin();
  for (auto i = a.begin(); i != a.end(); ++i, ++j) {
    if (!(*i == *j)) return false;
  }
  return true;
}

}  // namespace velkarin
