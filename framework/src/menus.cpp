// Menu items and menus, the modal tracking of pop-up menus and of the main
// menu's bar (each open level a window of its own), and the bar's drawing
// and shortcuts. GUI thread only.
#include "framework/menus.h"

#include <algorithm>
#include <atomic>

#include "framework/forms.h"
#include "framework/streaming.h"
#include "platform/gdi/scopedselection.h"
#include "platform/window/paintscope.h"
#include "platform/window/sysmenu.h"
#include "platform/window/windowdc.h"
#include "rtl/scopeguard.h"

namespace ax {

namespace {

std::atomic<UINT> nextCommand{1};

struct KeyName {
    WORD key;
    const char* name;
};
const KeyName kKeyNames[] = {
    {VK_BACK, "BkSp"}, {VK_TAB, "Tab"},   {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"}, {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"}, {VK_END, "End"},     {VK_HOME, "Home"},  {VK_LEFT, "Left"},
    {VK_UP, "Up"},     {VK_RIGHT, "Right"}, {VK_DOWN, "Down"},  {VK_INSERT, "Ins"}, {VK_DELETE, "Del"},
};

AnsiString KeyText(WORD key) {
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return AnsiString(1, char(key));
    if (key >= VK_F1 && key <= VK_F24) return "F" + IntToStr(key - VK_F1 + 1);
    for (const auto& k : kKeyNames)
        if (k.key == key) return k.name;
    return "";
}

} // namespace

TShortCut ShortCut(WORD key, TShiftState shift) {
    TShortCut s = TShortCut(key & 0xFF);
    if (shift & ssShift) s |= scShift;
    if (shift & ssCtrl) s |= scCtrl;
    if (shift & ssAlt) s |= scAlt;
    return s;
}

void ShortCutToKey(TShortCut shortCut, WORD& key, TShiftState& shift) {
    key = shortCut & 0xFF;
    shift = 0;
    if (shortCut & scShift) shift |= ssShift;
    if (shortCut & scCtrl) shift |= ssCtrl;
    if (shortCut & scAlt) shift |= ssAlt;
}

AnsiString ShortCutToText(TShortCut shortCut) {
    const AnsiString name = KeyText(shortCut & 0xFF);
    if (name.empty()) return "";
    AnsiString out;
    if (shortCut & scShift) out += "Shift+";
    if (shortCut & scCtrl) out += "Ctrl+";
    if (shortCut & scAlt) out += "Alt+";
    return out + name;
}

TShortCut TextToShortCut(const AnsiString& text) {
    AnsiString rest = text;
    TShortCut mods = 0;
    for (;;) {
        if (rest.size() > 6 && SameText(rest.substr(0, 6), "Shift+")) mods |= scShift, rest = rest.substr(6);
        else if (rest.size() > 5 && SameText(rest.substr(0, 5), "Ctrl+")) mods |= scCtrl, rest = rest.substr(5);
        else if (rest.size() > 4 && SameText(rest.substr(0, 4), "Alt+")) mods |= scAlt, rest = rest.substr(4);
        else break;
    }
    for (WORD key = 1; key < 256; ++key)
        if (!KeyText(key).empty() && SameText(KeyText(key), rest)) return TShortCut(mods | key);
    return 0;
}

// ---- TMenuItem -------------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(nextCommand++) {}

TMenuItem::~TMenuItem() {
    Destroying();
    for (TMenuItem* child : items_) child->parent_ = nullptr;
    items_.clear();
    if (parent_) parent_->Remove(this);
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, index));
    return items_[size_t(index)];
}

int TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

int TMenuItem::IndexOf(const TMenuItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : int(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item) return;
    if (item->parent_) throw EInvalidOperation("Menu inserted twice");
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
}

void TMenuItem::Delete(int index) { Remove(Items(index)); }

void TMenuItem::Clear() {
    while (!items_.empty()) {
        TMenuItem* last = items_.back();
        Remove(last);
        if (last->Owner() == this) FreeComponent(last);
    }
}

TMenuItem* TMenuItem::Find(const AnsiString& caption) const {
    const AnsiString wanted = StripHotkey(caption);
    for (TMenuItem* item : items_)
        if (SameText(StripHotkey(item->caption_), wanted)) return item;
    return nullptr;
}

