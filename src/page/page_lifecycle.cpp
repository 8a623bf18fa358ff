#include "page/page_lifecycle.h"

#include <commctrl.h>

#include "engine/finder_facade.h"
#include "page/device_list_view.h"
#include "page/form_state.h"
#include "page/page_ids.h"
#include "page/page_state.h"

namespace velkarin {

void StartPage(HWND page) {
  ++pageState.generation;
  pageState.closing = false;
  pageState.configuring = false;
  pageState.pageWindow.store(page);
  pageState.listWindow = GetDlgItem(page, IDC_DEVICE_LIST);

  HWND list = pageState.listWindow;
  pageState.previousListProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(list, GWLP_WNDPROC));
  SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DeviceListSubclassProc));
  InsertDeviceColumns(list);
  ShowWindow(list, SW_SHOW);

  EnableWindow(GetDlgItem(page, IDC_USE_DHCP), FALSE);
  EnableWindow(GetDlgItem(page, IDC_SEND_CONFIG), FALSE);
  SetAddressEditsEnabled(false);

  FinderCreate();
  FinderSetNotify(&OnDeviceListChanged);
  FinderStart();
}

void ShutdownPage() {
  // From here on the page counts as gone: a "Send Config" run that resumes
  // later, and paint messages served while the engine stops, leave it alone.
  ++pageState.generation;
  pageState.closing = true;
  pageState.configuring = false;
  FinderSetNotify(nullptr);
  // Serves the paint message of a notification already under way, so the
  // worker is never left waiting for this thread.
  FinderStop();
  // Frees the engine now, or when a configuration run on it ends.
  FinderDestroy();
}

}  // namespace velkarin
