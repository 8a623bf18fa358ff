#include "platform/pump.h"

#include <windows.h>

#include "platform/clock.h"
#include "platform/pump_hooks.h"

namespace velkarin::platform {

void PumpOneMessage() {
  if (QuitRequested()) return;
  if (detail::RunPumpHook()) return;
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    // The host's loop must still see it; taking it here would keep the host
    // running after it asked to end.
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      NoteQuitRequested();
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void ServeSentMessages() {
  if (detail::RunServeSentHook()) return;
  // Peeking runs every message that other threads are sending to this one;
  // PM_QS_SENDMESSAGE keeps it from looking at posted or input messages, and
  // PM_NOREMOVE leaves the queue as it is.
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void SleepServingSentMessages(std::uint32_t milliseconds) {
  if (detail::ServeSentHookInstalled()) {
    detail::SleepRunningServeSentHook(milliseconds);
    return;
  }
  // Measured with the fine process clock: the tick count moves in steps of
  // the system timer and would end the sleep early.
  const std::int64_t start = ProcessClockMs();
  for (;;) {
    ServeSentMessages();
    const std::int64_t left = static_cast<std::int64_t>(milliseconds) - (ProcessClockMs() - start);
    if (left <= 0) return;
    // Wakes as soon as another thread sends this one a message.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_SENDMESSAGE);
  }
}

}  // namespace velkarin::platform
