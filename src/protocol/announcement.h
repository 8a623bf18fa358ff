// The announcement datagram: up to three NUL-ended sections of words.
#pragma once
#include <cstddef>

#include "protocol/device_record.h"

namespace velkarin {

// Never fails: whatever the bytes hold, a record comes out.
DeviceRecord ParseAnnouncement(const char* bytes, std::size_t length);

// For a datagram whose sender address was 0.0.0.0.
void ApplyUnconfiguredSender(DeviceRecord& record);

}  // namespace velkarin
