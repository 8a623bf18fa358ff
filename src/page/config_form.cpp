#include "page/config_form.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "config/address_rules.h"
#include "config/config_transaction.h"
#include "page/form_state.h"
#include "page/list_cells.h"
#include "page/page_controls.h"
#include "page/page_ids.h"
#include "page/page_state.h"
#include "platform/pump.h"

namespace velkarin {
namespace {

constexpr std::uint32_t kAnnounceAgainTimeoutMs = 15000;

std::string ControlText(int id) {
  HWND control = PageControl(id);
  const int length = GetWindowTextLengthA(control);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(control, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

void ShowSyntaxError(HWND page) {
  MessageBoxA(page, "Invalid IP Configuration!", "Syntax Error", MB_OK | MB_ICONHAND);
}
void ShowFailure(HWND page) {
  MessageBoxA(page, "Configuring Device Failed!!", "Failed!", MB_OK | MB_ICONHAND);
}
void ShowSuccess(HWND page) { MessageBoxA(page, "Device is configured now", "Success", MB_OK); }

// The transaction dispatches this thread's messages while it waits, so the
// page may have been destroyed (and even created anew) meanwhile.
bool PageStillOpen(HWND page, unsigned generation) {
  return pageState.generation == generation && IsWindow(page);
}

// Marks a run as under way for as long as it lasts on its own page.
class RunMark {
 public:
  explicit RunMark(unsigned generation) : generation_(generation) { pageState.configuring = true; }
  ~RunMark() {
    if (pageState.generation == generation_) pageState.configuring = false;
  }
  RunMark(const RunMark&) = delete;
  RunMark& operator=(const RunMark&) = delete;

 private:
  unsigned generation_;
};

}  // namespace

void OnUseDhcpClicked() {
  pageState.formChanged = true;
  const bool checked = SendMessageA(PageControl(IDC_USE_DHCP), BM_GETCHECK, 0, 0) == BST_CHECKED;
  SetAddressEditsEnabled(!checked);
}

void SendConfiguration() {
  // A press while a run waits (its messages are dispatched meanwhile) is
  // ignored: runs would otherwise nest and report out of order.
  if (pageState.closing || pageState.configuring) return;
  HWND page = pageState.pageWindow.load();
  HWND list = pageState.listWindow;
  const unsigned generation = pageState.generation;
  HCURSOR previousCursor = GetCursor();

  const int mark = static_cast<int>(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0));
  if (mark < 0) return;
  char serialText[kSerialReadSize];
  ReadCellText(list, mark, COLUMN_SERIAL, serialText, kSerialReadSize);

  DeviceRecord record;
  record.serial = static_cast<std::uint32_t>(std::strtoul(serialText, nullptr, 16));
  record.ipAddress = ControlText(IDC_IP_ADDRESS);
  record.netmask = ControlText(IDC_NETMASK);
  record.gateway = ControlText(IDC_GATEWAY);
  record.dhcp = SendMessageA(PageControl(IDC_USE_DHCP), BM_GETCHECK, 0, 0) != 0 ? 1 : 0;

  if (FirstRefusal(record, RuleContext::PAGE)) {
    ShowSyntaxError(page);
    return;
  }
  // The device gets the values that were checked, in plain dotted decimal.
  if (record.dhcp == 0) CanonicalizeAddressEntries(record);

  RunMark run(generation);
  HCURSOR waitCursor = LoadCursorA(nullptr, IDC_WAIT);
  SetCursor(waitCursor);
  const ConfigResult result = FinderConfigure(record);
  SetCursor(previousCursor);
  // Nobody is left to tell when the page was closed or the host is quitting.
  if (!PageStillOpen(page, generation) || platform::QuitRequested()) return;
  // A reply is lost as easily as a command: a device that did not reply may
  // have taken the configuration all the same, and what it announces now
  // tells. It is not sent the command again, which it may be busy taking.
  if (result != CONFIG_OK && result != CONFIG_NO_REPLY) {
    ShowFailure(page);
    return;
  }

  SetCursor(waitCursor);
  DeviceRecord reply;
  const bool found = FinderWaitForDevice(record.serial, kAnnounceAgainTimeoutMs, reply);
  SetCursor(previousCursor);
  if (!PageStillOpen(page, generation) || platform::QuitRequested()) return;
  if (!found || !IsDeviceConfigured(record, reply)) {
    ShowFailure(page);
    return;
  }
  ShowSuccess(page);
  if (PageStillOpen(page, generation)) ClearFormModified();
}

}  // namespace velkarin
