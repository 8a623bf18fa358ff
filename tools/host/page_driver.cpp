#include "page_driver.h"

#include <cstdlib>

namespace velkarin::driver {
namespace {

HWND dialogForPump = nullptr;

void PumpAvailable() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (dialogForPump != nullptr && IsWindow(dialogForPump) &&
        PropSheet_IsDialogMessage(dialogForPump, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

POINT RowPoint(HWND list, int row) {
  RECT rect = {};
  rect.left = LVIR_LABEL;
  SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
  return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

LONG_PTR Style(HWND window) { return GetWindowLongPtrA(window, GWL_STYLE); }

}  // namespace

PluginModule::PluginModule(const std::string& path) {
  module_ = LoadLibraryA(path.c_str());
  if (module_ != nullptr) {
    getPropertySheet_ = reinterpret_cast<GetPropertySheetFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "GetPropertySheet")));
  }
}

PluginModule::~PluginModule() {
  if (module_ != nullptr) FreeLibrary(module_);
}

PageSheet::PageSheet(const PluginModule& plugin, const char* caption, GetPropertySheetFn fill) {
  static bool controlsReady = false;
  if (!controlsReady) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    controlsReady = true;
  }
  if (fill == nullptr) fill = plugin.getPropertySheet();
  if (fill == nullptr) return;
  PROPSHEETPAGEA sheetPage = {};
  sheetPage.dwSize = sizeof sheetPage;
  sheetPage.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
  sheetPage.hInstance = plugin.handle();
  fill(&sheetPage);
  HPROPSHEETPAGE pageHandle = CreatePropertySheetPageA(&sheetPage);
  if (pageHandle == nullptr) return;

  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_MODELESS;
  header.hInstance = GetModuleHandleA(nullptr);
  header.pszCaption = caption;
  header.nPages = 1;
  header.phpage = &pageHandle;
  sheet_ = reinterpret_cast<HWND>(PropertySheetA(&header));
  if (sheet_ != nullptr) {
    SetForegroundWindow(sheet_);
    page_ = PropSheet_GetCurrentPageHwnd(sheet_);
    SetDialogForPump(sheet_);
  }
}

PageSheet::~PageSheet() { Close(); }

HWND PageSheet::list() const { return GetDlgItem(page_, 1010); }

HWND PageSheet::control(int id) const { return GetDlgItem(page_, id); }

std::string PageSheet::TabText() const {
  HWND tab = PropSheet_GetTabControl(sheet_);
  char text[256] = {};
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(tab, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return text;
}

void PageSheet::PressButton(int button) {
  PropSheet_PressButton(sheet_, button);
  Pump(50);
}

bool PageSheet::Ended() const {
  return !IsWindow(sheet_) || PropSheet_GetCurrentPageHwnd(sheet_) == nullptr;
}

void PageSheet::Close() {
  if (sheet_ != nullptr && IsWindow(sheet_)) DestroyWindow(sheet_);
  if (dialogForPump == sheet_) dialogForPump = nullptr;
  sheet_ = nullptr;
}

void SetDialogForPump(HWND sheet) { dialogForPump = sheet; }

void Pump(std::uint32_t milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpAvailable();
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
  }
}

bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpAvailable();
    if (done()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return done();
    const DWORD slice = timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
  }
}

std::string CellText(HWND list, int row, int column) {
  char text[512] = {};
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

std::vector<std::vector<std::string>> ListRows(HWND list) {
  std::vector<std::vector<std::string>> rows;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::vector<std::string> cells;
    cells.reserve(6);
    for (int column = 0; column < 6; ++column) cells.push_back(CellText(list, row, column));
    rows.push_back(cells);
  }
  return rows;
}

int SelectedRow(HWND list) {
  return static_cast<int>(
      SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

int SelectionMark(HWND list) {
  return static_cast<int>(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0));
}

std::vector<std::string> ColumnCaptions(HWND list) {
  std::vector<std::string> captions;
  for (int index = 0;; ++index) {
    char text[128] = {};
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(&column))) {
      break;
    }
    captions.push_back(text);
  }
  return captions;
}

void ClickRow(HWND list, int row) {
  const POINT point = RowPoint(list, row);
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
  PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
  Pump(100);
}

void RightClickRow(HWND list, int row) {
  const POINT point = RowPoint(list, row);
  PostMessageA(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(point.x, point.y));
  PostMessageA(list, WM_RBUTTONUP, 0, MAKELPARAM(point.x, point.y));
  Pump(100);
}

void PressKey(HWND window, int virtualKey) {
  SetFocus(window);
  const UINT scan = MapVirtualKeyA(static_cast<UINT>(virtualKey), 0);
  // The key-up flags set the top bit: a negative LPARAM where it is 32 bits.
  PostMessageA(window, WM_KEYDOWN, static_cast<WPARAM>(virtualKey),
               static_cast<LPARAM>(1 | (scan << 16)));
  PostMessageA(window, WM_KEYUP, static_cast<WPARAM>(virtualKey),
               static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
  Pump(100);
}

void TypeText(HWND edit, const std::string& text) {
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  if (text.empty()) {
    PostMessageA(edit, WM_CHAR, VK_BACK, 1);
  }
  for (char c : text) {
    PostMessageA(edit, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
  }
  Pump(100);
}

void ClickButton(HWND button) {
  SendMessageA(button, BM_CLICK, 0, 0);
  Pump(20);
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

bool IsEnabled(HWND window) { return IsWindowEnabled(window) != FALSE; }

bool IsChecked(HWND button) { return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool IsReadOnly(HWND edit) { return (Style(edit) & ES_READONLY) != 0; }

bool IsModified(HWND edit) { return SendMessageA(edit, EM_GETMODIFY, 0, 0) != 0; }

RECT AreaOf(std::initializer_list<HWND> windows) {
  RECT area = {};
  bool first = true;
  for (HWND window : windows) {
    RECT rect;
    if (window == nullptr || !IsWindow(window) || !GetWindowRect(window, &rect)) continue;
    if (first) {
      area = rect;
      first = false;
    } else {
      UnionRect(&area, &area, &rect);
    }
  }
  return area;
}

std::string SaveScreenshot(const std::string& name, const RECT* area) {
  const char* folder = std::getenv("VELKARIN_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0') return "";
  std::string file = std::string(folder) + "/" + name + ".png";
  const std::string partial = std::string(folder) + "/." + name + ".part";
  std::string crop;
  if (area != nullptr && area->right > area->left && area->bottom > area->top) {
    const LONG left = area->left < 0 ? 0 : area->left;
    const LONG top = area->top < 0 ? 0 : area->top;
    crop = " -crop " + std::to_string(area->right - left) + "x" +
           std::to_string(area->bottom - top) + "+" + std::to_string(left) + "+" +
           std::to_string(top) + " +repage";
  }
  // Wine starts Linux programs given by their Linux path, but hands back no
  // process to wait for: the picture is written under another name and
  // renamed when complete, and this waits for the name.
  std::string command = "/bin/sh -c \"rm -f '" + file + "'; /usr/bin/import -window root" + crop +
                        " 'png:" + partial + "' && mv '" + partial + "' '" + file + "'\"";
  const std::string localFile = "Z:" + file;
  DeleteFileA(localFile.c_str());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return "";
  }
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  const DWORD start = GetTickCount();
  while (GetFileAttributesA(localFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > 20000) return "";
    Sleep(20);
  }
  return file;
}

}  // namespace velkarin::driver
