// JSON text in plain ASCII.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

namespace velkarin::cli {

// Writes `value` (UTF-8 strings) as JSON in ASCII only: every character above
// 0x7F and every control character is written as \uXXXX with upper-case hex
// digits (a surrogate pair above 0xFFFF); quote and backslash are escaped, and
// so are \b \f \n \r \t in their short forms. Keys keep the order of the
// object. `indent` < 0 writes everything on one line; otherwise each member
// and element goes on a line of its own, indented by `indent` blanks a level.
std::string WriteJson(const nlohmann::ordered_json& value, int indent);

// The string written as a JSON string literal, quotes included.
std::string JsonStringLiteral(const std::string& utf8);

}  // namespace velkarin::cli
