#include "fork_child.h"
#include "loop_device.h"
#include "notifier_fixture.h"
#include "watch_limit.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace ax;
using ax::test::Listener;
using ax::test::NotifierTest;
using ax::test::SeenBatch;
using ax::test::WaitUntil;

namespace {

const std::string kDesktop(2, '\0');

// The PIDL bytes of a path through Computer, for items that need not exist.
std::string PathBytes(const std::string& path) {
    return PathToPidlBytes(path);
}

// A new empty file: one creation for the kernel, nothing written after it.
void Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    close(fd);
}

PCItemIDList P(const std::string& bytes) {
    return bytes.empty() ? nullptr : reinterpret_cast<PCItemIDList>(bytes.data());
}

std::vector<std::pair<TShellNotifyEvent, std::string>> Events(const SeenBatch& batch) {
    std::vector<std::pair<TShellNotifyEvent, std::string>> out;
    for (const auto& e : batch.events)
        out.emplace_back(e.kind, e.pidl1);
    return out;
}

using EventList = std::vector<std::pair<TShellNotifyEvent, std::string>>;

// A data block as the shell passes "Free Space": count, two values, end.
std::string DataBlock(uint16_t cb, uint32_t a, uint32_t b) {
    std::string s(size_t(cb) + 2, '\0');
    std::memcpy(s.data(), &cb, 2);
    if (cb >= 6) std::memcpy(s.data() + 2, &a, 4);
    if (cb >= 10) std::memcpy(s.data() + 6, &b, 4);
    return s;
}

// ---------------------------------------------------------------- registration

TEST_F(NotifierTest, ThreadsLiveExactlyWhileControlsNeedThem) {
    TShellChangeNotifier& n = Notifier();
    EXPECT_EQ(n.DispatchThread(), nullptr) << "no control, no thread";
    Listener* a = MakeListener();
    Listener* b = MakeListener();
    EXPECT_TRUE(n.RegisterShellChangeNotify(a));
    EXPECT_TRUE(n.RegisterShellChangeNotify(a)) << "registered again: still true";
    EXPECT_NE(n.ShellThread(), nullptr);
    EXPECT_NE(n.DispatchThread(), nullptr);
    EXPECT_EQ(n.KernelThread(), nullptr);
    EXPECT_EQ(n.ShellThread()->RefCount(), 1) << "a second registration counts once";

    EXPECT_TRUE(n.RegisterKernelChangeNotify(b, DefaultKernelFilter));
    EXPECT_NE(n.KernelThread(), nullptr);
    EXPECT_EQ(n.DispatchThread()->RefCount(), 2);

    EXPECT_TRUE(n.UnRegisterShellChangeNotify(a));
    EXPECT_EQ(n.ShellThread(), nullptr);
    EXPECT_NE(n.DispatchThread(), nullptr) << "the kernel thread still needs it";
    EXPECT_FALSE(n.UnRegisterShellChangeNotify(a)) << "no longer known";
    EXPECT_TRUE(n.UnRegisterChangeNotify(b));
    EXPECT_EQ(n.KernelThread(), nullptr);
    EXPECT_EQ(n.DispatchThread(), nullptr);
    EXPECT_TRUE(n.StillRegistered().empty());
}

TEST_F(NotifierTest, TwoKernelRegistrationsWithOtherFiltersNeedOneUnregistration) {
    TShellChangeNotifier& n = Notifier();
    Listener* a = MakeListener();
    ASSERT_TRUE(n.RegisterKernelChangeNotify(a, DefaultKernelFilter));
    ASSERT_TRUE(n.RegisterKernelChangeNotify(a, 0x03));
    {
        const TShellChangeControlList& list = n.LockControlList();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].KernelFilter, 0x03);
        n.UnlockControlList();
    }
    EXPECT_EQ(n.KernelThread()->RefCount(), 1);
    EXPECT_TRUE(n.UnRegisterKernelChangeNotify(a));
    EXPECT_EQ(n.KernelThread(), nullptr);
    EXPECT_EQ(n.DispatchThread(), nullptr);
}

TEST_F(NotifierTest, MisuseFailsTheAssertionsWithTheirTexts) {
    TShellChangeNotifier& n = Notifier();
    try {
        n.RegisterKernelSpecialFolderWatch(CSIDL_DESKTOP);
        FAIL() << "no kernel registration yet";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), SRegisterKernelFirst);
    }
    Listener* a = MakeListener();
    EXPECT_FALSE(n.NotifyWatchFolder(a, u"/tmp")) << "not registered at all";
    n.RegisterShellChangeNotify(a);
    try {
        n.NotifyWatchFolder(a, Utf8ToWide(dir));
        FAIL() << "shell registration only";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), SWatchFolderWithoutKernel);
    }
    const TShellChangeControlList& list = n.LockControlList();
    EXPECT_TRUE(list.at(0).WatchFolder.empty()) << "the folder is cleared";
    n.UnlockControlList();
}

