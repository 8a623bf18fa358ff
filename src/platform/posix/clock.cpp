#include "platform/clock.h"

#include <errno.h>
#include <time.h>

#include "platform/tick_bias.h"

namespace velkarin::platform {

void SleepMs(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal cuts nanosleep short; sleep the rest.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::uint32_t TickCountMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  // Truncated to 32 bits like the Windows count, so it wraps the same way.
  return static_cast<std::uint32_t>(ms) + detail::TickCountBias();
}

}  // namespace velkarin::platform
