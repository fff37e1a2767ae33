#pragma once
// The glyph of a speed button: a strip of up to five state images (up,
// disabled, down, exclusive, inactive), the missing ones derived from the
// up image (embossed for disabled, grey for inactive). Built images live in
// a process-wide cache of image lists, one per image size, shared by every
// button; a list goes when its last image does. GUI thread only.
#include <memory>
#include <vector>

#include "framework/graphics.h"
#include "platform/gdi/image.h"
#include "platform/gdi/uniqueimagelist.h"

namespace ax {

enum TButtonState : uint8_t { bsUp, bsDisabled, bsDown, bsExclusive, bsInactive };
using TExNumGlyphs = int; // 1..5

// An image list of one image size whose slots are reused.
class TGlyphList {
public:
    TGlyphList(int width, int height);
    ~TGlyphList();
    TGlyphList(const TGlyphList&) = delete;
    TGlyphList& operator=(const TGlyphList&) = delete;
    int Width() const { return width_; }
    int Height() const { return height_; }
    HIMAGELIST Handle() const { return list_.Get(); }
    int Count() const { return count_; }
    // The first free slot (the list grows when none is free).
    int AddMasked(TBitmap& image, TColor maskColor);
    void Delete(int index);

private:
    UniqueImageList list_;
    int width_, height_;
    std::vector<bool> used_;
    int count_ = 0;
};

// How many image lists the cache holds now (tests).
int GlyphCacheListCount();

class TExButtonGlyph {
public:
    TExButtonGlyph();
    ~TExButtonGlyph();
    TExButtonGlyph(const TExButtonGlyph&) = delete;
    TExButtonGlyph& operator=(const TExButtonGlyph&) = delete;

    TBitmap& Glyph() { return *glyph_; }
    void SetGlyph(const TBitmap* glyph) { glyph_->Assign(glyph); }
    TExNumGlyphs NumGlyphs() const { return numGlyphs_; }
    // Clamped to 1..5.
    void SetNumGlyphs(int value);
    TColor TransparentColor() const { return transparentColor_; }
    // The image of the state, built on first use; -1 when there is none.
    int ImageIndex(TButtonState state);
    // The size of one state image (0 x 0 without a glyph).
    SIZE ImageSize() const;
    // Draws the state's image with its top-left corner at x, y.
    void Draw(TCanvas& canvas, int x, int y, TButtonState state);
    // Forgets the built images (the glyph changed, or the system colours).
    void Invalidate();
    TGlyphList* List() const { return list_; }

    TNotifyEvent OnChange;

private:
    void GlyphChanged();
    std::unique_ptr<TBitmap> glyph_;
    TGlyphList* list_ = nullptr;
    int indexes_[5] = {-1, -1, -1, -1, -1};
    TColor transparentColor_ = 0xFF00FF;
    TExNumGlyphs numGlyphs_ = 1;
};

} // namespace ax
