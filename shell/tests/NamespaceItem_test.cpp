// A shell item below its folder's item: the item it keeps, the absolute
// PIDL joined on first use, and how both follow a rename, a replacement from
// the folder and the invalidation of what the item cached; every PIDL freed
// once (the fixture counts the allocator's blocks).
#include "shellns_fixture.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ax;

namespace {

class NamespaceItem : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        ShellUtilitiesFinalize();
        dir = root + "/work";
        mkdir(dir.c_str(), 0755);
    }
    void TearDown() override {
        ShellUtilitiesFinalize();
        TempHome::TearDown();
    }
    std::unique_ptr<TNamespace> Item(const std::string& path) {
        return TNamespace::CreateFromFileName(Utf8ToWide(path));
    }
    // A child of parent by name, the way a listing makes them.
    std::unique_ptr<TNamespace> Child(TNamespace& parent, const std::string& name) {
        return std::make_unique<TNamespace>(UniquePIDL(ILCreateItem(PIDL_KIND_FILE, name)), &parent);
    }
    // The item's PIDL is the one path parses to.
    ::testing::AssertionResult Names(TNamespace& item, const std::string& path) {
        const UniquePIDL expected(PathToPIDL(Utf8ToWide(path)));
        if (!expected) return ::testing::AssertionFailure() << path << " does not parse";
        if (!EqualPIDL(item.AbsolutePIDL(), expected.get()))
            return ::testing::AssertionFailure() << "names " << WideToUtf8(PIDLToPath(item.AbsolutePIDL()));
        return ::testing::AssertionSuccess();
    }
    std::string dir;
};

} // namespace

TEST_F(NamespaceItem, AChildKeepsItsOwnItemAndJoinsTheAbsolutePIDLOnce) {
    mkdir((dir + "/sub").c_str(), 0755);
    Write(dir + "/sub/f.txt", "12345");
    auto folder = Item(dir);
    auto sub = Child(*folder, "sub");
    auto file = Child(*sub, "f.txt");
    // Asked before its folder's: the folder's joins on the way.
    EXPECT_EQ(ILItemCount(file->RelativePIDL()), 1);
    EXPECT_EQ(ILItemPayload(file->RelativePIDL()), "f.txt");
    EXPECT_TRUE(Names(*file, dir + "/sub/f.txt"));
    EXPECT_TRUE(Names(*sub, dir + "/sub"));
    EXPECT_EQ(file->AbsolutePIDL(), file->AbsolutePIDL()) << "joined once, then kept";
    EXPECT_EQ(WideToUtf8(file->NameForParsing()), dir + "/sub/f.txt");
    EXPECT_EQ(file->NameInFolder(), u"f.txt");
    EXPECT_EQ(file->SizeOfFileInt64(), 5);
    EXPECT_FALSE(file->Folder());
    EXPECT_TRUE(sub->Folder());
    EXPECT_FALSE(file->IsDesktop());
    EXPECT_FALSE(file->IsRecycleBin());
    EXPECT_FALSE(file->IsMyComputer());
    EXPECT_FALSE(file->IsControlPanel());
    auto clone = file->Clone();
    EXPECT_TRUE(Names(*clone, dir + "/sub/f.txt"));
    EXPECT_EQ(ILItemPayload(clone->RelativePIDL()), "f.txt");
}

TEST_F(NamespaceItem, TheDesktopsItemsAreKnownForWhatTheyAre) {
    TNamespace desktop(nullptr, nullptr);
    auto special = CreateSpecialNamespace(CSIDL_BITBUCKET);
    ASSERT_NE(special, nullptr);
    // Made the way a listing of the desktop makes it.
    TNamespace recycleBin(UniquePIDL(NamespacePIDLManager().CopyPIDL(special->AbsolutePIDL())), &desktop);
    EXPECT_TRUE(recycleBin.IsRecycleBin());
    EXPECT_EQ(recycleBin.RelativePIDL(), recycleBin.AbsolutePIDL()) << "one item, its own";
    auto computer = CreateSpecialNamespace(CSIDL_DRIVES);
    ASSERT_NE(computer, nullptr);
    EXPECT_TRUE(computer->IsMyComputer());
    EXPECT_FALSE(computer->IsRecycleBin());
}

TEST_F(NamespaceItem, ARenameMovesTheItemWhetherItsPIDLWasJoinedOrNot) {
    Write(dir + "/a", "a");
    Write(dir + "/b", "b");
    auto folder = Item(dir);
    auto a = Child(*folder, "a");
    auto b = Child(*folder, "b");
    ASSERT_TRUE(Names(*b, dir + "/b"));
    EXPECT_TRUE(a->SetNameOf(u"a2"));
    EXPECT_TRUE(b->SetNameOf(u"b2"));
    EXPECT_TRUE(Names(*a, dir + "/a2"));
    EXPECT_TRUE(Names(*b, dir + "/b2"));
    EXPECT_EQ(ILItemPayload(a->RelativePIDL()), "a2");
    EXPECT_EQ(ILItemPayload(b->RelativePIDL()), "b2");
    EXPECT_EQ(a->NameInFolder(), u"a2");
    EXPECT_EQ(Read(dir + "/b2"), "b");
    EXPECT_EQ(a->Parent(), folder.get());
}

TEST_F(NamespaceItem, InvalidationForgetsWhatWasCachedButNotTheItem) {
    Write(dir + "/grows", "1");
    auto folder = Item(dir);
    auto grows = Child(*folder, "grows");
    grows->SetListedNoFolder(true);
    grows->SetFolderKnown(false);
    EXPECT_EQ(grows->SizeOfFileInt64(), 1);
    EXPECT_EQ(grows->NameNormal(), u"grows");
    EXPECT_GT(grows->DetailsSupportedColumns(), 0);

    Write(dir + "/grows", "12345678");
    grows->InvalidateNamespace(true);
    EXPECT_EQ(grows->SizeOfFileInt64(), 8) << "the file data is read again";
    EXPECT_EQ(grows->NameNormal(), u"grows");
    EXPECT_TRUE(Names(*grows, dir + "/grows"));
    EXPECT_TRUE(grows->ListedNoFolder()) << "kept until a listing says otherwise";
    EXPECT_EQ(grows->ContextMenuVerb(1), u"") << "no menu shows";

    // What the listing told goes with the cache; the listing's word stays.
    ASSERT_EQ(unlink((dir + "/grows").c_str()), 0);
    mkdir((dir + "/grows").c_str(), 0755);
    grows->InvalidateCache();
    EXPECT_TRUE(grows->Folder()) << "asked again";
    EXPECT_TRUE(grows->ListedNoFolder());
    grows->SetListedNoFolder(false);
    EXPECT_FALSE(grows->ListedNoFolder());
    EXPECT_NE(grows->ShellFolder(), nullptr);
}

TEST_F(NamespaceItem, AReplacementFromTheFolderKeepsTheSameItem) {
    Write(dir + "/x.txt", "x");
    auto folder = Item(dir);
    auto x = Child(*folder, "x.txt");
    x->ReplacePIDLFromParent(false, true, false);
    EXPECT_TRUE(Names(*x, dir + "/x.txt"));
    EXPECT_EQ(ILItemPayload(x->RelativePIDL()), "x.txt");
    EXPECT_EQ(x->NameInFolder(), u"x.txt");
}
