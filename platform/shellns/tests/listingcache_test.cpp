// A big folder is read from the disk once while it is unchanged, and again
// as soon as an entry is added, removed or renamed.
#include "platform/shellns/shellapi.h"
#include "shellns_fixture.h"

#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace ax;

namespace {

std::map<std::string, int> reads;

void CountRead(const std::string& path) {
    ++reads[path];
}

struct Pidl {
    PItemIDList p = nullptr;
    ~Pidl() {
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        m->Free(p);
    }
};

// The folder's items' names as listed.
std::vector<std::string> Names(IShellFolder& folder, uint32_t flags) {
    std::unique_ptr<IEnumIDList> list;
    EXPECT_EQ(folder.EnumObjects(flags, &list), S_OK);
    std::vector<std::string> out;
    for (;;) {
        Pidl child;
        if (list->Next(&child.p) != S_OK) break;
        std::string name;
        folder.GetDisplayNameOf(child.p, SHGDN_INFOLDER, &name);
        out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

class ListingCache : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        big = home + "/big";
        ASSERT_EQ(mkdir(big.c_str(), 0755), 0);
        for (int i = 0; i < kFiles; ++i) Touch(big + "/f" + std::to_string(1000 + i));
        reads.clear();
        SetFolderReadObserver(CountRead);
    }
    void TearDown() override {
        SetFolderReadObserver(nullptr);
        TempHome::TearDown();
    }
    static void Touch(const std::string& path) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    // The folder's times set to now plus offset seconds: settled when in
    // the past, in the grain of a change still to come when ahead.
    void SetModified(const std::string& path, time_t offset) {
        timespec times[2];
        clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec += offset;
        times[1] = times[0];
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    ShellFolderPtr Bind(const std::string& path) {
        ShellFolderPtr desktop, folder;
        SHGetDesktopFolder(&desktop);
        Pidl pidl;
        EXPECT_EQ(desktop->ParseDisplayName(path, &pidl.p), S_OK);
        EXPECT_EQ(desktop->BindToObject(pidl.p, &folder), S_OK);
        return folder;
    }
    // Whether home/name holds a folder, as the tree asks it.
    bool HasSubFolder(const std::string& name) {
        ShellFolderPtr homeFolder = Bind(home);
        Pidl child;
        EXPECT_EQ(homeFolder->ParseDisplayName(name, &child.p), S_OK);
        uint32_t attributes = SFGAO_HASSUBFOLDER;
        PCItemIDList items[] = {child.p};
        EXPECT_EQ(homeFolder->GetAttributesOf(items, 1, &attributes), S_OK);
        return attributes & SFGAO_HASSUBFOLDER;
    }
    static constexpr int kFiles = 1100;
    std::string big;
};

TEST_F(ListingCache, AnUnchangedBigFolderIsReadOnceForEveryQuestion) {
    SetModified(big, -3600);
    EXPECT_FALSE(HasSubFolder("big"));
    ShellFolderPtr folder = Bind(big);
    EXPECT_EQ(Names(*folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS).size(), size_t(kFiles));
    EXPECT_TRUE(Names(*folder, SHCONTF_FOLDERS).empty());
    EXPECT_FALSE(HasSubFolder("big"));
    // Many items' attributes at once are answered from a listing too.
    std::vector<Pidl> items(20);
    std::vector<PCItemIDList> ids;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(folder->ParseDisplayName("f" + std::to_string(1000 + i), &items[i].p), S_OK);
        ids.push_back(items[i].p);
    }
    uint32_t attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER;
    EXPECT_EQ(folder->GetAttributesOf(ids.data(), 20, &attributes), S_OK);
    EXPECT_EQ(attributes, uint32_t(SFGAO_FILESYSTEM));
    EXPECT_EQ(reads[big], 1);
}

TEST_F(ListingCache, AFolderChangedOnDiskIsReadAgain) {
    SetModified(big, -3600);
    ShellFolderPtr folder = Bind(big);
    ASSERT_EQ(Names(*folder, SHCONTF_NONFOLDERS).size(), size_t(kFiles));

    Touch(big + "/added");
    std::vector<std::string> names = Names(*folder, SHCONTF_NONFOLDERS);
    EXPECT_EQ(names.size(), size_t(kFiles + 1));
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "added"));
    EXPECT_EQ(reads[big], 2);

    // A change is seen even when the folder's time is set back after it:
    // its change time moves.
    SetModified(big, -3600);
    Names(*folder, SHCONTF_NONFOLDERS);
    ASSERT_EQ(reads[big], 3);
    ASSERT_EQ(rename((big + "/added").c_str(), (big + "/renamed").c_str()), 0);
    SetModified(big, -3600);
    names = Names(*folder, SHCONTF_NONFOLDERS);
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "renamed"));
    EXPECT_FALSE(std::binary_search(names.begin(), names.end(), "added"));
    EXPECT_EQ(reads[big], 4);

    ASSERT_EQ(mkdir((big + "/sub").c_str(), 0755), 0);
    SetModified(big, -3600);
    EXPECT_EQ(Names(*folder, SHCONTF_FOLDERS), std::vector<std::string>{"sub"});
    EXPECT_TRUE(HasSubFolder("big"));
    ASSERT_EQ(unlink((big + "/renamed").c_str()), 0);
    SetModified(big, -3600);
    EXPECT_EQ(Names(*folder, SHCONTF_NONFOLDERS).size(), size_t(kFiles));
    EXPECT_EQ(reads[big], 6); // once after each change, whatever asked
}

