#include "message_box_catcher.h"

#include <algorithm>

namespace velkarin::driver {
namespace {

MessageBoxCatcher* activeCatcher = nullptr;
// Time for the box to paint before it is closed.
constexpr UINT kCloseDelayMs = 150;

std::string TextOf(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool IsMessageBox(HWND window) {
  // A property sheet is a dialog too, but it holds a tab control.
  return ClassOf(window) == "#32770" &&
         FindWindowExA(window, nullptr, "SysTabControl32", nullptr) == nullptr;
}

}  // namespace

MessageBoxCatcher::MessageBoxCatcher() {
  activeCatcher = this;
  hook_ = SetWindowsHookExA(WH_CBT, &CbtHook, nullptr, GetCurrentThreadId());
}

MessageBoxCatcher::~MessageBoxCatcher() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  if (activeCatcher == this) activeCatcher = nullptr;
}

LRESULT CALLBACK MessageBoxCatcher::CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && activeCatcher != nullptr) {
    HWND window = reinterpret_cast<HWND>(wParam);
    auto& pending = activeCatcher->pending_;
    if (IsMessageBox(window) &&
        std::find(pending.begin(), pending.end(), window) == pending.end()) {
      pending.push_back(window);
      SetTimer(nullptr, 0, kCloseDelayMs, &CloseTimer);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK MessageBoxCatcher::CloseTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (activeCatcher == nullptr) return;
  std::vector<HWND> boxes;
  boxes.swap(activeCatcher->pending_);
  for (HWND box : boxes) {
    if (!IsWindow(box)) continue;
    activeCatcher->Record(box);
    if (activeCatcher->onShown_) activeCatcher->onShown_(activeCatcher->seen_.back());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
}

void MessageBoxCatcher::Record(HWND box) {
  MessageBoxSeen entry;
  entry.caption = TextOf(box);
  entry.owner = GetWindow(box, GW_OWNER);
  HICON errorIcon = LoadIconA(nullptr, IDI_HAND);
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string name = ClassOf(child);
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    const bool visible = (style & WS_VISIBLE) != 0;
    if (name == "Static") {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        RECT rect = {};
        GetWindowRect(child, &rect);
        const bool shown = visible && icon != nullptr && rect.right > rect.left;
        entry.anyIcon = entry.anyIcon || shown;
        entry.errorIcon = entry.errorIcon || (shown && icon == errorIcon);
      } else if (visible && entry.text.empty()) {
        entry.text = TextOf(child);
      }
    } else if (name == "Button" && visible) {
      ++entry.buttons;
    }
  }
  seen_.push_back(entry);
}

}  // namespace velkarin::driver