TEST_F(NotifierTest, FinalizingWithControlsRegisteredStopsEverythingThenFails) {
    Listener* a = MakeListener();
    ChangeNotifier().RegisterKernelChangeNotify(a, DefaultKernelFilter);
    try {
        ShellNotifierFinalize();
        FAIL() << "a control is still registered";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), SKernelThreadStillRegistered);
    }
    EXPECT_EQ(Notifier().DispatchThread(), nullptr) << "a fresh notifier";
}

TEST_F(NotifierTest, AControlFreedWithoutUnregisteringIsDropped) {
    TShellChangeNotifier& n = Notifier();
    Listener* a = MakeListener();
    Listener* b = MakeListener();
    n.RegisterShellChangeNotify(a);
    n.RegisterShellChangeNotify(b);
    form->FreeComponent(b);
    EXPECT_EQ(n.LockControlList().size(), 1u);
    n.UnlockControlList();
    EXPECT_EQ(n.ShellThread()->RefCount(), 1);
    // The fan-out reaches only the control that is there.
    const std::string folder = Folder("f");
    n.PostShellEvent(sneUpdateDir, P(Parsed(folder)));
    ASSERT_TRUE(WaitForBatches(a, 1));
    form->FreeComponent(a);
    EXPECT_EQ(n.DispatchThread(), nullptr) << "the last one gone, the threads stop";
}

TEST_F(NotifierTest, StripDuplicatePIDLsKeepsOnlyTheTopmostOfEachBranch) {
    const std::string a = Folder("a"), ab = Folder("a/b"), c = Folder("c");
    TPIDLList list;
    for (const std::string& p : {ab, a, c, a, ab + "/x"})
        list.CopyAdd(P(PathBytes(p)));
    ChangeNotifier().StripDuplicatePIDLs(list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(test::Pidl(list[0]), PathBytes(a));
    EXPECT_EQ(test::Pidl(list[1]), PathBytes(c));
}

// ---------------------------------------------------------------- batching

TEST_F(NotifierTest, TenCreationsInAFolderAreOneBatchWithOneUpdateOfTheFolder) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    const std::string folder = Folder("ten");
    for (int i = 0; i < 10; ++i)
        SHChangeNotifyPaths(SHCNE_CREATE, folder + "/file" + std::to_string(i));
    ASSERT_TRUE(WaitForEvents(10));
    EXPECT_EQ(Dispatch().PendingCount(), 1) << "folded as they come";
    ASSERT_TRUE(WaitForBatches(l, 1));
    ASSERT_EQ(l->batches.size(), 1u);
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, Parsed(folder)}}));
    for (int i = 0; i < 5; ++i) {
        clock.Advance(ShellNotifyQuietMs);
        Pump();
    }
    EXPECT_EQ(l->batches.size(), 1u) << "nothing more after the batch";
}

TEST_F(NotifierTest, ABatchWaitsUntilAWholeQuietPeriodPassedWithoutAnyChange) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    const std::string a = Parsed(Folder("a")), b = Parsed(Folder("b"));
    Notifier().PostShellEvent(sneUpdateDir, P(a));
    ASSERT_TRUE(WaitUntil([&] { return Dispatch().DebounceRounds() == 1; }));
    Notifier().PostShellEvent(sneUpdateDir, P(b));
    clock.Advance(ShellNotifyQuietMs);
    ASSERT_TRUE(WaitUntil([&] { return Dispatch().DebounceRounds() == 2; }))
        << "a change within the period starts another";
    Notifier().PostShellEvent(sneUpdateDir, P(a)); // folds into the pending one, yet it is a change
    clock.Advance(ShellNotifyQuietMs);
    ASSERT_TRUE(WaitUntil([&] { return Dispatch().DebounceRounds() == 3; }));
    Pump();
    EXPECT_TRUE(l->batches.empty());
    clock.Advance(ShellNotifyQuietMs);
    ASSERT_TRUE(WaitForBatches(l, 1));
    EXPECT_EQ(Dispatch().DebounceRounds(), 3u);
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, a}, {sneUpdateDir, b}}));
}

