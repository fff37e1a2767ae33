// Drags between a window of ours and another program (a GTK3 window written
// for the test). Onto ours: the drop target registered for it is entered,
// told of the moves and given the files at the drop, on the window's own
// thread. From ours: the drag loop offers the files to the other program's
// window under the pointer, which takes them as a URI list.
#include "test_support.h"
#include "dnd_peer.h"
#include "xvfb.h"

#include <atomic>
#include <csignal>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ax {
namespace {

namespace fs = std::filesystem;
using test::FindXvfb;
using test::Pump;
using test::Xvfb;

using Paths = std::vector<std::string>;

// Takes files, copied; records what it was told.
class Recorder final : public IDropTarget {
public:
    HRESULT DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        ++entered;
        offersFiles = data && data->QueryGetData(FormatOf(CF_HDROP)) == S_OK;
        *effect &= offersFiles ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT DragOver(DWORD, POINTL, DWORD* effect) override {
        ++over;
        *effect &= offersFiles ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT DragLeave() override {
        ++left;
        return S_OK;
    }
    HRESULT Drop(IDataObject* data, DWORD, POINTL pt, DWORD* effect) override {
        HRESULT hr;
        ReadFileList(GetDataBytes(*data, CF_HDROP, &hr), dropped);
        dropPoint = pt;
        *effect &= DROPEFFECT_COPY;
        ++drops;
        return hr;
    }
    int entered = 0, over = 0, left = 0, drops = 0;
    bool offersFiles = false;
    Paths dropped;
    POINTL dropPoint{};
};

// Moves the pointer from inside the drag loop, one step a call (each move
// brings the next call); at the end it rests until the target accepted
// twice, then releases the button and drops.
class ScriptedSource final : public IDropSource {
public:
    ScriptedSource(Xvfb& server, std::vector<POINT> path) : server_(server), path_(std::move(path)) {}
    HRESULT QueryContinueDrag(bool escape, DWORD) override {
        if (escape) return DRAGDROP_S_CANCEL;
        if (next_ < path_.size()) {
            server_.MoveTo(path_[next_].x, path_[next_].y);
            ++next_;
            return S_OK;
        }
        if (accepted_ < 2 && ++rested_ < 500) {
            const POINT end = path_.back();
            server_.MoveTo(end.x + rested_ % 2, end.y);
            return S_OK;
        }
        server_.Button(1, false);
        return DRAGDROP_S_DROP;
    }
    HRESULT GiveFeedback(DWORD effect) override {
        if (next_ >= path_.size() && effect != DROPEFFECT_NONE) ++accepted_;
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }

private:
    Xvfb& server_;
    std::vector<POINT> path_;
    size_t next_ = 0;
    int accepted_ = 0, rested_ = 0;
};


class DndX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindXvfb().empty() || test::FindProgram("openbox").empty())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        work = (fs::temp_directory_path() / ("ax-dnd-" + std::to_string(getpid()))).string();
        fs::remove_all(work);
        fs::create_directories(work + "/files");
        ASSERT_TRUE(server.Start(test::FindXvfb(), 1024, 768)) << server.Error();
        ASSERT_TRUE(server.StartWindowManager()) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
        WNDCLASS wc;
        wc.lpszClassName = "DropHere";
        wc.lpfnWndProc = DefWindowProc;
        RegisterClass(wc);
        ours = CreateWindowEx(0, "DropHere", "Drop here", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 100,
                              300, 300, nullptr);
        ASSERT_TRUE(ours);
        ASSERT_EQ(RegisterDragDrop(ours, target), S_OK);
        ASSERT_TRUE(PumpUntil([&] { return server.WindowGeometry(NativeWindow(ours)).viewable; }));
    }
    void TearDown() override {
        if (ours) DestroyWindow(ours);
        SelectDisplay(DisplayKind::Headless);
        fs::remove_all(work);
    }
    bool PumpUntil(const std::function<bool()>& done) {
        return server.WaitFor([&] {
            Pump();
            PumpDisplay();
            return done();
        });
    }
    // The peer's window, found by its title and put at the top left.
    unsigned long PeerWindow(const std::string& title) {
        std::vector<unsigned long> found;
        if (!server.WaitFor([&] { return !(found = server.WindowsNamed(title)).empty(); })) return 0;
        const unsigned long w = found.front();
        server.MoveResize(w, 0, 0, 300, 300);
        server.WaitFor([&] {
            const Xvfb::Geometry g = server.WindowGeometry(w);
            return g.viewable && g.x < 50 && g.y < 50;
        });
        return w;
    }
    // Press in from, move as a hand does (past the drag threshold first),
    // rest on to until the target heard of it, release there.
    void HandDrag(POINT from, POINT to, const std::function<int()>& heard) {
        server.MoveTo(from.x, from.y);
        server.Button(1, true);
        for (int i = 1; i <= 3; ++i)
            server.MoveTo(from.x + i * 3, from.y + i * 2);
        for (int i = 1; i <= 25; ++i)
            server.MoveTo(from.x + (to.x - from.x) * i / 25, from.y + (to.y - from.y) * i / 25);
        for (int i = 1; i <= 3; ++i) {
            const int before = heard();
            server.MoveTo(to.x + i, to.y + i);
            PumpUntil([&] { return heard() > before; });
        }
        server.Button(1, false);
    }

    Xvfb server;
    std::string work;
    HWND ours = nullptr;
    std::shared_ptr<Recorder> target = std::make_shared<Recorder>();
};

