#include "platform/shellns/shellapi.h"
#include "shellns_fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

using namespace ax;
using ax::testing::PidlString;

namespace {

// "//" and a final "/" folded, as paths are compared.
std::string NormaliseForTest(std::string path) {
    for (size_t at; (at = path.find("//")) != std::string::npos;)
        path.erase(at, 1);
    if (path.size() > 2 && path.compare(path.size() - 2, 2, "/.") == 0) path.resize(path.size() - 2);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

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

// Sort keys order items exactly as CompareIDs does: names from a small
// alphabet of look-alikes (cases, accents, a sign that folds to a letter,
// bytes that are no UTF-8, prefixes of each other), every pair compared.
TEST_F(Namespace, SortKeysOrderAsCompareIDs) {
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    auto* keys = dynamic_cast<IShellFolderSortKeys*>(desktop.get());
    ASSERT_NE(keys, nullptr);
    const std::vector<std::string> pieces{"a", "A", "b", "Z", "_", "0", "\xC3\xA9", "\xC3\x89", "\xE2\x84\xAA",
                                          "k", "\xFF", "\x80", "\xC3", "\xF0\x9F\x98\x80", ".", "~"};
    std::vector<std::pair<uint8_t, std::string>> items{{PIDL_KIND_VIRTUAL, "/computer"},
                                                       {PIDL_KIND_VIRTUAL, "/documents"},
                                                       {PIDL_KIND_VIRTUAL, "/recyclebin"},
                                                       {PIDL_KIND_VOLUME, "/media/a"},
                                                       {PIDL_KIND_TRASH, "a"}};
    uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int n = 0; n < 300; ++n) {
        std::string name;
        for (int len = 1 + int(next() % 4); len > 0; --len) name += pieces[next() % pieces.size()];
        items.emplace_back(PIDL_KIND_FILE, name);
    }
    std::vector<std::unique_ptr<Pidl>> pidls;
    std::vector<std::string> sortKeys;
    for (const auto& [kind, payload] : items) {
        pidls.push_back(std::make_unique<Pidl>(ILCreateItem(kind, payload)));
        std::string key = "x";
        ASSERT_TRUE(keys->AppendSortKey(pidls.back()->p, &key)) << payload;
        ASSERT_EQ(key[0], 'x') << "appended";
        sortKeys.push_back(key.substr(1));
    }
    int pairs = 0;
    for (size_t i = 0; i < pidls.size(); ++i)
        for (size_t j = 0; j < pidls.size(); ++j) {
            const int byIDs = int16_t(desktop->CompareIDs(0, pidls[i]->p, pidls[j]->p) & 0xFFFF);
            const int c = sortKeys[i].compare(sortKeys[j]);
            const int byKeys = c < 0 ? -1 : c > 0 ? 1 : 0;
            ASSERT_EQ(byKeys, byIDs) << items[i].second << " / " << items[j].second;
            ++pairs;
        }
    EXPECT_GT(pairs, 90000);
    // No key for two items, or for a name holding a 0 byte.
    const std::string two = Item(0x31, "a") + Item(0x31, "b") + kEnd;
    std::string key;
    EXPECT_FALSE(keys->AppendSortKey(reinterpret_cast<PCItemIDList>(two.data()), &key));
    const std::string zero = Item(0x31, std::string("a\0b", 3)) + kEnd;
    EXPECT_FALSE(keys->AppendSortKey(reinterpret_cast<PCItemIDList>(zero.data()), &key));
    EXPECT_TRUE(key.empty());
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
    EXPECT_EQ(attrs("link") & (SFGAO_LINK | SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM),
              SFGAO_LINK | SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM);
    EXPECT_EQ(attrs("gone"), 0u);
}

// A link to a folder is a folder to the user; a link back to a folder above
// it is a loop and stays a plain item, so every walk ends.
TEST_F(Namespace, LinksToFoldersAreFoldersAndLoopsEnd) {
    const std::string dir = root + "/d";
    mkdir(dir.c_str(), 0755);
    mkdir((root + "/elsewhere").c_str(), 0755);
    Write(root + "/elsewhere/inner.txt", "x");
    symlink("../elsewhere", (dir + "/away").c_str());
    symlink(".", (dir + "/self").c_str());
    symlink("..", (dir + "/up").c_str());
    symlink(root.c_str(), (dir + "/top").c_str());
    symlink("../elsewhere/inner.txt", (dir + "/file").c_str());
    symlink("nowhere", (dir + "/dangling").c_str());
    ShellFolderPtr desktop, folder;
    SHGetDesktopFolder(&desktop);
    Pidl d;
    ASSERT_EQ(desktop->ParseDisplayName(dir, &d.p), S_OK);
    ASSERT_EQ(desktop->BindToObject(d.p, &folder), S_OK);
    auto attrs = [&](const std::string& name) {
        Pidl c(ILCreateItem(PIDL_KIND_FILE, name));
        uint32_t a = SFGAO_FOLDER | SFGAO_LINK | SFGAO_VALIDATE | SFGAO_FILESYSTEM;
        PCItemIDList list[] = {c.p};
        return folder->GetAttributesOf(list, 1, &a) == S_OK ? a : 0u;
    };
    const uint32_t linkedFolder = SFGAO_FOLDER | SFGAO_LINK | SFGAO_FILESYSTEM;
    EXPECT_EQ(attrs("away"), linkedFolder);
    for (const char* loop : {"self", "up", "top"})
        EXPECT_EQ(attrs(loop), SFGAO_LINK | SFGAO_FILESYSTEM) << loop;
    EXPECT_EQ(attrs("file"), SFGAO_LINK | SFGAO_FILESYSTEM);
    EXPECT_EQ(attrs("dangling"), SFGAO_LINK | SFGAO_FILESYSTEM);

    // Bound, the link shows the folder it leads to, under its own path.
    Pidl away(ILCreateItem(PIDL_KIND_FILE, "away"));
    ShellFolderPtr linked;
    ASSERT_EQ(folder->BindToObject(away.p, &linked), S_OK);
    auto kids = Children(*linked, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0].first, "inner.txt");
    Pidl inner(ILCreateItem(PIDL_KIND_FILE, "inner.txt"));
    std::string parsing;
    ASSERT_EQ(linked->GetDisplayNameOf(inner.p, SHGDN_FORPARSING, &parsing), S_OK);
    EXPECT_EQ(parsing, dir + "/away/inner.txt");
    Pidl back;
    ASSERT_EQ(desktop->ParseDisplayName(parsing, &back.p), S_OK);
    EXPECT_EQ(SHGetPathFromIDList(back.p), parsing);
    // Folders only: the linked folder is listed as a folder, the loops not.
    auto names = Names(Children(*folder, SHCONTF_FOLDERS));
    EXPECT_EQ(names, std::vector<std::string>{"away"});