TEST_F(NotifierTest, AFolderThatNeverStopsChangingIsStillRefreshedAtTheLongestHold) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    const std::string a = Parsed(Folder("a"));
    const uint64_t start = clock.Ticks();
    Notifier().PostShellEvent(sneUpdateDir, P(a));
    uint64_t rounds = 1;
    // A change in every period, as a file written to without pause gives.
    while (l->batches.empty()) {
        ASSERT_TRUE(WaitUntil([&] {
            Pump();
            return Dispatch().DebounceRounds() == rounds || !l->batches.empty();
        }));
        if (!l->batches.empty()) break;
        ASSERT_LE(clock.Ticks() - start, ShellNotifyLongestHoldMs) << "held back too long";
        Notifier().PostShellEvent(sneUpdateDir, P(a));
        clock.Advance(ShellNotifyQuietMs);
        ++rounds;
    }
    EXPECT_GE(clock.Ticks() - start, ShellNotifyLongestHoldMs);
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, a}}));
}

TEST_F(NotifierTest, RenamesBecomeUpdatesOfTheFoldersTheyTouch) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    const std::string a = Folder("a"), b = Folder("b");
    std::ofstream(a + "/x") << "x";
    std::string moved;
    ASSERT_TRUE(ShellRenameItem(a + "/x", "y", &moved)); // announced on the bus
    ASSERT_TRUE(WaitForEvents(1));
    ASSERT_TRUE(WaitForBatches(l, 1));
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, Parsed(a)}}));

    SHChangeNotifyPaths(SHCNE_RENAMEITEM, a + "/y", b + "/y");
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForBatches(l, 2));
    EXPECT_EQ(Events(l->batches[1]), (EventList{{sneUpdateDir, Parsed(a)}, {sneUpdateDir, Parsed(b)}}));
}

// Folded into folder updates, a rename still says where the item went.
TEST_F(NotifierTest, ARenameKeepsItsTwoPIDLsWithTheBatch) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    const std::string a = Folder("a"), b = Folder("b");
    std::ofstream(a + "/x") << "x";
    ASSERT_TRUE(ShellRenameItem(a + "/x", "y", nullptr));
    SHChangeNotifyPaths(SHCNE_RENAMEFOLDER, a + "/sub", b + "/sub");
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForBatches(l, 1));
    ASSERT_EQ(l->batches.size(), 1u);
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, Parsed(a)}, {sneUpdateDir, Parsed(b)}}));
    using Renames = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(l->batches[0].renames, (Renames{{PathBytes(a + "/x"), PathBytes(a + "/y")},
                                              {PathBytes(a + "/sub"), PathBytes(b + "/sub")}}))
        << "in the order they came";

    // Unfolded, the rename events carry them themselves.
    Notifier().SetFilterEvents(false);
    SHChangeNotifyPaths(SHCNE_RENAMEITEM, a + "/y", a + "/z");
    ASSERT_TRUE(WaitForEvents(3));
    ASSERT_TRUE(WaitForBatches(l, 2));
    EXPECT_TRUE(l->batches[1].renames.empty());
    ASSERT_EQ(l->batches[1].events.size(), 1u);
    EXPECT_EQ(l->batches[1].events[0].kind, sneRenameItem);
    EXPECT_EQ(l->batches[1].events[0].pidl2, PathBytes(a + "/z"));
}

TEST_F(NotifierTest, DeletionIntoTheTrashUpdatesTheTrashFolderAndTheRecycleBinOnce) {
    const std::string trash = home + "/.local/share/Trash";
    ASSERT_EQ(system(("mkdir -p '" + trash + "/files' '" + trash + "/info'").c_str()), 0);
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l); // the dispatch thread finds the trash now
    const std::string folder = Folder("doomed");
    std::ofstream(folder + "/old.txt") << "x";
    ASSERT_TRUE(ShellTrashItems({folder + "/old.txt"})); // deletion, then the bin's update
    // What lands in the trash folder, and a change of an item in it.
    SHChangeNotifyPaths(SHCNE_CREATE, trash + "/files/old.txt");
    SHChangeNotifyPaths(SHCNE_UPDATEITEM, trash + "/files/old.txt");
    ASSERT_TRUE(WaitForEvents(4));
    ASSERT_TRUE(WaitForBatches(l, 1));
    PItemIDList bin = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_BITBUCKET, &bin)));
    const std::string binBytes = test::Pidl(bin);
    NamespacePIDLManager().FreePIDL(bin);
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, Parsed(folder)},
                                                {sneUpdateDir, binBytes},
                                                {sneUpdateDir, Parsed(trash + "/files")}}));
}

