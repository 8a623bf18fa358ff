// The page's controls by id, and the buffers that list cells are read into.
#pragma once
#include <windows.h>

#include "page/page_state.h"

namespace velkarin {

// Given to the list view when reading a serial cell.
constexpr int kSerialReadSize = 255;
// When filling the form: "Yes"/"No", and at most 15 characters of an address.
constexpr int kDhcpCellSize = 4;
constexpr int kAddressCellSize = 16;

inline HWND PageControl(int id) { return GetDlgItem(pageState.pageWindow.load(), id); }

}  // namespace velkarin
