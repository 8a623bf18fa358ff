// One device as announced on the network.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace velkarin {

struct DeviceRecord {
  std::uint32_t serial = 0;
  std::string name;
  std::int32_t dhcp = 0;
  std::string ipAddress;
  std::string netmask;
  std::string gateway;
  std::int32_t extNumber1 = -1;
  std::string extTextB;
  std::string deviceId;
  std::int32_t deviceIndex = -1;
  std::int32_t commandSuffix = -1;
  std::array<std::string, 4> extTexts;
  std::int32_t extNumber2 = 0;
  std::string extTextA;
  std::string auxTextB;
  std::uint32_t auxNumber = 0;
  std::string auxTextA;
  std::uint32_t statusFlags = 0;
  std::int32_t sortKey = 0;
  // The interface the announcement arrived by (the system's index), so that
  // a command goes back the same way; 0 when the system chose. Not part of
  // the announcement, and no comparison of records looks at it.
  std::uint32_t interfaceIndex = 0;
};

}  // namespace velkarin
