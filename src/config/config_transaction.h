// Finding one device, sending it a configuration, and waiting for it again.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/device_collector.h"
#include "engine/device_finder.h"

namespace velkarin {

enum ConfigResult : int {
  CONFIG_OK = 0,
  CONFIG_BAD_ARGUMENT = 1,
  CONFIG_NOT_FOUND = 2,
  CONFIG_REFUSED = 3,
  CONFIG_FAILED = 4,
  CONFIG_SERIAL_SHARED_NO_ID = 5,
  CONFIG_SERIAL_CLASH = 6,
  CONFIG_NO_REPLY = 7,
};

const char* ConfigResultName(ConfigResult result);  // "CONFIG_OK", ...

constexpr std::uint32_t kSearchTimeMs = 6000;
constexpr std::uint32_t kSearchQuietMs = 1000;
constexpr std::uint32_t kPollPauseMs = 250;
constexpr std::size_t kMaxPasswordLength = 20;

ConfigResult ConfigureDevice(DeviceFinder& finder, DeviceRecord record, const char* password);
// As ConfigureDevice, but a record with a deviceId names exactly one device:
// the one that announces both that identifier and the record's serial. When
// none does, nothing is sent and the result is CONFIG_NOT_FOUND; `found` then
// holds the device that announces the identifier under another serial, if
// any (otherwise it stays as it was). Without a deviceId, as ConfigureDevice.
ConfigResult ConfigureNamedDevice(DeviceFinder& finder, DeviceRecord record, const char* password,
                                  DeviceRecord& found);
// For a device that a scan has just found (`found`, with the scan's status
// flags): CONFIG_OK when it may be sent `record`, otherwise what the
// transaction would have said instead of sending.
ConfigResult FoundDeviceProblem(const DeviceRecord& record, const char* password,
                                const DeviceRecord& found);
bool WaitForDeviceById(DeviceFinder& finder, std::string deviceId, std::int32_t deviceIndex,
                       std::uint32_t timeoutMs, DeviceRecord& found);
bool WaitForDeviceBySerial(DeviceFinder& finder, std::uint32_t serial, std::uint32_t timeoutMs,
                           DeviceRecord& found);
void PollOnce(DeviceFinder& finder, DeviceCollector& collector);
// The wait after a configuration: like WaitForDeviceBySerial, but `found` is
// the device's newest announcement (with this identifier too, unless
// `deviceId` is empty), so that a device which announced its old settings
// first is judged by what it announces now.
bool WaitForAnnouncement(DeviceFinder& finder, std::uint32_t serial, const std::string& deviceId,
                         std::uint32_t timeoutMs, DeviceRecord& found);

// Facade over the module's one engine. FinderConfigure gives the
// transaction's result, CONFIG_NOT_FOUND when no engine exists and
// CONFIG_FAILED when the run broke off; FinderWaitForDevice false when none
// exists.
ConfigResult FinderConfigure(DeviceRecord record);
bool FinderWaitForDevice(std::uint32_t serial, std::uint32_t timeoutMs, DeviceRecord& found);

}  // namespace velkarin
