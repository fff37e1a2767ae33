// The window menu of the program-drawn frame on a real display: a private
// Xvfb with openbox, driven by XTest input. Alt+Space and a press on the
// caption icon open it; a form whose placement prevents resizing offers
// neither Size nor Maximize there, and its frame cannot be dragged to
// another size. The application runs on its own thread as a program would;
// the test thread is the user.
#include "controls/FormPlacement.h"
#include "framework/menus.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "x11_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace ax {
namespace {

using test::Xvfb;
using namespace std::chrono_literals;

constexpr int kDragAttempts = 3;
constexpr unsigned long kXK_m = 0x6D, kXK_Right = 0xFF53, kXK_Return = 0xFF0D;
constexpr unsigned long kXK_space = 0x20, kXK_Escape = 0xFF1B, kXK_Alt_L = 0xFFE9;

// What the shown menu offered: "caption:1" for an item that can be picked,
// "caption:0" for a greyed one.
using Offer = std::vector<std::string>;

class X11WindowMenuTest : public test::X11FormTest {
protected:
    TForm* Build(TApplication& app) override {
        form = app.CreateForm<TForm>();
        form->SetCaption("Window menu");
        form->SetBounds(80, 90, 360, 220);
        placement = TComponent::Create<TFormPlacement>(form);
        placement->SetActive(false); // nothing saved or restored here
        placement->SetIniFileName((std::filesystem::temp_directory_path() /
                                   ("ax-window-menu-" + std::to_string(getpid()) + ".ini"))
                                      .string());
        placement->SetPreventResize(true);
        placement->Loaded();
        TPopupMenu::OnTrackingStarted = [this](TPopupMenu& menu) {
            Offer offer;
            for (int i = 0; i < menu.Items()->Count(); ++i) {
                const TMenuItem* item = menu.Items()->Items(i);
                if (!item->IsLine()) offer.push_back(item->Caption() + ":" + (item->Enabled() ? "1" : "0"));
            }
            program->Change([&] {
                offers.push_back(offer);
                menus.push_back(&menu);
            });
        };
        form->Show();
        return form;
    }
    void BeforeEnd() override { TPopupMenu::OnTrackingStarted = nullptr; }

    bool Tracking() { return program->Get<bool>([&] { return !menus.empty() && menus.back()->Tracking(); }); }
    size_t Offers() { return program->Read(offers).size(); }
    RECT FormRect() {
        return program->Get<RECT>([&] {
            RECT r{};
            GetWindowRect(form->Handle(), r);
            return r;
        });
    }
    // Drags the frame's bottom-right corner by (dx, dy). The press must have
    // reached the program, which hands the drag to the window manager,
    // before the pointer moves on.
    void DragCorner(int dx, int dy) {
        const RECT r = FormRect();
        clock.Advance(1000);
        server.MoveTo(r.right - 2, r.bottom - 2);
        server.Button(1, true);
        ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
        ASSERT_TRUE(server.WindowManagerBarrier());
        for (int step = 1; step <= 6; ++step) {
            server.MoveTo(r.right - 2 + dx * step / 6, r.bottom - 2 + dy * step / 6);
            ASSERT_TRUE(server.WindowManagerBarrier());
        }
        server.Button(1, false);
        ASSERT_TRUE(server.WindowManagerBarrier());
        ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
    }
    void CloseMenu() {
        server.KeyStroke(kXK_Escape);
        ASSERT_TRUE(server.WaitFor([&] { return !Tracking(); })) << "Escape did not close the window menu";
    }

