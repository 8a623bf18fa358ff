#include "platform/clock.h"

#include <windows.h>

#include "platform/tick_bias.h"

namespace velkarin::platform {

void SleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::uint32_t TickCountMs() {
  return static_cast<std::uint32_t>(GetTickCount()) + detail::TickCountBias();
}

}  // namespace velkarin::platform
