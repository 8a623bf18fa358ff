// Drives the plug-in's page the way a user does, in this process: loads the
// module, shows its page in a modeless property sheet, clicks, types and
// reads what is on the screen. Used by the page tests and by the demo.
#pragma once
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace velkarin::driver {

using GetPropertySheetFn = LPCDLGTEMPLATEA(WINAPI*)(LPPROPSHEETPAGEA);

// The plug-in module, loaded for the lifetime of the object.
class PluginModule {
 public:
  explicit PluginModule(const std::string& path);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  HMODULE handle() const { return module_; }
  GetPropertySheetFn getPropertySheet() const { return getPropertySheet_; }

 private:
  HMODULE module_ = nullptr;
  GetPropertySheetFn getPropertySheet_ = nullptr;
};

// A modeless property sheet holding the plug-in's one page, as a host shows it.
class PageSheet {
 public:
  // `fill` stands in for the module's export when given (a test's own copy of
  // the page code).
  explicit PageSheet(const PluginModule& plugin, const char* caption = "Velkarin host",
                     GetPropertySheetFn fill = nullptr);
  ~PageSheet();  // closes the sheet if it is still open
  PageSheet(const PageSheet&) = delete;
  PageSheet& operator=(const PageSheet&) = delete;

  HWND sheet() const { return sheet_; }
  HWND page() const { return page_; }
  HWND list() const;
  HWND control(int id) const;
  // The text on the sheet's tab.
  std::string TabText() const;
  // Presses a sheet button (PSBTN_APPLYNOW, PSBTN_OK, PSBTN_CANCEL).
  void PressButton(int button);
  // True once the sheet has ended (OK or Cancel) or was closed.
  bool Ended() const;
  // Destroys the sheet window, which destroys the page.
  void Close();

 private:
  HWND sheet_ = nullptr;
  HWND page_ = nullptr;
};

// Dispatches this thread's messages for `milliseconds`, passing them through
// the sheet's dialog handling as a host's loop does.
void Pump(std::uint32_t milliseconds);
// Pumps until `done` gives true or `timeoutMs` has passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs);
// Lets the sheet whose keyboard messages the pump translates be known.
void SetDialogForPump(HWND sheet);

// What the list view shows: every row with its six cells.
std::vector<std::vector<std::string>> ListRows(HWND list);
std::string CellText(HWND list, int row, int column);
// The selected row, -1 for none.
int SelectedRow(HWND list);
int SelectionMark(HWND list);
std::vector<std::string> ColumnCaptions(HWND list);

// User input, delivered to the real controls and then pumped.
void ClickRow(HWND list, int row);
void RightClickRow(HWND list, int row);
void PressKey(HWND window, int virtualKey);
// Replaces the whole text of an edit box as if typed (empty: deleted).
void TypeText(HWND edit, const std::string& text);
// A click on a button; returns when the button's command has been handled
// (for "Send Config", after the whole run).
void ClickButton(HWND button);

std::string WindowText(HWND window);
bool IsEnabled(HWND window);
bool IsChecked(HWND button);
bool IsReadOnly(HWND edit);
bool IsModified(HWND edit);

// Saves a PNG of the display to <VELKARIN_SCREENSHOT_DIR>/<name>.png (nothing
// when the variable is unset), cut to `area` in screen coordinates when one is
// given. Returns the file written, or "".
std::string SaveScreenshot(const std::string& name, const RECT* area = nullptr);
// The screen rectangle that holds all the given windows.
RECT AreaOf(std::initializer_list<HWND> windows);

}  // namespace velkarin::driver