    for (const char* loop : {"self", "up", "top"}) {
        Pidl l(ILCreateItem(PIDL_KIND_FILE, loop));
        ShellFolderPtr none;
        EXPECT_NE(folder->BindToObject(l.p, &none), S_OK) << loop;
    }
    // A PIDL that goes round the loop does not bind either.
    const std::string round =
        PidlString(d.p).substr(0, PidlString(d.p).size() - 2) + Item(0x31, "self") +
        Item(0x31, "away") + kEnd;
    ShellFolderPtr none;
    EXPECT_NE(desktop->BindToObject(reinterpret_cast<PCItemIDList>(round.data()), &none), S_OK);
}

// Two links that lead to each other's folders: expanding every folder, as
// a user would, comes to an end.
TEST_F(Namespace, AWalkThroughLinkedFoldersEnds) {
    mkdir((root + "/a").c_str(), 0755);
    mkdir((root + "/b").c_str(), 0755);
    symlink("../b", (root + "/a/to_b").c_str());
    symlink("../a", (root + "/b/to_a").c_str());
    ShellFolderPtr desktop, start;
    SHGetDesktopFolder(&desktop);
    Pidl a;
    ASSERT_EQ(desktop->ParseDisplayName(root + "/a", &a.p), S_OK);
    ASSERT_EQ(desktop->BindToObject(a.p, &start), S_OK);
    int deepest = 0;
    std::function<void(IShellFolder&, int)> walk = [&](IShellFolder& f, int depth) {
        deepest = std::max(deepest, depth);
        if (depth > 20) return; // the guard under test failed; stop here
        std::unique_ptr<IEnumIDList> list;
        ASSERT_EQ(f.EnumObjects(SHCONTF_FOLDERS, &list), S_OK);
        for (;;) {
            Pidl child;
            if (list->Next(&child.p) != S_OK) break;
            ShellFolderPtr sub;
            if (f.BindToObject(child.p, &sub) == S_OK) walk(*sub, depth + 1);
        }
    };
    walk(*start, 0);
    EXPECT_EQ(deepest, 1) << "a/to_b is b; b/to_a would be a again";
}

