#pragma once
// Date-format facts the controls share.

namespace ax {

// Whether the short date format shows four-digit years ("YYYY", any
// letter case); decided once, when first asked.
bool FourDigitYear();

} // namespace ax
