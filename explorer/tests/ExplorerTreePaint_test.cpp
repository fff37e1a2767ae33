// What the explorer tree shows of a test folder with checked, mixed and
// unchecked items (the headless display with the test font), kept as
// "explorer_tree_checked_test_font.png" next to the test, and drawn once more
// with the real fonts as "explorer_tree_checked.png", the picture to read.
#include "explorer_fixture.h"
#include "rtl/scopeguard.h"

using namespace ax;
using namespace ax::testing;

namespace {

class ExplorerPaint : public ExplorerTest {
protected:
    COLORREF Pixel(TWinControl* c, int x, int y) {
        HDC dc = GetDC(c->Handle());
        const COLORREF p = GetPixel(dc, x, y);
        ReleaseDC(c->Handle(), dc);
        return p;
    }
    // The inside of node's check box (its 2-pixel edge left out), found by
    // hit tests along the row.
    RECT BoxInside(TCustomExplorerTree* tree, PDataNode node) {
        const RECT row = tree->GetDisplayRect(node, NoColumn, false);
        for (int x = 0; x < 200; ++x) {
            THitInfo hit;
            tree->GetHitTestInfoAt(x, row.top + 8, true, hit);
            if (hit.HitNode == node && (hit.HitPositions & hiOnItemCheckbox))
                return {x + 1 + 2, row.top + 4, x + 1 + 11, row.top + 13};
        }
        ADD_FAILURE() << "no check box for " << NameOf(tree, node);
        return {};
    }
    bool AnyDark(TWinControl* c, RECT r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const COLORREF p = Pixel(c, x, y);
                if (GetRValue(p) + GetGValue(p) + GetBValue(p) < 3 * 128) return true;
            }
        return false;
    }
    bool AllWindow(TWinControl* c, RECT r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (Pixel(c, x, y) != GetSysColor(COLOR_WINDOW)) return false;
        return true;
    }
};

TEST_F(ExplorerPaint, ATestFolderWithCheckedMixedAndUncheckedItems) {
    MakeAll({"Documents/", "Documents/Letters/", "Documents/Letters/to bank.txt", "Documents/Photos/",
             "Documents/Photos/beach.jpg", "Documents/notes.txt", "Music/", "Music/song.ogg", "System/",
             "readme.txt"});
    TExplorerTree* tree = ShownTree(true, 260, 200);
    PDataNode root = tree->GetFirst();
    PDataNode documents = Child(tree, root, "Documents");
    tree->SetExpanded(documents, true);
    PDataNode letters = Child(tree, documents, "Letters");
    tree->SetExpanded(letters, true);
    tree->SetCheckState(letters, csCheckedNormal);
    tree->SetCheckState(Child(tree, root, "Music"), csCheckedNormal);
    tree->SetSelected(letters, true);
    tree->SetFocusedNode(letters);
    tree->SetFocus();
    app->ProcessMessages();

    EXPECT_EQ(Names(tree, root), (std::vector<std::string>{"Documents", "Music", "readme.txt", "System"}));
    EXPECT_EQ(int(documents->CheckState), int(csMixedNormal));
    EXPECT_EQ(int(root->CheckState), int(csMixedNormal));
    EXPECT_TRUE(SnapshotWindow(form->Handle(), "explorer_tree_checked_test_font.png"));

    // Checked boxes carry a dark mark, unchecked ones none; a mixed box shows
    // its own mark.
    EXPECT_TRUE(AnyDark(tree, BoxInside(tree, letters))) << "Letters";
    EXPECT_TRUE(AnyDark(tree, BoxInside(tree, Child(tree, letters, "to bank.txt")))) << "a file of Letters";
    EXPECT_TRUE(AnyDark(tree, BoxInside(tree, Child(tree, root, "Music")))) << "Music";
    EXPECT_TRUE(AllWindow(tree, BoxInside(tree, Child(tree, documents, "Photos")))) << "Photos";
    EXPECT_TRUE(AllWindow(tree, BoxInside(tree, Child(tree, root, "System")))) << "System";
    EXPECT_FALSE(AllWindow(tree, BoxInside(tree, documents))) << "Documents: mixed";
    EXPECT_FALSE(AnyDark(tree, BoxInside(tree, documents))) << "Documents: no check mark";
    // The labels are the items' names in their folders.
    const RECT label = tree->GetDisplayRect(letters, NoColumn, true);
    EXPECT_EQ(label.right - label.left, 7 * 7 + 2 * 4) << "\"Letters\" in the test font with its margins";
    EXPECT_EQ(Pixel(tree, label.left + 1, (label.top + label.bottom) / 2), GetSysColor(COLOR_HIGHLIGHT))
        << "selected and focused";

#if !defined(__SANITIZE_ADDRESS__)
    // The same tree in the real fonts, the picture a reader can read. Not
    // under the sanitizers: the system's font library keeps caches for the
    // process that the leak checker reports.
    SetTestFont(false);
    const ScopeGuard testFont([] { SetTestFont(true); });
    tree->Invalidate();
    app->ProcessMessages();
    EXPECT_TRUE(SnapshotWindow(form->Handle(), "explorer_tree_checked.png"));
#endif
}

} // namespace
