// Reading the cells of the device list view.
#pragma once
#include <windows.h>

namespace velkarin {

enum DeviceColumn : int {
  COLUMN_SERIAL = 0,
  COLUMN_NAME = 1,
  COLUMN_DHCP = 2,
  COLUMN_IP_ADDRESS = 3,
  COLUMN_NETMASK = 4,
  COLUMN_GATEWAY = 5,
};

// Copies the text of one cell into `buffer` (`size` characters, the
// terminating NUL included). An absent cell gives the empty text.
void ReadCellText(HWND list, int row, int column, char* buffer, int size);

}  // namespace velkarin
