#include "notifier_fixture.h"
#include "platform/gdi/image.h"
#include "rtl/scopeguard.h"
#include "rtl/exceptions.h"
#include "shell/IconThread.h"
#include "shell/ShellUtilities.h"
#include "shell/SystemImageLists.h"
#include "task_stat.h"

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>

using namespace ax;
using ax::test::NotifierTest;
using ax::test::WaitUntil;

namespace {

struct Reply {
    void* data;
    int index;
    intptr_t tag;
};

// A control that uses each icon reply and releases it, as the explorer
// tree does.
class IconListener : public TWinControl {
public:
    explicit IconListener(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 20, 20); }
    std::vector<Reply> replies;

protected:
    void WndProc(TMessage& m) override {
        if (m.Msg != WM_ICONTHREADREPLY) return TWinControl::WndProc(m);
        auto* request = reinterpret_cast<TImageThreadRequest*>(m.WParam);
        replies.push_back({request->Data, request->ImageIndex, request->Tag});
        TImageThreadManager::ReleaseItem(request);
    }
};

// A thread whose resolving waits until the test lets it go.
class GatedThread final : public TImageThread {
public:
    std::mutex mutex;
    std::condition_variable cv;
    bool entered = false, open = false;
    ~GatedThread() override {
        Let();
        TerminateAndWait();
    }
    void Let() {
        std::lock_guard g(mutex);
        open = true;
        cv.notify_all();
    }

protected:
    int ExtractInfo(PCItemIDList pidl) override {
        std::unique_lock g(mutex);
        entered = true;
        cv.notify_all();
        cv.wait(g, [&] { return open; });
        return TImageThread::ExtractInfo(pidl);
    }
};

class GatedManager final : public TImageThreadManager {
public:
    GatedThread* gated = nullptr;

protected:
    std::unique_ptr<TImageThread> CreateThread() override {
        auto t = std::make_unique<GatedThread>();
        gated = t.get();
        return t;
    }
};

class IconThreadTest : public NotifierTest {
protected:
    void TearDown() override {
        IconThreadFinalize();
        NotifierTest::TearDown();
    }
    IconListener* MakeIconListener() {
        auto* l = TComponent::Create<IconListener>(form);
        l->SetParent(form);
        l->HandleNeeded();
        return l;
    }
    std::string File(const std::string& name) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "x";
        return Parsed(path);
    }
    bool WaitForReplies(IconListener* l, size_t count) {
        return WaitUntil([&] {
            Pump();
            return l->replies.size() >= count;
        });
    }
    static PCItemIDList P(const std::string& bytes) {
        return reinterpret_cast<PCItemIDList>(bytes.data());
    }
    static bool ReplyWaiting(IconListener* l) {
        MSG m;
        return PeekMessage(m, l->Handle(), WM_ICONTHREADREPLY, WM_ICONTHREADREPLY, PM_NOREMOVE) != 0;
    }
};

int node[16]; // stand-ins for the tree's nodes

TEST_F(IconThreadTest, TheThreadLivesWhileControlsAreRegistered) {
    TImageThreadManager& m = ImageThreadManager();
    EXPECT_EQ(m.Thread(), nullptr);
    IconListener* a = MakeIconListener();
    IconListener* b = MakeIconListener();
    m.RegisterControl(a);
    m.RegisterControl(b);
    EXPECT_NE(m.Thread(), nullptr);
    m.UnRegisterControl(a);
    EXPECT_NE(m.Thread(), nullptr);
    m.UnRegisterControl(b);
    EXPECT_EQ(m.Thread(), nullptr);
}

TEST_F(IconThreadTest, TheWorkerTakesTheStoredPriorityAndFollowsChanges) {
    TImageThreadManager& m = ImageThreadManager();
    m.SetThreadPriority(tpLowest);
    IconListener* a = MakeIconListener();
    m.RegisterControl(a);
    ASSERT_TRUE(WaitUntil([&] { return m.Thread()->NativeThreadId() != 0; }));
    const long tid = m.Thread()->NativeThreadId();
    EXPECT_EQ(test::ReadTaskStat(tid).nice, std::min(test::ProcessNice() + 10, 19)) << "started at the stored priority";
    m.SetThreadPriority(tpIdle);
    EXPECT_EQ(test::ReadTaskStat(tid).policy, 5) << "the running worker is idle now";
    EXPECT_EQ(m.ThreadPriority(), tpIdle);
    m.UnRegisterControl(a);
}