TEST_F(NotifierTest, ChangesDeepInTheTrashRefreshItsFilesFolderNotTheTrashAbove) {
    const std::string trash = home + "/.local/share/Trash";
    ASSERT_EQ(system(("mkdir -p '" + trash + "/files/box/inner' '" + trash + "/info'").c_str()), 0);
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    Notifier().PostShellEvent(sneUpdateDir, P(Parsed(trash + "/files/box/inner")));
    Notifier().PostShellEvent(sneUpdateDir, P(Parsed(trash + "/info")));
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForBatches(l, 1));
    PItemIDList bin = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_BITBUCKET, &bin)));
    const std::string binBytes = test::Pidl(bin);
    NamespacePIDLManager().FreePIDL(bin);
    EXPECT_EQ(Events(l->batches[0]),
              (EventList{{sneUpdateDir, Parsed(trash + "/files")}, {sneUpdateDir, binBytes}}))
        << "each once, whatever part of the trash changed";
}

TEST_F(NotifierTest, UnfilteredEventsPassUnchangedAndUnfolded) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    Notifier().SetFilterEvents(false);
    const std::string file = PathBytes(Folder("a") + "/n");
    Notifier().PostShellEvent(sneCreate, P(file));
    Notifier().PostShellEvent(sneCreate, P(file));
    ASSERT_TRUE(WaitForBatches(l, 1));
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneCreate, file}, {sneCreate, file}}));
}

TEST_F(NotifierTest, ShellNotifyGoesThroughTheShellThreadAndChecksDataBlocks) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    const std::string good = DataBlock(10, 0x11223344, 0x55667788);
    const std::string same = DataBlock(10, 0x11223344, 0x99);
    const std::string shortBlock = DataBlock(6, 0xAA, 0); // too short to hold two values
    const std::string folder = Parsed(Folder("x"));
    Notifier().ShellNotify(SHCNE_FREESPACE, P(good), nullptr);
    Notifier().ShellNotify(SHCNE_FREESPACE, P(same), nullptr); // same first value
    Notifier().ShellNotify(SHCNE_FREESPACE, P(shortBlock), nullptr);
    Notifier().ShellNotify(SHCNE_FREESPACE, nullptr, nullptr);
    Notifier().ShellNotify(SHCNE_UPDATEDIR | 0x80000000u, P(folder), nullptr); // not one number
    Notifier().ShellNotify(SHCNE_UPDATEITEM, P(folder), nullptr);
    ASSERT_TRUE(WaitForEvents(3));
    ASSERT_TRUE(WaitForBatches(l, 1));
    const auto& events = l->batches[0].events;
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, sneFreeSpace);
    EXPECT_EQ(events[0].dword1, 0x11223344u);
    EXPECT_EQ(events[0].dword2, 0x55667788u);
    EXPECT_TRUE(events[0].pidl1.empty()) << "a data block is no PIDL";
    EXPECT_EQ(events[1].kind, sneUpdateItem);
    EXPECT_EQ(events[1].pidl1, folder);
}

TEST_F(NotifierTest, TheOldDeliveryReadsTwoPIDLsTheSenderKeeps) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    const std::string a = Parsed(Folder("a"));
    const std::string item = PathBytes(dir + "/a/x");
    PCItemIDList pidls[2] = {P(item), nullptr};
    // Sent, not posted: the PIDLs are the sender's until the call returns.
    SendMessage(Notifier().ShellThread()->Window(), WM_CHANGENOTIFY_NT4,
                reinterpret_cast<WPARAM>(pidls), SHCNE_DELETE);
    ASSERT_TRUE(WaitForEvents(1));
    ASSERT_TRUE(WaitForBatches(l, 1));
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, a}}));
}

TEST_F(NotifierTest, ItemsOfTheDesktopAndDocumentsFoldersAlsoUpdateTheirVirtualPlaces) {
    Listener* l = MakeListener();
    Notifier().RegisterShellChangeNotify(l);
    SHChangeNotifyPaths(SHCNE_CREATE, home + "/Desktop/new.txt");
    SHChangeNotifyPaths(SHCNE_MKDIR, home + "/Documents/Letters");
    ASSERT_TRUE(WaitForEvents(4)) << "each announcement twice";
    ASSERT_TRUE(WaitForBatches(l, 1));
    PItemIDList docs = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(CSIDL_PERSONAL, &docs)));
    const std::string docsBytes = test::Pidl(docs);
    NamespacePIDLManager().FreePIDL(docs);
    EXPECT_EQ(Events(l->batches[0]), (EventList{{sneUpdateDir, Parsed(home + "/Desktop")},
                                                {sneUpdateDir, kDesktop},
                                                {sneUpdateDir, Parsed(home + "/Documents")},
                                                {sneUpdateDir, docsBytes}}));

    Notifier().SetMapVirtualFolders(false);
    SHChangeNotifyPaths(SHCNE_CREATE, home + "/Desktop/other.txt");
    ASSERT_TRUE(WaitForEvents(5));
    ASSERT_TRUE(WaitForBatches(l, 2));
    EXPECT_EQ(Events(l->batches[1]), (EventList{{sneUpdateDir, Parsed(home + "/Desktop")}}));
}

