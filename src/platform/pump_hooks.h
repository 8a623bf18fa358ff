// The hooks that replace the platform's message pumping (see pump.h).
#pragma once
#include <cstdint>

namespace velkarin::platform::detail {

// Each runs the installed hook on the calling thread and returns true, or
// returns false when none is installed.
bool RunPumpHook();
bool RunServeSentHook();
bool ServeSentHookInstalled();

// Sleeps `milliseconds` in short slices, running the serve-sent hook before
// each slice. For SleepServingSentMessages while that hook is installed.
void SleepRunningServeSentHook(std::uint32_t milliseconds);

}  // namespace velkarin::platform::detail
