// The visual-style library of the control library.
#include "controls/ThemeBinding.h"

namespace ax {

bool BindThemeLibrary() { return LoadThemeLibrary(); }

bool ThemesAvailable() { return UseThemes(); }

} // namespace ax
