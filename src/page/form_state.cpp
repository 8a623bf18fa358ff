#include "page/form_state.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstring>

#include "page/list_cells.h"
#include "page/page_controls.h"
#include "page/page_ids.h"
#include "page/page_state.h"

namespace velkarin {
namespace {

constexpr int kAddressEdits[] = {IDC_IP_ADDRESS, IDC_NETMASK, IDC_GATEWAY};

void EnableButtons(bool enabled) {
  EnableWindow(PageControl(IDC_USE_DHCP), enabled ? TRUE : FALSE);
  EnableWindow(PageControl(IDC_SEND_CONFIG), enabled ? TRUE : FALSE);
}

}  // namespace

void SetAddressEditsEnabled(bool enabled) {
  for (int id : kAddressEdits) EnableWindow(PageControl(id), enabled ? TRUE : FALSE);
  for (int id : kAddressEdits)
    SendMessageA(PageControl(id), EM_SETREADONLY, enabled ? FALSE : TRUE, 0);
}

bool IsFormModified() {
  for (int id : kAddressEdits) {
    if (SendMessageA(PageControl(id), EM_GETMODIFY, 0, 0) != 0) return true;
  }
  return pageState.formChanged;
}

void ClearFormModified() {
  for (int id : kAddressEdits) SendMessageA(PageControl(id), EM_SETMODIFY, FALSE, 0);
  pageState.formChanged = false;
}

void SelectDevice(std::int32_t index, bool fill) {
  HWND list = pageState.listWindow;
  SendMessageA(list, LVM_SETSELECTIONMARK, 0, static_cast<LPARAM>(index));
  if (index < 0) {
    SetAddressEditsEnabled(false);
    EnableButtons(false);
    return;
  }
  LVITEMA state = {};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(&state));
  SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);

  EnableButtons(true);
  const bool dhcpChecked =
      SendMessageA(PageControl(IDC_USE_DHCP), BM_GETCHECK, 0, 0) == BST_CHECKED;
  SetAddressEditsEnabled(!dhcpChecked);
  if (!fill) return;

  char dhcp[kDhcpCellSize];
  char address[3][kAddressCellSize];
  ReadCellText(list, index, COLUMN_DHCP, dhcp, kDhcpCellSize);
  ReadCellText(list, index, COLUMN_IP_ADDRESS, address[0], kAddressCellSize);
  ReadCellText(list, index, COLUMN_NETMASK, address[1], kAddressCellSize);
  ReadCellText(list, index, COLUMN_GATEWAY, address[2], kAddressCellSize);

  if (std::strcmp(dhcp, "Yes") == 0) {
    SendMessageA(PageControl(IDC_USE_DHCP), BM_SETCHECK, BST_CHECKED, 0);
    SetAddressEditsEnabled(false);
  } else {
    SendMessageA(PageControl(IDC_USE_DHCP), BM_SETCHECK, BST_UNCHECKED, 0);
    SetAddressEditsEnabled(true);
  }
  for (int i = 0; i < 3; ++i) {
    SendMessageA(PageControl(kAddressEdits[i]), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(address[i]));
  }
  ClearFormModified();
  SetFocus(list);
}

}  // namespace velkarin
