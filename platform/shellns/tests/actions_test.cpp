#include "fork_child.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/fixedinputstate.h"
#include "platform/shellns/inputstate.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/recordingmessageboxservice.h"
#include "platform/shellns/scriptedmenutracker.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellclipboard.h"
#include "platform/shellns/textclipboard.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "shellns_fixture.h"

#include <csignal>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>

using namespace ax;

namespace {

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

void SetTimes(const std::string& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

time_t MTime(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

mode_t Type(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// Runs body in a child process and answers how it ended: its exit status,
// or 128 plus the signal that killed it.
template <typename Body> int InChild(Body body) {
    return test::RunInChild([&] {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        return body();
    });
}

} // namespace

// Unmounts a scratch file system when the test ends.
struct ScopeGuardUnmount {
    std::string dir;
    ~ScopeGuardUnmount() { umount2(dir.c_str(), MNT_DETACH); }
};

class Actions : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        a = root + "/a";
        b = root + "/b";
        mkdir(a.c_str(), 0755);
        mkdir(b.c_str(), 0755);
        listener = SubscribeShellChanges([this](uint32_t e, PCItemIDList p1, PCItemIDList p2) {
            events.push_back({e, SHGetPathFromIDList(p1), SHGetPathFromIDList(p2)});
        });
        ClearShellClipboard();
    }
    void TearDown() override {
        UnsubscribeShellChanges(listener);
        ClearShellClipboard();
        TempHome::TearDown();
    }
    struct Event {
        uint32_t event;
        std::string p1, p2;
    };
    std::string a, b;
    int listener = 0;
    std::vector<Event> events;
};

TEST_F(Actions, CopyAndMoveNeverOverwrite) {
    Write(a + "/x", "new");
    Write(b + "/x", "old");
    std::vector<std::string> failed;
    EXPECT_FALSE(ShellCopyItems({a + "/x"}, b, &failed));
    EXPECT_EQ(failed, std::vector<std::string>{a + "/x"});
    EXPECT_EQ(Read(b + "/x"), "old");
    EXPECT_FALSE(ShellMoveItems({a + "/x"}, b));
    EXPECT_EQ(Read(a + "/x"), "new");
    EXPECT_EQ(Read(b + "/x"), "old");
    EXPECT_TRUE(events.empty());

    mkdir((a + "/tree").c_str(), 0755);
    Write(a + "/tree/leaf", "leaf");
    EXPECT_TRUE(ShellCopyItems({a + "/tree"}, b));
    EXPECT_EQ(Read(b + "/tree/leaf"), "leaf");
    EXPECT_EQ(Read(a + "/tree/leaf"), "leaf");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, SHCNE_MKDIR);
    EXPECT_EQ(events[0].p1, b + "/tree");
    // A folder cannot go into itself.
    EXPECT_FALSE(ShellCopyItems({a + "/tree"}, a + "/tree"));
    EXPECT_FALSE(ShellMoveItems({a}, a + "/tree"));
    EXPECT_TRUE(ShellMoveItems({a + "/tree"}, root));
    EXPECT_EQ(Read(root + "/tree/leaf"), "leaf");
    EXPECT_EQ(events.back().event, SHCNE_RENAMEFOLDER);
}

// A folder never goes into itself, however the target is reached, and the
// refusal comes before anything is written.
TEST_F(Actions, AFolderIsNeverCopiedIntoItself) {
    mkdir((a + "/tree").c_str(), 0755);
    mkdir((a + "/tree/sub").c_str(), 0755);
    Write(a + "/tree/file", "1 MB would do");
    ASSERT_EQ(symlink((a + "/tree/sub").c_str(), (root + "/into").c_str()), 0);
    for (const std::string& target : {root + "/into", a + "/tree/sub", a + "/tree"}) {
        std::vector<ShellProblem> problems;
        EXPECT_FALSE(ShellCopyItems({a + "/tree"}, target, nullptr, &problems)) << target;
        ASSERT_EQ(problems.size(), 1u) << target;
        EXPECT_EQ(problems[0].path, a + "/tree");
        EXPECT_EQ(problems[0].reason, "a folder cannot go into itself");
        EXPECT_FALSE(ShellMoveItems({a + "/tree"}, target)) << target;
    }
    EXPECT_EQ(Entries(a + "/tree/sub"), std::vector<std::string>{});
    EXPECT_EQ(Entries(a + "/tree"), (std::vector<std::string>{"file", "sub"}));
    EXPECT_TRUE(events.empty());

    // Pasted from the context menu, the refusal is shown to the user.
    RecordingMessageBoxService boxes;
    SetMessageBoxService(&boxes);
    const ScopeGuard restore([] { SetMessageBoxService(nullptr); });
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    const std::string tree = PathToPidlBytes(a + "/tree"), into = PathToPidlBytes(root + "/into");
    SetShellClipboard({tree}, false);
    std::shared_ptr<IContextMenu> menu;
    PCItemIDList target[] = {reinterpret_cast<PCItemIDList>(into.data())};
    ASSERT_EQ(desktop->GetContextMenu(target, 1, &menu), S_OK);
    CMINVOKECOMMANDINFO paste;
    paste.verb = "paste";
    EXPECT_NE(menu->InvokeCommand(paste), S_OK);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, Utf8ToWide(a + "/tree: a folder cannot go into itself"));
    EXPECT_EQ(Entries(a + "/tree/sub"), std::vector<std::string>{});
}

