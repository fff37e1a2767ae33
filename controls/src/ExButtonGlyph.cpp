// The speed button's glyph: the state images derived from the up image and
// kept in per-size image lists shared by every button, each list freed with
// its last image. GUI thread only.
#include "controls/ExButtonGlyph.h"

#include <algorithm>

#include "controls/CtrlUtils.h"

namespace ax {

namespace {

struct GlyphCache {
    std::vector<std::unique_ptr<TGlyphList>> lists;
};
GlyphCache& Cache() {
    static GlyphCache cache;
    return cache;
}

TGlyphList* CacheList(int width, int height) {
    for (auto& l : Cache().lists)
        if (l->Width() == width && l->Height() == height) return l.get();
    Cache().lists.push_back(std::make_unique<TGlyphList>(width, height));
    return Cache().lists.back().get();
}

void ReleaseList(TGlyphList* list) {
    if (!list || list->Count() > 0) return;
    auto& lists = Cache().lists;
    lists.erase(std::remove_if(lists.begin(), lists.end(), [&](const auto& l) { return l.get() == list; }),
                lists.end());
}

} // namespace

int GlyphCacheListCount() { return int(Cache().lists.size()); }

// ---- Image list of one size -----------------------------------------------------------------

TGlyphList::TGlyphList(int width, int height)
    : list_(ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 4, 4)), width_(width), height_(height) {}

TGlyphList::~TGlyphList() = default;

int TGlyphList::AddMasked(TBitmap& image, TColor maskColor) {
    const COLORREF key = ColorToRGB(maskColor);
    auto slot = std::find(used_.begin(), used_.end(), false);
    int index;
    if (slot == used_.end()) {
        index = ImageList_AddMasked(list_.Get(), image.Handle(), key);
        if (index < 0) return -1;
        used_.resize(size_t(index) + 1, false);
    } else {
        index = int(slot - used_.begin());
        // The mask: the pixels of the key colour become 1 (transparent).
        TBitmap mask;
        mask.SetMonochrome(true);
        mask.SetSize(width_, height_);
        HDC src = image.Canvas().Handle();
        const COLORREF oldBk = SetBkColor(src, key);
        BitBlt(mask.Canvas().Handle(), 0, 0, width_, height_, src, 0, 0, SRCCOPY);
        SetBkColor(src, oldBk);
        if (!ImageList_Replace(list_.Get(), index, image.Handle(), mask.Handle())) return -1;
    }
    used_[size_t(index)] = true;
    ++count_;
    return index;
}

void TGlyphList::Delete(int index) {
    if (index < 0 || index >= int(used_.size()) || !used_[size_t(index)]) return;
    used_[size_t(index)] = false;
    --count_;
}

// ---- Button glyph ---------------------------------------------------------------------------

TExButtonGlyph::TExButtonGlyph() : glyph_(std::make_unique<TBitmap>()) {
    glyph_->OnChange = [this](TObject*) { GlyphChanged(); };
}

TExButtonGlyph::~TExButtonGlyph() {
    glyph_->OnChange = nullptr;
    Invalidate();
}

void TExButtonGlyph::SetNumGlyphs(int value) {
    value = std::clamp(value, 1, 5);
    if (value == numGlyphs_) return;
    Invalidate();
    numGlyphs_ = value;
    if (OnChange) OnChange(nullptr);
}

void TExButtonGlyph::Invalidate() {
    if (!list_) return;
    for (int& index : indexes_) {
        list_->Delete(index);
        index = -1;
    }
    TGlyphList* list = list_;
    list_ = nullptr;
    ReleaseList(list);
}

void TExButtonGlyph::GlyphChanged() {
    Invalidate();
    const int w = glyph_->Width(), h = glyph_->Height();
    if (h > 0) {
        transparentColor_ = TColor(glyph_->TransparentColor() & ~0x2000000);
        if (w % h == 0) numGlyphs_ = w / h > 5 ? 1 : std::max(w / h, 1);
    }
    if (OnChange) OnChange(nullptr);
}

SIZE TExButtonGlyph::ImageSize() const {
    if (glyph_->Empty()) return {0, 0};
    return {glyph_->Width() / std::max(numGlyphs_, 1), glyph_->Height()};
}

int TExButtonGlyph::ImageIndex(TButtonState state) {
    const SIZE size = ImageSize();
    if (size.cx <= 0 || size.cy <= 0) return -1;
    if (indexes_[state] >= 0) return indexes_[state];
    if (!list_) list_ = CacheList(size.cx, size.cy);
    const int w = size.cx, h = size.cy;
    TBitmap image;
    image.SetSize(w, h);
    TCanvas& c = image.Canvas();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clBtnFace);
    c.FillRect({0, 0, w, h});
    if (state < numGlyphs_) {
        // The strip has this state: cells up, disabled, down, exclusive, inactive.
        c.CopyRect({0, 0, w, h}, glyph_->Canvas(), {state * w, 0, (state + 1) * w, h});
    } else if (state == bsDisabled) {
        // Embossed: the shape of the up image in highlight, offset, under
        // the shadow.
        TBitmap up;
        up.SetSize(w, h);
        up.Canvas().CopyRect({0, 0, w, h}, glyph_->Canvas(), {0, 0, w, h});
        TBitmap mask;
        mask.SetMonochrome(true);
        mask.SetSize(w, h);
        HDC src = up.Canvas().Handle();
        const COLORREF oldBk = SetBkColor(src, ColorToRGB(transparentColor_));
        BitBlt(mask.Canvas().Handle(), 0, 0, w, h, src, 0, 0, SRCCOPY);
        SetBkColor(src, oldBk);
        // Mask pixels are 1 where transparent; draw the shape where 0.
        HDC dc = c.Handle();
        auto shape = [&](int dx, int dy, TColor colour) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (GetPixel(mask.Canvas().Handle(), x, y) == RGB(0, 0, 0) && x + dx < w && y + dy < h)
                        ::ax::SetPixel(dc, x + dx, y + dy, ColorToRGB(colour));
        };
        shape(1, 1, clBtnHighlight);
        shape(0, 0, clBtnShadow);
    } else {
        c.CopyRect({0, 0, w, h}, glyph_->Canvas(), {0, 0, w, h});
        if (state == bsInactive) {
            const COLORREF key = ColorToRGB(transparentColor_), face = ColorToRGB(clBtnFace);
            HDC dc = c.Handle();
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const COLORREF p = GetPixel(dc, x, y);
                    if (p == key || p == face) continue;
                    const int gray = (GetRValue(p) * 77 + GetGValue(p) * 150 + GetBValue(p) * 29) >> 8;
                    ::ax::SetPixel(dc, x, y, RGB(gray, gray, gray));
                }
        }
    }
    indexes_[state] = list_->AddMasked(image, transparentColor_);
    return indexes_[state];
}

void TExButtonGlyph::Draw(TCanvas& canvas, int x, int y, TButtonState state) {
    const int index = ImageIndex(state);
    if (index < 0) return;
    ImageList_Draw(list_->Handle(), index, canvas.Handle(), x, y, ILD_TRANSPARENT);
}

} // namespace ax
