// The main road of a backup selection, headless: items checked by clicks on
// the boxes of the explorer tree and list, the tree's storage saved as a
// ".JOB", loaded into a fresh pair that shows the same checks, and the
// backup selection read from it.
#include "rtl/scopeguard.h"
#include "sync_fixture.h"

#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>

using namespace ax;
using namespace ax::testing;

namespace {

std::map<std::string, int> reads;
void CountRead(const std::string& path) { ++reads[path]; }

class MainRoad : public SyncTest {
protected:
    // What each control shows of the test folder, "name=state" in order:
    // the tree's nodes of the root and of docs, the list's items of the
    // root folder and of docs.
    std::vector<std::string> Shown() {
        std::vector<std::string> out;
        auto row = [&](const char* where, TCustomExplorerTree* control, PDataNode node) {
            out.push_back(std::string(where) + NameOf(control, node) + "=" + std::to_string(node->CheckState));
        };
        tree->SetExpanded(TreeNode("docs"), true);
        for (const char* p : {"", "docs", "docs/notes.txt", "docs/old", "docs/report.txt", "music", "photos",
                              "photos/p1.jpg", "top.txt"})
            row("tree ", tree, TreeNode(p));
        ListShows("");
        for (PDataNode n = list->GetFirst(); n; n = list->GetNextSibling(n)) row("list ", list, n);
        ListShows("docs");
        for (PDataNode n = list->GetFirst(); n; n = list->GetNextSibling(n)) row("list docs/", list, n);
        return out;
    }
};

TEST_F(MainRoad, ChecksByClickSavedAsAJobAndLoadedIntoAFreshPair) {
    MakeAll({"docs/", "docs/notes.txt", "docs/report.txt", "docs/old/", "docs/old/o.txt", "music/",
             "music/m.mp3", "photos/", "photos/p1.jpg", "photos/p2.jpg", "top.txt"});
    ShowSyncedPair();

    // In the tree: photos. In the list: docs/report.txt, docs/old, then
    // top.txt after going back up with Backspace.
    ClickCheckBox(tree, TreeNode("photos"));
    DoubleClick(list, ListItem("docs"));
    ASSERT_EQ(ListFolder(), files + "/docs");
    ClickCheckBox(list, ListItem("report.txt"));
    ClickCheckBox(list, ListItem("old"));
    Key(list, VK_BACK);
    ASSERT_EQ(ListFolder(), files);
    ClickCheckBox(list, ListItem("top.txt"));

    const std::vector<std::string> expected = {"/docs/old",     "/docs/old/o.txt", "/docs/report.txt", "/photos",
                                               "/photos/p1.jpg", "/photos/p2.jpg", "/top.txt"};
    EXPECT_EQ(Checked(), expected);
    const std::vector<std::string> shown = {
        "tree files=4",       "tree docs=4",      "tree notes.txt=0",      "tree old=2",
        "tree report.txt=2",  "tree music=0",     "tree photos=2",         "tree p1.jpg=2",
        "tree top.txt=2",     "list docs=4",      "list music=0",          "list photos=2",
        "list top.txt=2",     "list docs/notes.txt=0", "list docs/old=2",  "list docs/report.txt=2",
    };
    EXPECT_EQ(Shown(), shown);

    const std::string job = root + "/selection.JOB";
    tree->Storage().SaveToFile(W(job), 3, false);
    form->Free();
    tree = nullptr;
    list = nullptr;

    // A fresh pair: the job loaded into the tree's storage, then both
    // controls refreshed so that their nodes take their boxes from it.
    ShowSyncedPair();
    EXPECT_TRUE(Checked().empty());
    tree->Storage().LoadFromFile(W(job), 3, false);
    tree->RefreshTree();
    list->RefreshTree();
    EXPECT_EQ(Shown(), shown);
    EXPECT_EQ(Checked(), expected);

    // The file holds the records and nothing else: saving again gives the
    // same bytes.
    std::ifstream in(job, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(StorageBytes(tree), saved);
}

TEST_F(MainRoad, TheSelectionKeepsTheFoldersOrderWhateverTheOrderOfChecking) {
    MakeAll({"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"});
    ShowSyncedPair();
    // In order, then before the last, again the last, then at the front.
    for (const char* name : {"c.txt", "d.txt", "b.txt", "d.txt", "a.txt", "e.txt"})
        if (TNodeStorage* r = tree->Storage().Store(Parse(files + "/" + name).get(), skCheck)) {
            r->Storage.CheckState = csCheckedNormal;
            r->Storage.CheckType = ctTriStateCheckBox;
        }
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/a.txt", "/b.txt", "/c.txt", "/d.txt", "/e.txt"}));
    tree->Storage().Delete(Parse(files + "/e.txt").get(), skCheck);
    tree->Storage().Delete(Parse(files + "/b.txt").get(), skCheck);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/a.txt", "/c.txt", "/d.txt"}));
}

// A folder big enough for its listing to be kept: read once from the disk
// over the whole road, and the same checks and selection as a folder read
// at every question.
TEST_F(MainRoad, ABigFolderIsReadOnceAndCheckedWhole) {
    constexpr int kFiles = 1100;
    const std::string big = Make("big/");
    std::vector<std::string> expected; // every file but the one unchecked
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(1000 + i);
        const int fd = open((big + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
        if (i != 0) expected.push_back("/big/" + name);
    }
    Make("other/");
    auto road = [&] {
        ShowSyncedPair();
        Click(tree, TreeNode("big"));
        EXPECT_EQ(ListFolder(), big);
        ClickCheckBox(tree, TreeNode("big"));
        ClickCheckBox(list, ListItem("f1000"));
        EXPECT_EQ(TreeState("big"), csMixedNormal);
        EXPECT_EQ(TreeState("big/f1000"), csUncheckedNormal);
        EXPECT_EQ(TreeState("big/f2099"), csCheckedNormal);
        EXPECT_EQ(ListState("f1000"), csUncheckedNormal);
        EXPECT_EQ(ListState("f1001"), csCheckedNormal);
        EXPECT_EQ(ListState("f2099"), csCheckedNormal);
        EXPECT_EQ(TreeStored("big"), csMixedNormal);
        EXPECT_EQ(TreeStored("big/f1000"), -1);
        EXPECT_EQ(TreeStored("big/f1500"), csCheckedNormal);
        EXPECT_EQ(Checked(), expected);
        const std::string bytes = StorageBytes(tree);
        form->Free();
        tree = nullptr;
        list = nullptr;
        return bytes;
    };
    reads.clear();
    SetFolderReadObserver(CountRead);
    ScopeGuard unobserved([] { SetFolderReadObserver(nullptr); });

    // Changed just now (a time ahead of the clock): read at every question.
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec += 3600;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, big.c_str(), times, 0), 0);
    const std::string readEachTime = road();
    EXPECT_GT(reads[big], 3);

    // Settled: read once.
    reads.clear();
    times[0].tv_sec -= 2 * 3600;
    times[1] = times[0];
    ASSERT_EQ(utimensat(AT_FDCWD, big.c_str(), times, 0), 0);
    EXPECT_EQ(road(), readEachTime);
    EXPECT_EQ(reads[big], 1);
}

} // namespace