TMenuItem* TMenuItem::NewItem(const AnsiString& caption, TShortCut shortCut, TNotifyEvent onClick) {
    auto* item = TComponent::Create<TMenuItem>(this);
    item->caption_ = caption;
    item->shortCut_ = shortCut;
    item->OnClick = std::move(onClick);
    Add(item);
    return item;
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* i = this;
    while (i->parent_) i = i->parent_;
    return i->menu_;
}

void TMenuItem::SetChecked(bool value) {
    checked_ = value;
    if (value && radioItem_ && parent_)
        for (TMenuItem* sibling : parent_->items_)
            if (sibling != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_) sibling->checked_ = false;
}

void TMenuItem::SetDefault(bool value) {
    if (value && parent_)
        for (TMenuItem* sibling : parent_->items_) sibling->default_ = false;
    default_ = value;
}

void TMenuItem::Click() {
    if (!enabled_) return;
    if (autoCheck_) SetChecked(!checked_ || radioItem_);
    if (OnClick) OnClick(this);
}

void TMenuItem::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    for (TMenuItem* item : items_)
        if (item->Owner() == root) proc(item);
}

void TMenuItem::SetParentComponent(TComponent* parent) {
    if (parent_) parent_->Remove(this);
    if (auto* item = dynamic_cast<TMenuItem*>(parent)) item->Add(this);
    else if (auto* menu = dynamic_cast<TMenu*>(parent)) menu->Items()->Add(this);
}

TComponent* TMenuItem::GetParentComponent() const {
    if (parent_ && parent_->menu_) return parent_->menu_;
    return parent_;
}

void TMenuItem::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Enum("Break", {"mbNone", "mbBreak", "mbBarBreak"}, [this] { return int(break_); },
           [this](int v) { break_ = TMenuBreak(v); }, int(mbNone));
    f.String("Caption", [this] { return caption_; }, [this](const AnsiString& v) { caption_ = v; });
    f.Bool("Checked", [this] { return checked_; }, [this](bool v) { SetChecked(v); }, false);
    f.Bool("Default", [this] { return default_; }, [this](bool v) { default_ = v; }, false);
    f.Bool("Enabled", [this] { return enabled_; }, [this](bool v) { enabled_ = v; }, true);
    f.Integer("GroupIndex", [this] { return groupIndex_; }, [this](int64_t v) { groupIndex_ = int(v); }, 0);
    f.String("Hint", [this] { return hint_; }, [this](const AnsiString& v) { hint_ = v; });
    f.Integer("ImageIndex", [this] { return imageIndex_; }, [this](int64_t v) { imageIndex_ = int(v); }, -1);
    f.Bool("RadioItem", [this] { return radioItem_; }, [this](bool v) { radioItem_ = v; }, false);
    f.Integer("ShortCut", [this] { return shortCut_; }, [this](int64_t v) { shortCut_ = TShortCut(v); }, 0);
    f.Bool("Visible", [this] { return visible_; }, [this](bool v) { visible_ = v; }, true);
}

// ---- TMenu ---------------------------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner) {
    items_ = TComponent::Create<TMenuItem>(this);
    items_->menu_ = this;
}

TMenu::~TMenu() { Destroying(); }

void TMenu::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    items_->GetChildren(proc, root);
}

void TMenu::SetImages(TImageList* images) {
    if (images_) images_->RemoveFreeNotification(this);
    images_ = images;
    if (images) images->FreeNotification(this);
}

void TMenu::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == images_) images_ = nullptr;
}

static TMenuItem* FindByCommand(TMenuItem* item, UINT command) {
    if (item->Command() == command) return item;
    for (int i = 0; i < item->Count(); ++i)
        if (TMenuItem* found = FindByCommand(item->Items(i), command)) return found;
    return nullptr;
}

TMenuItem* TMenu::FindItem(UINT command) const { return FindByCommand(items_, command); }

static TMenuItem* FindShortCut(TMenuItem* item, TShortCut s) {
    for (int i = 0; i < item->Count(); ++i) {
        TMenuItem* child = item->Items(i);
        if (!child->Visible() || !child->Enabled()) continue;
        if (child->ShortCut() == s) return child;
        if (TMenuItem* found = FindShortCut(child, s)) return found;
    }
    return nullptr;
}

bool TMenu::IsShortCut(WORD key, TShiftState shift) {
    const TShortCut s = ShortCut(key, shift);
    if ((s & 0xFF) == 0) return false;
    TMenuItem* item = FindShortCut(items_, s);
    if (!item) return false;
    item->Click();
    return true;
}

// ---- Pop-up menu tracking --------------------------------------------------------------------------------

