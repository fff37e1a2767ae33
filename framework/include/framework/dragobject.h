#pragma once
// What a drag inside the program carries: the drag modes and kinds, the
// states a target sees, the drag objects and the events of a drag or a
// dock.
#include <functional>

#include "framework/classes.h"
#include "platform/window/types.h"

namespace ax {

class TControl;
using TCursor = int;

enum TDragMode { dmManual, dmAutomatic };
enum TDragKind { dkDrag, dkDock };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// One drag: what is dragged, where the pointer is and over which control.
// The manager makes a TDragControlObject unless OnStartDrag hands one over;
// a handed-over object stays its giver's.
class TDragObject : public TObject {
public:
    // The cursor over a target that accepts, or refuses.
    virtual TCursor GetDragCursor(bool accepted, int x, int y) const;
    // What the targets' events see as the source of the drag.
    virtual TObject* Source() { return this; }
    POINT DragPos() const { return pos_; }
    TControl* DragTarget() const { return target_; }
    bool Cancelling() const { return cancelling_; }
    bool Dropped() const { return dropped_; }

private:
    friend class TDragManager;
    POINT pos_{};
    TControl* target_ = nullptr;
    bool cancelling_ = false;
    bool dropped_ = false;
};

// The drag of a control itself: targets see the control as the source, and
// the cursor over an accepting target is the control's DragCursor.
class TDragControlObject : public TDragObject {
public:
    explicit TDragControlObject(TControl* control) : control_(control) {}
    TCursor GetDragCursor(bool accepted, int x, int y) const override;
    TObject* Source() override;
    TControl* Control() const { return control_; }

private:
    TControl* control_;
};

// The drag of a control whose DragKind is dkDock: where the dock frame
// stands (on the screen), and so where the control lands when dropped.
class TDragDockObject : public TDragControlObject {
public:
    using TDragControlObject::TDragControlObject;
    RECT DockRect() const { return dockRect_; }

private:
    friend class TDragManager;
    RECT dockRect_{};
};

// Coordinates are in the client area of Sender.
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TStartDragEvent = std::function<void(TObject* Sender, TDragObject*& DragObject)>;
// Target is null when the drag was cancelled or ended outside any target.
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
// A dock drag: the manager makes the object unless OnStartDock hands one
// over, as for a drag.
using TStartDockEvent = std::function<void(TObject* Sender, TDragDockObject*& DragObject)>;
// Target is the dock site, null when the drag was cancelled or the control
// floated; X, Y are in the site's client area, else on the screen.
using TEndDockEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;

} // namespace ax
