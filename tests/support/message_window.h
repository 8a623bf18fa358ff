// A message-only window of the test's own class, for tests of what runs on a
// thread's messages while it waits (Windows only).
#pragma once
#ifdef _WIN32
#include <windows.h>

namespace velkarin::test {

// Registers `className` with `procedure` and makes a message-only window of
// it; null when it cannot be made.
inline HWND CreateMessageWindow(const char* className, WNDPROC procedure) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         windowClass.hInstance, nullptr);
}

}  // namespace velkarin::test
#endif
