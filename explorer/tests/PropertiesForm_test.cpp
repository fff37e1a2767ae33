// The properties window, headless: what it shows for a file, a folder
// counted in timer slices, a symbolic link, a folder that cannot be read and
// several items; the window closed while counting; the verb reaching it.
#include "explorer_fixture.h"
#include "platform/shellns/propertysheetservice.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "explorer/ExplorerViews.h"
#include "explorer/PropertiesForm.h"
#include "explorer/PropertiesFormService.h"
#include "stdctrls/edit.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ax::testing {
namespace {

using Captions = std::vector<AnsiString>;

TEST(PropertiesFormat, SizesHaveThreeDigitsCutNotRoundedAndTheBytes) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {999, "999 bytes"},
        {1000, "0.97 KB (1,000 bytes)"},
        {2047, "1.99 KB (2,047 bytes)"},
        {12345, "12.0 KB (12,345 bytes)"},
        {1048576, "1.00 MB (1,048,576 bytes)"},
        {123456789, "117 MB (123,456,789 bytes)"},
        {5368709120, "5.00 GB (5,368,709,120 bytes)"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatByteSize(bytes), text) << bytes;
}

TEST(PropertiesFormat, PermissionsAsLettersAndOctal) {
    EXPECT_EQ(FormatPermissions(0755), "rwxr-xr-x (0755)");
    EXPECT_EQ(FormatPermissions(0640), "rw-r----- (0640)");
    EXPECT_EQ(FormatPermissions(0), "--------- (0000)");
    EXPECT_EQ(FormatPermissions(04755), "rwsr-xr-x (4755)");
    EXPECT_EQ(FormatPermissions(02644), "rw-r-Sr-- (2644)");
    EXPECT_EQ(FormatPermissions(01777), "rwxrwxrwt (1777)");
    EXPECT_EQ(FormatPermissions(S_IFDIR | 01776), "rwxrwxrwT (1776)") << "the file type is no permission";
}

