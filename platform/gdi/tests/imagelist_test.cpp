#include "test_canvas.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace ax;
using namespace ax::test;

namespace {

// A strip of two 2 x 1 images: (magenta, red) and (green, magenta).
HBITMAP strip() {
    const std::uint32_t px[4] = {0xFFFF00FF, 0xFFFF0000, 0xFF00FF00, 0xFFFF00FF};
    return CreateBitmapFromPixels(4, 1, px, false);
}

} // namespace

TEST(ImageLists, AddMaskedSplitsCellsAndDrawsTransparent) {
    Canvas c(2, 1, RGB(0, 0, 255));
    GdiObjectCounts before = GetGdiObjectCounts();
    HIMAGELIST l = ImageList_Create(2, 1, ILC_COLOR24 | ILC_MASK, 2, 2);
    HBITMAP bm = strip();
    EXPECT_EQ(ImageList_AddMasked(l, bm, RGB(255, 0, 255)), 0);
    EXPECT_EQ(ImageList_GetImageCount(l), 2);
    DeleteObject(bm); // the list keeps its own copy
    ASSERT_TRUE(ImageList_Draw(l, 0, c.dc(), 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(c.px(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(c.px(1, 0), RGB(255, 0, 0));
    // ILD_NORMAL over a background colour fills the masked pixels.
    ImageList_SetBkColor(l, RGB(1, 2, 3));
    ImageList_Draw(l, 1, c.dc(), 0, 0, ILD_NORMAL);
    EXPECT_EQ(c.px(0, 0), RGB(0, 255, 0));
    EXPECT_EQ(c.px(1, 0), RGB(1, 2, 3));
    ImageList_Draw(l, 1, c.dc(), 0, 0, ILD_MASK);
    EXPECT_EQ(c.px(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(c.px(1, 0), RGB(255, 255, 255));
    EXPECT_FALSE(ImageList_Draw(l, 2, c.dc(), 0, 0, ILD_NORMAL));
    EXPECT_TRUE(ImageList_Remove(l, 0));
    EXPECT_EQ(ImageList_GetImageCount(l), 1);
    EXPECT_TRUE(ImageList_Destroy(l));
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(ImageLists, SelectedAndFocusBlendWithTheHighlight) {
    HIMAGELIST l = ImageList_Create(2, 1, ILC_COLOR24 | ILC_MASK, 1, 1);
    HBITMAP bm = strip();
    ImageList_AddMasked(l, bm, RGB(255, 0, 255));
    DeleteObject(bm);
    Canvas c(2, 1, RGB(0, 0, 0));
    ImageList_DrawEx(l, 0, c.dc(), 0, 0, 0, 0, CLR_NONE, RGB(0, 0, 200), ILD_BLEND50);
    EXPECT_EQ(c.px(1, 0), RGB(127, 0, 100)); // half red, half the foreground
    EXPECT_EQ(c.px(0, 0), RGB(0, 0, 0));     // masked pixels stay out
    ImageList_DrawEx(l, 0, c.dc(), 0, 0, 0, 0, CLR_NONE, RGB(0, 0, 200), ILD_FOCUS);
    EXPECT_EQ(c.px(1, 0), RGB(191, 0, 50));
    ImageList_Draw(l, 0, c.dc(), 0, 0, ILD_SELECTED);
    COLORREF hl = GetSysColor(COLOR_HIGHLIGHT);
    EXPECT_EQ(c.px(1, 0), RGB(BYTE((255 * 2 + GetRValue(hl) * 2) / 4), BYTE(GetGValue(hl) / 2),
                              BYTE(GetBValue(hl) / 2)));
    ImageList_Destroy(l);
}

TEST(ImageLists, IconsAndOverlays) {
    HIMAGELIST l = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4);
    EXPECT_EQ(ImageList_AddIcon(l, LoadIcon(0, IDI_HAND)), 0);
    EXPECT_EQ(ImageList_AddIcon(l, LoadIcon(0, IDI_ASTERISK)), 1);
    HICON back = ImageList_GetIcon(l, 0, ILD_NORMAL);
    ASSERT_TRUE(back);
    EXPECT_EQ(GetIconSize(back), (SIZE{16, 16}));
    DestroyIcon(back);
    EXPECT_TRUE(ImageList_SetOverlayImage(l, 1, 1));
    Canvas plain(16, 16), overlaid(16, 16);
    ImageList_Draw(l, 0, plain.dc(), 0, 0, ILD_TRANSPARENT);
    ImageList_Draw(l, 0, overlaid.dc(), 0, 0, ILD_TRANSPARENT | INDEXTOOVERLAYMASK(1));
    EXPECT_TRUE(plain.snapshot() != overlaid.snapshot());
    EXPECT_EQ(plain.px(0, 0), RGB(255, 255, 255)); // corners of the disc stay clear
    int cx = 0, cy = 0;
    ImageList_GetIconSize(l, &cx, &cy);
    EXPECT_EQ(cx, 16);
    ImageList_Destroy(l);
}

TEST(ImageLists, OneThreadAddsWhileAnotherDraws) {
    // The system image lists grow on the icon thread while the GUI draws.
    HIMAGELIST l = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4);
    std::vector<std::uint32_t> red(16 * 16, 0xFFFF0000);
    HBITMAP image = CreateBitmapFromPixels(16, 16, red.data(), true);
    ASSERT_EQ(ImageList_Add(l, image, HBITMAP{}), 0);
    constexpr int kAdds = 2000;
    // The adder starts once the first draw is done: on a busy machine it
    // could otherwise finish before the drawer's first look.
    std::atomic<bool> drawing = false;
    std::thread adder([&] {
        while (!drawing.load()) std::this_thread::yield();
        for (int i = 0; i < kAdds; ++i)
            ImageList_Add(l, image, HBITMAP{});
    });
    Canvas c(16, 16, RGB(0, 0, 0));
    int drawn = 0;
    do {
        const int last = ImageList_GetImageCount(l) - 1;
        drawn += ImageList_Draw(l, last, c.dc(), 0, 0, ILD_TRANSPARENT) ? 1 : 0;
        EXPECT_EQ(c.px(7, 7), RGB(255, 0, 0));
        drawing = true;
    } while (ImageList_GetImageCount(l) < kAdds + 1);
    adder.join();
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(ImageList_GetImageCount(l), kAdds + 1);
    DeleteObject(image);
    ImageList_Destroy(l);
}
