#pragma once
// A manual clock, the headless display, the test font and an application.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "platform/window/display.h"
#include "rtl/clock.h"

namespace ax::test {

// The headless world of a test, for fixtures that cannot derive from
// FrameworkTest: the clock installed, the headless display with the test
// font, and an application whose error boxes land in shown.
inline void StartHeadlessApp(ManualClock& clock, std::unique_ptr<TApplication>& app,
                             std::vector<std::string>& shown) {
    SetClock(&clock);
    SelectDisplay(DisplayKind::Headless);
    SetTestFont(true);
    app = std::make_unique<TApplication>(nullptr);
    app->ExceptionDisplay = [&shown](const AnsiString& text, const AnsiString&) { shown.push_back(text); };
}
// Frees the application and every window left, drops pending messages and
// calls, and takes the clock back.
inline void StopHeadlessApp(std::unique_ptr<TApplication>& app) {
    app.reset();
    for (HWND h : EnumWindows()) DestroyWindow(h);
    MSG m;
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
    }
    ReleaseCapture();
    ResetSynchronize();
    SetClock(nullptr);
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override { StartHeadlessApp(clock, app, shown); }
    void TearDown() override { StopHeadlessApp(app); }
    ManualClock clock;
    std::unique_ptr<TApplication> app;
    std::vector<std::string> shown;
};

} // namespace ax::test
