// Checks of the configuration form's entries and of the device's answer.
#pragma once
#include <string>

#include "protocol/device_record.h"

namespace velkarin {

constexpr std::size_t kMaxAddressTextLength = 15;

// A dotted IPv4 text as inet_addr reads it, at most 15 characters, not 0.0.0.0.
bool IsValidAddressText(const std::string& text);

// IP address and netmask valid; gateway empty, "0.0.0.0" or valid.
bool AreAddressEntriesValid(const DeviceRecord& record);

// Whether the device announces the configuration that was sent.
bool IsDeviceConfigured(DeviceRecord sent, DeviceRecord reply);

}  // namespace velkarin
