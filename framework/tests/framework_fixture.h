#pragma once
// A manual clock, the headless display, the test font and an application.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "framework/forms.h"
#include "platform/window/display.h"
#include "rtl/clock.h"

namespace ax::test {

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock);
        SelectDisplay(DisplayKind::Headless);
        SetTestFont(true);
        app = std::make_unique<TApplication>(nullptr);
        app->ExceptionDisplay = [this](const AnsiString& text, const AnsiString&) { shown.push_back(text); };
    }
    void TearDown() override {
        app.reset();
        for (HWND h : EnumWindows()) DestroyWindow(h);
        MSG m;
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        }
        ReleaseCapture();
        ResetSynchronize();
        SetClock(nullptr);
    }
    ManualClock clock;
    std::unique_ptr<TApplication> app;
    std::vector<std::string> shown;
};

} // namespace ax::test
