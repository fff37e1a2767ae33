// Path auto-complete over a private home: the items of a folder, the
// desktop and Computer as Contents says, hidden items, recursion, the
// add-item event and when the lists are built again; names that are not
// valid UTF-8; the CurrentDir property in form descriptions.
#include "framework/streaming.h"
#include "shell/ShellAutoComplete.h"
#include "shell/ShellUtilities.h"
#include "shellns_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace ax::testing {
namespace {

class AutoCompleteTest : public TempHome {
protected:
    void SetUp() override {
        ShellUtilitiesFinalize();
        TempHome::SetUp();
        files = root + "/files";
        MakeAll({"alpha.txt", "Beta.doc", "gamma/", "gamma/inner.txt", "gamma/deep/",
                 "gamma/deep/leaf", ".hidden.txt", ".hiddendir/", ".hiddendir/x"});
    }
    void TearDown() override {
        ac.reset();
        ShellUtilitiesFinalize();
        TempHome::TearDown();
    }
    void MakeAll(std::initializer_list<const char*> names) {
        mkdir(files.c_str(), 0755);
        for (const std::string n : names) {
            if (n.back() == '/')
                mkdir((files + "/" + n).c_str(), 0755);
            else
                Write(files + "/" + n, "x");
        }
    }
    TShellAutoComplete& Make(TAutoCompleteContents contents, const std::string& dir) {
        ac = std::make_unique<TShellAutoComplete>(nullptr);
        ac->SetContents(contents);
        ac->SetCurrentDir(Utf8ToWide(dir));
        return *ac;
    }
    // The wide list as UTF-8, in its order.
    static std::vector<std::string> Wide(TCustomShellAutoComplete& a) {
        std::vector<std::string> out;
        TWideStringList& list = a.WideStrings();
        for (int i = 0; i < list.Count(); ++i)
            out.push_back(WideToUtf8(list[i]));
        return out;
    }
    static std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    std::vector<std::string> Paths(std::initializer_list<const char*> names) {
        std::vector<std::string> out;
        for (const char* n : names)
            out.push_back(files + "/" + n);
        return Sorted(out);
    }

    std::string files;
    std::unique_ptr<TShellAutoComplete> ac;
};

TEST_F(AutoCompleteTest, StartsWithTheDefaultContents) {
    TShellAutoComplete fresh(nullptr);
    EXPECT_EQ(fresh.Contents(), 99u);
    EXPECT_EQ(fresh.Contents(), accCurrentDir | accMyComputer | accFileSysDirs | accFileSysFiles);
    EXPECT_TRUE(fresh.CurrentDir().empty());
    EXPECT_TRUE(fresh.Dirty());
}

TEST_F(AutoCompleteTest, ListsTheCurrentFolderAndComputer) {
    TShellAutoComplete& a = Make(DefaultAutoCompleteContents, files);
    std::vector<std::string> want = Paths({"alpha.txt", "Beta.doc", "gamma"});
    want.insert(want.begin(), "/"); // Computer's one volume, from the mount table
    EXPECT_EQ(Sorted(Wide(a)), want);
    EXPECT_FALSE(a.Dirty());
    ASSERT_EQ(a.Namespaces().Count(), 4);
    ASSERT_EQ(a.Strings().Count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.Strings()[i], WideToUtf8(a.Namespaces().Items(i)->NameParseAddress()));
        EXPECT_EQ(a.WideStrings()[i], a.Namespaces().Items(i)->NameParseAddress())
            << "unsorted: listing order";
    }
}

TEST_F(AutoCompleteTest, FoldersFilesAndHiddenItemsAsTheFlagsSay) {
    EXPECT_EQ(Sorted(Wide(Make(accCurrentDir | accFileSysDirs, files))), Paths({"gamma"}));
    EXPECT_EQ(Sorted(Wide(Make(accCurrentDir | accFileSysFiles, files))),
              Paths({"alpha.txt", "Beta.doc"}));
    EXPECT_EQ(
        Sorted(Wide(Make(accCurrentDir | accFileSysDirs | accFileSysFiles | accHidden, files))),
        Paths({".hidden.txt", ".hiddendir", "alpha.txt", "Beta.doc", "gamma"}));
    EXPECT_TRUE(Wide(Make(accCurrentDir, files)).empty()) << "neither folders nor files";
}