namespace {
constexpr const char* kPopupClass = "TPopupMenuWindow";
constexpr int kItemHeight = 18, kLineHeight = 8, kMargin = 20;
} // namespace

// One modal tracking of a pop-up menu, or of a menu bar and its drop-down,
// with their open sub-menus.
class TMenuTracker {
public:
    TMenuTracker(TPopupAlignment alignment, std::function<void()> started, HWND owner = nullptr)
        : alignment_(alignment), started_(std::move(started)), owner_(owner) {
        Active().push_back(this);
    }
    ~TMenuTracker() {
        while (!levels_.empty()) CloseLevel();
        std::erase(Active(), this);
    }

    // The trackers running now, innermost last (GUI thread only).
    static std::vector<TMenuTracker*>& Active() {
        static std::vector<TMenuTracker*> active;
        return active;
    }

    // The visible items of a menu one of the open levels shows.
    bool ItemsOf(HMENU menu, std::vector<TMenuItem*>& items) const {
        for (const Level& l : levels_)
            if (l.parent->Handle() == menu) {
                items = l.items;
                return true;
            }
        return false;
    }

    TMenuItem* Run(TMenuItem* root, int x, int y) {
        OpenLevel(root, x, y);
        if (levels_.empty()) return nullptr;
        SetCapture(levels_.front().window);
        Loop();
        if (owner_ && IsWindow(owner_)) SendMessage(owner_, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
        return chosen_;
    }

    // rects: the bar items' rectangles in screen coordinates.
    TMenuItem* RunBar(HWND window, std::vector<TMenuItem*> items, std::vector<RECT> rects, int index, bool open,
                      bool byKeyboard) {
        if (items.empty()) return nullptr;
        bar_ = true;
        barWindow_ = window;
        barItems_ = std::move(items);
        barRects_ = std::move(rects);
        SendMessage(window, WM_ENTERMENULOOP, FALSE, 0);
        SetCapture(window);
        SelectBar(std::clamp(index, 0, int(barItems_.size()) - 1));
        if (open) OpenBar(byKeyboard, false);
        Loop();
        while (!levels_.empty()) CloseLevel();
        barSelected_ = -1;
        DrawMenuBar(window);
        SendMessage(window, WM_EXITMENULOOP, FALSE, 0);
        return chosen_;
    }

    void Cancel() { done_ = true; }
    int BarSelected() const { return barSelected_; }

    std::vector<HWND> Windows() const {
        std::vector<HWND> out;
        for (const auto& l : levels_) out.push_back(l.window);
        return out;
    }

    static LRESULT Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        auto* tracker = reinterpret_cast<TMenuTracker*>(GetWindowLongPtr(h, GWLP_USERDATA));
        if (tracker && msg == WM_PAINT) {
            tracker->Paint(h);
            return 0;
        }
        if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
        return DefWindowProc(h, msg, w, l);
    }

private:
    struct Level {
        TMenuItem* parent;
        HWND window;
        std::vector<TMenuItem*> items;
        std::vector<RECT> rects;
        int selected = -1;
    };

    void Loop() {
        if (started_) started_();
        while (!done_) {
            MSG msg;
            const int got = GetMessage(msg, nullptr, 0, 0);
            if (got <= 0) {
                PostQuitMessage(int(msg.wParam)); // the outer loop still has to see it
                break;
            }
            Handle(msg);
        }
        ReleaseCapture();
    }

    void OpenLevel(TMenuItem* parent, int x, int y) {
        Level level{parent, nullptr, {}, {}, -1};
        for (int i = 0; i < parent->Count(); ++i)
            if (parent->Items(i)->Visible()) level.items.push_back(parent->Items(i));
        if (level.items.empty()) return;
        const SIZE size = LayOutColumns(level, MeasureWidth(level.items));
        POINT at{x, y};
        if (levels_.empty()) {
            if (alignment_ == paRight) at.x -= size.cx;
            else if (alignment_ == paCenter) at.x -= size.cx / 2;
        }
        KeepOnScreen(at, size);
        level.window = CreatePopup(at, size);
        ShowWindow(level.window, SW_SHOWNA);
        levels_.push_back(std::move(level));
        UpdateWindow(levels_.back().window);
    }

