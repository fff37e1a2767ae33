// The checked items a refresh would forget after the notifier lost changes:
// told by path before their records go.
#include "explorer/ExplorerTree.h"
#include "shell/Namespace.h"
#include "shell/NodeStorage.h"

#include <vector>

namespace ax {
namespace {

// The paths of the checked records at and below node, in storage order.
std::vector<WideString> CheckedPathsBelow(TNodeStorage* node) {
    std::vector<WideString> paths;
    std::vector<TNodeStorage*> todo{node};
    while (!todo.empty()) {
        TNodeStorage* n = todo.back();
        todo.pop_back();
        const bool checked = (n->Storage.Kinds & skCheck) &&
                             (n->Storage.CheckState == csCheckedNormal || n->Storage.CheckState == csCheckedPressed);
        if (checked) {
            const WideString path = PIDLToPath(n->AbsolutePIDL().get());
            if (!path.empty()) paths.push_back(path);
        }
        if (TNodeStorageList* children = n->Children())
            for (int i = children->Count() - 1; i >= 0; --i) todo.push_back(children->Items(i));
    }
    return paths;
}

} // namespace

bool TCustomExplorerTree::MayDropRecordsOf(PCItemIDList pidl) {
    if (!changesLost_) return true;
    TNodeStorage* record = Storage().Lookup(pidl);
    if (!record) return true;
    const std::vector<WideString> paths = CheckedPathsBelow(record);
    if (paths.empty()) return true;
    if (!OnSelectionLost) return false;
    OnSelectionLost(this, paths);
    return true;
}

} // namespace ax
