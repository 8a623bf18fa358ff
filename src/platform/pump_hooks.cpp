#include "platform/pump_hooks.h"

#include <algorithm>
#include <mutex>

#include "platform/clock.h"
#include "platform/pump.h"

namespace velkarin::platform {
namespace {

struct Hook {
  PumpHook function = nullptr;
  void* context = nullptr;
};

// Hooks are process-wide and may be changed while another thread pumps; the
// pair is copied under the mutex and run outside it, so a hook may replace
// itself.
std::mutex hookMutex;
Hook pumpHook;
Hook serveSentHook;
// Per thread: each thread has a message queue of its own.
thread_local bool quitRequested = false;

Hook Read(const Hook& hook) {
  std::lock_guard<std::mutex> guard(hookMutex);
  return hook;
}

bool Run(const Hook& hook) {
  const Hook copy = Read(hook);
  if (copy.function == nullptr) return false;
  copy.function(copy.context);
  return true;
}

}  // namespace

void SetPumpHook(PumpHook hook, void* context) {
  std::lock_guard<std::mutex> guard(hookMutex);
  pumpHook = Hook{hook, context};
}

void SetServeSentHook(PumpHook hook, void* context) {
  std::lock_guard<std::mutex> guard(hookMutex);
  serveSentHook = Hook{hook, context};
}

bool QuitRequested() { return quitRequested; }
void ClearQuitRequested() { quitRequested = false; }
void NoteQuitRequested() { quitRequested = true; }

namespace detail {
bool RunPumpHook() { return Run(pumpHook); }
bool RunServeSentHook() { return Run(serveSentHook); }
bool ServeSentHookInstalled() { return Read(serveSentHook).function != nullptr; }

void SleepRunningServeSentHook(std::uint32_t milliseconds) {
  // Short enough that a sender waiting on the hook is served promptly.
  constexpr std::int64_t kSliceMs = 10;
  const std::int64_t start = ProcessClockMs();
  for (;;) {
    RunServeSentHook();
    const std::int64_t left = static_cast<std::int64_t>(milliseconds) - (ProcessClockMs() - start);
    if (left <= 0) return;
    SleepMs(static_cast<std::uint32_t>(std::min(left, kSliceMs)));
  }
}
}  // namespace detail

}  // namespace velkarin::platform
