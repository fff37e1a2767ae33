#pragma once
// The visual-style library of the control library. Its entry points are
// the tree control's theme services (vtree/ThemeServices.h): process-wide
// function pointers filled when "uxtheme.dll" is bound by name and cleared
// by UnbindThemeLibrary. This platform has no such library, so they stay
// empty, ThemesAvailable answers false and the controls draw their
// classic look; nothing calls into a library that is not there.
#include "vtree/ThemeServices.h"

namespace ax {

// Binds the library by name, quietly when it is missing; the program does
// this once at start-up (and UnbindThemeLibrary at the end). True when a
// library is bound.
bool BindThemeLibrary();
// True when a library is bound and both its theme-active and
// application-themed tests answer true.
bool ThemesAvailable();

} // namespace ax