TEST_F(AutoCompleteTest, SortsTheStringListsWithoutRegardToCase) {
    TShellAutoComplete& a =
        Make(accCurrentDir | accFileSysDirs | accFileSysFiles | accSortList, files);
    const std::vector<std::string> want{files + "/alpha.txt", files + "/Beta.doc",
                                        files + "/gamma"};
    EXPECT_EQ(Wide(a), want);
    ASSERT_EQ(a.Strings().Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(a.Strings()[i], want[size_t(i)]);
}

TEST_F(AutoCompleteTest, RecursionListsEverythingBelowAFolderBeforeIt) {
    std::vector<std::string> order;
    TShellAutoComplete& a =
        Make(accCurrentDir | accFileSysDirs | accFileSysFiles | accRecursive, files);
    a.OnAutoCompleteAddItem = [&](TObject* sender, TNamespace* item, bool& allow, bool&) {
        EXPECT_EQ(sender, &a);
        EXPECT_TRUE(allow);
        order.push_back(WideToUtf8(item->NameParseAddress()));
    };
    EXPECT_EQ(Sorted(Wide(a)), Paths({"alpha.txt", "Beta.doc", "gamma", "gamma/inner.txt",
                                      "gamma/deep", "gamma/deep/leaf"}));
    auto at = [&](const char* name) {
        return std::find(order.begin(), order.end(), files + "/" + name) - order.begin();
    };
    EXPECT_LT(at("gamma/deep/leaf"), at("gamma/deep"));
    EXPECT_LT(at("gamma/deep"), at("gamma"));
    EXPECT_LT(at("gamma/inner.txt"), at("gamma"));

    // Hidden folders are descended into only with hidden items.
    EXPECT_EQ(
        Sorted(Wide(Make(
            accCurrentDir | accFileSysDirs | accFileSysFiles | accRecursive | accHidden, files))),
        Paths({".hidden.txt", ".hiddendir", ".hiddendir/x", "alpha.txt", "Beta.doc", "gamma",
               "gamma/inner.txt", "gamma/deep", "gamma/deep/leaf"}));
    // Without files only the folders, at every depth.
    EXPECT_EQ(Sorted(Wide(Make(accCurrentDir | accFileSysDirs | accRecursive, files))),
              Paths({"gamma", "gamma/deep"}));
}

TEST_F(AutoCompleteTest, RecursionReachesAnyDepth) {
    const std::string deep = MakeDeepFolders(files, "d", 300);
    TShellAutoComplete& a =
        Make(accCurrentDir | accFileSysDirs | accRecursive, files + "/gamma/deep");
    EXPECT_TRUE(Wide(a).empty());
    a.SetCurrentDir(Utf8ToWide(files));
    const std::vector<std::string> got = Wide(a);
    EXPECT_EQ(got.size(), 302u); // gamma, gamma/deep and the 300
    EXPECT_NE(std::find(got.begin(), got.end(), deep), got.end());
}

TEST_F(AutoCompleteTest, TheEventDropsItemsAndEndsTheListing) {
    TShellAutoComplete& a =
        Make(accCurrentDir | accFileSysDirs | accFileSysFiles | accRecursive, files);
    a.OnAutoCompleteAddItem = [](TObject*, TNamespace* item, bool& allow, bool&) {
        const WideString name = item->NameInFolder();
        allow = name != u"gamma" && name != u"alpha.txt";
    };
    // The items below a dropped folder stay, and stay usable.
    EXPECT_EQ(Sorted(Wide(a)),
              Paths({"Beta.doc", "gamma/inner.txt", "gamma/deep", "gamma/deep/leaf"}));
    for (int i = 0; i < a.Namespaces().Count(); ++i) {
        TNamespace* item = a.Namespaces().Items(i);
        ASSERT_NE(item->Parent(), nullptr);
        EXPECT_FALSE(item->Parent()->NameForParsing().empty());
    }

    int offered = 0;
    a.OnAutoCompleteAddItem = [&](TObject*, TNamespace*, bool&, bool& terminate) {
        terminate = ++offered == 2;
    };
    a.Refresh();
    EXPECT_EQ(offered, 2);
    EXPECT_EQ(a.Namespaces().Count(), 2) << "the item that ends it is kept when allowed";
    EXPECT_EQ(a.WideStrings().Count(), 2);
}

TEST_F(AutoCompleteTest, ListingsEndedInsideAFolderKeepItsItemsUsable) {
    TShellAutoComplete& a =
        Make(accCurrentDir | accFileSysDirs | accFileSysFiles | accRecursive, files);
    a.OnAutoCompleteAddItem = [](TObject*, TNamespace* item, bool&, bool& terminate) {
        terminate = item->NameInFolder() == u"leaf";
    };
    // Items of files/ listed before gamma may come first; the leaf ends it.
    ASSERT_GE(a.Namespaces().Count(), 1);
    TNamespace* leaf = a.Namespaces().Items(a.Namespaces().Count() - 1);
    for (int i = 0; i < a.Namespaces().Count(); ++i)
        EXPECT_NE(a.Namespaces().Items(i)->NameInFolder(), u"gamma")
            << "gamma comes after its items";
    EXPECT_EQ(WideToUtf8(leaf->NameParseAddress()), files + "/gamma/deep/leaf");
    EXPECT_EQ(WideToUtf8(leaf->Parent()->NameParseAddress()), files + "/gamma/deep");
}

TEST_F(AutoCompleteTest, AHandlerThatThrowsLeavesTheListsToBeBuiltAgain) {
    TShellAutoComplete& a =
        Make(accCurrentDir | accFileSysDirs | accFileSysFiles | accRecursive, files);
    bool fail = true;
    a.OnAutoCompleteAddItem = [&](TObject*, TNamespace* item, bool&, bool&) {
        if (fail && item->NameInFolder() == u"deep") throw Exception("handler");
    };
    EXPECT_THROW(a.Refresh(), Exception);
    EXPECT_TRUE(a.Dirty());
    fail = false;
    EXPECT_EQ(a.Namespaces().Count(), 6);
}

TEST_F(AutoCompleteTest, TheDesktopWithAndWithoutItemsOutsideTheFileSystem) {
    Write(home + "/Desktop/note.txt", "x");
    TShellAutoComplete& a = Make(accDesktop | accFileSysDirs | accFileSysFiles, files);
    const std::vector<std::string> all = Sorted(Wide(a));
    EXPECT_NE(std::find(all.begin(), all.end(), home + "/Desktop/note.txt"), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), "::{computer}"), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), "::{recyclebin}"), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), home + "/Documents"), all.end());

    a.SetContents(accDesktop | accFileSysDirs | accFileSysFiles | accFileSysOnly);
    EXPECT_TRUE(a.Dirty()) << "a change of Contents";
    const std::vector<std::string> fileSystem = Sorted(Wide(a));
    EXPECT_EQ(fileSystem, Sorted({home + "/Desktop/note.txt", home + "/Documents"}));
}

