// The module's one export: fills the host's page record.
#pragma once
#include <windows.h>
// after windows.h
#include <commctrl.h>

extern "C" LPCDLGTEMPLATEA WINAPI GetPropertySheet(LPPROPSHEETPAGEA page) noexcept;
