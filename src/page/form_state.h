// Selection of a row and the enable and modified states of the form.
#pragma once
#include <cstdint>

namespace velkarin {

// Marks row `index` (negative: none), sets the enable states of the form and,
// when `fill` is true, fills the form from the row.
void SelectDevice(std::int32_t index, bool fill);
void SetAddressEditsEnabled(bool enabled);
bool IsFormModified();
void ClearFormModified();

}  // namespace velkarin
