// The themed check box.
#include "controls/XPCheckBox.h"

#include <algorithm>

#include "controls/ThemeBinding.h"
#include "rtl/scopeguard.h"

namespace ax {

void TXPCheckBox::Dispatch(TMessage& m) {
    if (m.Msg == WM_ERASEBKGND && ThemesAvailable() && !HasState(csDesigning)) {
        m.Result = 1; // erased: the parent's background stays
        return;
    }
    TCheckBox::Dispatch(m);
}

namespace {

// The theme's state ids of a check box: quartets of normal, hot, pressed
// and disabled; unchecked, checked, then mixed.
constexpr int kCheckBoxPart = 3;

int CheckBoxState(CheckMark mark, bool disabled, bool pushed) {
    const int look = disabled ? 4 : pushed ? 3 : 1;
    const int quartet = mark == CheckMark::Checked ? 1 : mark == CheckMark::Grayed ? 2 : 0;
    return quartet * 4 + look;
}

} // namespace

void TXPCheckBox::DrawCheck(HDC dc, const RECT& box, CheckMark mark, bool disabled, bool pushed) {
    HTHEME theme = nullptr;
    if (ThemesAvailable() && OpenThemeData && DrawThemeBackground) theme = OpenThemeData(Handle(), u"button");
    if (!theme) {
        TCheckBox::DrawCheck(dc, box, mark, disabled, pushed);
        return;
    }
    ScopeGuard close([theme] {
        if (CloseThemeData) CloseThemeData(theme);
    });
    const int state = CheckBoxState(mark, disabled, pushed);
    // The theme's box at its own size, centred where the classic box goes.
    RECT r = box;
    SIZE size{};
    if (GetThemePartSize && SUCCEEDED(GetThemePartSize(theme, dc, kCheckBoxPart, state, nullptr, 1, &size)) &&
        size.cx > 0 && size.cy > 0) {
        r.left = box.left + (box.width() - size.cx) / 2, r.top = box.top + (box.height() - size.cy) / 2;
        r.right = r.left + size.cx, r.bottom = r.top + size.cy;
        // Kept inside the control, where it would pass an edge.
        const RECT client = ClientRect();
        OffsetRect(&r, std::max(0, int(client.left - r.left)) - std::max(0, int(r.right - client.right)),
                   std::max(0, int(client.top - r.top)) - std::max(0, int(r.bottom - client.bottom)));
    }
    if (FAILED(DrawThemeBackground(theme, dc, kCheckBoxPart, state, &r, nullptr)))
        TCheckBox::DrawCheck(dc, box, mark, disabled, pushed);
}

} // namespace ax