    // The width of a column: the widest caption with its shortcut.
    static int MeasureWidth(const std::vector<TMenuItem*>& items) {
        const WindowDC screenDc(nullptr);
        const HDC dc = screenDc.Get();
        const ScopedSelection useFont(dc, Screen() ? Screen()->MenuFont().Handle() : HFONT{});
        int width = 80;
        for (TMenuItem* item : items) {
            SIZE s{};
            AnsiString text = StripHotkey(item->Caption());
            const AnsiString sc = ShortCutToText(item->ShortCut());
            if (!sc.empty()) text += "      " + sc;
            GetTextExtentPoint32(dc, text, &s);
            width = std::max(width, int(s.cx) + 2 * kMargin);
        }
        return width;
    }

    // Places the items top to bottom, starting a new column at each break;
    // returns the size of the popup.
    static SIZE LayOutColumns(Level& level, int width) {
        int top = 2, columnLeft = 2, height = 0;
        for (TMenuItem* item : level.items) {
            if (item->Break() != mbNone && top > 2) {
                columnLeft += width;
                height = std::max(height, top);
                top = 2;
            }
            const int h = item->IsLine() ? kLineHeight : kItemHeight;
            level.rects.push_back(RECT{columnLeft, top, columnLeft + width, top + h});
            top += h;
        }
        return SIZE{columnLeft + width + 2, std::max(height, top) + 2};
    }

    static void KeepOnScreen(POINT& at, SIZE size) {
        const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        if (at.x + size.cx > sw) at.x = std::max(0, sw - int(size.cx));
        if (at.y + size.cy > sh) at.y = std::max(0, sh - int(size.cy));
    }

    HWND CreatePopup(POINT at, SIZE size) {
        WNDCLASS wc;
        if (!GetClassInfo(kPopupClass, wc)) {
            wc.lpszClassName = kPopupClass;
            wc.style = CS_SAVEBITS;
            wc.lpfnWndProc = &TMenuTracker::Proc;
            wc.hbrBackground = SysColorBrushValue(COLOR_MENU);
            RegisterClass(wc);
        }
        HWND window = CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPopupClass, "",
                                     WS_POPUP | WS_BORDER, at.x, at.y, size.cx, size.cy, nullptr);
        SetWindowLongPtr(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return window;
    }

    void CloseLevel() {
        if (levels_.empty()) return;
        DestroyWindow(levels_.back().window);
        levels_.pop_back();
        if (done_) return;
        // The bar keeps the mouse while tracking; a pop-up's first level does.
        if (bar_) SetCapture(barWindow_);
        else if (!levels_.empty()) SetCapture(levels_.front().window);
    }

    void Select(Level& level, int index, bool mouse = false) {
        if (level.selected == index) return;
        level.selected = index;
        InvalidateRect(level.window, nullptr, TRUE);
        if (index < 0) return;
        const TMenuItem* item = level.items[size_t(index)];
        if (Application()) Application()->SetHint(GetLongHint(item->Hint()));
        if (!owner_ || !IsWindow(owner_)) return;
        UINT flags = MF_HILITE | (mouse ? MF_MOUSESELECT : 0);
        if (!item->Enabled()) flags |= MF_GRAYED | MF_DISABLED;
        if (item->Checked()) flags |= MF_CHECKED;
        if (item->Default()) flags |= MF_DEFAULT;
        if (item->Count() > 0) flags |= MF_POPUP;
        const UINT id = item->Count() > 0 ? UINT(index) : item->Command();
        SendMessage(owner_, WM_MENUSELECT, MAKEWPARAM(id & 0xFFFF, flags),
                    reinterpret_cast<LPARAM>(level.parent->Handle()));
    }

    static bool Selectable(const TMenuItem* item) { return !item->IsLine(); }

    void Move(int delta) {
        Level& level = levels_.back();
        const int n = int(level.items.size());
        int i = level.selected >= 0 ? level.selected : (delta > 0 ? -1 : n);
        for (int k = 0; k < n; ++k) {
            i = (i + delta + n) % n;
            if (Selectable(level.items[size_t(i)])) {
                Select(level, i);
                return;
            }
        }
    }

    // Opens the sub-menu of an item or chooses it.
    void Activate(size_t levelIndex, int index) {
        while (levels_.size() > levelIndex + 1) CloseLevel();
        Level& level = levels_[levelIndex];
        TMenuItem* item = level.items[size_t(index)];
        Select(level, index);
        if (!item->Enabled() || item->IsLine()) return;
        if (item->Count() > 0) {
            RECT wr;
            GetWindowRect(level.window, wr);
            const RECT r = level.rects[size_t(index)];
            OpenLevel(item, wr.left + r.right, wr.top + r.top);
            if (levels_.size() > levelIndex + 1) Move(1);
            return;
        }
        chosen_ = item;
        done_ = true;
    }