TEST_F(IconThreadTest, RequestsOfUnregisteredControlsFailTheAssertions) {
    TImageThreadManager& m = ImageThreadManager();
    IconListener* a = MakeIconListener();
    IconListener* b = MakeIconListener();
    m.RegisterControl(a);
    const std::string pidl = File("x.txt");
    try {
        m.AddNewItem(b, WM_ICONTHREADREPLY, 0, &node[0], false, P(pidl));
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), SAddToUnregisteredControl);
    }
    try {
        m.ClearPendingItems(b, WM_ICONTHREADREPLY);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), SClearForUnregisteredControl);
    }
}

TEST_F(IconThreadTest, TenRequestsQueuedAtOnceAreAnsweredNewestFirst) {
    TImageThreadManager& m = ImageThreadManager();
    IconListener* l = MakeIconListener();
    m.RegisterControl(l);
    const std::string file = File("a.txt");
    const std::string folder = Parsed(dir);
    const int64_t before = malloc_->LiveBlocks();
    m.LockThread(); // the worker waits until all ten are queued
    for (int i = 0; i < 10; ++i)
        m.AddNewItem(l, WM_ICONTHREADREPLY, 100 + i, &node[i], false, P(i == 3 ? folder : file));
    m.UnlockThread();
    ASSERT_TRUE(WaitForReplies(l, 10));
    for (int i = 0; i < 10; ++i) {
        const Reply& r = l->replies[size_t(i)];
        EXPECT_EQ(r.data, &node[9 - i]) << "reply " << i;
        EXPECT_EQ(r.tag, 109 - i);
        // The namespace's headless icons: folder 3, a file 0.
        EXPECT_EQ(r.index, 9 - i == 3 ? 3 : 0) << "reply " << i;
    }
    EXPECT_EQ(malloc_->LiveBlocks(), before) << "every request and its PIDL released";
}

TEST_F(IconThreadTest, InsertedRequestsWaitBehindTheQueue) {
    TImageThreadManager& m = ImageThreadManager();
    IconListener* l = MakeIconListener();
    m.RegisterControl(l);
    const std::string file = File("a.txt");
    m.LockThread();
    m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[0], false, P(file));
    m.InsertNewItem(l, WM_ICONTHREADREPLY, 0, &node[1], false, P(file));
    m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[2], false, P(file));
    m.UnlockThread();
    ASSERT_TRUE(WaitForReplies(l, 3));
    EXPECT_EQ(l->replies[0].data, &node[2]);
    EXPECT_EQ(l->replies[1].data, &node[0]);
    EXPECT_EQ(l->replies[2].data, &node[1]);
}

TEST_F(IconThreadTest, ARequestClearedWhileResolvedIsNeitherAnsweredNorLeaked) {
    GatedManager m;
    IconListener* l = MakeIconListener();
    m.RegisterControl(l);
    const std::string file = File("a.txt");
    const int64_t before = malloc_->LiveBlocks();
    m.LockThread(); // both queued before the worker takes the newest
    m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[0], false, P(file));
    m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[1], false, P(file));
    m.UnlockThread();
    GatedThread& t = *m.gated;
    {
        std::unique_lock g(t.mutex);
        ASSERT_TRUE(t.cv.wait_for(g, std::chrono::seconds(30), [&] { return t.entered; }))
            << "the worker never started on the newest request";
    }
    m.ClearPendingItem(l, &node[1], WM_ICONTHREADREPLY); // the one being resolved
    t.Let();
    ASSERT_TRUE(WaitForReplies(l, 1));
    ASSERT_TRUE(WaitUntil([&] { return t.Vanished() == 1 && t.Count() == 0; }));
    Pump();
    ASSERT_EQ(l->replies.size(), 1u);
    EXPECT_EQ(l->replies[0].data, &node[0]) << "only the request still queued is answered";
    EXPECT_EQ(malloc_->LiveBlocks(), before);
    m.UnRegisterControl(l);
}

