// Setting the page up on WM_INITDIALOG and tearing it down on WM_DESTROY;
// the engine lives between the two.
#pragma once
#include <windows.h>

namespace velkarin {

void StartPage(HWND page);
void ShutdownPage();

}  // namespace velkarin
