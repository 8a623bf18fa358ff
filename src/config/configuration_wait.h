// The wait after many configurations: one scan after another of every
// interface, until each device announces what it was sent or the time is up.
// One device at a time would cost each its own search.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/device_scan.h"
#include "protocol/device_record.h"

namespace velkarin {

struct ExpectedConfiguration {
  // The interface the device was heard on, as the scan names it.
  std::string interfaceName;
  // Serial, identifier (empty: any) and the configuration sent.
  DeviceRecord sent;
  // False: judged when heard, but no scan goes on for it.
  bool awaited = true;
};

struct ObservedConfiguration {
  bool seen = false;        // announced itself at all
  bool configured = false;  // IsDeviceConfigured(sent, announced)
  DeviceRecord announced;   // the last announcement heard, when seen
};

// One result per expected device, in the same order. Scans with `timing`
// until every device is configured, `timeoutMs` have passed, or `keepGoing`
// (asked between the scan's waits) says no; `timeoutMs` 0 is a single scan,
// which ends as soon as every device has announced itself.
std::vector<ObservedConfiguration> AwaitConfigurations(
    const std::vector<ScanTarget>& targets, const std::vector<ExpectedConfiguration>& expected,
    std::uint32_t timeoutMs, const ScanTiming& timing,
    const std::function<bool()>& keepGoing = nullptr);

}  // namespace velkarin
