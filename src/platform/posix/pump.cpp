// No window messages here: the pump does only what a tool or test installs.
#include "platform/pump.h"

#include "platform/clock.h"
#include "platform/pump_hooks.h"

namespace velkarin::platform {

void PumpOneMessage() {
  if (QuitRequested()) return;
  detail::RunPumpHook();
}

void ServeSentMessages() { detail::RunServeSentHook(); }

void SleepServingSentMessages(std::uint32_t milliseconds) {
  if (detail::ServeSentHookInstalled()) {
    detail::SleepRunningServeSentHook(milliseconds);
  } else {
    SleepMs(milliseconds);
  }
}

}  // namespace velkarin::platform