    bool HitTest(POINT screen, size_t& levelIndex, int& index) {
        for (size_t li = levels_.size(); li-- > 0;) {
            RECT wr;
            GetWindowRect(levels_[li].window, wr);
            if (!PtInRect(&wr, screen)) continue;
            levelIndex = li;
            index = -1;
            POINT c{screen.x - wr.left, screen.y - wr.top};
            for (size_t i = 0; i < levels_[li].rects.size(); ++i)
                if (PtInRect(&levels_[li].rects[i], c)) index = int(i);
            return true;
        }
        return false;
    }

    // ---- The bar

    int BarHit(POINT screen) const {
        if (!bar_) return -1;
        for (size_t i = 0; i < barRects_.size(); ++i)
            if (PtInRect(&barRects_[i], screen)) return int(i);
        return -1;
    }

    void SelectBar(int index) {
        if (barSelected_ == index) return;
        barSelected_ = index;
        DrawMenuBar(barWindow_);
        if (index >= 0 && Application()) Application()->SetHint(GetLongHint(barItems_[size_t(index)]->Hint()));
    }

    // Shows the selected bar item's drop-down; an item without one is
    // chosen when choose is set. Disabled items refuse.
    void OpenBar(bool byKeyboard, bool choose) {
        while (!levels_.empty()) CloseLevel();
        barDropped_ = true;
        if (barSelected_ < 0) return;
        TMenuItem* item = barItems_[size_t(barSelected_)];
        if (!item->Enabled()) return;
        const RECT& r = barRects_[size_t(barSelected_)];
        OpenLevel(item, r.left, r.bottom);
        if (!levels_.empty()) {
            if (byKeyboard) Move(1);
        } else if (choose) {
            chosen_ = item;
            done_ = true;
        }
    }

    // Left and Right on the bar; an open drop-down follows the selection.
    // Once a drop-down was shown, moving on shows the next one, even past
    // items that have none.
    void MoveBar(int delta) {
        const int n = int(barItems_.size());
        SelectBar(((barSelected_ < 0 ? 0 : barSelected_) + delta + n) % n);
        if (barDropped_) OpenBar(true, false);
        else
            while (!levels_.empty()) CloseLevel();
    }

    bool IsEndKey(WPARAM vk) const { return vk == VK_MENU || (bar_ && vk == VK_F10); }

    void Handle(const MSG& msg) {
        switch (msg.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            KeyDown(msg);
            return;
        case WM_CHAR:
        case WM_SYSCHAR:
            AccelKey(char(msg.wParam));
            return;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            if (endKey_ && msg.wParam == endKey_) done_ = true;
            return;
        case WM_MOUSEMOVE: MouseMove(msg.pt); return;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
            MousePress(msg.pt);
            return;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            MouseRelease(msg.pt);
            return;
        case WM_CANCELMODE: done_ = true; return;
        default:
            TranslateMessage(msg);
            DispatchMessage(msg);
        }
    }

    void KeyDown(const MSG& msg) {
        if (IsEndKey(msg.wParam)) {
            // Ends on the release, which must not reach a window: the
            // window manager would take it for a fresh request for the bar.
            endKey_ = UINT(msg.wParam);
            return;
        }
        endKey_ = 0;
        if (!NavigationKey(msg.wParam)) TranslateMessage(msg);
    }

    // The arrows, Escape and Enter; false for any other key.
    bool NavigationKey(WPARAM key) {
        switch (key) {
        case VK_DOWN:
        case VK_UP:
            if (levels_.empty()) OpenBar(true, false);
            else Move(key == VK_DOWN ? 1 : -1);
            return true;
        case VK_RIGHT: {
            if (!levels_.empty()) {
                Level& l = levels_.back();
                if (l.selected >= 0 && l.items[size_t(l.selected)]->Count() > 0 &&
                    l.items[size_t(l.selected)]->Enabled()) {
                    Activate(levels_.size() - 1, l.selected);
                    return true;
                }
            }
            if (bar_) MoveBar(1);
            return true;
        }
        case VK_LEFT:
            if (levels_.size() > 1) CloseLevel();
            else if (bar_) MoveBar(-1);
            return true;
        case VK_ESCAPE:
            // A drop-down backs out to its bar, the bar or a pop-up ends.
            if (levels_.size() > 1) {
                CloseLevel();
            } else if (bar_ && levels_.size() == 1) {
                CloseLevel();
                barDropped_ = false;
            } else {
                done_ = true;
            }
            return true;
        case VK_RETURN: {
            if (levels_.empty()) {
                if (bar_) OpenBar(true, true);
                return true;
            }
            Level& l = levels_.back();
            if (l.selected >= 0) Activate(levels_.size() - 1, l.selected);
            return true;
        }
        default: return false;
        }
    }

