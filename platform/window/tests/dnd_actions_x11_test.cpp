// What another program lets a drop do: the action it suggests is the user's
// choice there and stands; when it asks (XdndActionAsk), only the actions it
// lists are offered to our target, which chooses among them as it does for
// its own drags, and the answer names that action, never a question.
#include "test_support.h"
#include "xdnd_source.h"
#include "xvfb.h"

#include <cstdlib>

namespace ax {
namespace {

using test::FindXvfb;
using test::Pump;
using test::XdndSource;
using test::Xvfb;

using Paths = std::vector<std::string>;

// A folder on the same file system: moves unless told otherwise, and takes
// only what it is offered. Records the effects it was offered.
class Folder final : public IDropTarget {
public:
    HRESULT DragEnter(IDataObject*, DWORD keys, POINTL, DWORD* effect) override { return Choose(keys, effect); }
    HRESULT DragOver(DWORD keys, POINTL, DWORD* effect) override { return Choose(keys, effect); }
    HRESULT DragLeave() override { return S_OK; }
    HRESULT Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override {
        HRESULT hr;
        ReadFileList(GetDataBytes(*data, CF_HDROP, &hr), dropped);
        Choose(keys, effect);
        dropEffect = *effect;
        return hr;
    }
    DWORD offered = DROPEFFECT_NONE, dropEffect = DROPEFFECT_NONE;
    Paths dropped;

private:
    HRESULT Choose(DWORD keys, DWORD* effect) {
        offered = *effect;
        *effect = DropEffectFromKeyState(keys, *effect, DROPEFFECT_MOVE);
        return S_OK;
    }
};

class DndActionsX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindXvfb().empty() || test::FindProgram("openbox").empty())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        ASSERT_TRUE(server.Start(FindXvfb(), 800, 600)) << server.Error();
        ASSERT_TRUE(server.StartWindowManager()) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
        WNDCLASS wc;
        wc.lpszClassName = "Folder";
        wc.lpfnWndProc = DefWindowProc;
        RegisterClass(wc);
        ours = CreateWindowEx(0, "Folder", "Folder", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 100, 300, 300,
                              nullptr);
        ASSERT_TRUE(ours);
        ASSERT_EQ(RegisterDragDrop(ours, folder), S_OK);
        ASSERT_TRUE(PumpUntil([&] { return server.WindowGeometry(NativeWindow(ours)).viewable; }));
        RECT r;
        GetWindowRect(ours, r);
        middle = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void TearDown() override {
        if (ours) DestroyWindow(ours);
        SelectDisplay(DisplayKind::Headless);
    }
    bool PumpUntil(const std::function<bool()>& done) {
        return server.WaitFor([&] {
            Pump();
            PumpDisplay();
            return done();
        });
    }
    // The source moves over our window suggesting action; the target's answer.
    XdndSource::Answer Over(XdndSource& source, const std::string& action) {
        const int before = source.LastStatus().count;
        source.Enter(NativeWindow(ours));
        source.Position(middle.x, middle.y, action);
        EXPECT_TRUE(PumpUntil([&] { return source.LastStatus().count > before; })) << "no status came back";
        return source.LastStatus();
    }

    Xvfb server;
    HWND ours = nullptr;
    std::shared_ptr<Folder> folder = std::make_shared<Folder>();
    POINT middle{};
};

TEST_F(DndActionsX11, AnAskingSourceIsOfferedOnlyWhatItListsAndAnsweredWithAnAction) {
    const struct {
        std::vector<std::string> listed;
        DWORD offered;
        bool accepted;
        const char* action;
    } cases[] = {
        {{"XdndActionCopy", "XdndActionMove"}, DROPEFFECT_COPY | DROPEFFECT_MOVE, true, "XdndActionMove"},
        {{"XdndActionCopy", "XdndActionLink"}, DROPEFFECT_COPY | DROPEFFECT_LINK, true, "XdndActionCopy"},
        {{"XdndActionAsk", "XdndActionLink"}, DROPEFFECT_LINK, true, "XdndActionLink"},
        // Nothing listed: a copy harms nobody's files.
        {{}, DROPEFFECT_COPY, true, "XdndActionCopy"},
        // Only actions we do not know: nothing to offer.
        {{"XdndActionAsk", "XdndActionPrivate"}, DROPEFFECT_NONE, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed.empty() ? "no list" : c.listed.back());
        XdndSource source(server.Name(), c.listed, "file:///w/a\r\n");
        ASSERT_TRUE(source.Ok());
        folder->offered = 0xFF;
        const XdndSource::Answer a = Over(source, "XdndActionAsk");
        EXPECT_EQ(folder->offered, c.offered);
        EXPECT_EQ(a.accepted, c.accepted);
        EXPECT_EQ(a.action, c.action);
        source.Leave();
    }
}

TEST_F(DndActionsX11, TheActionASourceSuggestsStandsWhateverItLists) {
    XdndSource source(server.Name(), {"XdndActionCopy", "XdndActionMove", "XdndActionLink"},
                      "file:///w/a\r\n");
    ASSERT_TRUE(source.Ok());
    XdndSource::Answer a = Over(source, "XdndActionCopy");
    EXPECT_EQ(folder->offered, DROPEFFECT_COPY);
    EXPECT_TRUE(a.accepted);
    EXPECT_EQ(a.action, "XdndActionCopy");
    a = Over(source, "XdndActionLink");
    EXPECT_EQ(folder->offered, DROPEFFECT_LINK);
    EXPECT_EQ(a.action, "XdndActionLink");
    source.Leave();
}

TEST_F(DndActionsX11, ADropAfterAskingMovesAsTheTargetChoseAndSaysSo) {
    XdndSource source(server.Name(), {"XdndActionCopy", "XdndActionMove"},
                      "file:///w/one\r\nfile:///w/two%20b\r\n");
    ASSERT_TRUE(source.Ok());
    ASSERT_EQ(Over(source, "XdndActionAsk").action, "XdndActionMove");
    source.Drop();
    ASSERT_TRUE(PumpUntil([&] { return source.LastFinished().count > 0; })) << "the drop was not finished";
    EXPECT_TRUE(source.LastFinished().accepted);
    EXPECT_EQ(source.LastFinished().action, "XdndActionMove");
    EXPECT_EQ(folder->dropped, (Paths{"/w/one", "/w/two b"}));
    EXPECT_EQ(folder->dropEffect, DROPEFFECT_MOVE);
    EXPECT_EQ(source.Served(), 1);
}

} // namespace
} // namespace ax
