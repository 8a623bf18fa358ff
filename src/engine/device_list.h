// Lists of device records, their equality and their ordering.
#pragma once
#include <cstdint>
#include <list>

#include "protocol/device_record.h"

namespace velkarin {

// Keeps other records in place on insertion at the end and removal anywhere.
using DeviceList = std::list<DeviceRecord>;

enum SortKey : std::int32_t {
  SORT_SERIAL = 0,
  SORT_NAME = 1,
  SORT_DHCP = 2,
  SORT_IP_ADDRESS = 3,
  SORT_NETMASK = 4,
  SORT_GATEWAY = 5,
  SORT_EXT_TEXT_B = 6,
  SORT_DEVICE_ID = 7,
  SORT_DEVICE_INDEX = 8,
  SORT_EXT_TEXT_0 = 9,
  SORT_EXT_TEXT_1 = 10,
  SORT_EXT_TEXT_2 = 11,
  SORT_EXT_TEXT_3 = 12,
  SORT_EXT_NUMBER_2 = 13,
  SORT_EXT_TEXT_A = 14,
  SORT_AUX_TEXT_B = 15,
  SORT_AUX_NUMBER = 16,
  SORT_AUX_TEXT_A = 17,
};

// A record's three addresses as their comparison sees them (AddressValue).
struct AddressValues {
  std::uint32_t ip;
  std::uint32_t netmask;
  std::uint32_t gateway;
};
AddressValues AddressValuesOf(const DeviceRecord& record);

// Equal in every compared field: extNumber1, commandSuffix, statusFlags,
// sortKey and interfaceIndex take no part; the three addresses compare as addresses, here as the
// values of both sides converted already (AddressValuesOf).
bool SameRecord(const DeviceRecord& a, const AddressValues& aAddresses, const DeviceRecord& b,
                const AddressValues& bAddresses);
// SameRecord, converting the addresses only when the serials agree.
bool operator==(const DeviceRecord& a, const DeviceRecord& b);
bool operator!=(const DeviceRecord& a, const DeviceRecord& b);
// Compares the field named by a.sortKey.
bool operator<(const DeviceRecord& a, const DeviceRecord& b);

// Sets sortKey on every record, then sorts stably.
void SortDeviceList(DeviceList& list, std::int32_t key);
// Same length and equal records position by position.
bool SameDevices(const DeviceList& a, const DeviceList& b);

}  // namespace velkarin
