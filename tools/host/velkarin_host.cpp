// A minimal host for the Velkarin plug-in: loads the module named on the
// command line, asks it for its page and shows the page in a modal property
// sheet, as the configuration program does.
//   velkarin-host.exe [--smoke] [PATH\Velkarin.dll]
// --smoke shows the sheet for a second without waiting for a user, prints the
// sheet's caption, the page's title and whether its device list is there,
// and cancels it: a check that a release's DLL loads and shows its page.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

using GetPropertySheetFn = LPCDLGTEMPLATEA(WINAPI*)(LPPROPSHEETPAGEA);

// --smoke: one second after the sheet is up, reports what it shows and
// cancels it. Passes when the page is visible and holds its device list.
HWND smokeSheet = nullptr;
bool smokePassed = false;

void CALLBACK ReportAndClose(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND sheet = smokeSheet;
  char caption[128] = {};
  GetWindowTextA(sheet, caption, sizeof caption);
  char title[128] = {};
  TCITEMA tab = {};
  tab.mask = TCIF_TEXT;
  tab.pszText = title;
  tab.cchTextMax = sizeof title;
  SendMessageA(PropSheet_GetTabControl(sheet), TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tab));
  HWND page = PropSheet_GetCurrentPageHwnd(sheet);
  const bool visible = page != nullptr && IsWindowVisible(page);
  const bool list = page != nullptr && FindWindowExA(page, nullptr, WC_LISTVIEWA, nullptr) != nullptr;
  std::printf("sheet: %s\npage: %s\nvisible: %s\ndevice list: %s\n", caption, title,
              visible ? "yes" : "no", list ? "yes" : "no");
  std::fflush(stdout);
  smokePassed = visible && list;
  PropSheet_PressButton(sheet, PSBTN_CANCEL);
}

int CALLBACK OnSheetEvent(HWND sheet, UINT event, LPARAM) {
  if (event == PSCB_INITIALIZED) {
    smokeSheet = sheet;
    SetTimer(nullptr, 0, 1000, &ReportAndClose);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
  const int pathIndex = smoke ? 2 : 1;
  const char* path = argc > pathIndex ? argv[pathIndex] : "Velkarin.dll";
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);

  HMODULE module = LoadLibraryA(path);
  if (module == nullptr) {
    std::fprintf(stderr, "velkarin-host: cannot load %s (error %lu)\n", path, GetLastError());
    return 1;
  }
  auto getPropertySheet = reinterpret_cast<GetPropertySheetFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "GetPropertySheet")));
  if (getPropertySheet == nullptr) {
    std::fprintf(stderr, "velkarin-host: %s exports no GetPropertySheet\n", path);
    FreeLibrary(module);
    return 1;
  }

  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
  page.hInstance = module;
  if (getPropertySheet(&page) == nullptr) {
    std::fprintf(stderr, "velkarin-host: %s gave no page template\n", path);
    FreeLibrary(module);
    return 1;
  }
  HPROPSHEETPAGE pageHandle = CreatePropertySheetPageA(&page);

  PROPSHEETHEADERA sheet = {};
  sheet.dwSize = sizeof sheet;
  sheet.dwFlags = PSH_DEFAULT;
  sheet.hInstance = GetModuleHandleA(nullptr);
  sheet.pszCaption = "Velkarin host";
  sheet.nPages = 1;
  sheet.phpage = &pageHandle;
  if (smoke) {
    sheet.dwFlags |= PSH_USECALLBACK;
    sheet.pfnCallback = &OnSheetEvent;
  }
  const INT_PTR result = PropertySheetA(&sheet);
  FreeLibrary(module);
  if (result < 0) {
    std::fprintf(stderr, "velkarin-host: the property sheet could not be shown (error %lu)\n",
                 GetLastError());
    return 1;
  }
  return smoke && !smokePassed ? 1 : 0;
}