// ---------------------------------------------------------------- fan-out

TEST_F(NotifierTest, EveryControlGetsTheSameListWhichGoesWithTheLastRelease) {
    Listener* a = MakeListener();
    Listener* b = MakeListener();
    a->hold = b->hold = true;
    Notifier().RegisterShellChangeNotify(a);
    Notifier().RegisterShellChangeNotify(b);
    const int64_t before = malloc_->LiveBlocks();
    Notifier().PostShellEvent(sneUpdateDir, P(Parsed(Folder("f"))));
    ASSERT_TRUE(WaitForBatches(a, 1));
    ASSERT_EQ(b->batches.size(), 1u);
    EXPECT_EQ(a->batches[0].list, b->batches[0].list);
    EXPECT_EQ(a->batches[0].refCountOnArrival, 2) << "one reference per control";
    TShellEventList* list = a->held[0];
    a->ReleaseHeld();
    EXPECT_EQ(list->RefCount(), 1);
    EXPECT_GT(malloc_->LiveBlocks(), before) << "still held by the other control";
    b->ReleaseHeld();
    EXPECT_EQ(malloc_->LiveBlocks(), before) << "the last release frees the list and its PIDLs";
}

TEST_F(NotifierTest, AWindowDestroyedWithBatchesQueuedReleasesThem) {
    Listener* a = MakeListener();
    Listener* b = MakeListener();
    Notifier().RegisterShellChangeNotify(a);
    Notifier().RegisterShellChangeNotify(b);
    const int64_t before = malloc_->LiveBlocks();
    const std::string folder = Parsed(Folder("f"));
    Notifier().PostShellEvent(sneUpdateDir, P(folder));
    // Serve only the notifier's window until the batch waits in b's queue.
    const HWND bWindow = b->Handle();
    ASSERT_TRUE(WaitUntil([&] {
        clock.Advance(ShellNotifyQuietMs);
        MSG m;
        while (PeekMessage(m, Notifier().Window(), 0, 0, PM_REMOVE))
            DispatchMessage(m);
        return PeekMessage(m, bWindow, WM_SHELLNOTIFY, WM_SHELLNOTIFY, PM_NOREMOVE) != 0;
    }));
    b->DestroyHandle();
    Pump();
    ASSERT_EQ(a->batches.size(), 1u);
    EXPECT_TRUE(b->batches.empty());
    EXPECT_EQ(malloc_->LiveBlocks(), before) << "b's reference went with its window";

    // A registered control without a window is skipped, its share released.
    Notifier().PostShellEvent(sneUpdateDir, P(folder));
    ASSERT_TRUE(WaitForBatches(a, 2));
    EXPECT_FALSE(b->HandleAllocated());
    EXPECT_EQ(malloc_->LiveBlocks(), before);
}

// ---------------------------------------------------------------- kernel watches

class KernelNotifierTest : public NotifierTest {
protected:
    // Registers l for kernel notifications of folder and waits until the
    // kernel thread watches it.
    void Watch(Listener* l, const std::string& folder) {
        TShellChangeNotifier& n = Notifier();
        ASSERT_TRUE(n.RegisterKernelChangeNotify(l, DefaultKernelFilter));
        ASSERT_TRUE(n.NotifyWatchFolder(l, Utf8ToWide(folder)));
        WaitWatched();
    }
    void WaitWatched() {
        TKernelChangeThread* k = Notifier().KernelThread();
        const uint64_t asked = k->RebuildsAsked();
        ASSERT_TRUE(WaitUntil([&] { return k->RebuildsDone() >= asked; }));
    }
    // Runs change, then expects one batch with an update of folder alone.
    void ExpectUpdate(Listener* l, const std::string& folder, const std::function<void()>& change,
                      const char* what) {
        const uint64_t events = Dispatch().EventsReceived();
        const size_t batches = l->batches.size();
        change();
        ASSERT_TRUE(WaitUntil([&] { return Dispatch().EventsReceived() > events; })) << what;
        ASSERT_TRUE(WaitForBatches(l, batches + 1)) << what;
        EXPECT_EQ(Events(l->batches.back()), (EventList{{sneUpdateDir, Parsed(folder)}})) << what;
    }
};