    TForm* form = nullptr;
    TFormPlacement* placement = nullptr;
    // Written on the program's thread under its lock.
    std::vector<Offer> offers;
    std::vector<TPopupMenu*> menus;
};

TEST_F(X11WindowMenuTest, AltSpaceAndTheCaptionIconOpenItWithoutSizeWhenResizingIsPrevented) {
    server.Key(kXK_Alt_L, true);
    server.KeyStroke(kXK_space);
    server.Key(kXK_Alt_L, false);
    ASSERT_TRUE(server.WaitFor([&] { return Offers() == 1 && Tracking(); })) << "Alt+Space opened no menu";
    EXPECT_EQ(program->Read(offers)[0], (Offer{"&Restore:0", "&Move:1", "&Size:0", "Mi&nimize:1", "Ma&ximize:0",
                                                "&Close:1"}));
    program->Call([] { PumpDisplay(); });
    EXPECT_TRUE(server.Screenshot(SnapshotPath("x11_window_menu").string()));
    ASSERT_NO_FATAL_FAILURE(CloseMenu());

    // A press on the caption icon, at the frame's top-left.
    const RECT r = FormRect();
    Click(POINT{r.left + 10, r.top + 12});
    ASSERT_TRUE(server.WaitFor([&] { return Offers() == 2 && Tracking(); })) << "the caption icon opened no menu";
    EXPECT_EQ(program->Read(offers)[1][2], "&Size:0");
    ASSERT_NO_FATAL_FAILURE(CloseMenu());
    EXPECT_EQ(FormRect(), r) << "the menu changed the form";
}

TEST_F(X11WindowMenuTest, TheFrameIsDraggedToAnotherSizeOnlyWhenResizingIsAllowed) {
    const RECT before = FormRect();
    // The window manager was told the form has one size only.
    const Xvfb::SizeHints hints = server.NormalHints(window);
    EXPECT_EQ(hints.minWidth, hints.maxWidth);
    // The corner is client area now.
    EXPECT_EQ(program->Get<LRESULT>([&] {
        return SendMessage(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(before.right - 2, before.bottom - 2));
    }),
              HTCLIENT);
    // As often as the allowed drag below may need.
    for (int attempt = 0; attempt < kDragAttempts; ++attempt) {
        ASSERT_NO_FATAL_FAILURE(DragCorner(60, 40));
        EXPECT_EQ(FormRect(), before) << "the frame was resized";
        const Xvfb::Geometry g = server.WindowGeometry(window);
        EXPECT_EQ(g.width, before.right - before.left);
        EXPECT_EQ(g.height, before.bottom - before.top);
    }

    // The same drag with resizing allowed: the test's drag does reach the frame.
    program->Call([&] { placement->SetPreventResize(false); });
    // The window manager has to hear that the size may change first.
    ASSERT_TRUE(server.WaitFor([&] {
        const Xvfb::SizeHints h = server.NormalHints(window);
        return h.maxWidth == 0 || h.maxWidth > before.right - before.left;
    })) << "the size limits stayed on the window";
    // The window manager may take the drag over only after the button is
    // up again, and then drops it; a drag that did nothing is made again.
    bool sized = false;
    for (int attempt = 0; attempt < kDragAttempts && !sized; ++attempt) {
        ASSERT_NO_FATAL_FAILURE(DragCorner(60, 40));
        sized = server.WaitFor([&] { return FormRect().right == before.right + 60; }, 3s);
    }
    EXPECT_TRUE(sized) << "the drag did not size the frame at all: " << FormRect().right - before.right;
    // And the window menu offers Size and Maximize again.
    server.Key(kXK_Alt_L, true);
    server.KeyStroke(kXK_space);
    server.Key(kXK_Alt_L, false);
    ASSERT_TRUE(server.WaitFor([&] { return Offers() == 1 && Tracking(); })) << "Alt+Space opened no menu";
    EXPECT_EQ(program->Read(offers)[0], (Offer{"&Restore:0", "&Move:1", "&Size:1", "Mi&nimize:1", "Ma&ximize:1",
                                                "&Close:1"}));
    ASSERT_NO_FATAL_FAILURE(CloseMenu());
}

TEST_F(X11WindowMenuTest, MoveFromTheMenuHandsTheFrameToTheKeyboard) {
    const RECT before = FormRect();
    server.Key(kXK_Alt_L, true);
    server.KeyStroke(kXK_space);
    server.Key(kXK_Alt_L, false);
    ASSERT_TRUE(server.WaitFor([&] { return Offers() == 1 && Tracking(); })) << "Alt+Space opened no menu";
    server.KeyStroke(kXK_m); // &Move
    ASSERT_TRUE(server.WaitFor([&] { return !Tracking(); })) << "M did not pick Move";
    ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
    ASSERT_TRUE(server.WindowManagerBarrier());
    // The window manager moves the frame with the arrows until Return.
    for (int i = 0; i < 3; ++i) {
        server.KeyStroke(kXK_Right);
        ASSERT_TRUE(server.WindowManagerBarrier());
    }
    server.KeyStroke(kXK_Return);
    EXPECT_TRUE(server.WaitFor([&] { return FormRect().left > before.left; }))
        << "the frame did not move with the keys";
    EXPECT_EQ(FormRect().top, before.top);
    EXPECT_EQ(FormRect().right - FormRect().left, before.right - before.left);
}

} // namespace
} // namespace ax
