// The plain message.
#include "controls/ShowMessage.h"

#include <cstdio>

#include "framework/forms.h"

namespace ax {

void ShowMessage(const AnsiString& text) {
    TApplication* app = Application();
    if (app && app->ExceptionDisplay) app->ExceptionDisplay(text, app->Title());
    else std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace ax
