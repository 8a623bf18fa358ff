#include "page/device_list_view.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "engine/finder_facade.h"
#include "page/form_state.h"
#include "page/list_cells.h"
#include "page/page_controls.h"
#include "page/page_ids.h"
#include "page/page_state.h"
#include "platform/guarded.h"

namespace velkarin {
namespace {

struct ColumnLayout {
  const char* caption;
  int width;
};

constexpr ColumnLayout kColumns[] = {
    {"Snr", 50}, {"Name", 70}, {"DHCP", 50}, {"IP", 100}, {"Netmask", 100}, {"Gateway", 100},
};

void SetCell(HWND list, int row, int column, const char* text) {
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text);
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void InsertRow(HWND list, int row, const char* serialText) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<char*>(serialText);
  SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void InsertDeviceColumns(HWND list) {
  int index = 0;
  for (const ColumnLayout& layout : kColumns) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(layout.caption);
    column.cx = layout.width;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index++),
                 reinterpret_cast<LPARAM>(&column));
  }
}

void RefreshDeviceList() {
  // Paint messages that the stopping engine lets through during shutdown
  // find a page that is going away: nothing to rebuild.
  if (pageState.closing || pageState.listWindow == nullptr) return;
  HWND list = pageState.listWindow;

  const int mark = static_cast<int>(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0));
  if (mark >= 0) {
    ReadCellText(list, mark, COLUMN_SERIAL, pageState.rememberedSerial, kSerialReadSize);
  }
  int selected = -1;

  DeviceList devices;
  FinderGetDevices(devices);
  SortDeviceList(devices, SORT_SERIAL);

  // Without redrawing in between, the list view draws the new rows once
  // instead of after every insertion.
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  int row = 0;
  for (const DeviceRecord& device : devices) {
    char serialText[16];
    std::snprintf(serialText, sizeof serialText, "%06X", static_cast<unsigned>(device.serial));
    if (std::strcmp(serialText, pageState.rememberedSerial) == 0) selected = row;
    InsertRow(list, row, serialText);
    SetCell(list, row, COLUMN_NAME, device.name.c_str());
    SetCell(list, row, COLUMN_DHCP, device.dhcp != 0 ? "Yes" : "No");
    SetCell(list, row, COLUMN_IP_ADDRESS, device.ipAddress.c_str());
    SetCell(list, row, COLUMN_NETMASK, device.netmask.c_str());
    SetCell(list, row, COLUMN_GATEWAY, device.gateway.c_str());
    ++row;
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  SelectDevice(selected, !IsFormModified());
}

void OnDeviceListChanged(void* /*finder*/) noexcept {
  // Called on the worker: a failure here is the worker's cycle's, not the page's.
  platform::Guarded([] {
    // Returns once the page's thread has handled the paint.
    SendMessageA(pageState.pageWindow.load(), WM_PAINT, 0, 0);
  });
}

LRESULT CALLBACK DeviceListSubclassProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept {
  // Called by user32: nothing may unwind into it. The list view's own answer
  // stands even when refilling the form fails after it.
  LRESULT result = 0;
  platform::Guarded([&] {
    result = pageState.previousListProc != nullptr
                 ? CallWindowProcA(pageState.previousListProc, window, message, wParam, lParam)
                 : DefWindowProcA(window, message, wParam, lParam);
    HWND page = pageState.pageWindow.load();
    if ((message == WM_KEYDOWN || message == WM_LBUTTONDOWN) && page != nullptr) {
      // The list view has moved its selection mark already: refill the form.
      SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_DEVICE_LIST, 0),
                   reinterpret_cast<LPARAM>(window));
    }
  });
  return result;
}

}  // namespace velkarin
