// A plain control for the drag tests, counting the drags it saw cancelled.
#pragma once

#include "framework/controls.h"

namespace ax::test {

class Pad : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    int cancels = 0;

protected:
    void DragCanceled() override { ++cancels; }
};

} // namespace ax::test
