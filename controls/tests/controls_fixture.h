#pragma once
// A main form on the headless display with the test font, the message-box
// hook cleared after each test, and pictures written to the snapshot folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "controls/MessageBoxes.h"
#include "fixture.h"
#include "platform/window/display.h"

namespace ax::test {

class ControlsTest : public StdCtrlsTest {
protected:
    void SetUp() override {
        StdCtrlsTest::SetUp();
        TakeSoundRequests();
    }
    void TearDown() override {
        OnMessageBoxModal = nullptr;
        CloseProgressBox();
        StdCtrlsTest::TearDown();
    }
    // The main form, shown.
    TForm* MainForm() {
        if (!app->MainForm()) {
            TForm* form = MakeForm(400, 300);
            form->SetCaption("Main");
        }
        return static_cast<TForm*>(app->MainForm());
    }
    // Writes the window as "<name>.png" into the snapshot folder.
    void Snapshot(HWND window, const std::string& name) {
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        const std::filesystem::path folder = dir ? dir : "snapshots";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(SnapshotWindow(window, (folder / (name + ".png")).string()));
    }
};

} // namespace ax::test
