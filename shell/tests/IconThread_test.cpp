#include "notifier_fixture.h"
#include "rtl/exceptions.h"
#include "shell/IconThread.h"

#include <condition_variable>
#include <fstream>
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

} // namespace
