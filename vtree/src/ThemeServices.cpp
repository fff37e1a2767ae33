// Binding and unbinding the theme library's entry points, and loading it by
// name when present. GUI thread only.
#include "vtree/ThemeServices.h"

#include "platform/library.h"

namespace ax {
namespace {

struct Binding {
    bool bound = false;
    HMODULE module = 0; // a library loaded by name, released when unbound
    TThemeTestProc isThemeActive = nullptr;
    TThemeTestProc isAppThemed = nullptr;
};

Binding& Bound() {
    static Binding b;
    return b;
}

template <class F> F Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<F>(GetProcAddress(module, name));
}

} // namespace

void BindThemeLibrary(const TThemeLibrary& library) {
    Binding& b = Bound();
    OpenThemeData = library.OpenThemeData;
    CloseThemeData = library.CloseThemeData;
    DrawThemeBackground = library.DrawThemeBackground;
    GetThemeBackgroundContentRect = library.GetThemeBackgroundContentRect;
    GetThemePartSize = library.GetThemePartSize;
    b.isThemeActive = library.IsThemeActive;
    b.isAppThemed = library.IsAppThemed;
    b.bound = true;
}

bool LoadThemeLibrary() {
    if (ThemeLibraryBound()) return true;
    // A missing library is no error worth a word to the user.
    const unsigned mode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    const HMODULE module = LoadLibrary(ThemeLibraryName);
    SetErrorMode(mode);
    if (!module) return false;
    TThemeLibrary library;
    library.Name = ThemeLibraryName;
    library.OpenThemeData = Resolve<TOpenThemeDataProc>(module, "OpenThemeData");
    library.CloseThemeData = Resolve<TCloseThemeDataProc>(module, "CloseThemeData");
    library.DrawThemeBackground = Resolve<TDrawThemeBackgroundProc>(module, "DrawThemeBackground");
    library.GetThemeBackgroundContentRect =
        Resolve<TGetThemeBackgroundContentRectProc>(module, "GetThemeBackgroundContentRect");
    library.GetThemePartSize = Resolve<TGetThemePartSizeProc>(module, "GetThemePartSize");
    library.IsThemeActive = Resolve<TThemeTestProc>(module, "IsThemeActive");
    library.IsAppThemed = Resolve<TThemeTestProc>(module, "IsAppThemed");
    BindThemeLibrary(library);
    Bound().module = module;
    return true;
}

void UnbindThemeLibrary() {
    Binding& b = Bound();
    OpenThemeData = nullptr;
    CloseThemeData = nullptr;
    DrawThemeBackground = nullptr;
    GetThemeBackgroundContentRect = nullptr;
    GetThemePartSize = nullptr;
    b.isThemeActive = nullptr;
    b.isAppThemed = nullptr;
    b.bound = false;
    if (b.module) FreeLibrary(b.module);
    b.module = 0;
}

bool ThemeLibraryBound() { return Bound().bound; }

bool UseThemes() {
    const Binding& b = Bound();
    return b.bound && b.isThemeActive && b.isAppThemed && b.isThemeActive() && b.isAppThemed();
}

} // namespace ax
