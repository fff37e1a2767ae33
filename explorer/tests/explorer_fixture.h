#pragma once
// A world of its own for every explorer test: a private home (HOME, the XDG
// folders, the mount table) whose task allocator must end with the blocks
// it began with, a manual clock, the headless display with the test font,
// an application, and explorer trees on shown forms rooted at a fresh
// folder of files.
#include "framework/forms.h"
#include "framework_fixture.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "explorer/ExpPersistent.h"
#include "explorer/ExplorerTree.h"
#include "shell/ShellUtilities.h"
#include "shellns_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace ax::testing {

class ExplorerTest : public TempHome {
protected:
    void SetUp() override {
        ShellUtilitiesFinalize();
        TempHome::SetUp();
        test::StartHeadlessApp(clock, app, shown);
        files = root + "/files";
        mkdir(files.c_str(), 0755);
    }
    void TearDown() override {
        // The trees' handlers capture the test's locals.
        test::StopHeadlessApp(app);
        ShellUtilitiesFinalize();
        TempHome::TearDown();
        EXPECT_TRUE(shown.empty()) << shown.front();
    }

    // Makes files below files/ (names ending in "/" are folders).
    std::string Make(const std::string& relative) {
        const std::string path = files + "/" + relative;
        if (!relative.empty() && relative.back() == '/') {
            mkdir(path.substr(0, path.size() - 1).c_str(), 0755);
            return path.substr(0, path.size() - 1);
        }
        Write(path, "x");
        return path;
    }
    void MakeAll(std::initializer_list<const char*> names) {
        for (const char* n : names) Make(n);
    }
    WideString W(const std::string& path) const { return Utf8ToWide(path); }
    // A task-allocator PIDL for a path that exists.
    UniquePIDL Parse(const std::string& path) { return UniquePIDL(PathToPIDL(Utf8ToWide(path))); }

    // An explorer tree on a shown form (client about width x height),
    // rooted at files/, showing folders and files, with tri-state check
    // boxes on every node; not yet active unless asked.
    TExplorerTree* ShownTree(bool activate = true, int width = 260, int height = 220) {
        form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, width + 80, height + 100);
        auto* tree = TComponent::Create<TExplorerTree>(form);
        tree->SetParent(form);
        tree->SetBounds(0, 0, width + 4, height + 4);
        Prepare(tree);
        form->Show();
        app->ProcessMessages();
        if (activate) tree->SetActive(true);
        return tree;
    }
    // The same without a window: structure and events only.
    TExplorerTree* BareTree(bool activate = true) {
        auto* tree = TComponent::Create<TExplorerTree>(app.get());
        Prepare(tree);
        if (activate) tree->SetActive(true);
        return tree;
    }
    void Prepare(TExplorerTree* tree) {
        tree->SetFileObjects(foFolders | foNonFolders);
        TExplorerTreeOptions& o = tree->TreeOptions();
        o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
        // The application gives every node its box, as the main window does.
        tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode node, TDataNodeInitStates&) {
            if (node->CheckType == ctNone) t->SetCheckType(node, ctTriStateCheckBox);
        };
        tree->SetRootFolderCustomPath(W(files));
    }

    // The child of node named name (its in-folder name), nil when none;
    // makes the children when needed.
    static PDataNode Child(TCustomExplorerTree* tree, PDataNode node, const std::string& name) {
        for (PDataNode c = tree->GetFirstChild(node); c; c = tree->GetNextSibling(c))
            if (TNamespace* ns = tree->NodeNamespace(c); ns && WideToUtf8(ns->NameInFolder()) == name) return c;
        return nullptr;
    }
    // The names of node's existing children in order.
    static std::vector<std::string> Names(TCustomExplorerTree* tree, PDataNode node) {
        std::vector<std::string> out;
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling) {
            TNamespace* ns = tree->NodeNamespace(c);
            out.push_back(ns ? WideToUtf8(ns->NameInFolder()) : "-");
        }
        return out;
    }
    static std::string NameOf(TCustomExplorerTree* tree, PDataNode node) {
        TNamespace* ns = tree->NodeNamespace(node);
        return ns ? WideToUtf8(ns->NameInFolder()) : "-";
    }
    static std::string PathOf(TCustomExplorerTree* tree, PDataNode node) {
        TNamespace* ns = tree->NodeNamespace(node);
        return ns ? WideToUtf8(ns->NameForParsing()) : "-";
    }
    static std::vector<std::string> Lines(const TStringList& list) {
        std::vector<std::string> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
        return out;
    }
    // The stored record's check state for a path; -1 when there is none.
    int Stored(TCustomExplorerTree* tree, const std::string& path) {
        const UniquePIDL pidl = Parse(path);
        TNodeStorage* record = pidl ? tree->Storage().Find(pidl.get(), skCheck) : nullptr;
        return record ? record->Storage.CheckState : -1;
    }

    ManualClock clock;
    std::unique_ptr<TApplication> app;
    std::vector<std::string> shown;
    TForm* form = nullptr;
    std::string files;
};

} // namespace ax::testing
