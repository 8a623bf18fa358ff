// The calling thread's message queue. On Windows PumpOneMessage removes,
// translates and dispatches at most one pending window message, and
// ServeSentMessages runs messages that other threads are sending to this one
// with SendMessage (without dispatching posted ones). Elsewhere both are
// no-ops unless a tool or test installs hooks of its own.
#pragma once
#include <cstdint>

namespace velkarin::platform {

using PumpHook = void (*)(void* context);

void PumpOneMessage();
void ServeSentMessages();

// A quit message (WM_QUIT) that PumpOneMessage meets is posted again with its
// exit code, so that the thread's own message loop still ends, and noted for
// the calling thread: from then on QuitRequested() is true and PumpOneMessage
// takes nothing more, until ClearQuitRequested(). Waits that pump end early
// when they see it.
bool QuitRequested();
void ClearQuitRequested();
// Notes a quit as PumpOneMessage does: for pump hooks that stand for a queue.
void NoteQuitRequested();
// Sleeps up to `milliseconds`, serving sent messages as they arrive.
void SleepServingSentMessages(std::uint32_t milliseconds);

// Replace the behaviour (null restores the platform's own). The hooks are
// process-wide, and each runs on the thread that calls PumpOneMessage or
// ServeSentMessages (SleepServingSentMessages calls the serve hook every few
// milliseconds while it sleeps).
void SetPumpHook(PumpHook hook, void* context);
void SetServeSentHook(PumpHook hook, void* context);

}  // namespace velkarin::platform
