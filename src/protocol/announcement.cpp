#include "protocol/announcement.h"

#include <algorithm>
#include <string>

#include "protocol/token_readers.h"

namespace velkarin {
namespace {

void ReadSection1(const char* cursor, DeviceRecord& record) {
  cursor = ReadHex(cursor, record.serial);
  cursor = ReadDecimalOrZero(cursor, record.dhcp);
  cursor = ReadToken(cursor, record.ipAddress);
  cursor = ReadToken(cursor, record.netmask);
  cursor = ReadToken(cursor, record.gateway);
  ReadRest(cursor, record.name);
}

void ReadSection2(const char* cursor, DeviceRecord& record) {
  cursor = ReadDecimalOrZero(cursor, record.extNumber1);
  for (std::string& text : record.extTexts) cursor = ReadToken(cursor, text);
  cursor = ReadToken(cursor, record.deviceId);
  cursor = ReadDecimalOrZero(cursor, record.deviceIndex);
  cursor = ReadDecimalOrZero(cursor, record.extNumber2);
  cursor = ReadToken(cursor, record.extTextA);
  cursor = ReadToken(cursor, record.extTextB);
  ReadDecimalOrMinusOne(cursor, record.commandSuffix);
}

void ReadSection3(const char* cursor, DeviceRecord& record) {
  cursor = ReadHex(cursor, record.auxNumber);
  cursor = ReadToken(cursor, record.auxTextA);
  ReadToken(cursor, record.auxTextB);
}

// The readers work on NUL-terminated text, so each section is read from a
// copy that ends where the section ends: they can never run into the next
// section or past the received bytes. A failure inside one section (memory
// running out while a text is copied) costs only the rest of that section.
template <typename Reader>
void ReadGuarded(const char* begin, const char* end, DeviceRecord& record, Reader reader) {
  try {
    const std::string section(begin, end);
    reader(section.c_str(), record);
  } catch (...) {
  }
}

}  // namespace

DeviceRecord ParseAnnouncement(const char* bytes, std::size_t length) {
  DeviceRecord record;
  if (bytes == nullptr) return record;
  const char* const end = bytes + length;

  const char* const end1 = std::find(bytes, end, '\0');
  ReadGuarded(bytes, end1, record, ReadSection1);
  if (end1 == end || end1 + 1 == end) return record;

  const char* const begin2 = end1 + 1;
  const char* const end2 = std::find(begin2, end, '\0');
  ReadGuarded(begin2, end2, record, ReadSection2);
  if (end2 == end || end2 + 1 == end) return record;

  const char* const begin3 = end2 + 1;
  ReadGuarded(begin3, std::find(begin3, end, '\0'), record, ReadSection3);
  return record;
}

void ApplyUnconfiguredSender(DeviceRecord& record) {
  record.ipAddress = "0.0.0.0";
  record.netmask = "0.0.0.0";
  record.gateway = "0.0.0.0";
}

}  // namespace velkarin