// The kernel stops the copy half way through the file (a file-size limit
// kills the process): nothing may stand under the final name, and a new
// paste then succeeds.
TEST_F(Actions, AKilledCopyLeavesNothingUnderTheFinalName) {
    {
        const int fd = open((a + "/big").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(write(fd, chunk.data(), chunk.size()), ssize_t(chunk.size()));
        close(fd);
    }
    mkdir((a + "/tree").c_str(), 0755);
    ASSERT_EQ(link((a + "/big").c_str(), (a + "/tree/big").c_str()), 0);
    for (const std::string item : {"big", "tree"}) {
        const int end = InChild([&] {
            const rlimit limit{1 << 20, 1 << 20};
            setrlimit(RLIMIT_FSIZE, &limit);
            ShellCopyItems({a + "/" + item}, b);
            return 0;
        });
        EXPECT_EQ(end, 128 + SIGXFSZ) << "the copy of " << item << " was not cut short";
        EXPECT_NE(access((b + "/" + item).c_str(), F_OK), 0) << item << " under its final name";
    }
    EXPECT_TRUE(ShellCopyItems({a + "/big", a + "/tree"}, b));
    EXPECT_EQ(Read(b + "/big"), Read(a + "/big"));
    EXPECT_EQ(Read(b + "/tree/big"), Read(a + "/big"));
}

TEST_F(Actions, CopiesKeepTimesAndMakeSpecialFilesAnew) {
    const std::string tree = a + "/tree";
    mkdir(tree.c_str(), 0755);
    mkdir((tree + "/sub").c_str(), 0750);
    Write(tree + "/sub/f", "f");
    ASSERT_EQ(symlink("sub/f", (tree + "/link").c_str()), 0);
    ASSERT_EQ(mkfifo((tree + "/fifo").c_str(), 0640), 0);
    ASSERT_EQ(mknod((tree + "/socket").c_str(), S_IFSOCK | 0600, 0), 0);
    SetTimes(tree + "/sub/f", 1000000000);
    SetTimes(tree + "/sub", 1100000000);
    SetTimes(tree + "/link", 1200000000);
    SetTimes(tree + "/fifo", 1300000000);
    SetTimes(tree, 1400000000);
    std::vector<ShellProblem> problems;
    ASSERT_TRUE(ShellCopyItems({tree}, b, nullptr, &problems));
    EXPECT_TRUE(problems.empty());
    const std::string copy = b + "/tree";
    EXPECT_EQ(Entries(copy), (std::vector<std::string>{"fifo", "link", "socket", "sub"}));
    EXPECT_EQ(Entries(b), std::vector<std::string>{"tree"}) << "no temporary name left";
    EXPECT_EQ(MTime(copy + "/sub/f"), 1000000000);
    EXPECT_EQ(MTime(copy + "/sub"), 1100000000);
    EXPECT_EQ(MTime(copy + "/link"), 1200000000);
    EXPECT_EQ(MTime(copy + "/fifo"), 1300000000);
    EXPECT_EQ(MTime(copy), 1400000000);
    EXPECT_EQ(Type(copy + "/fifo"), mode_t(S_IFIFO));
    EXPECT_EQ(Type(copy + "/socket"), mode_t(S_IFSOCK));
    EXPECT_EQ(Type(copy + "/link"), mode_t(S_IFLNK));
    struct stat st;
    ASSERT_EQ(stat((copy + "/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

// Moving to another file system copies and then removes the source; what
// cannot be made there (a device node without the right to make one)
// stays where it was, reported, and is not lost.
TEST_F(Actions, MovesAcrossFileSystemsKeepWhatTheyCannotCarry) {
    const std::string other = root + "/other";
    mkdir(other.c_str(), 0755);
    const std::string why = ax::testing::MountScratchFileSystem(other);
    if (!why.empty()) GTEST_SKIP() << why;
    const ScopeGuardUnmount unmount{other};
    const std::string tree = a + "/tree";
    mkdir(tree.c_str(), 0755);
    mkdir((tree + "/sub").c_str(), 0755);
    Write(tree + "/sub/f", "data");
    ASSERT_EQ(symlink("sub", (tree + "/link").c_str()), 0);
    ASSERT_EQ(mkfifo((tree + "/fifo").c_str(), 0600), 0);
    SetTimes(tree + "/sub", 1100000000);
    SetTimes(tree + "/link", 1200000000);
    SetTimes(tree, 1400000000);
    ASSERT_TRUE(ShellMoveItems({tree}, other));
    EXPECT_NE(access(tree.c_str(), F_OK), 0);
    EXPECT_EQ(Read(other + "/tree/sub/f"), "data");
    EXPECT_EQ(MTime(other + "/tree/sub"), 1100000000);
    EXPECT_EQ(MTime(other + "/tree/link"), 1200000000);
    EXPECT_EQ(MTime(other + "/tree"), 1400000000);
    EXPECT_EQ(Type(other + "/tree/fifo"), mode_t(S_IFIFO));

    // A device node, moved by a process that may not make one.
    const std::string devices = a + "/devices";
    mkdir(devices.c_str(), 0755);
    Write(devices + "/note", "n");
    if (mknod((devices + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "no device node to move: " << strerror(errno);
    const int moved = InChild([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        syscall(SYS_capget, &header, caps);
        caps[0].effective &= ~(1u << CAP_MKNOD);
        if (syscall(SYS_capset, &header, caps) != 0) return 3;
        std::vector<ShellProblem> problems;
        const bool all = ShellMoveItems({devices}, other, nullptr, &problems);
        return !all && problems.size() == 1 && problems[0].path == devices + "/null" ? 0 : 2;
    });
    ASSERT_EQ(moved, 0) << "the move did not report the device it left";
    EXPECT_EQ(Read(other + "/devices/note"), "n");
    EXPECT_NE(access((other + "/devices/null").c_str(), F_OK), 0);
    EXPECT_EQ(Type(devices + "/null"), mode_t(S_IFCHR)) << "the device stays where it was";
    EXPECT_NE(access((devices + "/note").c_str(), F_OK), 0) << "what was carried is gone";
}

TEST_F(Actions, RenameRefusesBadNamesAndTakenTargets) {
    Write(a + "/one", "1");
    Write(a + "/two", "2");
    std::string renamed;
    for (const std::string& bad :
         std::vector<std::string>{"", ".", "..", "x/y", std::string("n\0ul", 4)})
        EXPECT_FALSE(ShellRenameItem(a + "/one", bad, &renamed)) << bad;
    EXPECT_FALSE(ShellRenameItem(a + "/one", "two", &renamed));
    EXPECT_EQ(Read(a + "/two"), "2");
    EXPECT_TRUE(ShellRenameItem(a + "/one", "One", &renamed));
    EXPECT_EQ(renamed, a + "/One");
    EXPECT_EQ(Read(a + "/One"), "1");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, SHCNE_RENAMEITEM);
    EXPECT_EQ(events[0].p1, a + "/one");
    EXPECT_EQ(events[0].p2, a + "/One");
}

TEST_F(Actions, DeleteGoesToTheTrashAndTheRecycleBinShowsIt) {
    Write(a + "/doc.txt", "keep me");
    ASSERT_TRUE(ShellTrashItems({a + "/doc.txt"}));
    Write(a + "/doc.txt", "second");
    ASSERT_TRUE(ShellTrashItems({a + "/doc.txt"}));
    const std::string trash = home + "/.local/share/Trash";
    EXPECT_EQ(Read(trash + "/files/doc.txt"), "keep me");
    EXPECT_EQ(Read(trash + "/files/doc.txt.2"), "second");
    std::string original, date;
    ASSERT_TRUE(ReadTrashInfo("doc.txt.2", original, date));
    EXPECT_EQ(original, a + "/doc.txt");
    EXPECT_EQ(date.size(), 19u);
    EXPECT_EQ(events.front().event, SHCNE_DELETE);

    ShellFolderPtr desktop, bin;
    SHGetDesktopFolder(&desktop);
    PItemIDList binPidl = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_BITBUCKET, &binPidl), S_OK);
    ASSERT_EQ(desktop->BindToObject(binPidl, &bin), S_OK);
    std::unique_ptr<IEnumIDList> list;
    bin->EnumObjects(SHCONTF_NONFOLDERS, &list);
    int count = 0;
    for (PItemIDList item; list->Next(&item) == S_OK; ++count) {
        std::string name;
        bin->GetDisplayNameOf(item, SHGDN_NORMAL, &name);
        EXPECT_EQ(name, "doc.txt");
        IMalloc* m;
        SHGetMalloc(&m);
        m->Free(item);
    }
    EXPECT_EQ(count, 2);
    IMalloc* m;
    SHGetMalloc(&m);
    m->Free(binPidl);
    EXPECT_FALSE(ShellTrashItems({a + "/missing"}));
}

TEST_F(Actions, ContextMenuCopyPasteThroughTheScriptedTracker) {
    Write(a + "/f", "data");
    Write(b + "/f", "old");
    ShellFolderPtr desktop, folderA;
    SHGetDesktopFolder(&desktop);
    PItemIDList pa = nullptr;
    ASSERT_EQ(desktop->ParseDisplayName(a, &pa), S_OK);
    ASSERT_EQ(desktop->BindToObject(pa, &folderA), S_OK);
    PItemIDList f = ILCreateItem(PIDL_KIND_FILE, "f");
    std::shared_ptr<IContextMenu> menu;
    PCItemIDList items[] = {f};
    ASSERT_EQ(folderA->GetContextMenu(items, 1, &menu), S_OK);
    ShellMenu m;
    const HRESULT hr = menu->QueryContextMenu(m, 0, 1, 0x7FFF, CMF_EXPLORE);
    EXPECT_EQ(hr, 8); // up to "link"
    ScriptedMenuTracker tracker;
    tracker.PickCaption(u"Copy");
    const uint32_t id = tracker.TrackPopupMenu(m, TPM_RETURNCMD, {5, 6}, 0);
    ASSERT_NE(id, 0u);
    std::string verb;
    ASSERT_EQ(menu->GetCommandString(id - 1, GCS_VERBW, &verb), S_OK);
    EXPECT_EQ(verb, "copy");
    EXPECT_EQ(m.FindId(1)->caption, u"&Open");
    EXPECT_TRUE(m.FindId(1)->isDefault);
    EXPECT_EQ(m.FindId(6), nullptr); // rename only with CMF_CANRENAME
    CMINVOKECOMMANDINFO info;
    info.commandOffset = id - 1;
    ASSERT_EQ(menu->InvokeCommand(info), S_OK);

    // Pasting into b, which has an "f" already, never replaces it: the copy
    // takes the first free name.
    ShellFolderPtr root_;
    PItemIDList pb = nullptr;
    desktop->ParseDisplayName(b, &pb);
    std::shared_ptr<IContextMenu> bMenu;
    PCItemIDList bItems[] = {pb};
    ASSERT_EQ(desktop->GetContextMenu(bItems, 1, &bMenu), S_OK);
    CMINVOKECOMMANDINFO paste;
    paste.verb = "paste";
    EXPECT_EQ(bMenu->InvokeCommand(paste), S_OK);
    EXPECT_EQ(Read(b + "/f"), "old");
    EXPECT_EQ(Read(b + "/f (2)"), "data");
    EXPECT_EQ(bMenu->InvokeCommand(paste), S_OK);
    EXPECT_EQ(Read(b + "/f (3)"), "data");
    unlink((b + "/f").c_str());
    EXPECT_EQ(bMenu->InvokeCommand(paste), S_OK);
    EXPECT_EQ(Read(b + "/f"), "data");
    EXPECT_EQ(Read(a + "/f"), "data");

    IMalloc* mal;
    SHGetMalloc(&mal);
    mal->Free(f);
    mal->Free(pa);
    mal->Free(pb);
}

TEST_F(Actions, ShellExecuteRunsWithoutAShellAndReapsTheChild) {
    const std::string script = root + "/echo args";
    Write(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > \"$OUT\"\n");
    chmod(script.c_str(), 0755);
    setenv("OUT", (root + "/out").c_str(), 1);
    SHELLEXECUTEINFO info;
    info.fMask = SEE_MASK_NOASYNC;
    info.lpFile = script;
    info.lpParameters = "one \"two words\" $(touch pwned) ;rm";
    ASSERT_TRUE(ShellExecuteEx(info));
    EXPECT_GT(info.hInstApp, 32);
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_EQ(Read(root + "/out"), "one|two words|$(touch|pwned)|;rm|");
    EXPECT_FALSE(FileExists(root + "/pwned"));

    // A document goes to the opener with its path as one argument.
    SetShellOpener({script});
    Write(root + "/doc; x.txt", "");
    SHELLEXECUTEINFO open;
    open.fMask = SEE_MASK_NOASYNC;
    open.lpFile = root + "/doc; x.txt";
    ASSERT_TRUE(ShellExecuteEx(open));
    EXPECT_EQ(Read(root + "/out"), root + "/doc; x.txt|");
    SetShellOpener({});
    unsetenv("OUT");
}

TEST_F(Actions, LinksAreSymbolicLinks) {
    mkdir((a + "/target").c_str(), 0755);
    symlink("target", (a + "/l").c_str());
    ShellLinkData link;
    ASSERT_TRUE(ReadShellLink(a + "/l", link));
    EXPECT_EQ(link.targetPath, a + "/target");
    EXPECT_FALSE(ReadShellLink(a + "/target", link));
}

TEST_F(Actions, ServicesAreInjectable) {
    RecordingMessageBoxService boxes;
    SetMessageBoxService(&boxes);
    EXPECT_EQ(MessageBoxService().MessageBox(0, u"t", u"c", MB_OK), IDOK);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, u"c");
    // Unscripted, a question gets its default button; queued answers go first.
    EXPECT_EQ(MessageBoxService().MessageBox(0, u"t", u"c", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxService().MessageBox(0, u"t", u"c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    boxes.Answer(IDCANCEL);
    EXPECT_EQ(MessageBoxService().MessageBox(0, u"t", u"c", MB_YESNOCANCEL), IDCANCEL);
    SetMessageBoxService(nullptr);
    FixedInputState input;
    input.shift = true;
    input.cursor = {3, 4};
    SetInputState(&input);
    EXPECT_LT(ShellGetKeyState(IInputState::kShift), 0);
    EXPECT_EQ(ShellGetCursorPos().y, 4);
    SetInputState(nullptr);
    EXPECT_EQ(ShellGetKeyState(IInputState::kShift), 0);
}

// ---- Verbs of the item menu ----------------------------------------------------------------

class ItemMenu : public Actions {
protected:
    void TearDown() override {
        SetMessageBoxService(nullptr);
        Actions::TearDown();
    }
    // The menu of items of folder a, by name.
    std::shared_ptr<IContextMenu> MenuOf(const std::vector<std::string>& names) {
        std::vector<std::string> pidls;
        for (const std::string& n : names)
            pidls.push_back(PathToPidlBytes(a + "/" + n));
        std::vector<PCItemIDList> items;
        for (const std::string& p : pidls)
            items.push_back(reinterpret_cast<PCItemIDList>(p.data()));
        ShellFolderPtr desktop;
        SHGetDesktopFolder(&desktop);
        std::shared_ptr<IContextMenu> menu;
        EXPECT_EQ(desktop->GetContextMenu(items.data(), int(items.size()), &menu), S_OK);
        return menu;
    }
    HRESULT Invoke(const std::vector<std::string>& names, const char* verb) {
        CMINVOKECOMMANDINFO info;
        info.verb = verb;
        return MenuOf(names)->InvokeCommand(info);
    }
    static std::vector<std::u16string> Captions(const ShellMenu& m) {
        std::vector<std::u16string> out;
        for (const ShellMenuItem& item : m.items)
            if (!item.separator) out.push_back(item.caption);
        return out;
    }
    std::string LinkTarget(const std::string& path) {
        char buffer[4096];
        const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
        return n < 0 ? std::string() : std::string(buffer, size_t(n));
    }
    RecordingMessageBoxService boxes;
};

TEST_F(ItemMenu, DeleteAsksFirstNamingTheItemOrCountingThem) {
    Write(a + "/doc.txt", "keep");
    for (const char* n : {"x", "y", "z"}) Write(a + "/" + n, "");
    SetMessageBoxService(&boxes);
    boxes.Answer(IDNO);
    EXPECT_EQ(Invoke({"doc.txt"}, "delete"), E_ABORT);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, u"Are you sure you want to move \"doc.txt\" to the Trash?");
    EXPECT_EQ(boxes.Boxes()[0].caption, u"Confirm Delete");
    EXPECT_EQ(boxes.Boxes()[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(Read(a + "/doc.txt"), "keep") << "No leaves the item where it is";
    boxes.Answer(IDYES);
    EXPECT_EQ(Invoke({"doc.txt"}, "delete"), S_OK);
    EXPECT_FALSE(FileExists(a + "/doc.txt"));
    EXPECT_EQ(Read(home + "/.local/share/Trash/files/doc.txt"), "keep");

    boxes.Clear();
    boxes.Answer(IDNO);
    EXPECT_EQ(Invoke({"x", "y", "z"}, "delete"), E_ABORT);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, u"Are you sure you want to move these 3 items to the Trash?");
    EXPECT_EQ(Entries(a), (std::vector<std::string>{"x", "y", "z"}));
}

TEST_F(ItemMenu, CreateLinkMakesALinkBesideTheItemUnderAFreeName) {
    Write(a + "/doc.txt", "d");
    mkdir((a + "/dir").c_str(), 0755);
    ShellMenu m;
    MenuOf({"doc.txt"})->QueryContextMenu(m, 0, 1, 0x7FFF, CMF_EXPLORE);
    const std::vector<std::u16string> captions = Captions(m);
    EXPECT_NE(std::find(captions.begin(), captions.end(), u"Create &Link"), captions.end());
    ASSERT_EQ(Invoke({"doc.txt"}, "link"), S_OK);
    ASSERT_EQ(Invoke({"doc.txt"}, "link"), S_OK);
    Write(a + "/Link to doc.txt (3)", "someone's own");
    ASSERT_EQ(Invoke({"doc.txt", "dir"}, "link"), S_OK);
    EXPECT_EQ(Entries(a), (std::vector<std::string>{"Link to dir", "Link to doc.txt", "Link to doc.txt (2)",
                                                    "Link to doc.txt (3)", "Link to doc.txt (4)", "dir",
                                                    "doc.txt"}));
    EXPECT_EQ(LinkTarget(a + "/Link to doc.txt"), a + "/doc.txt");
    EXPECT_EQ(LinkTarget(a + "/Link to doc.txt (4)"), a + "/doc.txt");
    EXPECT_EQ(Read(a + "/Link to doc.txt (3)"), "someone's own") << "a taken name is never replaced";
    EXPECT_EQ(LinkTarget(a + "/Link to dir"), a + "/dir");
    EXPECT_EQ(Read(a + "/Link to doc.txt (2)"), "d");
}

TEST_F(ItemMenu, CopyAsPathIsAnExtendedVerb) {
    Write(a + "/doc.txt", "");
    Write(a + "/e f", "");
    ShellMenu plain, extended;
    MenuOf({"doc.txt"})->QueryContextMenu(plain, 0, 1, 0x7FFF, CMF_EXPLORE);
    MenuOf({"doc.txt"})->QueryContextMenu(extended, 0, 1, 0x7FFF, CMF_EXPLORE | CMF_EXTENDEDVERBS);
    EXPECT_EQ(Captions(plain), (std::vector<std::u16string>{u"&Open", u"Cu&t", u"&Copy", u"Create &Link",
                                                            u"&Delete", u"P&roperties"}));
    EXPECT_EQ(Captions(extended), (std::vector<std::u16string>{u"&Open", u"Cu&t", u"&Copy", u"Copy &as Path",
                                                               u"Create &Link", u"&Delete", u"P&roperties"}));
    ASSERT_EQ(Invoke({"doc.txt", "e f"}, "copyaspath"), S_OK);
    EXPECT_EQ(HeadlessClipboardText(), "\"" + a + "/doc.txt\"\n\"" + a + "/e f\"");
}
