// Which interface `velkarin set` sends by: the one named, or the one on which
// a scan hears the device.
#pragma once
#include <string>

#include "cli/commands/commands.h"

namespace velkarin::cli {

// Sets options.destination.interfaceIndex. Returns 0, or the exit code after
// its message on standard error (as list's scan ends: no interface up, or an
// --interface that is not).
// Without --interface and --broadcast, and with more than one interface to
// choose from, scans them all and takes the first on which a device with the
// serial (and the identifier, if given) answers; when none does, leaves the
// choice to the system, and the transaction reports what it finds.
int ChooseSetInterface(SetOptions& options);

}  // namespace velkarin::cli
