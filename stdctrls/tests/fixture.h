#pragma once
// A manual clock, the headless display, the test font and an application.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework_fixture.h"
#include "rtl/threads.h"

namespace ax::test {

class StdCtrlsTest : public FrameworkTest {
protected:
    void TearDown() override {
        FrameworkTest::TearDown();
        EXPECT_TRUE(shown.empty()) << shown.front();
    }
    // A shown form of the given client size.
    TForm* MakeForm(int width = 320, int height = 240) {
        TForm* form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 0, 0);
        form->SetClientSize(width, height);
        form->Show();
        app->ProcessMessages();
        return form;
    }
    void Key(UINT vk, char32_t ch = 0) {
        InjectKeyStroke(vk, ch);
        app->ProcessMessages();
    }
    void Type(const std::string& text) {
        for (char c : text) {
            const UINT vk = (c >= 'a' && c <= 'z') ? UINT(c - 'a' + 'A') : UINT(uint8_t(c));
            Key(vk, char32_t(c));
        }
    }
    void Chord(UINT modifier, UINT vk) {
        InjectKey(modifier, true);
        InjectKeyStroke(vk);
        InjectKey(modifier, false);
        app->ProcessMessages();
    }
    void ClickAt(TControl* control, int x, int y) {
        const POINT p = control->ClientToScreen(POINT{x, y});
        InjectClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
    }
};

} // namespace ax::test