TEST_F(IconThreadTest, ClearingDispatchesTheRepliesAlreadyPostedFirst) {
    TImageThreadManager& m = ImageThreadManager();
    IconListener* l = MakeIconListener();
    m.RegisterControl(l);
    const std::string file = File("a.txt");
    m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[0], false, P(file));
    ASSERT_TRUE(WaitUntil([&] { return ReplyWaiting(l); }));
    m.LockThread(); // keeps the worker off the next one
    m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[1], false, P(file));
    m.ClearPendingItems(l, WM_ICONTHREADREPLY);
    m.UnlockThread();
    ASSERT_EQ(l->replies.size(), 1u) << "the posted reply was used before the clear returned";
    EXPECT_EQ(l->replies[0].data, &node[0]);
    EXPECT_EQ(m.Thread()->Count(), 0);
    Pump();
    EXPECT_EQ(l->replies.size(), 1u);
}

TEST_F(IconThreadTest, AControlWhoseWindowWentGetsNothingAndLeaksNothing) {
    TImageThreadManager& m = ImageThreadManager();
    IconListener* l = MakeIconListener();
    m.RegisterControl(l);
    const std::string file = File("a.txt");
    const int64_t before = malloc_->LiveBlocks();
    // A reply waiting in the queue when the window goes.
    m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[0], false, P(file));
    ASSERT_TRUE(WaitUntil([&] { return ReplyWaiting(l); }));
    // Requests still queued when the window goes.
    m.LockThread();
    for (int i = 1; i < 4; ++i)
        m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[i], false, P(file));
    l->DestroyHandle();
    m.UnlockThread();
    ASSERT_TRUE(WaitUntil([&] { return m.Thread()->Count() == 0; }));
    ASSERT_TRUE(WaitUntil([&] { return malloc_->LiveBlocks() == before; }))
        << "requests for a window that is gone are released";
    Pump();
    EXPECT_TRUE(l->replies.empty());
}

TEST_F(IconThreadTest, AReplyIsReleasedAfterTheThreadAndManagerAreGone) {
    const std::string file = File("a.txt");
    const int64_t before = malloc_->LiveBlocks();
    IconListener* l = MakeIconListener();
    {
        TImageThreadManager& m = ImageThreadManager();
        m.RegisterControl(l);
        m.AddNewItem(l, WM_ICONTHREADREPLY, 0, &node[0], false, P(file));
        ASSERT_TRUE(WaitUntil([&] { return ReplyWaiting(l); }));
        m.UnRegisterControl(l);
        EXPECT_EQ(m.Thread(), nullptr);
        IconThreadFinalize();
    }
    Pump();
    ASSERT_EQ(l->replies.size(), 1u);
    EXPECT_EQ(malloc_->LiveBlocks(), before);
}

// The colour at the middle of a system list's picture.
uint32_t MiddleOf(HIMAGELIST list, int index) {
    HICON icon = ImageList_GetIcon(list, index, 0);
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    const bool ok = GetIconPixels(icon, &w, &h, &px);
    DestroyIcon(icon);
    return ok && w > 0 ? px[size_t(h / 2) * size_t(w) + size_t(w / 2)] : 0;
}

// Writes a file, making its folders.
void Put(const std::string& path, const std::string& text) {
    ASSERT_EQ(system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str()), 0);
    std::ofstream(path) << text;
}