TEST_F(AutoCompleteTest, FavouritesThatDoNotExistAddNothing) {
    EXPECT_EQ(FavoritesFolder(), nullptr);
    EXPECT_TRUE(Wide(Make(accFavorites | accFileSysDirs | accFileSysFiles, files)).empty());
}

TEST_F(AutoCompleteTest, ANewFolderThatExistsMakesTheListsStale) {
    TShellAutoComplete& a = Make(accCurrentDir | accFileSysFiles, files);
    EXPECT_EQ(Sorted(Wide(a)), Paths({"alpha.txt", "Beta.doc"}));
    a.SetCurrentDir(Utf8ToWide(files + "/gamma"));
    EXPECT_TRUE(a.Dirty());
    EXPECT_EQ(Wide(a), std::vector<std::string>{files + "/gamma/inner.txt"});

    // A folder that does not exist is kept but changes nothing yet.
    a.SetCurrentDir(Utf8ToWide(files + "/nothing"));
    EXPECT_EQ(WideToUtf8(a.CurrentDir()), files + "/nothing");
    EXPECT_FALSE(a.Dirty());
    EXPECT_EQ(Wide(a), std::vector<std::string>{files + "/gamma/inner.txt"});
    a.Refresh();
    EXPECT_TRUE(Wide(a).empty()) << "no such folder to list";

    // The same folder again: the lists stay until refreshed.
    a.SetCurrentDir(Utf8ToWide(files + "/gamma"));
    EXPECT_EQ(Wide(a).size(), 1u);
    Write(files + "/gamma/more.txt", "x");
    a.SetCurrentDir(Utf8ToWide(files + "/gamma"));
    EXPECT_FALSE(a.Dirty());
    EXPECT_EQ(Wide(a).size(), 1u);
    a.SetDirty(true);
    EXPECT_EQ(Wide(a).size(), 2u);
}