// Folders deeper than a whole path may be: every query still answers.
TEST_F(Namespace, FoldersDeeperThanPathMax) {
    const std::string name(200, 'n');
    const std::string deepest = ax::testing::MakeDeepFolders(root, name, 25);
    ASSERT_GT(deepest.size(), 5000u);
    const std::string parentPath = deepest.substr(0, deepest.rfind('/'));
    {
        const int fd = open(root.c_str(), O_PATH | O_DIRECTORY);
        int at = fd;
        std::vector<int> fds;
        for (int i = 0; i < 25; ++i) {
            at = openat(at, name.c_str(), O_PATH | O_DIRECTORY);
            fds.push_back(at);
        }
        const int leaf = openat(at, "leaf.txt", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(leaf, 0);
        ASSERT_EQ(write(leaf, "12345", 5), 5);
        close(leaf);
        for (int f : fds)
            close(f);
        close(fd);
    }
    ShellFolderPtr desktop, folder;
    SHGetDesktopFolder(&desktop);
    Pidl deep;
    ASSERT_EQ(desktop->ParseDisplayName(deepest, &deep.p), S_OK);
    ASSERT_EQ(desktop->BindToObject(deep.p, &folder), S_OK);
    auto kids = Children(*folder, SHCONTF_NONFOLDERS);
    ASSERT_EQ(Names(kids), std::vector<std::string>{"leaf.txt"});
    Pidl leaf(ILCreateItem(PIDL_KIND_FILE, "leaf.txt"));
    PCItemIDList list[] = {leaf.p};
    uint32_t a = SFGAO_FILESYSTEM | SFGAO_VALIDATE | SFGAO_FOLDER;
    ASSERT_EQ(folder->GetAttributesOf(list, 1, &a), S_OK);
    EXPECT_EQ(a, SFGAO_FILESYSTEM);
    WIN32_FIND_DATA data;
    ASSERT_EQ(folder->GetFindData(leaf.p, &data), S_OK);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    std::string parsing;
    ASSERT_EQ(folder->GetDisplayNameOf(leaf.p, SHGDN_FORPARSING, &parsing), S_OK);
    EXPECT_EQ(parsing, deepest + "/leaf.txt");
    Pidl byPath;
    ASSERT_EQ(desktop->ParseDisplayName(parsing, &byPath.p), S_OK);

    // The folder above knows it holds a folder.
    Pidl upper;
    ASSERT_EQ(desktop->ParseDisplayName(parentPath, &upper.p), S_OK);
    ShellFolderPtr upperFolder;
    ASSERT_EQ(desktop->BindToObject(upper.p, &upperFolder), S_OK);
    Pidl last(ILCreateItem(PIDL_KIND_FILE, name));
    PCItemIDList lastList[] = {last.p};
    uint32_t b = SFGAO_FOLDER | SFGAO_VALIDATE;
    ASSERT_EQ(upperFolder->GetAttributesOf(lastList, 1, &b), S_OK);
    EXPECT_EQ(b, SFGAO_FOLDER);
}

// ".." leaves the folder a link led to, as the kernel would.
TEST_F(Namespace, DotDotIsResolvedOnDisk) {
    mkdir((root + "/real").c_str(), 0755);
    mkdir((root + "/real/sub").c_str(), 0755);
    Write(root + "/real/x.txt", "x");
    symlink("real/sub", (root + "/link").c_str());
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    Pidl viaLink;
    ASSERT_EQ(desktop->ParseDisplayName(root + "/link/../x.txt", &viaLink.p), S_OK);
    EXPECT_EQ(SHGetPathFromIDList(viaLink.p), root + "/real/x.txt");
    Pidl missing;
    Write(root + "/y.txt", "y");
    EXPECT_NE(desktop->ParseDisplayName(root + "/nothing/../y.txt", &missing.p), S_OK);
    Pidl plain;
    ASSERT_EQ(desktop->ParseDisplayName(root + "/real/./sub/../x.txt", &plain.p), S_OK);
    EXPECT_EQ(SHGetPathFromIDList(plain.p), root + "/real/x.txt");
}

// Parsing many paths at once gives what parsing each would.
TEST_F(Namespace, ParsingManyPathsAtOnceGivesTheSamePIDLs) {
    const std::string dir = root + "/many";
    mkdir(dir.c_str(), 0755);
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        Write(dir + "/f" + std::to_string(i), "");
        paths.push_back(dir + "/f" + std::to_string(i));
    }
    Write(dir + "/.hidden", "");
    mkdir((dir + "/sub").c_str(), 0755);
    symlink("sub", (dir + "/link").c_str());
    symlink("nowhere", (dir + "/dangling").c_str());
    for (const std::string& extra :
         {dir + "/.hidden", dir + "/sub", dir + "/link", dir + "/dangling", dir + "/absent",
          dir + "/link/../f3", dir + "/./f4", dir + "//f5/", root + "/other", std::string("/"),
          std::string("relative"), std::string(""), std::string("::{computer}"),
          std::string("::{nothing}")})
        paths.push_back(extra);
    const std::vector<UniquePIDL> all = ParsePaths(paths);
    ASSERT_EQ(all.size(), paths.size());
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    for (size_t i = 0; i < paths.size(); ++i) {
        Pidl one;
        const bool parses = desktop->ParseDisplayName(paths[i], &one.p) == S_OK;
        EXPECT_EQ(bool(all[i]), parses) << paths[i];
        if (parses && all[i]) {
            EXPECT_EQ(PidlString(all[i].get()), PidlString(one.p)) << paths[i];
        }
    }
    EXPECT_FALSE(all[paths.size() - 10]) << "absent";
    EXPECT_TRUE(all[paths.size() - 5]) << "the root";
}