// The theme's files are read where the icons are asked for: the icon
// thread. Start-up and the placeholders the GUI thread shows read none, and
// the GUI thread goes on while the icon thread reads (held here until the
// GUI thread has drawn its placeholder); every file is read once, a hostile
// one too, which then shows the unknown file's compiled-in picture.
TEST_F(IconThreadTest, TheThemesFilesAreReadOnTheIconThreadWhileTheGuiShowsPlaceholders) {
    const std::string share = root + "/share", theme = share + "/icons/Mine";
    const char* saved = std::getenv("XDG_DATA_DIRS");
    const std::string savedDirs = saved ? saved : "";
    setenv("XDG_DATA_DIRS", share.c_str(), 1);
    Put(theme + "/index.theme", "[Icon Theme]\nName=Mine\nDirectories=scalable\n"
                                  "[scalable]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    Put(home + "/.config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Mine\n");
    Put(theme + "/scalable/folder.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
                                          "<rect width=\"16\" height=\"16\" fill=\"#ff0000\"/></svg>");
    std::string laughs = "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect id=\"l0\" width=\"1\" height=\"1\"/>";
    for (int level = 1; level <= 10; ++level) {
        laughs += "<g id=\"l" + std::to_string(level) + "\">";
        for (int k = 0; k < 10; ++k) laughs += "<use href=\"#l" + std::to_string(level - 1) + "\"/>";
        laughs += "</g>";
    }
    Put(theme + "/scalable/text-x-generic.svg", laughs + "</svg>");
    Put(share + "/mime/globs2", "50:text/plain:*.txt\n");
    Put(share + "/mime/generic-icons", "text/plain:text-x-generic\n");
    SystemImageListsFinalize();

    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::vector<std::pair<std::string, bool>> reads; // path, on the GUI thread
    SetIconFileReadObserver([&](const std::string& path) {
        std::unique_lock lock(mutex);
        reads.emplace_back(path, IsMainThread());
        changed.notify_all();
        if (!IsMainThread()) changed.wait(lock, [&] { return open; });
    });
    // Whatever fails, the icon thread is let go.
    const ScopeGuard letGo([&] {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        changed.notify_all();
    });
    auto readsSoFar = [&] {
        std::lock_guard lock(mutex);
        return reads;
    };
    // Start-up: the lists and the placeholders.
    const HIMAGELIST small = SmallSysImages()->Handle();
    const int folderPlaceholder = DefaultSystemImageIndex(0);
    EXPECT_EQ(DefaultSystemImageIndex(2), int(siiUnknownFile));
    EXPECT_TRUE(readsSoFar().empty());

    TImageThreadManager& m = ImageThreadManager();
    IconListener* listener = MakeIconListener();
    m.RegisterControl(listener);
    const std::string folder = Parsed(Folder("sub")), text = File("notes.txt");
    m.AddNewItem(listener, WM_ICONTHREADREPLY, 0, &node[0], false, P(folder));
    m.AddNewItem(listener, WM_ICONTHREADREPLY, 0, &node[1], false, P(text));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return !reads.empty(); }));
    }
    // The icon thread is inside a read: the GUI thread draws the placeholder.
    const uint32_t placeholder = MiddleOf(small, folderPlaceholder);
    EXPECT_EQ(placeholder >> 24, 0xFFu) << "the compiled-in folder";
    EXPECT_NE(placeholder, 0xFFFF0000u);
    EXPECT_TRUE(listener->replies.empty());
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    ASSERT_TRUE(WaitForReplies(listener, 2));
    SetIconFileReadObserver(nullptr);
    std::map<void*, int> indices;
    for (const Reply& r : listener->replies) indices[r.data] = r.index;
    EXPECT_EQ(indices[&node[0]], int(siiFolder));
    EXPECT_EQ(indices[&node[1]], int(siiUnknownFile)) << "the hostile file is not drawn";
    EXPECT_EQ(MiddleOf(small, siiFolder), 0xFFFF0000u) << "the theme's folder, read";
    const std::vector<std::pair<std::string, bool>> expected = {
        {theme + "/scalable/folder.svg", false}, {theme + "/scalable/text-x-generic.svg", false}};
    std::vector<std::pair<std::string, bool>> seen = readsSoFar();
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, expected) << "each file once, none on the GUI thread";

    m.UnRegisterControl(listener);
    SystemImageListsFinalize();
    if (saved) setenv("XDG_DATA_DIRS", savedDirs.c_str(), 1);
    else unsetenv("XDG_DATA_DIRS");
}

} // namespace
