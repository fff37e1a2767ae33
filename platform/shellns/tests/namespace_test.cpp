#include "platform/shellns/shellapi.h"
#include "shellns_fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

using namespace ax;
using ax::testing::PidlString;

namespace {

struct Pidl {
    PItemIDList p = nullptr;
    Pidl() = default;
    explicit Pidl(PItemIDList q) : p(q) {}
    ~Pidl() {
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        m->Free(p);
    }
    Pidl(const Pidl&) = delete;
    Pidl& operator=(const Pidl&) = delete;
};

std::string Item(uint8_t kind, const std::string& payload) {
    std::string s;
    s.push_back(char(payload.size() + 3));
    s.push_back(0);
    s.push_back(char(kind));
    return s + payload;
}
const std::string kEnd(2, '\0');

// Names of a folder's children as (display name, pidl bytes).
std::vector<std::pair<std::string, std::string>> Children(IShellFolder& f, uint32_t flags) {
    std::unique_ptr<IEnumIDList> list;
    EXPECT_EQ(f.EnumObjects(flags, &list), S_OK);
    std::vector<std::pair<std::string, std::string>> out;
    for (;;) {
        Pidl child;
        if (list->Next(&child.p) != S_OK) break;
        std::string name;
        f.GetDisplayNameOf(child.p, SHGDN_INFOLDER, &name);
        out.emplace_back(name, PidlString(child.p));
    }
    return out;
}

std::vector<std::string> Names(const std::vector<std::pair<std::string, std::string>>& items) {
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(i.first);
    return out;
}

} // namespace

class Namespace : public ax::testing::TempHome {};

TEST_F(Namespace, DesktopListsVirtualItemsThenTheDesktopDirectory) {
    Write(home + "/Desktop/note.txt", "x");
    mkdir((home + "/Desktop/proj").c_str(), 0755);
    Write(home + "/Desktop/.hidden", "x");
    ShellFolderPtr desktop;
    ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);

    auto all = Children(*desktop, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[0].second, Item(0x1F, "/computer") + kEnd);
    EXPECT_EQ(all[1].second, Item(0x1F, "/documents") + kEnd);
    EXPECT_EQ(all[2].second, Item(0x1F, "/recyclebin") + kEnd);
    auto names = Names(all);
    std::sort(names.begin() + 3, names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Computer", "Documents", "Recycle Bin", "note.txt",
                                               "proj"}));

    EXPECT_EQ(Names(Children(*desktop, SHCONTF_NONFOLDERS)), std::vector<std::string>{"note.txt"});
    auto withHidden = Names(Children(*desktop, SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN));
    std::sort(withHidden.begin(), withHidden.end());
    EXPECT_EQ(withHidden, (std::vector<std::string>{".hidden", "note.txt"}));
    EXPECT_TRUE(Children(*desktop, 0).empty());
}

TEST_F(Namespace, PathsParseThroughComputerAsRawBytes) {
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    Pidl tmp;
    ASSERT_EQ(desktop->ParseDisplayName("/tmp/", &tmp.p), S_OK);
    const std::string expected = std::string("\x0C\x00\x1F/computer", 12) +
                                 std::string("\x04\x00\x2F/", 4) +
                                 std::string("\x06\x00\x31tmp", 6) + kEnd;
    EXPECT_EQ(PidlString(tmp.p), expected);
    Pidl missing;
    EXPECT_NE(desktop->ParseDisplayName(root + "/nothing", &missing.p), S_OK);
    EXPECT_EQ(missing.p, nullptr);
    Pidl relative;
    EXPECT_NE(desktop->ParseDisplayName("tmp", &relative.p), S_OK);
}

TEST_F(Namespace, NonUtf8NameSurvivesEnumerationNamingAndParsing) {
    const std::string dir = root + "/d";
    mkdir(dir.c_str(), 0755);
    const std::string name = "caf\xE9\xFF.txt";
    Write(dir + "/" + name, "abc");
    ShellFolderPtr desktop, folder;
    SHGetDesktopFolder(&desktop);
    Pidl dirPidl;
    ASSERT_EQ(desktop->ParseDisplayName(dir, &dirPidl.p), S_OK);
    ASSERT_EQ(desktop->BindToObject(dirPidl.p, &folder), S_OK);
    auto kids = Children(*folder, SHCONTF_NONFOLDERS);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0].first, name);
    EXPECT_EQ(kids[0].second, Item(0x31, name) + kEnd);

    Pidl child(ILCreateItem(PIDL_KIND_FILE, name));
    std::string parsing;
    ASSERT_EQ(folder->GetDisplayNameOf(child.p, SHGDN_FORPARSING, &parsing), S_OK);
    EXPECT_EQ(parsing, dir + "/" + name);
    Pidl back;
    ASSERT_EQ(desktop->ParseDisplayName(parsing, &back.p), S_OK);
    std::string again;
    ASSERT_EQ(desktop->GetDisplayNameOf(back.p, SHGDN_FORPARSING, &again), S_OK);
    EXPECT_EQ(again, parsing);
    EXPECT_EQ(SHGetPathFromIDList(back.p), parsing);
}

