#include "page/list_cells.h"

#include <commctrl.h>

namespace velkarin {

void ReadCellText(HWND list, int row, int column, char* buffer, int size) {
  if (size <= 0) return;
  buffer[0] = '\0';
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = size;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  buffer[size - 1] = '\0';
}

}  // namespace velkarin