// Told along: which paths may be folders. Only a plain entry is surely none,
// whether its folder was listed (many paths in it) or each was looked at.
TEST_F(Namespace, ParsingManyPathsTellsWhichMayBeFolders) {
    for (const int files : {20, 2}) {
        const std::string dir = root + "/hint" + std::to_string(files);
        mkdir(dir.c_str(), 0755);
        std::vector<std::string> paths;
        for (int i = 0; i < files; ++i) {
            Write(dir + "/f" + std::to_string(i), "");
            paths.push_back(dir + "/f" + std::to_string(i));
        }
        mkdir((dir + "/sub").c_str(), 0755);
        symlink("sub", (dir + "/link").c_str());
        symlink("f0", (dir + "/filelink").c_str());
        for (const char* extra : {"/sub", "/link", "/filelink", "/absent"})
            paths.push_back(dir + extra);
        paths.push_back("/");
        std::vector<bool> mayBeFolder;
        const std::vector<UniquePIDL> all = ParsePaths(paths, mayBeFolder);
        ASSERT_EQ(mayBeFolder.size(), paths.size());
        for (int i = 0; i < files; ++i)
            EXPECT_FALSE(mayBeFolder[size_t(i)]) << paths[size_t(i)];
        const size_t n = size_t(files);
        EXPECT_TRUE(mayBeFolder[n]) << "a folder";
        EXPECT_TRUE(mayBeFolder[n + 1]) << "a link to a folder";
        EXPECT_TRUE(mayBeFolder[n + 2]) << "a link, whatever it leads to, is looked at";
        EXPECT_FALSE(all[n + 3]) << "absent";
        EXPECT_TRUE(mayBeFolder[n + 4]) << "the root";
    }
}

// A volume of the mount table is a drive even while nothing answers there.
TEST_F(Namespace, MountedVolumeWithoutItsMediumStillValidates) {
    Write(mounts, "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/u/gone vfat rw 0 0\n");
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    auto validate = [&](const std::string& mountPoint) {
        const std::string bytes = Item(0x1F, "/computer") +
                                  std::string(1, char(mountPoint.size() + 3)) + std::string(1, '\0') +
                                  "\x2F" + mountPoint + kEnd;
        PCItemIDList list[] = {reinterpret_cast<PCItemIDList>(bytes.data())};
        uint32_t a = SFGAO_FILESYSTEM | SFGAO_VALIDATE;
        return desktop->GetAttributesOf(list, 1, &a) == S_OK && (a & SFGAO_FILESYSTEM);
    };
    EXPECT_TRUE(validate("/media/u/gone"));
    EXPECT_FALSE(validate("/media/u/never"));
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
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_PRINTERS, &printers.p), S_OK);
    EXPECT_EQ(PidlString(printers.p), Item(0x1F, "/printers") + kEnd);
    EXPECT_EQ(SHGetPathFromIDList(printers.p), "") << "the printers are no folder on disk";
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

namespace {

// What xdg-user-dir prints for a key, with the test's environment; "" when
// it is not installed.
std::string XdgUserDirProgram(const std::string& key) {
    if (access("/usr/bin/xdg-user-dir", X_OK) != 0) return {};
    FILE* p = popen(("/usr/bin/xdg-user-dir " + key).c_str(), "r");
    if (!p) return {};
    std::string out;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, p))
        out.append(buffer, n);
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '/')) out.pop_back();
    return out;
}

} // namespace