class PropertiesTest : public ExplorerTest {
protected:
    void SetUp() override {
        ExplorerTest::SetUp();
        saved = FormatSettings();
        FormatSettings() = TFormatSettings{};
    }
    void TearDown() override {
        FormatSettings() = saved;
        ExplorerTest::TearDown();
    }
    TFormatSettings saved;
    TPropertiesForm* Sheet(const std::vector<std::string>& paths, size_t slice = 4000) {
        auto* form = TComponent::Create<TPropertiesForm>(app.get());
        form->SetSliceSize(slice);
        std::vector<std::string> pidls;
        for (const std::string& p : paths) pidls.push_back(PidlOf(p));
        form->SetItems(pidls);
        return form;
    }
    std::string PidlOf(const std::string& path) {
        const UniquePIDL pidl = Parse(path);
        EXPECT_TRUE(pidl) << path;
        return pidl ? std::string(reinterpret_cast<const char*>(pidl.get()), ILByteSize(pidl.get())) : std::string();
    }
    void Key(UINT vk, char32_t ch = 0) {
        InjectKeyStroke(vk, ch);
        app->ProcessMessages();
    }
    static void WriteBytes(const std::string& path, size_t n) { Write(path, std::string(n, 'b')); }
    static void SetTimes(const std::string& path, time_t accessed, time_t modified) {
        const timespec t[2] = {{accessed, 0}, {modified, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << path;
    }
    static int64_t DiskBytes(std::initializer_list<std::string> paths) {
        int64_t sum = 0;
        for (const std::string& p : paths) {
            struct stat st;
            EXPECT_EQ(lstat(p.c_str(), &st), 0) << p;
            sum += int64_t(st.st_blocks) * 512;
        }
        return sum;
    }
    static bool Exists(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    }
    static std::string OwnName() {
        const passwd* pw = getpwuid(getuid());
        return pw ? pw->pw_name : std::to_string(getuid());
    }
    static std::string OwnGroup() {
        const group* gr = getgrgid(getgid());
        return gr ? gr->gr_name : std::to_string(getgid());
    }
    // Lets the timer fire once more; false when the count was already done.
    bool NextSlice(TPropertiesForm* form) {
        if (!form->Counting()) return false;
        clock.Advance(TPropertiesForm::kSliceInterval);
        app->ProcessMessages();
        return true;
    }
};

TEST_F(PropertiesTest, AFileShowsItsNameTypePlaceSizesTimesOwnerAndPermissions) {
    const std::string path = files + "/report.txt";
    WriteBytes(path, 12345);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    SetTimes(path, 1700000000, 1600000000); // accessed 2023-11-14 22:13:20, modified 2020-09-13 12:26:40
    TPropertiesForm* form = Sheet({path});
    EXPECT_EQ(form->Captions(), (Captions{"Name:", "Type:", "Location:", "Size:", "Size on disk:", "Created:",
                                          "Modified:", "Accessed:", "Owner:", "Group:", "Permissions:"}));
    EXPECT_EQ(form->Caption(), "report.txt Properties");
    EXPECT_EQ(form->ValueOf("Name:"), "report.txt");
    EXPECT_EQ(form->ValueOf("Type:"), "TXT File") << "the list's Type column";
    EXPECT_EQ(form->ValueOf("Location:"), files);
    EXPECT_EQ(form->ValueOf("Size:"), "12.0 KB (12,345 bytes)");
    EXPECT_EQ(form->ValueOf("Size on disk:"), FormatByteSize(DiskBytes({path})));
    EXPECT_EQ(form->ValueOf("Modified:"), "13/09/2020 12:26:40");
    EXPECT_EQ(form->ValueOf("Accessed:"), "14/11/2023 22:13:20");
    struct statx st;
    ASSERT_EQ(statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &st), 0);
    if (st.stx_mask & STATX_BTIME)
        EXPECT_NE(form->ValueOf("Created:"), "unknown");
    else
        EXPECT_EQ(form->ValueOf("Created:"), "unknown") << "no birth time on this file system";
    EXPECT_EQ(form->ValueOf("Owner:"), OwnName());
    EXPECT_EQ(form->ValueOf("Group:"), OwnGroup());
    EXPECT_EQ(form->ValueOf("Permissions:"), "rw-r----- (0640)");
    EXPECT_FALSE(form->Counting());
    EXPECT_EQ(form->StatusLabel->Caption(), "");
}

// tree/ holds a/x (100 bytes), a/y (2,000), a/b/z (5), an empty c/ and a
// link to /usr (4 bytes, never followed): 4 files, 3 folders, 2,109 bytes.
TEST_F(PropertiesTest, AFolderIsCountedWholeInTimerSlicesWithTheFiguresGrowing) {
    const std::string tree = Make("tree/");
    Make("tree/a/");
    Make("tree/a/b/");
    Make("tree/c/");
    WriteBytes(tree + "/a/x", 100);
    WriteBytes(tree + "/a/y", 2000);
    WriteBytes(tree + "/a/b/z", 5);
    ASSERT_EQ(symlink("/usr", (tree + "/link").c_str()), 0);
    TPropertiesForm* form = Sheet({tree}, 2);
    EXPECT_EQ(form->Captions(), (Captions{"Name:", "Type:", "Location:", "Size:", "Size on disk:", "Contains:",
                                          "Created:", "Modified:", "Accessed:", "Owner:", "Group:", "Permissions:"}));
    EXPECT_EQ(form->ValueOf("Type:"), "File Folder");
    ASSERT_TRUE(form->Counting()) << "two entries are not the whole tree";
    EXPECT_EQ(form->StatusLabel->Caption(), "Counting...");
    // Nothing moves while no timer message comes.
    const AnsiString first = form->ValueOf("Contains:");
    app->ProcessMessages();
    EXPECT_EQ(form->ValueOf("Contains:"), first);
    std::vector<AnsiString> seen{first};
    for (int i = 0; i < 50 && NextSlice(form); ++i)
        if (seen.back() != form->ValueOf("Contains:")) seen.push_back(form->ValueOf("Contains:"));
    ASSERT_FALSE(form->Counting()) << "the count never ended";
    EXPECT_GE(seen.size(), 3u) << "the figures did not grow slice by slice";
    EXPECT_EQ(form->ValueOf("Contains:"), "4 files, 3 folders");
    EXPECT_EQ(form->ValueOf("Size:"), "2.05 KB (2,109 bytes)");
    EXPECT_EQ(form->ValueOf("Size on disk:"),
              FormatByteSize(DiskBytes({tree + "/a/x", tree + "/a/y", tree + "/a/b/z", tree + "/link"})));
    EXPECT_EQ(form->StatusLabel->Caption(), "");
}

TEST_F(PropertiesTest, ASymbolicLinkShowsItsTargetAndIsNotFollowed) {
    Make("real/");
    WriteBytes(files + "/real/big", 5000);
    ASSERT_EQ(symlink("real", (files + "/ln").c_str()), 0);
    ASSERT_EQ(symlink("nowhere/at all", (files + "/dangling").c_str()), 0);
    TPropertiesForm* form = Sheet({files + "/ln"});
    EXPECT_EQ(form->ValueOf("Target:"), "real");
    EXPECT_EQ(form->ValueOf("Size:"), "4 bytes") << "the link's own size, not the folder's";
    EXPECT_FALSE(form->Counting());
    form = Sheet({files + "/dangling"});
    EXPECT_EQ(form->ValueOf("Target:"), "nowhere/at all");
    EXPECT_EQ(form->ValueOf("Size:"), "14 bytes");
    EXPECT_EQ(form->ValueOf("Permissions:").substr(0, 9), "rwxrwxrwx");
}

// Root reads past permissions: the test thread gives that right up for a
// while (capabilities are a thread's own).
class WithoutReadRights {
public:
    WithoutReadRights() {
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header_, reduced);
    }
    ~WithoutReadRights() { syscall(SYS_capset, &header_, saved_); }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

TEST_F(PropertiesTest, AFolderThatCannotBeReadIsCountedAsSuchWithoutABox) {
    const std::string top = Make("top/");
    Make("top/locked/");
    WriteBytes(top + "/locked/secret", 50);
    WriteBytes(top + "/open", 30);
    ASSERT_EQ(chmod((top + "/locked").c_str(), 0), 0);
    {
        WithoutReadRights reduced;
        TPropertiesForm* form = Sheet({top});
        for (int i = 0; i < 10 && NextSlice(form); ++i) {
        }
        EXPECT_EQ(form->ValueOf("Contains:"), "1 file, 1 folder (1 folder could not be read)");
        EXPECT_EQ(form->ValueOf("Size:"), "30 bytes");
        form = Sheet({top + "/locked"});
        EXPECT_EQ(form->ValueOf("Contains:"), "0 files, 0 folders (1 folder could not be read)");
        EXPECT_EQ(form->ValueOf("Permissions:"), "--------- (0000)");
    }
    chmod((top + "/locked").c_str(), 0755);
    EXPECT_TRUE(shown.empty()) << "no error box";
}

TEST_F(PropertiesTest, SeveralItemsShowTheirCountAndTotalSize) {
    WriteBytes(files + "/one", 1000);
    WriteBytes(files + "/two", 24);
    Make("dir/");
    WriteBytes(files + "/dir/three", 2048);
    TPropertiesForm* form = Sheet({files + "/one", files + "/two", files + "/dir"});
    EXPECT_EQ(form->Caption(), "Properties of 3 items");
    EXPECT_EQ(form->Captions(), (Captions{"Items:", "Location:", "Size:", "Size on disk:", "Contains:"}));
    EXPECT_EQ(form->ValueOf("Items:"), "3 items");
    EXPECT_EQ(form->ValueOf("Location:"), files);
    EXPECT_EQ(form->ValueOf("Size:"), "3.00 KB (3,072 bytes)");
    EXPECT_EQ(form->ValueOf("Contains:"), "3 files, 1 folder");
}

TEST_F(PropertiesTest, EscapeClosesTheWindowWhileItCountsAndFreesIt) {
    const std::string big = Make("big/");
    for (int i = 0; i < 30; ++i) WriteBytes(big + "/f" + std::to_string(i), 1);
    TPropertiesFormService service(app.get());
    EXPECT_FALSE(service.ShowProperties({})) << "no items, no window";
    ASSERT_TRUE(service.ShowProperties({PidlOf(big)}));
    ASSERT_EQ(service.Forms().size(), 1u);
    TPropertiesForm* form = service.Forms()[0];
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(form->Counting()) << "30 entries fit the first slice";
    EXPECT_EQ(form->ValueOf("Contains:"), "30 files, 0 folders");
    form->SetSliceSize(1);
    form->SetItems({PidlOf(big)});
    ASSERT_TRUE(form->Counting());
    app->ProcessMessages();
    EXPECT_EQ(GetFocus(), form->ButtonClose->Handle());
    Key(VK_ESCAPE);
    EXPECT_TRUE(service.Forms().empty()) << "the window closed by Escape is freed";
    clock.Advance(1000);
    app->ProcessMessages(); // a slice due now finds no window
}

TEST_F(PropertiesTest, AltEnterAndAltDoubleClickOnTheSelectionOpenTheWindow) {
    WriteBytes(files + "/a.txt", 3);
    TExplorerTree* tree = ShownTree();
    TPropertiesFormService service(app.get());
    SetPropertySheetService(&service);
    const ScopeGuard unset([] { SetPropertySheetService(nullptr); });
    PDataNode a = Child(tree, tree->GetFirst(), "a.txt");
    ASSERT_TRUE(a);
    tree->ClearSelection();
    tree->SetSelected(a, true);
    tree->SetFocusedNode(a);
    tree->SetFocus();
    app->ProcessMessages();
    InjectKey(VK_MENU, true);
    Key(VK_RETURN, U'\r');
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    ASSERT_EQ(service.Forms().size(), 1u) << "Alt+Enter";
    EXPECT_EQ(service.Forms()[0]->ValueOf("Size:"), "3 bytes");
    // Alt held while the label is double-clicked (the first window, in
    // front of the tree, closed), pressed while another control had the keys.
    service.Forms()[0]->Close();
    app->ProcessMessages();
    ASSERT_TRUE(service.Forms().empty());
    auto* other = TComponent::Create<TEdit>(form);
    other->SetParent(form);
    other->SetBounds(0, 250, 80, 21);
    other->SetFocus();
    app->ProcessMessages();
    const RECT r = tree->GetDisplayRect(a, NoColumn, true);
    const POINT p = tree->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    clock.Advance(2000);
    InjectKey(VK_MENU, true);
    InjectDoubleClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    EXPECT_EQ(service.Forms().size(), 1u) << "Alt+double click";
}

// The list runs a double-clicked item itself: Alt held must still show the
// properties, never open the item.
TEST_F(PropertiesTest, AltDoubleClickInTheListShowsPropertiesInsteadOfOpening) {
    WriteBytes(files + "/b.txt", 7);
    const std::string marker = root + "/opened";
    SetShellOpener({"/bin/sh", "-c", "printf %s \"$0\" > '" + marker + "'"});
    const ScopeGuard noOpener([] { SetShellOpener({}); });
    form = app->CreateForm<TForm>();
    form->SetBounds(100, 100, 300, 300);
    auto* list = TComponent::Create<TExplorerListview>(form);
    TExplorerTreeOptions& o = list->TreeOptions();
    o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
    o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toThreadedImages));
    list->SetRootFolderCustomPath(W(files));
    list->SetParent(form);
    list->SetBounds(0, 0, 280, 260);
    form->Show();
    app->ProcessMessages();
    list->SetActive(true);
    TPropertiesFormService service(app.get());
    SetPropertySheetService(&service);
    const ScopeGuard unset([] { SetPropertySheetService(nullptr); });
    PDataNode b = Child(list, nullptr, "b.txt");
    ASSERT_TRUE(b);
    const RECT r = list->GetDisplayRect(b, NoColumn, true);
    const POINT p = list->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    InjectKey(VK_MENU, true);
    InjectDoubleClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    InjectKey(VK_MENU, false);
    app->ProcessMessages();
    ASSERT_EQ(service.Forms().size(), 1u);
    EXPECT_EQ(service.Forms()[0]->ValueOf("Name:"), "b.txt");
    EXPECT_FALSE(Exists(marker)) << "the item was opened";
}

} // namespace
} // namespace ax::testing
