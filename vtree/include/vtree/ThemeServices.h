#pragma once
// Theme services: the theme library's entry points as process-wide
// function pointers, filled when a theme library is bound and cleared when
// it is unbound, and UseThemes. The platform has no theme library ("uxtheme.dll"
// is nowhere to be found), so unless one is bound explicitly UseThemes
// answers false and every control draws its classic look.
//
// Binding happens at start-up and shut-down on the GUI thread, before and
// after the controls use the pointers.
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/ole/types.h"
#include "platform/window/types.h"

namespace ax {

// An open theme of the library; opaque to its callers.
struct TThemeData;
using HTHEME = TThemeData*;

using TOpenThemeDataProc = HTHEME (*)(HWND window, const char16_t* classList);
using TCloseThemeDataProc = HRESULT (*)(HTHEME theme);
using TDrawThemeBackgroundProc = HRESULT (*)(HTHEME theme, HDC dc, int partId, int stateId, const RECT* rect,
                                             const RECT* clipRect);
using TGetThemeBackgroundContentRectProc = HRESULT (*)(HTHEME theme, HDC dc, int partId, int stateId,
                                                       const RECT* boundingRect, RECT* contentRect);
// The part's own size (size kinds: 0 minimum, 1 true, 2 as drawn in `rect`).
using TGetThemePartSizeProc = HRESULT (*)(HTHEME theme, HDC dc, int partId, int stateId, const RECT* rect,
                                          int sizeKind, SIZE* size);
using TThemeTestProc = BOOL (*)();

// The entry points of the bound library; null while none is bound.
inline TOpenThemeDataProc OpenThemeData = nullptr;
inline TCloseThemeDataProc CloseThemeData = nullptr;
inline TDrawThemeBackgroundProc DrawThemeBackground = nullptr;
inline TGetThemeBackgroundContentRectProc GetThemeBackgroundContentRect = nullptr;
inline TGetThemePartSizeProc GetThemePartSize = nullptr;

// What a theme library offers, by the names it exports them under.
struct TThemeLibrary {
    std::string Name;
    TOpenThemeDataProc OpenThemeData = nullptr;
    TCloseThemeDataProc CloseThemeData = nullptr;
    TDrawThemeBackgroundProc DrawThemeBackground = nullptr;
    TGetThemeBackgroundContentRectProc GetThemeBackgroundContentRect = nullptr;
    TGetThemePartSizeProc GetThemePartSize = nullptr;
    TThemeTestProc IsThemeActive = nullptr;
    TThemeTestProc IsAppThemed = nullptr;
};

inline constexpr const char* ThemeLibraryName = "uxtheme.dll";

// Loads the theme library by name (platform/library.h, quietly) and binds
// its entry points; false when there is none (always on this platform,
// unless a stand-in is registered under the name), leaving everything
// unbound.
bool LoadThemeLibrary();
// Binds a library's entry points (tests bind their own); entries it lacks stay null.
void BindThemeLibrary(const TThemeLibrary& library);
// Clears the entry points and lets the library go.
void UnbindThemeLibrary();
bool ThemeLibraryBound();
// True when a theme library is bound and both its theme-active and
// application-themed tests answer true.
bool UseThemes();

} // namespace ax
