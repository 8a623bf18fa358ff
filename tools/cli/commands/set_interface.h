// What `velkarin set` sends to: one scan of the interfaces (or the
// --interface or --broadcast destination), and the device it names there.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "engine/device_scan.h"

namespace velkarin::cli {

struct SetTarget {
  ScanTarget target;  // the interface the device was heard on, or the only one
  bool found = false;
  DeviceRecord device;  // the device named by the serial (and identifier), when found
  // When not found with an identifier: the device that announces it, if any.
  std::optional<DeviceRecord> identifierOwner;
  std::vector<DeviceRecord> heard;  // everything heard behind `target`
};

// Scans, asking `keepGoing` between waits, and fills `out`. 0, or the exit
// code after its message on standard error: no interface up, an
// --interface that is not, several --interface, or different devices with
// the serial behind two interfaces (the command would reach either).
int FindSetTarget(const SetOptions& options, const std::function<bool()>& keepGoing,
                  SetTarget& out);

}  // namespace velkarin::cli
