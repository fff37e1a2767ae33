// Shows a shell context menu as a pop-up menu of the framework: the shell's
// items become menu items with the same ids, and the id clicked is answered
// once the menu has closed (0 when it was dismissed).
#include "app/DisplayMenuTracker.h"

#include <memory>

#include "framework/menus.h"
#include "platform/shellns/shellpoint.h"
#include "rtl/text.h"

namespace ax {
namespace {

void AddItems(TMenuItem& parent, const ShellMenu& menu, uint32_t& chosen) {
    for (const ShellMenuItem& source : menu.items) {
        if (source.separator) {
            parent.NewItem("-");
            continue;
        }
        const uint32_t id = source.id;
        TMenuItem* item = parent.NewItem(WideToUtf8(source.caption), 0,
                                         [&chosen, id](TObject*) { chosen = id; });
        // The owner's WM_MENUSELECT names the shell's ids.
        if (!source.subMenu) item->SetCommand(id);
        item->SetEnabled(!source.disabled);
        item->SetRadioItem(source.radio);
        item->SetChecked(source.checked);
        item->SetDefault(source.isDefault);
        item->SetBreak(source.breakStyle == 1 ? mbBreak : source.breakStyle == 2 ? mbBarBreak : mbNone);
        if (source.subMenu) AddItems(*item, *source.subMenu, chosen);
    }
}

} // namespace

uint32_t TDisplayMenuTracker::TrackPopupMenu(const ShellMenu& menu, uint32_t, ShellPoint position,
                                             uintptr_t owner) {
    uint32_t chosen = 0;
    auto popup = std::make_unique<TPopupMenu>(nullptr);
    popup->SetOwnerWindow(reinterpret_cast<HWND>(owner));
    AddItems(*popup->Items(), menu, chosen);
    // Items run their click after the menu closed, still inside Popup.
    popup->Popup(position.x, position.y);
    return chosen;
}

} // namespace ax