TEST_F(Namespace, CompareIDsIsAStrictTotalOrder) {
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    Pidl foo(ILCreateItem(PIDL_KIND_FILE, "Foo")), foo2(ILCreateItem(PIDL_KIND_FILE, "foo")),
        bar(ILCreateItem(PIDL_KIND_FILE, "bar")), Bar(ILCreateItem(PIDL_KIND_FILE, "BAZ")),
        computer(ILCreateItem(PIDL_KIND_VIRTUAL, "/computer")),
        bin(ILCreateItem(PIDL_KIND_VIRTUAL, "/recyclebin")),
        same(ILCreateItem(PIDL_KIND_FILE, "Foo"));
    auto cmp = [&](const Pidl& a, const Pidl& b) {
        return int16_t(desktop->CompareIDs(0, a.p, b.p) & 0xFFFF);
    };
    EXPECT_EQ(cmp(foo, foo2), -1); // case-insensitive tie broken byte-wise
    EXPECT_EQ(cmp(foo2, foo), 1);
    EXPECT_EQ(cmp(foo, same), 0);
    EXPECT_EQ(cmp(bar, Bar), -1); // "bar" < "BAZ" ignoring case
    EXPECT_EQ(cmp(Bar, foo), -1);
    EXPECT_EQ(cmp(computer, bin), -1);
    EXPECT_EQ(cmp(bin, bar), -1); // virtual items first
    // Multi-level: a parent sorts before its children.
    const std::string longer = Item(0x31, "Foo") + Item(0x31, "a") + kEnd;
    EXPECT_EQ(int16_t(desktop->CompareIDs(0, foo.p, reinterpret_cast<PCItemIDList>(longer.data()))),
              -1);
}

TEST_F(Namespace, AttributesFollowTheFile) {
    const std::string dir = root + "/d";
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/sub").c_str(), 0755);
    mkdir((dir + "/sub/inner").c_str(), 0755);
    Write(dir + "/ro", "x");
    chmod((dir + "/ro").c_str(), 0444);
    Write(dir + "/.dot", "x");
    symlink("sub", (dir + "/link").c_str());
    ShellFolderPtr desktop, folder;
    SHGetDesktopFolder(&desktop);
    Pidl d;
    desktop->ParseDisplayName(dir, &d.p);
    ASSERT_EQ(desktop->BindToObject(d.p, &folder), S_OK);
    auto attrs = [&](const std::string& name) {
        Pidl c(ILCreateItem(PIDL_KIND_FILE, name));
        uint32_t a = 0xFFFFFFFF;
        PCItemIDList list[] = {c.p};
        return folder->GetAttributesOf(list, 1, &a) == S_OK ? a : 0u;
    };
    const uint32_t sub = attrs("sub");
    EXPECT_TRUE(sub & SFGAO_FOLDER);
    EXPECT_TRUE(sub & SFGAO_HASSUBFOLDER);
    EXPECT_TRUE(sub & SFGAO_FILESYSTEM);
    EXPECT_TRUE(sub & SFGAO_CANDELETE);
    EXPECT_FALSE(sub & SFGAO_LINK);
    EXPECT_TRUE(attrs("ro") & SFGAO_READONLY);
    EXPECT_FALSE(attrs("ro") & SFGAO_FOLDER);
    EXPECT_TRUE(attrs(".dot") & SFGAO_HIDDEN);
    EXPECT_TRUE(attrs("link") & SFGAO_LINK);
    EXPECT_FALSE(attrs("link") & SFGAO_FOLDER); // a link is never walked into
    EXPECT_EQ(attrs("gone"), 0u);
}

TEST_F(Namespace, FindDataMapsAttributesTimesAndLargeSizes) {
    const std::string f = root + "/big.bin";
    const int fd = open(f.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 20LL * 1024 * 1024 * 1024 + 7), 0);
    close(fd);
    const timespec times[2] = {{1577934245, 0}, {1577934245, 0}}; // 2020-01-02 03:04:05 UTC
    utimensat(AT_FDCWD, f.c_str(), times, 0);
    WIN32_FIND_DATA data;
    ASSERT_TRUE(FindDataFromPath(f, data));
    EXPECT_EQ(data.cFileName, "big.bin");
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(data.nFileSizeHigh, 5u);
    EXPECT_EQ(data.nFileSizeLow, 7u);
    EXPECT_EQ(data.ftLastWriteTime.Value(), 132224078450000000ULL);
    double local = 0;
    ASSERT_TRUE(FileTimeToLocalDateTime(data.ftLastWriteTime, local));
    EXPECT_NEAR(local, 43832.0 + (3 * 3600 + 4 * 60 + 5) / 86400.0, 1e-9);

    ASSERT_TRUE(FindDataFromPath(root, data));
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    chmod(f.c_str(), 0400);
    Write(root + "/.h", "");
    ASSERT_TRUE(FindDataFromPath(root + "/.h", data));
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(FindDataFromPath(f, data));
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

