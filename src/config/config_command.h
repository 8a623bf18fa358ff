// The one-line configuration command in its four forms.
#pragma once
#include <optional>
#include <string>

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

}  // namespace velkarin
