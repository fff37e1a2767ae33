#include "driver.h"

namespace ax::wm {
std::unique_ptr<DisplayDriver> MakeX11Driver() { return nullptr; }
} // namespace ax::wm