// The user-dirs file is read as the shell reads it when xdg-user-dir sources
// it: quotes, escapes, variables and comments.
TEST_F(Namespace, UserDirsAreReadAsTheShellReadsThem) {
    Write(home + "/.config/user-dirs.dirs",
          "# written by hand\n"
          "XDG_DESKTOP_DIR=\"$HOME/Desk top\"   # a trailing comment\n"
          "  XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"/\"\n"
          "XDG_MUSIC_DIR=$HOME/Mu\\ sic\n"
          "XDG_PICTURES_DIR='/srv/$HOME pics'\n"
          "XDG_VIDEOS_DIR=\"${HOME}//Vids/.\"\n"
          "XDG_TEMPLATES_DIR=\"$HOME/first\"\n"
          "XDG_TEMPLATES_DIR=\"$HOME/second\"\n"
          "XDG_DOWNLOAD_DIR=\"$HOME\"\n");
    const std::pair<const char*, std::string> expected[] = {
        {"DESKTOP", home + "/Desk top"},   {"DOCUMENTS", home + "/My \"Docs\""},
        {"MUSIC", home + "/Mu sic"},       {"PICTURES", "/srv/$HOME pics"},
        {"VIDEOS", home + "/Vids"},        {"TEMPLATES", home + "/second"},
        {"DOWNLOAD", ""}, // the home folder itself: switched off
    };
    for (const auto& [key, path] : expected) {
        EXPECT_EQ(XdgUserDirectory(key), path) << key;
        const std::string program = XdgUserDirProgram(key);
        if (!program.empty() && !path.empty()) {
            EXPECT_EQ(NormaliseForTest(program), path) << key << " as xdg-user-dir reads it";
        }
    }

    // Both routes to Documents: one path, one kind of item.
    mkdir((home + "/My \"Docs\"").c_str(), 0755);
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    Pidl viaDesktop, viaComputer;
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_PERSONAL, &viaDesktop.p), S_OK);
    ASSERT_EQ(desktop->ParseDisplayName(home + "/My \"Docs\"", &viaComputer.p), S_OK);
    std::string a, b;
    desktop->GetDisplayNameOf(viaDesktop.p, SHGDN_FORPARSING, &a);
    desktop->GetDisplayNameOf(viaComputer.p, SHGDN_FORPARSING, &b);
    EXPECT_EQ(a, b);
    const uint32_t kinds = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR;
    uint32_t attrA = kinds | SFGAO_VALIDATE, attrB = kinds | SFGAO_VALIDATE;
    PCItemIDList la[] = {viaDesktop.p}, lb[] = {viaComputer.p};
    ASSERT_EQ(desktop->GetAttributesOf(la, 1, &attrA), S_OK);
    ASSERT_EQ(desktop->GetAttributesOf(lb, 1, &attrB), S_OK);
    EXPECT_EQ(attrA & kinds, kinds);
    EXPECT_EQ(attrB & kinds, kinds);
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

// Without a display the system image list's stock pictures stand in:
// document 0, folder 3 (open 4), fixed disk 8, computer 15, shortcut 29.
TEST_F(Namespace, HeadlessIconsAreTheStockPicturesOfEachKind) {
    IShellIconProvider& icons = ShellIconProvider();
    EXPECT_EQ(icons.IconIndex(0, "f.txt", false, true), 0);
    EXPECT_EQ(icons.IconIndex(1, "d", false, true), 3);
    EXPECT_EQ(icons.IconIndex(1, "d", true, true), 4);
    EXPECT_EQ(icons.IconIndex(2, "", true, false), 15);
    EXPECT_EQ(icons.IconIndex(3, "/", false, false), 8);
    EXPECT_EQ(icons.IconIndex(4, "l", false, true), 29);
    EXPECT_EQ(icons.IconIndex(5, "", false, true), 0) << "an unknown kind";
    EXPECT_EQ(icons.IconIndex(-1, "", false, true), 0) << "an unknown kind";

    mkdir((root + "/d").c_str(), 0755);
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    Pidl d;
    desktop->ParseDisplayName(root + "/d", &d.p);
    SHFILEINFO info;
    ASSERT_TRUE(SHGetFileInfo(d.p, "", 0, info, SHGFI_PIDL | SHGFI_SYSICONINDEX));
    EXPECT_EQ(info.iIcon, 3);
    ASSERT_TRUE(SHGetFileInfo(d.p, "", 0, info, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_OPENICON));
    EXPECT_EQ(info.iIcon, 4);
}
