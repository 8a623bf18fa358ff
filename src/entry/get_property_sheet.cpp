#include "entry/get_property_sheet.h"

#include "page/page_dialog.h"
#include "page/page_ids.h"
#include "platform/guarded.h"

// The image base of this module, whatever its file is called. The linker
// defines the symbol under this reserved name.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

LPCDLGTEMPLATEA FindPageTemplate() {
  HINSTANCE self = reinterpret_cast<HINSTANCE>(&__ImageBase);
  HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(IDD_PARAMETER_PAGE), RT_DIALOG);
  if (found == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(self, found);
  if (loaded == nullptr) return nullptr;
  return static_cast<LPCDLGTEMPLATEA>(LockResource(loaded));
}

}  // namespace

// Called by the host: nothing may unwind into it; a failure gives no template.
extern "C" LPCDLGTEMPLATEA WINAPI GetPropertySheet(LPPROPSHEETPAGEA page) noexcept {
  return velkarin::platform::Guarded(LPCDLGTEMPLATEA{nullptr}, [page] {
    LPCDLGTEMPLATEA pageTemplate = FindPageTemplate();
    page->pResource = pageTemplate;
    page->pfnDlgProc = &velkarin::PageDialogProc;
    page->pszTitle = "Modul Parameters";
    return pageTemplate;
  });
}
