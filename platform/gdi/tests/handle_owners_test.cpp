// The scoped owners of drawing handles, checked against the layer's count of
// live objects: each handle freed exactly once, nothing freed by an owner
// that was moved from or released, and a selection put back on every way
// out of its scope.
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/gdi/uniqueicon.h"
#include "platform/gdi/uniqueimagelist.h"
#include "test_canvas.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace ax;
using namespace ax::test;

namespace {

HPEN RedPen() {
    return CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
}

} // namespace

TEST(UniqueGdiObject, FreesItsObjectOnceWhenItGoes) {
    const int before = GetGdiObjectCounts().pens;
    {
        UniquePen pen(RedPen());
        ASSERT_TRUE(pen);
        EXPECT_EQ(GetGdiObjectCounts().pens, before + 1);
        EXPECT_EQ(GetObjectType(pen.Get()), UINT(OBJ_PEN));
    }
    EXPECT_EQ(GetGdiObjectCounts().pens, before);
    UniqueBrush none;
    EXPECT_FALSE(none);
}

TEST(UniqueGdiObject, AMovedFromOwnerFreesNothing) {
    const GdiObjectCounts before = GetGdiObjectCounts();
    UniqueBrush kept;
    {
        UniqueBrush first(CreateSolidBrush(RGB(1, 2, 3)));
        const HBRUSH handle = first.Get();
        UniqueBrush second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.Get(), handle);
        kept = std::move(second);
        EXPECT_FALSE(second);
    } // both sources go here and must leave the brush alone
    EXPECT_EQ(GetGdiObjectCounts().brushes, before.brushes + 1);
    EXPECT_EQ(GetObjectType(kept.Get()), UINT(OBJ_BRUSH));
    kept.Reset();
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(UniqueGdiObject, TakingAnotherObjectFreesTheOldOneButNotItself) {
    const int before = GetGdiObjectCounts().fonts;
    LOGFONT lf{};
    lf.lfHeight = 13;
    UniqueFont font(CreateFontIndirect(&lf));
    UniqueFont other(CreateFontIndirect(&lf));
    const HFONT first = font.Get();
    font = std::move(other); // the first font goes now
    EXPECT_EQ(GetGdiObjectCounts().fonts, before + 1);
    EXPECT_EQ(GetObjectType(first), 0u);
    font.Reset(font.Get()); // the same handle again: still alive
    EXPECT_EQ(GetObjectType(font.Get()), UINT(OBJ_FONT));
    auto& self = font;
    font = std::move(self);
    EXPECT_EQ(GetObjectType(font.Get()), UINT(OBJ_FONT));
    const HFONT released = font.Release();
    EXPECT_FALSE(font);
    EXPECT_EQ(GetGdiObjectCounts().fonts, before + 1); // the caller has it now
    EXPECT_TRUE(DeleteObject(released));
    EXPECT_EQ(GetGdiObjectCounts().fonts, before);
}

TEST(UniqueHandleKinds, DCsIconsAndImageListsAreFreedWithTheirOwners) {
    const GdiObjectCounts before = GetGdiObjectCounts();
    {
        UniqueDC dc(CreateCompatibleDC(HDC{}));
        UniqueBitmap bitmap(CreateBitmap(16, 16, 1, 32, nullptr));
        ICONINFO info;
        info.hbmMask = bitmap.Get();
        info.hbmColor = bitmap.Get();
        UniqueIcon icon(CreateIconIndirect(&info));
        UniqueImageList list(ImageList_Create(16, 16, ILC_COLOR32, 1, 1));
        ASSERT_TRUE(dc && icon && list);
        const GdiObjectCounts inside = GetGdiObjectCounts();
        EXPECT_EQ(inside.dcs, before.dcs + 1);
        EXPECT_EQ(inside.icons, before.icons + 1);
        EXPECT_EQ(inside.imageLists, before.imageLists + 1);
        UniqueIcon movedIcon(std::move(icon));
        UniqueDC movedDc(std::move(dc));
        UniqueImageList movedList(std::move(list));
    }
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(ScopedSelection, PutsTheOldObjectBackOnEveryWayOut) {
    Canvas c(8, 8);
    const GdiObjectCounts before = GetGdiObjectCounts();
    const HGDIOBJ stockPen = GetCurrentObject(c.dc(), OBJ_PEN);
    {
        UniquePen pen(RedPen());
        ScopedSelection use(c.dc(), pen.Get());
        EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), HGDIOBJ(pen.Get()));
        EXPECT_EQ(use.Previous(), stockPen);
    } // selected out first, so the owner's DeleteObject succeeds
    EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), stockPen);
    EXPECT_EQ(GetGdiObjectCounts(), before);

    UniqueBrush brush(CreateSolidBrush(RGB(0, 0, 255)));
    const HGDIOBJ stockBrush = GetCurrentObject(c.dc(), OBJ_BRUSH);
    EXPECT_THROW(
        {
            ScopedSelection use(c.dc(), brush.Get());
            throw std::runtime_error("painting failed");
        },
        std::runtime_error);
    EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_BRUSH), stockBrush);
    brush.Reset();
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(ScopedSelection, NestedSelectionsOfOneKindUnwindInOrder) {
    Canvas c(8, 8);
    const HGDIOBJ stockPen = GetCurrentObject(c.dc(), OBJ_PEN);
    UniquePen red(RedPen());
    UniquePen blue(CreatePen(PS_SOLID, 1, RGB(0, 0, 255)));
    {
        ScopedSelection outer(c.dc(), red.Get());
        {
            ScopedSelection inner(c.dc(), blue.Get());
            EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), HGDIOBJ(blue.Get()));
        }
        EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), HGDIOBJ(red.Get()));
    }
    EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), stockPen);
}

TEST(ScopedSelection, ANullObjectOrAMovedFromSelectionRestoresNothing) {
    Canvas c(8, 8);
    UniquePen red(RedPen());
    UniquePen blue(CreatePen(PS_SOLID, 1, RGB(0, 0, 255)));
    {
        ScopedSelection none(c.dc(), HPEN{});
        EXPECT_FALSE(none.Previous());
        SelectObject(c.dc(), red.Get());
    } // nothing was selected, so the red pen stays
    EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), HGDIOBJ(red.Get()));
    {
        ScopedSelection first(c.dc(), blue.Get());
        {
            ScopedSelection second(std::move(first));
        } // the red pen is back
        EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), HGDIOBJ(red.Get()));
        SelectObject(c.dc(), blue.Get());
    } // the moved-from selection leaves the blue pen alone
    EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), HGDIOBJ(blue.Get()));
    SelectObject(c.dc(), HPEN{GetStockObject(BLACK_PEN)});
}
