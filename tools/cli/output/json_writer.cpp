#include "cli/output/json_writer.h"

namespace velkarin::cli {

std::string WriteJson(const nlohmann::ordered_json& value, int indent) {
  return value.dump(indent, ' ', /*ensure_ascii=*/true,
                    nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace velkarin::cli
