// The dialog procedure of the parameter page.
#pragma once
#include <windows.h>

namespace velkarin {

INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace velkarin