TEST_F(KernelNotifierTest, CreateDeleteRenameAndAttributesOfTheWatchFolderReachTheControl) {
    Listener* l = MakeListener();
    const std::string folder = Folder("watched");
    Watch(l, folder);
    const std::string file = folder + "/a.txt";
    ExpectUpdate(l, folder, [&] { Touch(file); }, "create");
    ExpectUpdate(l, folder, [&] { rename(file.c_str(), (folder + "/b.txt").c_str()); }, "rename");
    ExpectUpdate(l, folder, [&] { chmod((folder + "/b.txt").c_str(), 0600); }, "attributes");
    ExpectUpdate(l, folder, [&] { unlink((folder + "/b.txt").c_str()); }, "delete");
    ExpectUpdate(l, folder, [&] { mkdir((folder + "/sub").c_str(), 0755); }, "new folder");
}

// The folders a control shows are watched on disk as long as it shows them
// and is registered for shell notifications; a rename there comes paired.
TEST_F(KernelNotifierTest, TheFoldersAControlShowsAreWatchedWhileItShowsThem) {
    TShellChangeNotifier& n = Notifier();
    Listener* l = MakeListener();
    const std::string shown = Folder("shown"), other = Folder("other");
    EXPECT_FALSE(n.NotifyShownFolders(l, {Utf8ToWide(shown)})) << "not registered";
    EXPECT_EQ(n.KernelThread(), nullptr);
    ASSERT_TRUE(n.RegisterShellChangeNotify(l));
    EXPECT_EQ(n.KernelThread(), nullptr) << "nothing shown yet";
    ASSERT_TRUE(n.NotifyShownFolders(l, {Utf8ToWide(shown), Utf8ToWide(other)}));
    ASSERT_NE(n.KernelThread(), nullptr);
    EXPECT_EQ(n.KernelThread()->RefCount(), 1);
    ASSERT_TRUE(n.NotifyShownFolders(l, {Utf8ToWide(shown), Utf8ToWide(other)}));
    EXPECT_EQ(n.KernelThread()->RefCount(), 1) << "counted once";
    WaitWatched();
    ExpectUpdate(l, shown, [&] { Touch(shown + "/a.txt"); }, "create");
    const size_t batches = l->batches.size();
    ASSERT_EQ(rename((shown + "/a.txt").c_str(), (other + "/b.txt").c_str()), 0);
    ASSERT_TRUE(WaitForBatches(l, batches + 1));
    bool paired = false;
    for (size_t i = batches; i < l->batches.size(); ++i)
        for (const auto& r : l->batches[i].renames)
            paired = paired || r == std::make_pair(PathBytes(shown + "/a.txt"), PathBytes(other + "/b.txt"));
    EXPECT_TRUE(paired) << "the kernel's two halves of the move";

    ASSERT_TRUE(n.NotifyShownFolders(l, {}));
    EXPECT_EQ(n.KernelThread(), nullptr) << "nothing shown: nothing watched";
    ASSERT_TRUE(n.NotifyShownFolders(l, {Utf8ToWide(shown)}));
    ASSERT_NE(n.KernelThread(), nullptr);
    EXPECT_TRUE(n.UnRegisterShellChangeNotify(l));
    EXPECT_EQ(n.KernelThread(), nullptr) << "leaving the shell notifications ends the watches";
    EXPECT_EQ(n.DispatchThread(), nullptr);
}

TEST_F(KernelNotifierTest, AWatchedSpecialFolderUpdatesItsVirtualPlaceToo) {
    Listener* l = MakeListener();
    Notifier().RegisterKernelChangeNotify(l, DefaultKernelFilter);
    Notifier().RegisterKernelSpecialFolderWatch(CSIDL_DESKTOP);
    Notifier().RegisterKernelSpecialFolderWatch(CSIDL_PRINTERS); // not on disk: nothing happens
    EXPECT_EQ(Notifier().KernelThread()->SpecialFolderCount(), 1);
    WaitWatched();
    Touch(home + "/Desktop/note.txt");
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForBatches(l, 1));
    EXPECT_EQ(Events(l->batches[0]),
              (EventList{{sneUpdateDir, Parsed(home + "/Desktop")}, {sneUpdateDir, kDesktop}}));
}

