#include "config/config_transaction.h"

#include <utility>

#include "config/config_command.h"
#include "config/config_delivery.h"
#include "engine/device_scan.h"
#include "engine/finder_facade.h"
#include "platform/clock.h"
#include "platform/guarded.h"
#include "platform/pump.h"

namespace velkarin {
namespace {

bool PasswordTooLong(const char* password) {
  if (password == nullptr) return false;
  for (std::size_t i = 0; i <= kMaxPasswordLength; ++i) {
    if (password[i] == '\0') return false;
  }
  return true;
}

// A command that would not fit the device's buffer is never sent.
bool CommandFits(const DeviceRecord& record, const char* password) {
  return BuildConfigCommand(record, password, ConfigChallenge{}).has_value();
}

// Repeats discovery polls until the device has been found and the collector
// has been quiet for more than a second, or the time is up.
template <typename Lookup>
bool WaitForDeviceIn(DeviceFinder& finder, DeviceCollector& collector, std::uint32_t timeoutMs,
                     Lookup lookup) {
  const std::uint32_t start = platform::TickCountMs();
  std::uint32_t lastChange = start;
  bool found = false;
  for (;;) {
    const std::uint32_t now = platform::TickCountMs();
    if (found && platform::TickElapsed(lastChange, now) > kSearchQuietMs) break;
    if (timeoutMs != 0 && platform::TickElapsed(start, now) >= timeoutMs) break;
    if (platform::QuitRequested()) break;
    PollOnce(finder, collector);
    if (collector.TakeChanged(true)) lastChange = platform::TickCountMs();
    found = lookup(collector);
  }
  return found;
}

template <typename Lookup>
bool WaitForDevice(DeviceFinder& finder, std::uint32_t timeoutMs, Lookup lookup) {
  DeviceCollector collector;
  return WaitForDeviceIn(finder, collector, timeoutMs, lookup);
}

}  // namespace

const char* ConfigResultName(ConfigResult result) {
  switch (result) {
    case CONFIG_OK:
      return "CONFIG_OK";
    case CONFIG_BAD_ARGUMENT:
      return "CONFIG_BAD_ARGUMENT";
    case CONFIG_NOT_FOUND:
      return "CONFIG_NOT_FOUND";
    case CONFIG_REFUSED:
      return "CONFIG_REFUSED";
    case CONFIG_FAILED:
      return "CONFIG_FAILED";
    case CONFIG_SERIAL_SHARED_NO_ID:
      return "CONFIG_SERIAL_SHARED_NO_ID";
    case CONFIG_SERIAL_CLASH:
      return "CONFIG_SERIAL_CLASH";
    case CONFIG_NO_REPLY:
      return "CONFIG_NO_REPLY";
  }
  return "CONFIG_UNKNOWN";
}

void PollOnce(DeviceFinder& finder, DeviceCollector& collector) {
  // The tool's scan with the poll's timing: one discovery request out of
  // every adapter the engine searches, and what answers in the pause.
  ScanTiming timing;
  timing.sends = 1;
  timing.maxScanMs = kPollPauseMs;
  timing.listenMs = kPollPauseMs;
  timing.idleMs = kPollPauseMs;
  // No round after the first: a round would not end within the poll.
  timing.roundMs = kPollPauseMs;
  timing.shortestRoundMs = kPollPauseMs;
  // The page's messages are served while the scan waits, and the host's quit
  // ends it.
  const auto serve = [] {
    platform::PumpOneMessage();
    return !platform::QuitRequested();
  };
  const ScanResult scan = ScanDevices(finder.targets(), timing, serve);
  if (scan.channelsOpen == 0) {
    // Nothing could be asked: the pause all the same, so a search without
    // a socket does not spin.
    if (serve()) platform::SleepMs(kPollPauseMs);
    return;
  }
  for (const ScannedDevice& heard : scan.devices) {
    // The search flags clashes among all it heard, across adapters too.
    DeviceRecord record = heard.record;
    record.statusFlags = 0;
    collector.Add(std::move(record));
  }
}

// The identifier is taken by value as the interface has it.
// cppcheck-suppress passedByValue
bool WaitForDeviceById(DeviceFinder& finder, std::string deviceId, std::int32_t deviceIndex,
                       std::uint32_t timeoutMs, DeviceRecord& found) {
  return WaitForDevice(finder, timeoutMs, [&](DeviceCollector& collector) {
    return collector.FindByDeviceId(deviceId, deviceIndex, found);
  });
}

bool WaitForDeviceBySerial(DeviceFinder& finder, std::uint32_t serial, std::uint32_t timeoutMs,
                           DeviceRecord& found) {
  return WaitForDevice(finder, timeoutMs, [&](DeviceCollector& collector) {
    return collector.FindBySerial(serial, found);
  });
}

namespace {

// A search that ended without the device: the host may have asked to quit
// meanwhile, and then nobody waits for the device any more.
ConfigResult SearchFailed() {
  return platform::QuitRequested() ? CONFIG_NO_REPLY : CONFIG_NOT_FOUND;
}

// The search of the transaction of ConfigureDevice and ConfigureNamedDevice:
// CONFIG_OK when `found` is to be sent `record` (whose deviceId a fallback to
// the serial may clear). `exact`: with a deviceId, only a device that
// announces both it and the record's serial will do, and there is no
// fallback to the serial alone.
ConfigResult SearchForTarget(DeviceFinder& finder, DeviceRecord& record, const char* password,
                             bool exact, DeviceRecord& found) {
  // A quit noted by an earlier run on this thread has been handed on already.
  platform::ClearQuitRequested();

  if (record.serial == 0 && record.deviceId.empty()) return CONFIG_BAD_ARGUMENT;
  if (PasswordTooLong(password)) return CONFIG_BAD_ARGUMENT;
  if (!CommandFits(record, password)) return CONFIG_BAD_ARGUMENT;

  // The devices heard by the search that found the target.
  DeviceCollector heard;
  if (exact && !record.deviceId.empty()) {
    if (!WaitForDeviceIn(finder, heard, kSearchTimeMs, [&](DeviceCollector& collector) {
          if (collector.FindNewest(record.serial, record.deviceId, found)) return true;
          // Tells the caller whom the identifier belongs to instead.
          collector.FindByDeviceId(record.deviceId, record.deviceIndex, found);
          return false;
        })) {
      return SearchFailed();
    }
  } else if (!record.deviceId.empty()) {
    if (!WaitForDeviceIn(finder, heard, kSearchTimeMs, [&](DeviceCollector& collector) {
          return collector.FindByDeviceId(record.deviceId, record.deviceIndex, found);
        })) {
      if (platform::QuitRequested()) return CONFIG_NO_REPLY;
      // Not found under its identifier: name it by its serial number instead.
      record.deviceId.clear();
      heard.Clear();
      if (!WaitForDeviceIn(finder, heard, kSearchTimeMs, [&](DeviceCollector& collector) {
            return collector.FindBySerial(record.serial, found);
          })) {
        return SearchFailed();
      }
      // The serial form of the command can be longer than the one it replaces.
      if (!CommandFits(record, password)) return CONFIG_BAD_ARGUMENT;
    }
  } else {
    if (!WaitForDeviceIn(finder, heard, kSearchTimeMs, [&](DeviceCollector& collector) {
          return collector.FindBySerial(record.serial, found);
        })) {
      return SearchFailed();
    }
    if (found.statusFlags & STATUS_SERIAL_CLASH) return CONFIG_SERIAL_CLASH;
  }
  if (platform::QuitRequested()) return CONFIG_NO_REPLY;
  if (found.statusFlags & STATUS_SERIAL_SHARED_NO_ID) return CONFIG_SERIAL_SHARED_NO_ID;

  return CONFIG_OK;
}

ConfigResult RunTransaction(DeviceFinder& finder, DeviceRecord record, const char* password,
                            bool exact, DeviceRecord& found) {
  // The exchange keeps its challenge with the engine, from a reply to the
  // next authenticated command.
  DeviceExchange exchange(finder.destination(), finder.configChallenge());
  exchange.Open();
  const ConfigResult searched = SearchForTarget(finder, record, password, exact, found);
  if (searched != CONFIG_OK) return searched;
  // The command goes back by the adapter the device was heard on.
  exchange.LeaveBy(found.interfaceIndex);
  Delivery delivery;
  const ConfigResult result = exchange.Send(record, password, found, PageDelivery(), delivery);
  finder.configChallenge() = exchange.challenge();
  return result;
}

}  // namespace

ConfigResult ConfigureDevice(DeviceFinder& finder, DeviceRecord record, const char* password) {
  DeviceRecord found;
  return RunTransaction(finder, std::move(record), password, false, found);
}

ConfigResult ConfigureNamedDevice(DeviceFinder& finder, DeviceRecord record, const char* password,
                                  DeviceRecord& found) {
  return RunTransaction(finder, std::move(record), password, true, found);
}

ConfigResult FoundDeviceProblem(const DeviceRecord& record, const char* password,
                                const DeviceRecord& found) {
  if (record.serial == 0 && record.deviceId.empty()) return CONFIG_BAD_ARGUMENT;
  if (PasswordTooLong(password)) return CONFIG_BAD_ARGUMENT;
  if (!CommandFits(record, password)) return CONFIG_BAD_ARGUMENT;
  // The flags of the search, judged as the transaction judges them.
  if (record.deviceId.empty() && (found.statusFlags & STATUS_SERIAL_CLASH)) {
    return CONFIG_SERIAL_CLASH;
  }
  if (found.statusFlags & STATUS_SERIAL_SHARED_NO_ID) return CONFIG_SERIAL_SHARED_NO_ID;
  return CONFIG_OK;
}

bool WaitForAnnouncement(DeviceFinder& finder, std::uint32_t serial, const std::string& deviceId,
                         std::uint32_t timeoutMs, DeviceRecord& found) {
  platform::ClearQuitRequested();
  return WaitForDevice(finder, timeoutMs, [&](DeviceCollector& collector) {
    return collector.FindNewest(serial, deviceId, found);
  });
}

ConfigResult FinderConfigure(DeviceRecord record) {
  return platform::Guarded(CONFIG_FAILED, [&record] {
    HeldFinder hold;
    if (hold.get() == nullptr) return CONFIG_NOT_FOUND;
    return ConfigureDevice(*hold.get(), std::move(record), nullptr);
  });
}

bool FinderWaitForDevice(std::uint32_t serial, std::uint32_t timeoutMs, DeviceRecord& found) {
  return platform::Guarded(false, [serial, timeoutMs, &found] {
    HeldFinder hold;
    if (hold.get() == nullptr) return false;
    return WaitForAnnouncement(*hold.get(), serial, std::string(), timeoutMs, found);
  });
}

}  // namespace velkarin