TEST_F(ListingCache, AKeptListingServesItemsOfBothSortsAsFromTheDisk) {
    ASSERT_EQ(mkdir((big + "/sub").c_str(), 0755), 0);
    Touch(big + "/.hidden");
    SetModified(big, -3600);
    ShellFolderPtr folder = Bind(big);
    const uint32_t both = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;
    // Read from the disk, then from the kept listing: the same items.
    const std::vector<std::string> read = Names(*folder, both | SHCONTF_INCLUDEHIDDEN);
    EXPECT_EQ(read.size(), size_t(kFiles + 2));
    EXPECT_EQ(Names(*folder, both | SHCONTF_INCLUDEHIDDEN), read);
    const std::vector<std::string> shown = Names(*folder, both);
    EXPECT_EQ(shown.size(), size_t(kFiles + 1));
    EXPECT_FALSE(std::binary_search(shown.begin(), shown.end(), ".hidden"));
    EXPECT_TRUE(std::binary_search(shown.begin(), shown.end(), "sub"));
    // Each item tells its sort.
    std::unique_ptr<IEnumIDList> list;
    ASSERT_EQ(folder->EnumObjects(both | SHCONTF_INCLUDEHIDDEN, &list), S_OK);
    auto* kinds = dynamic_cast<IEnumIDListKinds*>(list.get());
    ASSERT_NE(kinds, nullptr);
    EXPECT_FALSE(kinds->LastIsNoFolder()); // nothing taken yet
    int files = 0, folders = 0;
    for (;;) {
        Pidl child;
        if (list->Next(&child.p) != S_OK) break;
        std::string name;
        folder->GetDisplayNameOf(child.p, SHGDN_INFOLDER, &name);
        if (kinds->LastIsNoFolder()) ++files;
        else {
            ++folders;
            EXPECT_EQ(name, "sub");
        }
    }
    EXPECT_EQ(files, kFiles + 1);
    EXPECT_EQ(folders, 1);
    EXPECT_EQ(reads[big], 1);
}

TEST_F(ListingCache, AListingIsReadAsAskedAndKeptOnlyWhenReadToItsEnd) {
    SetModified(big, -3600);
    ShellFolderPtr folder = Bind(big);
    const uint32_t both = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;
    {
        // Ten items taken, the rest left: nothing is kept.
        std::unique_ptr<IEnumIDList> list;
        ASSERT_EQ(folder->EnumObjects(both, &list), S_OK);
        for (int i = 0; i < 10; ++i) {
            Pidl child;
            ASSERT_EQ(list->Next(&child.p), S_OK);
        }
    }
    EXPECT_EQ(reads[big], 1);
    // Read to its end (a read begun meanwhile goes on beside it), then kept.
    std::unique_ptr<IEnumIDList> list;
    ASSERT_EQ(folder->EnumObjects(both, &list), S_OK);
    Pidl first;
    ASSERT_EQ(list->Next(&first.p), S_OK);
    EXPECT_EQ(Names(*folder, both).size(), size_t(kFiles));
    EXPECT_EQ(reads[big], 3);
    int rest = 0;
    for (;; ++rest) {
        Pidl child;
        if (list->Next(&child.p) != S_OK) break;
    }
    EXPECT_EQ(rest, kFiles - 1);
    EXPECT_EQ(Names(*folder, both).size(), size_t(kFiles));
    EXPECT_FALSE(HasSubFolder("big"));
    EXPECT_EQ(reads[big], 3);
}

