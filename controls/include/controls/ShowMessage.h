#pragma once
// The plain message of the class library: a text under the application's
// title. It goes through the application's display hook, which shows it
// (tests and unattended runs record it instead).
#include "rtl/text.h"

namespace ax {

void ShowMessage(const AnsiString& text);

} // namespace ax
