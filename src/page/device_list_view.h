// The device list view: columns, rows rebuilt from the engine, and the
// user's picking of a row.
#pragma once
#include <windows.h>

namespace velkarin {

void InsertDeviceColumns(HWND list);
// Rebuilds every row from the engine's published list and selects the row
// of the remembered device again.
void RefreshDeviceList();
// The engine's change notification; runs on the worker thread.
void OnDeviceListChanged(void* finder) noexcept;
LRESULT CALLBACK DeviceListSubclassProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept;

}  // namespace velkarin
