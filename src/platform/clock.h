// Sleeping and the two clocks the core uses.
#pragma once
#include <cstdint>

namespace velkarin::platform {

void SleepMs(std::uint32_t milliseconds);

// The system's 32-bit millisecond tick count (GetTickCount). It wraps after
// about 49.7 days; take differences with TickElapsed.
std::uint32_t TickCountMs();
// Milliseconds from `start` to `now`, correct across one wrap of the count.
inline std::uint32_t TickElapsed(std::uint32_t start, std::uint32_t now) { return now - start; }

// Elapsed wall-clock milliseconds of the process, from a monotonic clock.
std::int64_t ProcessClockMs();

// Test hook: a value added to every TickCountMs reading, so a test can put the
// count just below its wrap.
void SetTickCountBias(std::uint32_t bias);

}  // namespace velkarin::platform
