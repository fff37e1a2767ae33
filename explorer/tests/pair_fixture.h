#pragma once
// The explorer tree and list of the main window, side by side on a shown
// form over a fresh folder of files, linked both ways; helpers that drive
// them with the mouse and read their check boxes.
#include "explorer_fixture.h"
#include "platform/window/display.h"
#include "explorer/ExplorerViews.h"

namespace ax::testing {

class PairTest : public ExplorerTest {
protected:
    static constexpr int kWidth = 240, kHeight = 300;

    // The pair on a shown form, both rooted at files/, linked both ways.
    void ShowPair(bool activate = true) {
        form = app->CreateForm<TForm>();
        form->SetBounds(60, 60, 2 * kWidth + 100, kHeight + 100);
        tree = TComponent::Create<TExplorerTreeview>(form);
        tree->SetParent(form);
        tree->SetBounds(0, 0, kWidth, kHeight);
        list = TComponent::Create<TExplorerListview>(form);
        list->SetParent(form);
        list->SetBounds(kWidth + 10, 0, kWidth, kHeight);
        Quiet(tree);
        Quiet(list);
        tree->SetRootFolderCustomPath(W(files));
        list->SetRootFolderCustomPath(W(files));
        form->Show();
        app->ProcessMessages();
        tree->SetExplorerListview(list);
        list->SetExplorerTreeview(tree);
        if (activate) {
            tree->SetActive(true);
            list->SetActive(true);
        }
    }
    // No threads in tests: the notifier and the icon thread stay off.
    static void Quiet(TCustomExplorerTree* control) {
        TExplorerTreeOptions& o = control->TreeOptions();
        o.SetExpMiscOptions(o.ExpMiscOptions() & ~TExpMiscOptions(toChangeNotifierThread));
        o.SetExpImageOptions(o.ExpImageOptions() & ~TExpImageOptions(toThreadedImages));
    }

    // The folder the list shows, as a path.
    std::string ListFolder() const {
        TNamespace* ns = list->RootFolderNamespace();
        return ns ? WideToUtf8(ns->NameForParsing()) : "-";
    }
    // The list's top-level node named name; nil when none.
    PDataNode ListItem(const std::string& name) { return Child(list, list->RootNode(), name); }
    // The tree's node of a path below files/ ("" is the root node).
    PDataNode TreeNode(const std::string& relative) {
        return tree->FindNodeByPIDL(Parse(relative.empty() ? files : files + "/" + relative).get());
    }
    std::string TreeSelection() { return PathOf(tree, tree->GetFirstSelected()); }

    // Screen position of a node's label centre, scrolled into view first.
    POINT LabelPoint(TCustomExplorerTree* control, PDataNode node) {
        control->ScrollIntoView(node, false);
        const RECT r = control->GetDisplayRect(node, NoColumn, true);
        return control->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }
    // Screen position of a node's check box (found by hit tests along its row).
    POINT CheckBoxPoint(TCustomExplorerTree* control, PDataNode node) {
        control->ScrollIntoView(node, false);
        const RECT r = control->GetDisplayRect(node, NoColumn, false);
        const int y = (r.top + r.bottom) / 2;
        for (int x = r.left; x < r.right; ++x) {
            THitInfo hit;
            control->GetHitTestInfoAt(x, y, true, hit);
            if (hit.HitNode == node && (hit.HitPositions & hiOnItemCheckbox)) {
                int right = x;
                for (;; ++right) {
                    THitInfo next;
                    control->GetHitTestInfoAt(right + 1, y, true, next);
                    if (!(next.HitPositions & hiOnItemCheckbox)) break;
                }
                return control->ClientToScreen(POINT{(x + right) / 2, y});
            }
        }
        ADD_FAILURE() << "no check box on the row of " << NameOf(control, node);
        return POINT{-1, -1};
    }
    void ClickCheckBox(TCustomExplorerTree* control, PDataNode node) {
        const POINT p = CheckBoxPoint(control, node);
        InjectClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
    }
    void DoubleClick(TCustomExplorerTree* control, PDataNode node) {
        const POINT p = LabelPoint(control, node);
        InjectDoubleClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
    }
    void Click(TCustomExplorerTree* control, PDataNode node) {
        const POINT p = LabelPoint(control, node);
        InjectClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
    }
    void Key(TCustomExplorerTree* control, UINT vk) {
        control->SetFocus();
        app->ProcessMessages();
        InjectKeyStroke(vk);
        app->ProcessMessages();
    }

    TExplorerTreeview* tree = nullptr;
    TExplorerListview* list = nullptr;
};

} // namespace ax::testing
