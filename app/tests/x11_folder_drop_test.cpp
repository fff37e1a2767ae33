// Many files dropped onto a folder of the main window's tree: the wait box
// counts them while they arrive (each arrival moves the injected clock on
// by 1 ms), one box afterwards names exactly those that failed, and a link
// dropped by another program is made in the folder. The box half way is
// kept as folder_drop_progress.png.
#include "controls/MessageBoxes.h"
#include "explorer/ExplorerViews.h"
#include "pane_points.h"
#include "platform/shellns/dataobject.h"
#include "platform/shellns/shellops.h"
#include "rtl/scopeguard.h"
#include "stdctrls/gauges.h"
#include "stdctrls/label.h"
#include "x11_home_form_test.h"
#include "dnd_peer.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using testing::CaptionPoint;
using testing::ChildNamed;
using testing::QuietPane;
using test::Xvfb;

constexpr int kFiles = 10000;

// The wait box's count; -1 while no box is open.
int GaugeProgress() {
    TForm* box = ProgressBoxForm();
    if (!box) return -1;
    for (int i = 0; i < box->ControlCount(); ++i)
        if (auto* gauge = dynamic_cast<TGauge*>(box->Controls(i))) return gauge->Progress();
    return -2;
}

std::string BoxText(TForm& box) {
    for (int i = 0; i < box.ControlCount(); ++i)
        if (auto* label = dynamic_cast<TLabel*>(box.Controls(i))) return label->Caption();
    return "(no text)";
}

// The tree's own drop path, where its registered drop target leads.
struct TreeDrop : TCustomExplorerTree {
    static HRESULT Enter(TCustomExplorerTree* tree, IDataObject* data, DWORD keys, POINT p, DWORD& effect) {
        return (tree->*&TreeDrop::DragEnter)(data, keys, p, effect);
    }
    static HRESULT Drop(TCustomExplorerTree* tree, IDataObject* data, DWORD keys, POINT p, DWORD& effect) {
        return (tree->*&TreeDrop::DragDrop)(data, keys, p, effect);
    }
};

std::string Numbered(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%05d", i);
    return name;
}

class X11FolderDropTest : public test::X11HomeFormTest {
protected:
    void SetUp() override {
        SetUpHome("ax-folderdrop-", "other");
        test::X11FormTest::SetUp();
    }
    void BeforeEnd() override { OnMessageBoxModal = nullptr; }

    std::vector<std::string> MakeFiles() {
        std::vector<std::string> paths;
        for (int i = 0; i < kFiles; ++i) {
            paths.push_back(other + "/" + Numbered(i));
            std::ofstream(paths.back()) << "x";
        }
        return paths;
    }
    // Drops the files onto the tree's Music folder with Ctrl held, through
    // the tree's drop path, on the program's thread; seen runs there after
    // each arrival with the count of arrivals. Answers the effect.
    DWORD DropOnMusic(const std::vector<std::string>& paths, const std::function<void(int)>& seen) {
        auto data = CreateDataObject();
        SetDataBytes(*data, CF_HDROP, MakeFileList(paths));
        DWORD effect = DROPEFFECT_NONE;
        EXPECT_TRUE(program->Call([&, this] {
            int arrived = 0;
            const int listener = SubscribeShellChanges([&](uint32_t, PCItemIDList, PCItemIDList) {
                clock.Advance(1);
                seen(++arrived);
            });
            const ScopeGuard unsubscribe([listener] { UnsubscribeShellChanges(listener); });
            PDataNode music = ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "Music");
            ASSERT_NE(music, nullptr);
            const POINT p = CaptionPoint(main->ExpTree, music);
            const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
            effect = all;
            TreeDrop::Enter(main->ExpTree, data.get(), MK_CONTROL, p, effect);
            EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
            effect = all;
            TreeDrop::Drop(main->ExpTree, data.get(), MK_CONTROL, p, effect);
        }));
        return effect;
    }
    size_t InMusic() {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(home + "/Music")) n += e.path().filename().string()[0] == 'f';
        return n;
    }

};

