#pragma once
// Explorer trees with their protected dispatchers reachable, and a test
// folder whose items differ in every column: names, sizes, types, times and
// attributes, written by hand so that each sort order is known.
#include "explorer_fixture.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/shellclipboard.h"
#include "platform/window/display.h"
#include "rtl/sysutils.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace ax::testing {

class TestExplorerTree : public TExplorerTree {
public:
    using TCustomExplorerTree::DoCanEdit;
    using TCustomExplorerTree::DoCreateDataObject;
    using TCustomExplorerTree::DoDragAllowed;
    using TCustomExplorerTree::DoGetImageIndex;
    using TCustomExplorerTree::DoKeyAction;
    using TCustomExplorerTree::DoPaintText;
    using TCustomExplorerTree::DragDrop;
    using TCustomExplorerTree::DragEffects;
    using TCustomExplorerTree::DragEnter;
    using TCustomExplorerTree::DragLeave;
    using TCustomExplorerTree::DragOver;
    using TExplorerTree::TExplorerTree;
};

class ColumnsTest : public ExplorerTest {
protected:
    void SetUp() override {
        ExplorerTest::SetUp();
        // Texts of sizes and times, whatever the machine's settings.
        savedFormats = FormatSettings();
        FormatSettings().ThousandSeparator = '.';
        FormatSettings().DecimalSeparator = ',';
        FormatSettings().ShortDateFormat = "yyyy-mm-dd";
        FormatSettings().LongTimeFormat = "hh:nn:ss";
    }
    void TearDown() override {
        FormatSettings() = savedFormats;
        SetMenuTracker(nullptr);
        SetMessageBoxService(nullptr);
        TPopupMenu::OnTrackingStarted = nullptr;
        ClearShellClipboard();
        ExplorerTest::TearDown();
    }

    // A shown tree of its own form at left, top.
    TestExplorerTree* Tree(const std::string& rootPath, int left = 100, int width = 600,
                           int height = 240) {
        auto* f = app->CreateForm<TForm>();
        f->SetBounds(left, 100, width + 80, height + 100);
        auto* tree = TComponent::Create<TestExplorerTree>(f);
        tree->SetParent(f);
        tree->SetBounds(0, 0, width + 4, height + 4);
        Prepare(tree);
        tree->SetRootFolderCustomPath(W(rootPath));
        f->Show();
        app->ProcessMessages();
        tree->SetActive(true);
        return tree;
    }

    // A file of size bytes whose modification and access times are the
    // given seconds since 1970.
    std::string File(const std::string& relative, size_t size, time_t modified, time_t accessed) {
        const std::string path = files + "/" + relative;
        Write(path, std::string(size, 'x'));
        const timespec times[2] = {{accessed, 0}, {modified, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    }

    // files/: zdir/ (a folder), a.log (100 bytes, read-only), b.txt (5000),
    // c.dat (3000), with modification times 5, 3, 1 January 2020 and access
    // times 3, 1, 2 February 2020 in that order, each at 05:00:07 (UTC).
    void MakeSortFolder() {
        Make("zdir/");
        constexpr time_t jan1 = 1577836800 + 5 * 3600 + 7, feb1 = 1580515200 + 5 * 3600 + 7,
                         day = 86400;
        File("a.log", 100, jan1 + 4 * day, feb1 + 2 * day);
        File("b.txt", 5000, jan1 + 2 * day, feb1);
        File("c.dat", 3000, jan1, feb1 + day);
        chmod((files + "/a.log").c_str(), 0444);
    }

    void ClickAt(TControl* control, int x, int y, MouseButton button = MouseButton::Left) {
        const POINT p = control->ClientToScreen(POINT{x, y});
        InjectClick(button, p.x, p.y);
        app->ProcessMessages();
    }
    void Chord(UINT modifier, UINT vk) {
        InjectKey(modifier, true);
        InjectKeyStroke(vk);
        InjectKey(modifier, false);
        app->ProcessMessages();
    }
    // Client coordinates of the middle of node's label.
    POINT LabelPoint(TCustomExplorerTree* tree, PDataNode node) {
        const RECT r = tree->GetDisplayRect(node, NoColumn, true);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void Select(TCustomExplorerTree* tree, PDataNode node) {
        tree->ClearSelection();
        tree->SetSelected(node, true);
        tree->SetFocusedNode(node);
    }
    static std::string Text(TCustomExplorerTree* tree, PDataNode node, TColumnIndex column) {
        return WideToUtf8(tree->Text(node, column));
    }
    TFormatSettings savedFormats;
    static bool Exists(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    }
};

} // namespace ax::testing
