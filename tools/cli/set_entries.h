// The checks of `velkarin set`'s options that go beyond the configuration
// form's: each problem is a usage error, found before anything is sent.
#pragma once
#include <optional>
#include <string>

#include "cli/commands.h"

namespace velkarin::cli {

// The configuration record that `set` sends: the device's identity and the
// new configuration from the options.
DeviceRecord ConfigurationRecord(const SetOptions& options);

// Takes a prefix off --ip ("10.0.0.5/24") and makes it the netmask; an
// explicit --netmask must then name the same mask. Without a prefix, --ip
// needs --netmask. `netmaskGiven`: --netmask was on the command line.
std::optional<std::string> TakeIpPrefix(SetOptions& options, bool netmaskGiven);

// For a fixed configuration whose texts passed the form's checks: an address,
// netmask or gateway no device can have (see assignable_address.h).
std::optional<std::string> AssignmentProblem(const SetOptions& options);

// What the transaction would refuse as a bad argument: serial number 0
// without an identifier, a password longer than it takes, or an identifier
// that makes the command longer than a device reads.
std::optional<std::string> BadArgumentProblem(const SetOptions& options);

}  // namespace velkarin::cli