TEST_F(DndX11, FilesDraggedFromAnotherProgramAreDroppedOnTheRegisteredTarget) {
    const std::string file = work + "/files/beta.txt";
    test::DndPeer peer(AX_DND_PEER, server.Name(), work + "/peer", {"source", "dragsource", "file://" + file});
    const unsigned long source = PeerWindow("dragsource");
    ASSERT_NE(source, 0u) << "the GTK3 program did not show its window";
    const Xvfb::Geometry g = server.WindowGeometry(source);
    RECT r;
    GetWindowRect(ours, r);
    HandDrag({g.x + g.width / 2, g.y + g.height / 2}, {(r.left + r.right) / 2, (r.top + r.bottom) / 2},
             [&] { return target->over + target->entered; });
    ASSERT_TRUE(PumpUntil([&] { return target->drops == 1; })) << "nothing was dropped";
    EXPECT_EQ(target->entered, 1);
    EXPECT_TRUE(target->offersFiles);
    EXPECT_EQ(target->dropped, Paths{file});
    EXPECT_EQ(target->dropPoint.x, (r.left + r.right) / 2 + 3);
    EXPECT_EQ(target->dropPoint.y, (r.top + r.bottom) / 2 + 3);
}

TEST_F(DndX11, FilesDraggedFromOursAreDroppedOnAnotherProgram) {
    const std::string file = work + "/files/with space.txt";
    test::DndPeer peer(AX_DND_PEER, server.Name(), work + "/peer", {"target", "droptarget"});
    const unsigned long other = PeerWindow("droptarget");
    ASSERT_NE(other, 0u) << "the GTK3 program did not show its window";
    const Xvfb::Geometry g = server.WindowGeometry(other);
    RECT r;
    GetWindowRect(ours, r);
    const POINT from{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, to{g.x + g.width / 2, g.y + g.height / 2};
    // The press that starts a drag, on our window: the pointer stays ours.
    server.MoveTo(from.x, from.y);
    server.Button(1, true);
    ASSERT_TRUE(PumpUntil([] { return GetKeyState(VK_LBUTTON) < 0; }));
    std::vector<POINT> path;
    for (int i = 1; i <= 25; ++i)
        path.push_back({from.x + (to.x - from.x) * i / 25, from.y + (to.y - from.y) * i / 25});
    ScriptedSource source(server, path);
    auto data = CreateDataObject();
    SetDataBytes(*data, CF_HDROP, MakeFileList(std::vector<std::string>{file}));
    DWORD effect = DROPEFFECT_NONE;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    const std::string expected = "drop: file://" + work + "/files/with%20space.txt\r\n";
    std::string log;
    EXPECT_TRUE(server.WaitFor([&] {
        std::ifstream in(work + "/peer/peer.log");
        std::stringstream ss;
        ss << in.rdbuf();
        log = ss.str();
        return log.find("drop:") != std::string::npos;
    }));
    EXPECT_NE(log.find(expected), std::string::npos) << log;
}

} // namespace
} // namespace ax
