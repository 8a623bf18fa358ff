// Catches the message boxes this thread shows, records what the user would
// see, and closes each with its OK button.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace velkarin::driver {

struct MessageBoxSeen {
  std::string text;
  std::string caption;
  bool errorIcon = false;  // the "hand"/error icon is shown
  bool anyIcon = false;    // some icon is shown
  HWND owner = nullptr;
  int buttons = 0;  // push buttons on the box
};

class MessageBoxCatcher {
 public:
  MessageBoxCatcher();
  ~MessageBoxCatcher();
  MessageBoxCatcher(const MessageBoxCatcher&) = delete;
  MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

  const std::vector<MessageBoxSeen>& seen() const { return seen_; }
  void Clear() { seen_.clear(); }
  // Called while a box is shown, before it is closed (for screenshots).
  void OnShown(std::function<void(const MessageBoxSeen&)> callback) {
    onShown_ = std::move(callback);
  }

 private:
  static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK CloseTimer(HWND, UINT, UINT_PTR, DWORD);
  void Record(HWND box);

  HHOOK hook_ = nullptr;
  std::vector<MessageBoxSeen> seen_;
  std::vector<HWND> pending_;
  std::function<void(const MessageBoxSeen&)> onShown_;
};

}  // namespace velkarin::driver
