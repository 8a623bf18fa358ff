// The offset that SetTickCountBias adds to the system's tick count.
#pragma once
#include <cstdint>

namespace velkarin::platform::detail {

std::uint32_t TickCountBias();

}  // namespace velkarin::platform::detail
