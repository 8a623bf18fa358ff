// JSON text in plain ASCII.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

namespace velkarin::cli {

// `value` (UTF-8 strings) as the library writes JSON with ensure_ascii: every
// character above 0x7E and every control character as \uXXXX (lower-case hex,
// a surrogate pair above 0xFFFF), the short escapes where JSON has them;
// malformed UTF-8 as U+FFFD. Keys keep the order of the object. `indent` < 0
// writes everything on one line; otherwise each member and element goes on a
// line of its own, indented by `indent` blanks a level.
std::string WriteJson(const nlohmann::ordered_json& value, int indent);

}  // namespace velkarin::cli
