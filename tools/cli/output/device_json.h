// Device records as JSON objects keyed by the record's field names.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

#include "engine/device_list.h"
#include "protocol/device_record.h"

namespace velkarin::cli {

// Every field of the record, in declaration order; numbers as numbers,
// texts as strings (Latin1ToUtf8), extTexts as an array of four strings.
// Beside `serial`, `serialText` as `set` takes it; beside `statusFlags`,
// `status` in the table's words; then addressConflict: whether another listed
// device announces the same address.
nlohmann::ordered_json DeviceToJson(const DeviceRecord& record);
nlohmann::ordered_json DevicesToJson(const DeviceList& devices);

}  // namespace velkarin::cli
