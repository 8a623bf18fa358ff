// What the page remembers. There is one page at a time; the state is
// module-wide and lives from load to unload.
#pragma once
#include <windows.h>

#include <atomic>

namespace velkarin {

constexpr int kRememberedSerialSize = 256;

struct PageState {
  // Set at start-up and never cleared; read by the worker's notification.
  std::atomic<HWND> pageWindow{nullptr};
  HWND listWindow = nullptr;
  WNDPROC previousListProc = nullptr;
  // Serial text of the row last seen selected; survives closing the page.
  char rememberedSerial[kRememberedSerialSize] = {};
  // Set by a click on the DHCP box, cleared when the form is reset.
  bool formChanged = false;

  // Counts start-ups and shutdowns, so that code resuming after a nested
  // message loop can tell whether its page still exists.
  unsigned generation = 0;
  // From the start of the shutdown to the next start-up: paint messages
  // served while the engine stops no longer rebuild the list.
  bool closing = false;
  // A "Send Config" run of the current page is under way.
  bool configuring = false;
};

extern PageState pageState;

}  // namespace velkarin
