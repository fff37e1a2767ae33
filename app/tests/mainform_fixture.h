#pragma once
// The main window in a world of its own: a private home holding a folder
// of files, a manual clock, the headless display with the test font, an
// application, and the window rooted at the home folder.
#include "app/MainForm.h"
#include "framework/forms.h"
#include "framework_fixture.h"
#include "pane_points.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "explorer/CheckboxesSynchronizer.h"
#include "explorer/ExplorerViews.h"
#include "shell/ShellUtilities.h"
#include "shellns_fixture.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace ax::testing {

class MainformTest : public TempHome {
protected:
    void SetUp() override {
        ShellUtilitiesFinalize();
        TempHome::SetUp();
        test::StartHeadlessApp(clock, app, errors);
    }
    void TearDown() override {
        test::StopHeadlessApp(app);
        ShellUtilitiesFinalize();
        TempHome::TearDown();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }

    // Makes files below the home folder (names ending in "/" are folders).
    void MakeAll(std::initializer_list<const char*> names) {
        for (const char* n : names) {
            const std::string path = home + "/" + n;
            if (path.back() == '/') mkdir(path.substr(0, path.size() - 1).c_str(), 0755);
            else Write(path, "x");
        }
    }

    static void Quiet(TMainform* form) {
        QuietPane(form->ExpTree);
        QuietPane(form->ExpList);
    }
    // A main window, shown, rooted at the home folder; errors it would
    // put in a box are recorded instead.
    TMainform* Window() {
        auto* form = app->CreateForm<TMainform>();
        form->ErrorDisplay = [this](const AnsiString& text) { boxes.push_back(text); };
        Quiet(form);
        EXPECT_TRUE(form->SetRootPath(home));
        form->Show();
        app->ProcessMessages();
        return form;
    }

    // The tree's or the list's node named name under parent (nil: the top).
    static PDataNode Child(TCustomExplorerTree* tree, PDataNode parent, const std::string& name) {
        PDataNode node = ChildNamed(tree, parent, name);
        if (!node) ADD_FAILURE() << "no node " << name;
        return node;
    }
    // A click of the left button at a point of a control, never the
    // second click of a double click.
    void ClickAt(TControl* control, POINT p) {
        clock.Advance(1000);
        const POINT s = control->ClientToScreen(p);
        InjectClick(MouseButton::Left, s.x, s.y);
        app->ProcessMessages();
    }
    void ClickCheckBox(TCustomExplorerTree* tree, PDataNode node) {
        const POINT p = CheckBoxPoint(tree, node);
        if (p.x < 0) ADD_FAILURE() << "no check box on the row";
        ClickAt(tree, p);
    }
    // A click on a node's caption: selects it.
    void ClickCaption(TCustomExplorerTree* tree, PDataNode node) { ClickAt(tree, CaptionPoint(tree, node)); }
    static std::vector<std::string> Lines(const TStringList& list) {
        std::vector<std::string> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
        return out;
    }

    ManualClock clock;
    std::unique_ptr<TApplication> app;
    std::vector<std::string> errors, boxes;
};

} // namespace ax::testing