// The box opens once 500 ms have passed, counts in steps of 100 ms, and is
// gone when the last file is there.
TEST_F(X11FolderDropTest, TenThousandFilesArriveWhileTheWaitBoxCountsThem) {
    const std::vector<std::string> paths = MakeFiles();
    int at500 = -3, at501 = -3, at5001 = -3;
    const DWORD effect = DropOnMusic(paths, [&, this](int arrived) {
        if (arrived == 500) at500 = GaugeProgress();
        if (arrived == 501) at501 = GaugeProgress();
        if (arrived == 5001) {
            at5001 = GaugeProgress();
            // The program answers meanwhile: the box is painted and seen.
            RedrawWindow(ProgressBoxForm()->Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            RedrawWindow(main->Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            PumpDisplay();
            EXPECT_TRUE(server.Screenshot(SnapshotPath("folder_drop_progress").string()));
        }
    });
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(at500, -1) << "the box opened before 500 ms had passed";
    EXPECT_EQ(at501, 500);
    EXPECT_EQ(at5001, 5000);
    EXPECT_EQ(program->Get<int>([] { return GaugeProgress(); }), -1) << "the box stayed open";
    EXPECT_EQ(InMusic(), size_t(kFiles));
    EXPECT_TRUE(fs::exists(home + "/Music/f09999"));
}

TEST_F(X11FolderDropTest, OneBoxNamesExactlyTheFilesThatFailed) {
    const std::vector<std::string> paths = MakeFiles();
    fs::remove(paths[42]);
    fs::remove(paths[9000]);
    std::ofstream(home + "/Music/f00007") << "mine";
    std::vector<std::string> reports;
    ASSERT_TRUE(program->Call([&] {
        OnMessageBoxModal = [&](TForm& box) {
            reports.push_back(BoxText(box));
            box.SetModalResult(mrOk);
        };
    }));
    int openWhenReported = -3;
    const DWORD effect = DropOnMusic(paths, [&](int arrived) {
        if (arrived == kFiles - 3) openWhenReported = GaugeProgress();
    });
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], other + "/f00007: an item called f00007 is already there\n" + other +
                              "/f00042: No such file or directory\n" + other +
                              "/f09000: No such file or directory");
    EXPECT_GE(openWhenReported, 9900) << "the box counts failed files too";
    EXPECT_EQ(program->Get<int>([] { return GaugeProgress(); }), -1);
    EXPECT_EQ(InMusic(), size_t(kFiles - 2)); // f00007 was there before
    std::ifstream mine(home + "/Music/f00007");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), {}), "mine");
}

#ifdef AX_DND_PEER

// A source that offers links only: the link is made in the folder the
// pointer rests on, not beside the file.
TEST_F(X11FolderDropTest, ALinkDraggedFromAnotherProgramIsMadeInTheTreeFolder) {
    std::ofstream(other + "/gamma.txt") << "gamma";
    test::DndPeer peer(AX_DND_PEER, server.Name(), folder + "/peer",
                       {"source", "linksource", "file://" + other + "/gamma.txt", "link"});
    const Xvfb::Geometry g = PlaceBesideTheTree("linksource");
    ASSERT_FALSE(HasFailure());
    const POINT to = InTree("Music");
    ASSERT_GE(to.x, 0);
    // The source sends a position only once it has the answer to the one
    // before: two positions over Music mean that it knows Music takes links.
    std::atomic<int> overMusic = 0;
    ASSERT_TRUE(program->Call([&, this] {
        auto before = main->ExpTree->OnDragOver;
        main->ExpTree->OnDragOver = [&, before](TBaseDataTree* sender, TBaseDataTree* source, TShiftState shift,
                                                TDragState state, POINT pt, TDropMode mode, DWORD& effect,
                                                bool& accept) {
            if (before) before(sender, source, shift, state, pt, mode, effect, accept);
            PDataNode music = ChildNamed(main->ExpTree, main->ExpTree->GetFirst(), "Music");
            if (music && sender->DropTargetNode() == music && accept) ++overMusic;
        };
    }));
    const POINT from{g.x + g.width / 2, g.y + g.height / 2};
    PressAndMove(from, to);
    EXPECT_TRUE(server.WaitFor([&] {
        server.MoveTo(to.x + 1, to.y);
        server.MoveTo(to.x, to.y);
        return overMusic >= 2;
    })) << "the tree did not take the drag over Music";
    server.Button(1, false);
    const std::string link = home + "/Music/Link to gamma.txt";
    EXPECT_TRUE(server.WaitFor([&] { return fs::is_symlink(link); })) << "no link in Music";
    EXPECT_EQ(fs::read_symlink(link).string(), other + "/gamma.txt");
    EXPECT_FALSE(fs::exists(home + "/Music/gamma.txt"));
    EXPECT_FALSE(fs::exists(other + "/Link to gamma.txt"));
}

#endif

} // namespace
} // namespace ax