TEST_F(KernelNotifierTest, LostChangesRefreshEveryWatchedFolderAndTheBatchSaysSo) {
    Listener* a = MakeListener();
    const std::string busy = Folder("busy"), quiet = Folder("quiet");
    Watch(a, busy);
    TShellChangeNotifier& n = Notifier();
    ASSERT_TRUE(n.RegisterShellChangeNotify(a));
    ASSERT_TRUE(n.NotifyShownFolders(a, {Utf8ToWide(quiet)}));
    WaitWatched();
    const uint64_t events = Dispatch().EventsReceived();
    n.KernelThread()->InjectOverflow();
    ASSERT_TRUE(WaitForEvents(events + 2));
    ASSERT_TRUE(WaitForBatches(a, 1));
    EXPECT_TRUE(a->batches[0].changesLost);
    EventList got = Events(a->batches[0]);
    std::sort(got.begin(), got.end());
    EventList want{{sneUpdateDir, Parsed(busy)}, {sneUpdateDir, Parsed(quiet)}};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << "nothing changed, yet every watched folder must be refreshed";
    // The next batch lost nothing.
    ExpectUpdate(a, busy, [&] { Touch(busy + "/new"); }, "a plain change");
    EXPECT_FALSE(a->batches.back().changesLost);
}

TEST_F(KernelNotifierTest, OverTheWatchLimitEveryShownFolderFollowsOnTheTimerAndTheUserIsToldOnce) {
    // Everything runs in a child that has a user namespace of its own with
    // a limit of 8 watches; it answers which step failed.
    const int status = test::RunInChild([&]() -> int {
        if (!test::LimitFolderWatches(8)) return 126;
        TShellChangeNotifier& n = Notifier();
        std::vector<AnsiString> told;
        n.SetOnCannotFollow([&](const AnsiString& text) { told.push_back(text); });
        Listener* l = MakeListener();
        std::vector<std::string> folders;
        std::vector<WideString> shown;
        for (int i = 0; i < 20; ++i) {
            folders.push_back(Folder("f" + std::to_string(i)));
            shown.push_back(Utf8ToWide(folders.back()));
        }
        if (!n.RegisterShellChangeNotify(l) || !n.NotifyShownFolders(l, shown)) return 1;
        TKernelChangeThread* k = n.KernelThread();
        const uint64_t asked = k->RebuildsAsked();
        if (!WaitUntil([&] { return k->RebuildsDone() >= asked; })) return 2;
        if (k->PolledCount() != 12) return 3;
        if (!WaitUntil([&] {
                Pump();
                return !told.empty();
            }))
            return 4;
        if (told != std::vector<AnsiString>{"The system's limit of watched folders is reached: 12 "
                                            "folders are checked for changes every 5 seconds instead."})
            return 5;
        for (const std::string& f : folders) Touch(f + "/new.txt");
        if (Dispatch().PollRounds() != 0) return 6; // nothing before the period
        clock.Advance(ShellNotifyPollMs);
        if (!WaitUntil([&] { return Dispatch().PollRounds() >= 1; })) return 7;
        std::set<std::string> updated;
        auto all = [&] {
            for (const SeenBatch& b : l->batches)
                for (const auto& e : b.events)
                    if (e.kind == sneUpdateDir) updated.insert(e.pidl1);
            for (const std::string& f : folders)
                if (!updated.count(Parsed(f))) return false;
            return true;
        };
        if (!WaitForBatches(l, 1) || !WaitUntil([&] {
                clock.Advance(ShellNotifyQuietMs);
                Pump();
                return all();
            }))
            return 8;
        // Another period: refreshed again, told no more.
        const uint64_t rounds = Dispatch().PollRounds();
        clock.Advance(ShellNotifyPollMs);
        if (!WaitUntil([&] { return Dispatch().PollRounds() > rounds; })) return 9;
        Pump();
        if (told.size() != 1) return 10;
        ChangeNotifier().UnRegisterAll();
        ShellNotifierFinalize();
        return 0;
    });
    if (status == 126) GTEST_SKIP() << "no user namespace of our own here";
    EXPECT_EQ(status, 0) << "1 registration, 2 rebuild, 3 folders on the timer, 4 not told, "
                            "5 told otherwise, 6 refreshed early, 7 not refreshed, 8 a folder "
                            "not followed, 9 no second refresh, 10 told again";
}

// Mounts and media, in a child with a mount namespace of its own; each
// answers which step failed.
class MountNotifierTest : public NotifierTest {
protected:
    static bool PrivateMounts() {
        return geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
               mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }
    // The events of the batches l got, from batch from on.
    static EventList Seen(Listener* l, size_t from) {
        EventList out;
        for (size_t i = from; i < l->batches.size(); ++i)
            for (const auto& e : Events(l->batches[i])) out.push_back(e);
        return out;
    }
    // Lets quiet periods pass until the mount thread looked at rounds
    // changes and what it told reached l.
    bool Told(Listener* l, uint64_t rounds, size_t batches) {
        TMountChangeThread* m = Notifier().MountThread();
        return WaitUntil([&] { return m->Rounds() >= rounds; }) && WaitForBatches(l, batches);
    }
};

