// The parts of the clocks that do not depend on the system.
#include "platform/clock.h"

#include <atomic>
#include <chrono>

#include "platform/tick_bias.h"

namespace velkarin::platform {
namespace {

std::atomic<std::uint32_t> tickBias{0};

using Steady = std::chrono::steady_clock;

Steady::time_point ProcessStart() noexcept {
  static const Steady::time_point start = Steady::now();
  return start;
}

// Read once during static initialisation, so the process clock counts from the
// start of the process rather than from its first use.
const Steady::time_point processStartAtLoad = ProcessStart();

}  // namespace

namespace detail {
std::uint32_t TickCountBias() { return tickBias.load(std::memory_order_relaxed); }
}  // namespace detail

void SetTickCountBias(std::uint32_t bias) { tickBias.store(bias, std::memory_order_relaxed); }

std::int64_t ProcessClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - ProcessStart())
      .count();
}

}  // namespace velkarin::platform
