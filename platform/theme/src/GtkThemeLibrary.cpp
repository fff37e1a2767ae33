// The theme library's entry points, with the signatures the controls call
// them by, served as a stand-in under the library's name.
#include "platform/theme/GtkThemeLibrary.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "GtkApi.h"
#include "GtkTheme.h"
#include "platform/library.h"
#include "platform/ole/types.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "XSettings.h"

namespace ax {
namespace {

constexpr HRESULT kOk = 0;
constexpr HRESULT kInvalidArg = HRESULT(0x80070057u);
constexpr HRESULT kFail = HRESULT(0x80004005u);

GtkTheme* OpenThemeData(HWND, const char16_t* classList) {
    const gtk::Api* api = gtk::Load();
    GtkTheme::Class c{};
    if (!api || !classList || !GtkTheme::ClassFromList(classList, c)) return nullptr;
    return new GtkTheme(*api, c);
}

HRESULT CloseThemeData(GtkTheme* theme) {
    delete theme;
    return kOk;
}

HRESULT DrawThemeBackground(GtkTheme* theme, HDC dc, int part, int state, const RECT* rect, const RECT* clip) {
    if (!theme || !rect) return kInvalidArg;
    cairo_t* cr = BeginDCCairo(dc);
    if (!cr) return kInvalidArg;
    if (clip) {
        cairo_rectangle(cr, clip->left, clip->top, clip->width(), clip->height());
        cairo_clip(cr);
    }
    const bool drawn = theme->Draw(cr, part, state, *rect);
    EndDCCairo(dc, cr);
    return drawn ? kOk : kInvalidArg;
}

HRESULT GetThemeBackgroundContentRect(GtkTheme* theme, HDC, int part, int state, const RECT* bounds,
                                      RECT* content) {
    if (!theme || !bounds || !content) return kInvalidArg;
    return theme->ContentRect(part, state, *bounds, *content) ? kOk : kInvalidArg;
}

// The size argument (minimum, true or drawn size) makes no difference:
// GTK parts have one size of their own.
HRESULT GetThemePartSize(GtkTheme* theme, HDC, int part, int state, const RECT*, int, SIZE* size) {
    if (!theme || !size) return kInvalidArg;
    return theme->PartSize(part, state, *size) ? kOk : kFail;
}

BOOL IsThemeActive() { return gtk::Load() ? 1 : 0; }
BOOL IsAppThemed() { return gtk::Load() ? 1 : 0; }

template <class F> void* Export(F f) { return reinterpret_cast<void*>(f); }

} // namespace

bool ClassicLookRequested() {
    const char* v = std::getenv(ClassicLookVariable);
    return v && *v && std::strcmp(v, "0") != 0;
}

bool RegisterGtkThemeLibrary() {
    if (ClassicLookRequested() || !gtk::Load()) return false;
    RegisterLibraryStandIn(ThemeLibraryStandInName,
                           {{"OpenThemeData", Export(&OpenThemeData)},
                            {"CloseThemeData", Export(&CloseThemeData)},
                            {"DrawThemeBackground", Export(&DrawThemeBackground)},
                            {"GetThemeBackgroundContentRect", Export(&GetThemeBackgroundContentRect)},
                            {"GetThemePartSize", Export(&GetThemePartSize)},
                            {"IsThemeActive", Export(&IsThemeActive)},
                            {"IsAppThemed", Export(&IsAppThemed)}});
    return true;
}

void UnregisterGtkThemeLibrary() { UnregisterLibraryStandIn(ThemeLibraryStandInName); }

namespace {

// True when GTK took a theme other than the one it had.
bool UseGtkTheme(const std::string& name) {
    const gtk::Api* api = gtk::Load();
    if (!api || name.empty()) return false;
    gtk::Settings* settings = api->settings_get_default();
    if (!settings) return false;
    char* current = nullptr;
    api->object_get(settings, "gtk-theme-name", &current, nullptr);
    const bool same = current && name == current;
    api->free(current);
    if (same) return false;
    api->object_set(settings, "gtk-theme-name", name.c_str(), nullptr);
    ReloadGtkTheme();
    return true;
}

void TellEveryWindow() {
    for (HWND top : EnumWindows()) {
        SendMessage(top, WM_THEMECHANGED);
        for (HWND child : EnumChildWindows(top)) SendMessage(child, WM_THEMECHANGED);
        RedrawWindow(top, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
}

} // namespace

bool ApplyDesktopSettings(const std::vector<std::uint8_t>& settings) {
    const char* forced = std::getenv("GTK_THEME");
    if (forced && *forced) return false;
    const std::optional<std::string> name = XSettingsString(settings, "Net/ThemeName");
    if (!name || !UseGtkTheme(*name)) return false;
    TellEveryWindow();
    return true;
}

void FollowDesktopTheme(HWND window) {
    WatchDesktopSettings(window, [](std::vector<std::uint8_t> settings) { ApplyDesktopSettings(settings); });
}

void StopFollowingDesktopTheme() { WatchDesktopSettings(nullptr, {}); }

bool ReloadGtkTheme() {
    if (!gtk::Load()) return false;
    ++GtkThemeGeneration();
    return true;
}

} // namespace ax