    // A typed letter chooses the item it is the accelerator of.
    void AccelKey(char ch) {
        if (levels_.empty()) {
            for (size_t i = 0; i < barItems_.size(); ++i)
                if (barItems_[i]->Enabled() && IsAccel(ch, barItems_[i]->Caption())) {
                    SelectBar(int(i));
                    OpenBar(true, true);
                    return;
                }
            return;
        }
        Level& l = levels_.back();
        for (size_t i = 0; i < l.items.size(); ++i)
            if (l.items[i]->Enabled() && IsAccel(ch, l.items[i]->Caption())) {
                Activate(levels_.size() - 1, int(i));
                return;
            }
    }

    void MouseMove(POINT pt) {
        size_t li;
        int index;
        if (HitTest(pt, li, index)) {
            if (index >= 0 && Selectable(levels_[li].items[size_t(index)])) Select(levels_[li], index, true);
            return;
        }
        // Over another bar item an open drop-down moves with the mouse.
        const int bi = BarHit(pt);
        if (bi >= 0 && bi != barSelected_ && !levels_.empty()) {
            SelectBar(bi);
            OpenBar(false, false);
        }
    }

    void MousePress(POINT pt) {
        size_t li;
        int index;
        if (HitTest(pt, li, index)) return;
        if (const int bi = BarHit(pt); bi >= 0) {
            // A press on the open item closes the menu, on another opens it.
            if (bi == barSelected_ && !levels_.empty()) {
                done_ = true;
            } else {
                SelectBar(bi);
                OpenBar(false, false);
            }
            return;
        }
        done_ = true; // a click elsewhere dismisses
    }

    void MouseRelease(POINT pt) {
        size_t li;
        int index;
        if (HitTest(pt, li, index)) {
            if (index >= 0) Activate(li, index);
            return;
        }
        // A bar item with nothing to drop down acts on its release; a
        // disabled one ends the menu.
        if (const int bi = BarHit(pt); bi >= 0 && bi == barSelected_ && levels_.empty()) {
            TMenuItem* item = barItems_[size_t(bi)];
            if (item->Enabled()) chosen_ = item;
            done_ = true;
        }
    }

