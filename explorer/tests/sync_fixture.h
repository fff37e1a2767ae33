#pragma once
// The pair of the main window with its synchroniser, made as the main
// window makes it (owned by the list, the tree linked first).
#include "pair_fixture.h"
#include "explorer/CheckboxesSynchronizer.h"

namespace ax::testing {

class SyncTest : public PairTest {
protected:
    void ShowSyncedPair() {
        ShowPair();
        Synchronize();
    }
    void Synchronize() {
        sync = TComponent::Create<TCheckboxesSynchronizer>(list);
        sync->SetExplorerTreeview(tree);
        sync->SetExplorerListview(list);
        app->ProcessMessages();
    }
    // The check state of the tree's node of a path below files/.
    int TreeState(const std::string& relative) {
        PDataNode n = TreeNode(relative);
        return n ? n->CheckState : -1;
    }
    int ListState(const std::string& name) {
        PDataNode n = ListItem(name);
        return n ? n->CheckState : -1;
    }
    // The tree's stored state of a path below files/; -1 without a record.
    int TreeStored(const std::string& relative) {
        return Stored(tree, relative.empty() ? files : files + "/" + relative);
    }
    // The tree's storage as the bytes of a ".JOB".
    std::string StorageBytes(TCustomExplorerTree* control) {
        TMemoryStream s;
        control->Storage().SaveToStream(s, 3, false);
        return std::string(reinterpret_cast<const char*>(s.Memory()), size_t(s.Size()));
    }
    std::vector<std::string> Checked() {
        std::vector<std::string> out;
        const TStringList& names = tree->Storage().CheckedFileNames();
        for (int i = 0; i < names.Count(); ++i) out.push_back(names[i].substr(files.size()));
        return out;
    }
    // The list shows files/relative, without the tree following.
    void ListShows(const std::string& relative) {
        ASSERT_TRUE(list->BrowseToPath(W(relative.empty() ? files : files + "/" + relative), false, false, false,
                                       false));
        app->ProcessMessages();
    }
    void Unlink() {
        tree->SetExplorerListview(nullptr);
        list->SetExplorerTreeview(nullptr);
    }

    TCheckboxesSynchronizer* sync = nullptr;
};

} // namespace ax::testing
