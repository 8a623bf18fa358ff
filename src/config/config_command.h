// The one-line configuration command in its four forms.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "protocol/device_record.h"
#include "protocol/udp_channel.h"

namespace velkarin {

constexpr std::size_t kCommandBufferSize = 256;  // 255 characters at most
constexpr std::size_t kPasswordDigestCap = 20;

// The command text that SendConfigCommand sends for these inputs, digest
// included, or nothing when it would exceed 255 characters or a field that
// goes into it holds a blank or a control character.
std::optional<std::string> BuildConfigCommand(const DeviceRecord& record, const char* password,
                                              const ConfigChallenge& challenge);

// The command's first word, by which devices know it is theirs: the
// identifier, or the serial as "%06X" when there is none.
std::string CommandAddress(const DeviceRecord& record);

// True when `device` takes a command whose first word is `address`: a
// device takes one that names its serial ("%06X") or its identifier (in any
// case).
bool DeviceTakesCommandFor(const DeviceRecord& device, const std::string& address);

// The devices of `heard` other than `target` that would take the command
// sent for `record` as well. Devices that share the target's serial are the
// clash flags' concern and are left out.
std::vector<DeviceRecord> OtherTakers(const DeviceRecord& record, const DeviceRecord& target,
                                      const std::vector<DeviceRecord>& heard);

}  // namespace velkarin
