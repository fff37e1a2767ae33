// The display without a screen: surfaces stay off-screen and input comes
// from the injection calls.
#include "driver.h"

namespace ax::wm {

namespace {

class HeadlessDriver final : public DisplayDriver {
public:
    DisplayKind Kind() const override { return DisplayKind::Headless; }
    SIZE ScreenSize() override { return {1024, 768}; }
};

} // namespace

std::unique_ptr<DisplayDriver> MakeHeadlessDriver() {
    return std::make_unique<HeadlessDriver>();
}

} // namespace ax::wm
