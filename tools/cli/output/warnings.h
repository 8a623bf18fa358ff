// What the tool tells the user on stderr besides its results: the hint after
// a discovery nobody answered, and the warnings of `set`.
#pragma once
#include <string>
#include <vector>

#include "engine/device_list.h"
#include "platform/interfaces.h"
#include "protocol/udp_channel.h"

namespace velkarin::cli {

// One line, without its end: nobody answered, where discovery went (and out
// of which interfaces, when named), and the two usual causes.
std::string NoDeviceAnsweredText(const Destination& destination,
                                 const std::vector<std::string>& interfaces = {});

// One text per device in `heard`, other than `target`, that announces the
// address `ipAddress` about to be given to `target`.
std::vector<std::string> AddressConflictWarnings(const DeviceList& heard,
                                                 const DeviceRecord& target,
                                                 const std::string& ipAddress);

// What to say when the command for `record`, meant for `target`, would be
// taken by other devices of `heard` as well (OtherTakers): who they are, and
// the way out, `idOption` (the option or column that names a device by its
// identifier), when the target announces an identifier that names it alone.
std::string OtherTakersText(const DeviceRecord& record, const DeviceRecord& target,
                            const std::vector<DeviceRecord>& heard, const std::string& idOption);

// The warnings of the address rules for the configuration in `record`.
std::vector<std::string> PlausibilityWarningTexts(const DeviceRecord& record);

// When `address` lies in no subnet of the interface named `interfaceName`
// among `all`: what that means (a device there is reached by broadcast, not
// by its address from this host). "" when it lies in one, or when the
// interface is not among them (the system chose it).
std::string OutsideSubnetWarning(const std::string& address, const std::string& interfaceName,
                                 const std::vector<platform::NetInterface>& all);

// "velkarin: warning: TEXT" on stderr.
void PrintWarning(const std::string& text);

}  // namespace velkarin::cli