TEST_F(Namespace, SpecialFoldersAndTheTwoRoutesToDocuments) {
    Pidl desktop, drives, bin, personal, printers, templates, desktopDir;
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_DESKTOP, &desktop.p), S_OK);
    EXPECT_EQ(PidlString(desktop.p), kEnd);
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_DRIVES, &drives.p), S_OK);
    EXPECT_EQ(PidlString(drives.p), Item(0x1F, "/computer") + kEnd);
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_BITBUCKET, &bin.p), S_OK);
    EXPECT_EQ(PidlString(bin.p), Item(0x1F, "/recyclebin") + kEnd);
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_PERSONAL, &personal.p), S_OK);
    EXPECT_EQ(PidlString(personal.p), Item(0x1F, "/documents") + kEnd);
    EXPECT_EQ(SHGetSpecialFolderLocation(CSIDL_PRINTERS, &printers.p), E_FAIL);
    EXPECT_EQ(printers.p, nullptr);
    EXPECT_EQ(SHGetSpecialFolderLocation(CSIDL_TEMPLATES, &templates.p), E_FAIL); // no such folder
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_DESKTOPDIRECTORY, &desktopDir.p), S_OK);
    EXPECT_EQ(SHGetPathFromIDList(desktopDir.p), home + "/Desktop");

    // The user-dirs file moves Documents; both routes name the same path.
    mkdir((home + "/Docs").c_str(), 0755);
    Write(home + "/.config/user-dirs.dirs", "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    ShellFolderPtr shell;
    SHGetDesktopFolder(&shell);
    std::string viaDesktop, viaComputer, name;
    ASSERT_EQ(shell->GetDisplayNameOf(personal.p, SHGDN_FORPARSING, &viaDesktop), S_OK);
    Pidl physical;
    ASSERT_EQ(shell->ParseDisplayName(home + "/Docs", &physical.p), S_OK);
    ASSERT_EQ(shell->GetDisplayNameOf(physical.p, SHGDN_FORPARSING, &viaComputer), S_OK);
    EXPECT_EQ(viaDesktop, home + "/Docs");
    EXPECT_EQ(viaComputer, viaDesktop);
    shell->GetDisplayNameOf(personal.p, SHGDN_NORMAL, &name);
    EXPECT_EQ(name, "Docs");
    Pidl byKey;
    ASSERT_EQ(shell->ParseDisplayName("::{DOCUMENTS}", &byKey.p), S_OK);
    EXPECT_EQ(PidlString(byKey.p), PidlString(personal.p));
    // A child reached through the Documents item has the physical path too.
    Write(home + "/Docs/a.txt", "a");
    ShellFolderPtr docs;
    ASSERT_EQ(shell->BindToObject(personal.p, &docs), S_OK);
    Pidl a;
    ASSERT_EQ(docs->ParseDisplayName("a.txt", &a.p), S_OK);
    std::string aPath;
    docs->GetDisplayNameOf(a.p, SHGDN_FORPARSING, &aPath);
    EXPECT_EQ(aPath, home + "/Docs/a.txt");
}

TEST_F(Namespace, MountTableGivesTheVolumes) {
    mkdir((root + "/usb stick").c_str(), 0755);
    Write(mounts, "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/u/usb\\040stick vfat rw 0 0\n"
                  "srv:/x /mnt/net nfs4 rw 0 0\ntmpfs /run tmpfs rw 0 0\n");
    auto visible = VisibleVolumes();
    ASSERT_EQ(visible.size(), 3u);
    EXPECT_EQ(visible[0].mountPoint, "/");
    EXPECT_EQ(visible[1].mountPoint, "/media/u/usb stick");
    EXPECT_TRUE(visible[1].removable);
    EXPECT_TRUE(visible[2].remote);
    EXPECT_EQ(VolumeOfPath("/media/u/usb stick/a/b", true).mountPoint, "/media/u/usb stick");
    EXPECT_EQ(VolumeOfPath("/media/u/usb sticky", true).mountPoint, "/");
    EXPECT_EQ(DriveRoot("/run/user/1"), "/run/");
    EXPECT_TRUE(DriveRemote("/mnt/net/"));
    EXPECT_FALSE(DriveRemote("/home/"));
    EXPECT_EQ(PathToPidlBytes("/media/u/usb stick/f"),
              Item(0x1F, "/computer") + Item(0x2F, "/media/u/usb stick") + Item(0x31, "f") + kEnd);
    EXPECT_GT(ClusterSize("/"), 0u);
}

TEST_F(Namespace, ShellFileInfoTypeNames) {
    mkdir((root + "/d").c_str(), 0755);
    Write(root + "/f.txt", "");
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    Pidl d, f;
    desktop->ParseDisplayName(root + "/d", &d.p);
    desktop->ParseDisplayName(root + "/f.txt", &f.p);
    SHFILEINFO info;
    ASSERT_TRUE(SHGetFileInfo(d.p, "", 0, info, SHGFI_PIDL | SHGFI_TYPENAME));
    EXPECT_EQ(info.szTypeName, "File Folder");
    ASSERT_TRUE(SHGetFileInfo(f.p, "", 0, info, SHGFI_PIDL | SHGFI_TYPENAME));
    EXPECT_EQ(info.szTypeName, ""); // the caller falls back on the extension
}
