// A minimal host for the Velkarin plug-in: loads the module named on the
// command line, asks it for its page and shows the page in a modal property
// sheet, as the configuration program does.
//   velkarin-host.exe [PATH\Velkarin.dll]
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstdio>

namespace {

using GetPropertySheetFn = LPCDLGTEMPLATEA(WINAPI*)(LPPROPSHEETPAGEA);

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "Velkarin.dll";
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
  const INT_PTR result = PropertySheetA(&sheet);
  FreeLibrary(module);
  if (result < 0) {
    std::fprintf(stderr, "velkarin-host: the property sheet could not be shown (error %lu)\n",
                 GetLastError());
    return 1;
  }
  return 0;
}