TEST_F(AutoCompleteTest, NamesThatAreNotUtf8KeepTheirBytes) {
    const std::string name = "caf\xE9\xFF.txt";
    Write(files + "/gamma/" + name, "x");
    TShellAutoComplete& a = Make(accCurrentDir | accFileSysFiles | accSortList, files + "/gamma");
    ASSERT_EQ(a.Strings().Count(), 2);
    EXPECT_EQ(a.Strings()[0], files + "/gamma/" + name);
    const WideString wide = a.WideStrings()[0];
    EXPECT_EQ(wide,
              Utf8ToWide(files) + u"/gamma/caf" + char16_t(0xDCE9) + char16_t(0xDCFF) + u".txt");
    EXPECT_EQ(WideToUtf8(wide), files + "/gamma/" + name);
    EXPECT_TRUE(WideFileExists(wide));
}

TEST_F(AutoCompleteTest, CurrentDirTravelsInFormDescriptions) {
    const WideString dir = Utf8ToWide(files + "/caf\xE9");
    mkdir(WideToUtf8(dir).c_str(), 0755);
    TShellAutoComplete source(nullptr);
    source.SetName("Complete");
    source.SetContents(accDesktop | accRecursive);
    source.SetCurrentDir(dir);
    TMemoryStream stream;
    WriteComponentResource(stream, source);
    const std::string bytes(stream.Bytes().begin(), stream.Bytes().end());
    EXPECT_NE(bytes.find(std::string("\x0A"
                                     "CurrentDir\x12",
                                     12)),
              std::string::npos)
        << "as wide text";
    stream.SetPosition(0);
    TShellAutoComplete read(nullptr);
    ReadComponentResource(stream, read);
    EXPECT_EQ(read.CurrentDir(), dir);
    EXPECT_EQ(read.Contents(), accDesktop | accRecursive);

    // The 8-bit form is read as well.
    TMemoryStream narrow;
    TWriter w(narrow);
    w.WriteSignature();
    w.WriteStr("TShellAutoComplete");
    w.WriteStr("Complete");
    w.WriteStr("CurrentDir");
    w.WriteString(files);
    w.WriteListEnd();
    w.WriteListEnd();
    narrow.SetPosition(0);
    TShellAutoComplete fromNarrow(nullptr);
    ReadComponentResource(narrow, fromNarrow);
    EXPECT_EQ(WideToUtf8(fromNarrow.CurrentDir()), files);
    EXPECT_EQ(fromNarrow.Contents(), DefaultAutoCompleteContents);
}

} // namespace
} // namespace ax::testing
