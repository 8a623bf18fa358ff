// Device records as JSON objects keyed by the record's field names.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

#include "engine/device_list.h"
#include "protocol/device_record.h"

namespace velkarin::cli {

// Every field of the record, in declaration order; numbers as numbers,
// texts as strings (Latin1ToUtf8), extTexts as an array of four strings.
nlohmann::ordered_json DeviceToJson(const DeviceRecord& record);
nlohmann::ordered_json DevicesToJson(const DeviceList& devices);

}  // namespace velkarin::cli
