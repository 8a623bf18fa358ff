#include "page/page_dialog.h"

#include <commctrl.h>

#include "page/config_form.h"
#include "page/device_list_view.h"
#include "page/form_state.h"
#include "page/page_ids.h"
#include "page/page_lifecycle.h"
#include "page/page_state.h"
#include "platform/guarded.h"

namespace velkarin {

namespace {

void HandleMessage(HWND window, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_INITDIALOG:
      StartPage(window);
      break;
    case WM_PAINT:
      RefreshDeviceList();
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_DEVICE_LIST:
          if (HIWORD(wParam) == 0) {
            const auto mark = SendMessageA(pageState.listWindow, LVM_GETSELECTIONMARK, 0, 0);
            SelectDevice(static_cast<int>(mark), true);
          }
          break;
        case IDC_USE_DHCP:
          OnUseDhcpClicked();
          break;
        case IDC_SEND_CONFIG:
          SendConfiguration();
          break;
        default:
          break;
      }
      break;
    case WM_DESTROY:
      // Only the page that owns the engine tears it down: an older page
      // destroyed after a newer one has started leaves the newer one alone.
      if (window == pageState.pageWindow.load()) ShutdownPage();
      break;
    default:
      break;
  }
}

}  // namespace

// Always FALSE: the default dialog handling runs after every message, also
// after one whose handling failed (an exception must not unwind into user32).
INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM /*lParam*/) noexcept {
  platform::Guarded([=] { HandleMessage(window, message, wParam); });
  return FALSE;
}

}  // namespace velkarin
