#pragma once
// The drag manager: one drag inside the program at a time, on the GUI
// thread. A drag begins at once or waits until the pointer has moved past
// a threshold with the button held; while it runs, the source's window
// keeps the mouse, the control under the pointer is asked whether it takes
// the drag (OnDragOver) and the cursor says its answer. A release drops on
// a target that accepts; a release anywhere else, or Escape, cancels.
// A control of kind dkDock is docked instead: released over a window whose
// DockSite is true it becomes that window's child, released anywhere else
// it floats in a tool window of its own; Escape leaves it where it was.
#include "framework/dragobject.h"
#include "framework/messages.h"

namespace ax {

class TDockFrame;

class TDragManager {
public:
    // How far the pointer moves, in either direction, before a waiting
    // drag starts, when BeginDrag is given no threshold of its own.
    static constexpr int kDefaultThreshold = 5;

    static void Begin(TControl* source, bool immediate, int threshold);
    // Ends the drag: drops on the target under the pointer when drop is
    // true and it accepts, cancels otherwise. A waiting drag just stops.
    static void End(bool drop);
    // A drag waiting for its threshold, or one under way.
    static bool Waiting();
    static bool Active();
    static TControl* Source();
    static TDragObject* DragObject();
    // The frame a dock drag shows; null for any other drag.
    static const TDockFrame* DockFrame();

    // The mouse messages of the source's window while a drag waits or runs;
    // true when the drag took the message.
    static bool WindowMessage(TControl* window, TMessage& m);
    // A control going away is no longer a source or a target.
    static void ControlDestroyed(TControl* control);

    struct Drag; // the drag under way, the manager's alone

private:
    static void Start();
    static void Move(POINT screen);
    static void MoveDock(Drag& d, POINT screen);
    static bool Ask(TControl* target, POINT screen, TDragState state);
    static void Finish(bool drop);
    static void FinishDock(Drag& d, bool drop);
    static LRESULT KeyHook(int code, WPARAM wParam, LPARAM lParam);
};

} // namespace ax