TEST_F(ListingCache, ABigFolderNotReadYetMayHoldFoldersUntilListed) {
    // Long names make the folder big on the disk with few entries.
    const std::string huge = home + "/huge";
    ASSERT_EQ(mkdir(huge.c_str(), 0755), 0);
    const std::string padding(250, 'n');
    for (int i = 0; i < 4200; ++i) Touch(huge + "/" + padding + std::to_string(i));
    struct stat st;
    ASSERT_EQ(stat(huge.c_str(), &st), 0);
    if (st.st_size < (1 << 20)) GTEST_SKIP() << "this file system sizes folders by entry count, not name length";
    SetModified(huge, -3600);
    EXPECT_TRUE(HasSubFolder("huge")) << "not read to know";
    EXPECT_EQ(reads[huge], 0);
    ShellFolderPtr folder = Bind(huge);
    EXPECT_EQ(Names(*folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS).size(), size_t(4200));
    EXPECT_FALSE(HasSubFolder("huge")) << "its listing tells";
    EXPECT_EQ(reads[huge], 1);
    // Changed, it is not read again to know.
    Touch(huge + "/one-more");
    SetModified(huge, -3600);
    EXPECT_TRUE(HasSubFolder("huge"));
    EXPECT_EQ(reads[huge], 1);
}

TEST_F(ListingCache, AKeptListingAnswersManyItemsAttributesByName) {
    ASSERT_EQ(mkdir((big + "/sub").c_str(), 0755), 0);
    const std::string other = home + "/other";
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    Touch(other + "/elsewhere");
    SetModified(big, -3600);
    ShellFolderPtr folder = Bind(big);
    Names(*folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS); // read and kept
    std::vector<Pidl> items(20);
    std::vector<PCItemIDList> ids;
    for (int i = 0; i < 19; ++i) {
        ASSERT_EQ(folder->ParseDisplayName("f" + std::to_string(1500 + i), &items[i].p), S_OK);
        ids.push_back(items[i].p);
    }
    ASSERT_EQ(folder->ParseDisplayName("sub", &items[19].p), S_OK);
    ids.push_back(items[19].p);
    uint32_t attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER;
    EXPECT_EQ(folder->GetAttributesOf(ids.data(), 20, &attributes), S_OK);
    EXPECT_EQ(attributes, uint32_t(SFGAO_FILESYSTEM));
    attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER;
    EXPECT_EQ(folder->GetAttributesOf(&ids[19], 1, &attributes), S_OK);
    EXPECT_EQ(attributes, uint32_t(SFGAO_FILESYSTEM | SFGAO_FOLDER));
    // An item of another folder is not there.
    Pidl stranger;
    ASSERT_EQ(Bind(other)->ParseDisplayName("elsewhere", &stranger.p), S_OK);
    ids[7] = stranger.p;
    attributes = SFGAO_FILESYSTEM;
    EXPECT_EQ(folder->GetAttributesOf(ids.data(), 20, &attributes), E_FAIL);
    EXPECT_EQ(reads[big], 1);
}

TEST_F(ListingCache, WhereALinkLeadsIsLookedAtOnEveryQuestion) {
    const std::string target = root + "/target";
    ASSERT_EQ(symlink(target.c_str(), (big + "/link").c_str()), 0);
    SetModified(big, -3600);
    EXPECT_FALSE(HasSubFolder("big")); // a link to nothing
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    EXPECT_TRUE(HasSubFolder("big")); // the folder itself did not change
    EXPECT_EQ(Names(*Bind(big), SHCONTF_FOLDERS), std::vector<std::string>{"link"});
    EXPECT_EQ(reads[big], 1);
}

TEST_F(ListingCache, FoldersChangedJustNowOrSmallAreReadEveryTime) {
    // A time ahead of the clock: a change to come may fall in its grain.
    SetModified(big, 3600);
    ShellFolderPtr folder = Bind(big);
    Names(*folder, SHCONTF_NONFOLDERS);
    Names(*folder, SHCONTF_NONFOLDERS);
    EXPECT_EQ(reads[big], 2);

    const std::string small = home + "/small";
    ASSERT_EQ(mkdir(small.c_str(), 0755), 0);
    for (int i = 0; i < 10; ++i) Touch(small + "/f" + std::to_string(i));
    SetModified(small, -3600);
    EXPECT_FALSE(HasSubFolder("small"));
    EXPECT_FALSE(HasSubFolder("small"));
    EXPECT_EQ(reads[small], 2);
}

TEST_F(ListingCache, AFolderOnAServerIsReadEveryTime) {
    // Its times follow the server's clock, not ours.
    Write(mounts, "/dev/sda1 / ext4 rw 0 0\nserver:/export " + root + " nfs4 rw 0 0\n");
    SetModified(big, -3600);
    ShellFolderPtr folder = Bind(big);
    Names(*folder, SHCONTF_NONFOLDERS);
    Names(*folder, SHCONTF_NONFOLDERS);
    EXPECT_EQ(reads[big], 2);
}

} // namespace