    void Paint(HWND h) {
        const PaintScope paint(h);
        const HDC dc = paint.DC();
        const Level* level = nullptr;
        for (const auto& l : levels_)
            if (l.window == h) level = &l;
        if (level) {
            const ScopedSelection useFont(dc, Screen() ? Screen()->MenuFont().Handle() : HFONT{});
            SetBkMode(dc, TRANSPARENT);
            for (size_t i = 0; i < level->items.size(); ++i) {
                const TMenuItem* item = level->items[i];
                RECT r = level->rects[i];
                if (item->IsLine()) {
                    RECT line{r.left + 2, r.top + kLineHeight / 2 - 1, r.right - 2, r.top + kLineHeight / 2 + 1};
                    DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
                    continue;
                }
                const bool selected = int(i) == level->selected;
                if (selected) FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
                SetTextColor(dc, !item->Enabled() ? GetSysColor(COLOR_GRAYTEXT)
                                 : selected      ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                                 : GetSysColor(COLOR_MENUTEXT));
                if (item->Checked()) {
                    RECT mark{r.left + 2, r.top + 2, r.left + kMargin - 2, r.bottom - 2};
                    DrawFrameControl(dc, &mark, DFC_MENU, item->RadioItem() ? DFCS_MENUBULLET : DFCS_MENUCHECK);
                }
                RECT text{r.left + kMargin, r.top, r.right - kMargin, r.bottom};
                DrawText(dc, item->Caption(), &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
                const AnsiString sc = ShortCutToText(item->ShortCut());
                if (!sc.empty()) DrawText(dc, sc, &text, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
                if (item->Count() > 0) {
                    RECT arrow{r.right - kMargin + 4, r.top + 3, r.right - 4, r.bottom - 3};
                    DrawFrameControl(dc, &arrow, DFC_MENU, DFCS_MENUARROWRIGHT);
                }
            }
        }
    }

    TPopupAlignment alignment_;
    std::function<void()> started_;
    HWND owner_;
    std::vector<Level> levels_;
    TMenuItem* chosen_ = nullptr;
    bool done_ = false;
    UINT endKey_ = 0;
    bool bar_ = false;
    HWND barWindow_ = nullptr;
    std::vector<TMenuItem*> barItems_;
    std::vector<RECT> barRects_;
    int barSelected_ = -1;
    bool barDropped_ = false;
};

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}

TPopupMenu::~TPopupMenu() {
    Destroying();
    if (tracker_) tracker_->Cancel();
}

void TPopupMenu::SetPopupComponent(TComponent* c) {
    if (popupComponent_) popupComponent_->RemoveFreeNotification(this);
    popupComponent_ = c;
    if (c) c->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
    TMenu::Notification(component, operation);
    if (operation == opRemove && component == popupComponent_) popupComponent_ = nullptr;
}

void TPopupMenu::Popup(int x, int y) {
    if (tracking_) return;
    if (OnPopup) OnPopup(this);
    TMenuItem* chosen = nullptr;
    {
        TMenuTracker tracker(alignment_, [this] {
            if (OnTrackingStarted) OnTrackingStarted(*this);
        }, ownerWindow_);
        tracker_ = &tracker;
        tracking_ = true;
        ScopeGuard done([this] {
            tracker_ = nullptr;
            tracking_ = false;
        });
        chosen = tracker.Run(Items(), x, y);
    }
    // The menu is gone before the command runs, as with a posted command.
    if (chosen) chosen->Click();
}

HMENU GetSubMenu(HMENU menu, int position) {
    std::vector<TMenuItem*> items;
    for (const TMenuTracker* t : TMenuTracker::Active())
        if (t->ItemsOf(menu, items)) {
            if (position < 0 || size_t(position) >= items.size() || items[size_t(position)]->Count() == 0)
                return nullptr;
            return items[size_t(position)]->Handle();
        }
    return nullptr;
}

void TPopupMenu::CloseMenu() {
    if (tracker_) tracker_->Cancel();
}

std::vector<HWND> TPopupMenu::TrackingWindows() const { return tracker_ ? tracker_->Windows() : std::vector<HWND>{}; }

void TPopupMenu::DefinePublished(TFiler& f) {
    TMenu::DefinePublished(f);
    f.Enum("Alignment", {"paLeft", "paRight", "paCenter"}, [this] { return int(alignment_); },
           [this](int v) { alignment_ = TPopupAlignment(v); }, int(paLeft));
    f.Bool("AutoPopup", [this] { return autoPopup_; }, [this](bool v) { autoPopup_ = v; }, true);
}

} // namespace ax

// ---- The main menu's bar -----------------------------------------------------------------------------------

