#pragma once
// A manual clock, the headless display, the test font, an application,
// and a string tree on a shown form with helpers that drive it by input.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework_fixture.h"
#include "vtree/DataStringTree.h"

namespace ax::test {

// Node data of the tests: a label naming the node ("2.0" is the first child
// of the third top-level node).
struct Label {
    char text[24];
};

class TreeTest : public FrameworkTest {
protected:
    void TearDown() override {
        // Handlers capture the test's locals, which are gone by now; the
        // trees free their nodes when the application goes.
        std::function<void(TComponent*)> quiet = [&](TComponent* c) {
            if (auto* tree = dynamic_cast<TBaseDataTree*>(c)) tree->OnFreeNode = nullptr;
            for (int i = 0; i < c->ComponentCount(); ++i) quiet(c->Components(i));
        };
        if (app) quiet(app.get());
        FrameworkTest::TearDown();
        EXPECT_TRUE(shown.empty()) << shown.front();
    }

    // A tree without a window: structure and events only.
    TDataStringTree* BareTree() {
        auto* tree = TComponent::Create<TDataStringTree>(app.get());
        tree->SetNodeDataSize(sizeof(Label));
        return tree;
    }

    // A shown tree of the given client size on a form.
    TDataStringTree* ShownTree(int width = 200, int height = 180) {
        form = app->CreateForm<TForm>();
        // Room to spare around the tree, whatever the frame takes.
        form->SetBounds(100, 100, width + 80, height + 100);
        auto* tree = TComponent::Create<TDataStringTree>(form);
        tree->SetNodeDataSize(sizeof(Label));
        tree->SetParent(form);
        tree->SetBounds(0, 0, width + 4, height + 4); // the client edge takes 2 pixels each side
        form->Show();
        app->ProcessMessages();
        return tree;
    }

    // Labels every node from its position when it is initialised, and
    // shows the label as its text.
    static void UseLabels(TDataStringTree* tree) {
        tree->OnInitNode = [](TBaseDataTree* t, PDataNode parent, PDataNode node, TDataNodeInitStates&) {
            std::string path = std::to_string(node->Index);
            if (parent) path = t->GetNodeData<Label>(parent)->text + ("." + path);
            snprintf(t->GetNodeData<Label>(node)->text, sizeof(Label::text), "%s", path.c_str());
        };
        tree->OnGetText = [](TBaseDataTree* t, PDataNode node, TColumnIndex, TDTStringType, WideString& text) {
            text = Utf8ToWide(t->GetNodeData<Label>(node)->text);
        };
    }

    static std::string LabelOf(TBaseDataTree* tree, PDataNode node) {
        return node ? tree->GetNodeData<Label>(node)->text : "-";
    }

    void ClickAt(TControl* control, int x, int y, MouseButton button = MouseButton::Left) {
        const POINT p = control->ClientToScreen(POINT{x, y});
        InjectClick(button, p.x, p.y);
        app->ProcessMessages();
    }
    void PressAt(TControl* control, int x, int y) {
        const POINT p = control->ClientToScreen(POINT{x, y});
        InjectMouseMove(p.x, p.y);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
    }
    void MoveTo(TControl* control, int x, int y) {
        const POINT p = control->ClientToScreen(POINT{x, y});
        InjectMouseMove(p.x, p.y);
        app->ProcessMessages();
    }
    void Release() {
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
    }
    void Key(UINT vk, char32_t ch = 0) {
        InjectKeyStroke(vk, ch);
        app->ProcessMessages();
    }
    void Chord(UINT modifier, UINT vk) {
        InjectKey(modifier, true);
        InjectKeyStroke(vk);
        InjectKey(modifier, false);
        app->ProcessMessages();
    }

    TForm* form = nullptr;
};

} // namespace ax::test