TEST_F(MountNotifierTest, AMountAndItsUnmountAreDriveEventsWithAnUpdateOfTheMountPoint) {
    const std::string point = Folder("mnt");
    const int status = test::RunInChild([&] {
        if (!PrivateMounts()) return 126;
        Listener* l = MakeListener();
        if (!Notifier().RegisterShellChangeNotify(l) || !Notifier().MountThread()) return 1;
        const std::string bytes = Parsed(point);
        if (mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0) return 2;
        if (!Told(l, 1, 1)) return 3;
        if (Seen(l, 0) != EventList{{sneDriveAdd, bytes}, {sneUpdateDir, bytes}}) return 4;
        if (umount(point.c_str()) != 0) return 5;
        if (!Told(l, 2, 2)) return 6;
        if (Seen(l, 1) != EventList{{sneDriveRemoved, bytes}, {sneUpdateDir, bytes}}) return 7;
        ChangeNotifier().UnRegisterAll();
        ShellNotifierFinalize();
        return 0;
    });
    if (status == 126) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(status, 0) << "1 no mount thread, 2 mount, 3 not told, 4 told otherwise, 5 unmount, "
                            "6 not told, 7 told otherwise";
}

TEST_F(MountNotifierTest, AMediumSwappedInAMountedDeviceIsRemovedThenInserted) {
    const std::string point = Folder("disc");
    const std::string a = root + "/a.img", b = root + "/b.img";
    for (const std::string& image : {a, b})
        ASSERT_EQ(system(("mke2fs -q -F -t ext2 '" + image + "' 1024 >/dev/null 2>&1").c_str()), 0)
            << "mke2fs (e2fsprogs) makes the media";
    const int status = test::RunInChild([&] {
        if (!PrivateMounts()) return 126;
        test::LoopDevice loop;
        if (!loop.Attach(a)) return 125;
        if (mount(loop.Path().c_str(), point.c_str(), "ext2", MS_RDONLY, nullptr) != 0) return 1;
        Listener* l = MakeListener();
        if (!Notifier().RegisterShellChangeNotify(l)) return 2;
        const std::string bytes = Parsed(point);
        const uint64_t rounds = Notifier().MountThread()->Rounds();
        if (!loop.Swap(b)) return 3;
        if (!Told(l, rounds + 1, 1)) return 4;
        if (Seen(l, 0) != EventList{{sneMediaRemoved, bytes}, {sneMediaInserted, bytes}}) return 5;
        ChangeNotifier().UnRegisterAll();
        ShellNotifierFinalize();
        umount2(point.c_str(), MNT_DETACH);
        return 0;
    });
    if (status == 126) GTEST_SKIP() << "no private mount namespace here";
    if (status == 125) GTEST_SKIP() << "no free loop device here";
    EXPECT_EQ(status, 0) << "1 mount, 2 registration, 3 swap, 4 not told, 5 told otherwise";
}

TEST_F(KernelNotifierTest, LostEventsRefreshEveryWatchedFolder) {
    int limit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit > 200000) GTEST_SKIP() << "event queue limit too large to fill here: " << limit;
    Listener* a = MakeListener();
    Listener* b = MakeListener();
    const std::string busy = Folder("busy"), quiet = Folder("quiet");
    Watch(a, busy);
    Watch(b, quiet);
    // While the kernel thread waits for the control list (a rebuild was
    // asked), nobody reads its queue: a flood overflows it.
    TShellChangeNotifier& n = Notifier();
    n.LockControlList();
    n.KernelThread()->Wake();
    const std::string churn = busy + "/churn";
    for (int i = 0; i < limit + 100; ++i) {
        const int fd = open(churn.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
        unlink(churn.c_str());
    }
    n.UnlockControlList();
    const std::string quietBytes = Parsed(quiet);
    auto quietUpdated = [&] {
        for (const SeenBatch& batch : b->batches)
            for (const auto& e : batch.events)
                if (e.kind == sneUpdateDir && e.pidl1 == quietBytes) return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil([&] {
        clock.Advance(ShellNotifyQuietMs);
        Pump();
        return quietUpdated();
    })) << "nothing changed in the quiet folder, yet it must be refreshed";
}

} // namespace
