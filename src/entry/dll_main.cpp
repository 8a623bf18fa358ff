#include <windows.h>

// Loading and unloading do no work: the page and the engine exist only while
// the page is shown.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
  return TRUE;
}