namespace ax {

namespace {
constexpr int kBarPadding = 6; // each side of a bar item's text
} // namespace

TMainMenu::~TMainMenu() {
    Destroying();
    if (tracker_) tracker_->Cancel();
}

std::vector<TMenuItem*> TMainMenu::BarItems() const {
    std::vector<TMenuItem*> out;
    for (int i = 0; i < Items()->Count(); ++i)
        if (Items()->Items(i)->Visible()) out.push_back(Items()->Items(i));
    return out;
}

std::vector<RECT> TMainMenu::BarItemRects(HWND window) const {
    std::vector<RECT> out;
    RECT bar, wr;
    if (!GetMenuBarRect(window, bar) || !GetWindowRect(window, wr)) return out;
    const WindowDC screenDc(nullptr);
    const HDC dc = screenDc.Get();
    const ScopedSelection useFont(dc, Screen() ? Screen()->MenuFont().Handle() : HFONT{});
    int x = bar.left - wr.left;
    for (TMenuItem* item : BarItems()) {
        SIZE s{};
        GetTextExtentPoint32(dc, StripHotkey(item->Caption()), &s);
        const int w = int(s.cx) + 2 * kBarPadding;
        out.push_back(RECT{x, bar.top - wr.top, x + w, bar.bottom - wr.top});
        x += w;
    }
    return out;
}

void TMainMenu::PaintBar(HWND window) const {
    const std::vector<TMenuItem*> items = BarItems();
    const std::vector<RECT> rects = BarItemRects(window);
    if (rects.empty()) return;
    const WindowDC windowDc = WindowDC::WholeWindow(window);
    const HDC dc = windowDc.Get();
    if (!dc) return;
    RECT bar, wr;
    GetMenuBarRect(window, bar);
    GetWindowRect(window, wr);
    // Items past the right edge are cut off rather than wrapped.
    IntersectClipRect(dc, bar.left - wr.left, bar.top - wr.top, bar.right - wr.left, bar.bottom - wr.top);
    const ScopedSelection useFont(dc, Screen() ? Screen()->MenuFont().Handle() : HFONT{});
    SetBkMode(dc, TRANSPARENT);
    const int selected = BarSelected();
    for (size_t i = 0; i < items.size(); ++i) {
        RECT r = rects[i];
        const bool hot = int(i) == selected;
        if (hot) FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, !items[i]->Enabled() ? GetSysColor(COLOR_GRAYTEXT)
                         : hot                ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                              : GetSysColor(COLOR_MENUTEXT));
        DrawText(dc, items[i]->Caption(), &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
}

void TMainMenu::TrackBar(HWND window, int index, bool open, bool byKeyboard) {
    if (tracker_ || !GetMenu(window)) return;
    std::vector<TMenuItem*> items = BarItems();
    std::vector<RECT> rects = BarItemRects(window);
    if (items.empty() || rects.size() != items.size()) return;
    RECT wr;
    GetWindowRect(window, wr);
    for (RECT& r : rects) r = {r.left + wr.left, r.top + wr.top, r.right + wr.left, r.bottom + wr.top};
    TMenuItem* chosen = nullptr;
    {
        TMenuTracker tracker(paLeft, [this] {
            if (OnTrackingStarted) OnTrackingStarted(*this);
        });
        tracker_ = &tracker;
        ScopeGuard failed([this, window] {
            tracker_ = nullptr;
            DrawMenuBar(window);
        });
        chosen = tracker.RunBar(window, std::move(items), std::move(rects), index, open, byKeyboard);
        failed.Dismiss();
        tracker_ = nullptr;
    }
    DrawMenuBar(window);
    if (chosen) chosen->Click();
}

bool TMainMenu::TrackBarKey(HWND window, char key) {
    const std::vector<TMenuItem*> items = BarItems();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i]->Enabled() && IsAccel(key, items[i]->Caption())) {
            const bool dropDown = std::any_of(
                items[i]->items_.begin(), items[i]->items_.end(), [](TMenuItem* sub) { return sub->Visible(); });
            if (dropDown) TrackBar(window, int(i), true, true);
            else if (GetMenu(window)) items[i]->Click();
            return true;
        }
    return false;
}

int TMainMenu::BarSelected() const { return tracker_ ? tracker_->BarSelected() : -1; }

std::vector<HWND> TMainMenu::TrackingWindows() const {
    return tracker_ ? tracker_->Windows() : std::vector<HWND>{};
}

void TMainMenu::CloseMenu() {
    if (tracker_) tracker_->Cancel();
}

// ---- The window menu ----------------------------------------------------------------------

namespace {

AnsiString WindowCommandCaption(UINT command) {
    switch (command) {
    case SC_RESTORE: return "&Restore";
    case SC_MOVE: return "&Move";
    case SC_SIZE: return "&Size";
    case SC_MINIMIZE: return "Mi&nimize";
    case SC_MAXIMIZE: return "Ma&ximize";
    case SC_CLOSE: return "&Close";
    default: return "";
    }
}

} // namespace

UINT ShowWindowMenu(HWND window, HMENU systemMenu, POINT at) {
    UINT chosen = 0;
    TPopupMenu popup(nullptr);
    popup.SetOwnerWindow(window);
    const int count = GetMenuItemCount(systemMenu);
    for (int i = 0; i < count; ++i) {
        const UINT command = GetMenuItemID(systemMenu, i);
        const UINT state = GetMenuState(systemMenu, UINT(i), MF_BYPOSITION);
        if (state & MF_SEPARATOR) {
            popup.Items()->NewItem("-");
            continue;
        }
        const AnsiString caption = WindowCommandCaption(command);
        if (caption.empty()) continue;
        TMenuItem* item = popup.Items()->NewItem(caption, command == SC_CLOSE ? TShortCut(scAlt | VK_F4) : scNone,
                                                 [&chosen, command](TObject*) { chosen = command; });
        item->SetCommand(command);
        item->SetEnabled(!(state & (MF_GRAYED | MF_DISABLED)));
        item->SetDefault(command == SC_CLOSE);
    }
    // Items run their click after the menu closed, still inside Popup.
    popup.Popup(at.x, at.y);
    return chosen;
}

} // namespace ax
