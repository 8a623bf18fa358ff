#include "page/page_state.h"

namespace velkarin {

PageState pageState;

}  // namespace velkarin
