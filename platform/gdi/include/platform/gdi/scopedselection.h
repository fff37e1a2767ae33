#pragma once
// Selects a pen, brush, font or bitmap into a DC for one scope and selects
// the object it replaced back when the scope is left, by return or by
// exception, so no DC is left holding an object its owner is about to
// delete. A null object (or a selection the DC refused) selects nothing and
// restores nothing. Regions are not selected this way: selecting one copies
// it as the clip region and leaves nothing to put back.
#include "platform/gdi/gdi.h"

#include <type_traits>
#include <utility>

namespace ax {

template <typename Object> class ScopedSelection {
    static_assert(std::is_same_v<Object, HPEN> || std::is_same_v<Object, HBRUSH> ||
                      std::is_same_v<Object, HFONT> || std::is_same_v<Object, HBITMAP>,
                  "a scoped selection holds a pen, brush, font or bitmap");

public:
    ScopedSelection(HDC dc, Object object) noexcept : dc_(dc) {
        if (object) old_ = SelectObject(dc, object);
    }
    ~ScopedSelection() {
        if (old_) SelectObject(dc_, old_);
    }
    ScopedSelection(ScopedSelection&& other) noexcept
        : dc_(other.dc_), old_(std::exchange(other.old_, Object{})) {}
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;
    ScopedSelection& operator=(ScopedSelection&&) = delete;

    // The object the selection replaced (null: nothing will be put back).
    Object Previous() const noexcept { return old_; }

private:
    HDC dc_;
    Object old_{};
};

} // namespace ax
