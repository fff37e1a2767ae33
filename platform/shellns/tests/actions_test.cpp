#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellui.h"
#include "rtl/sysutils.h"
#include "shellns_fixture.h"

#include <sys/stat.h>

using namespace ax;

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
    EXPECT_EQ(hr, 7);
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

    // Pasting into b fails for the taken name and leaves both files.
    ShellFolderPtr root_;
    PItemIDList pb = nullptr;
    desktop->ParseDisplayName(b, &pb);
    std::shared_ptr<IContextMenu> bMenu;
    PCItemIDList bItems[] = {pb};
    ASSERT_EQ(desktop->GetContextMenu(bItems, 1, &bMenu), S_OK);
    CMINVOKECOMMANDINFO paste;
    paste.verb = "paste";
    EXPECT_NE(bMenu->InvokeCommand(paste), S_OK);
    EXPECT_EQ(Read(b + "/f"), "old");
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
