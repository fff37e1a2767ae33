#pragma once
// What the shell layer asks of a display, served by the window layer and
// the control library while an object of this class lives: context menus
// tracked on the screen, the key state and the pointer's position, message
// boxes (owned by the program's main window), the progress of long copies
// and moves in the wait box, the text clipboard and the
// clipboard of copied and cut files shared with other programs.
// Made and freed on the GUI thread. While one is alive, others made beside
// it (a second main window) leave its services in place.
#include "app/DisplayMenuTracker.h"

#include <memory>

namespace ax {

class TDisplayServices {
public:
    TDisplayServices();
    ~TDisplayServices();
    TDisplayServices(const TDisplayServices&) = delete;
    TDisplayServices& operator=(const TDisplayServices&) = delete;

private:
    static inline TDisplayServices* installed_ = nullptr;
    class Input;
    class Boxes;
    class Progress;
    class Clipboard;
    class Files;
    TDisplayMenuTracker tracker_;
    std::unique_ptr<Input> input_;
    std::unique_ptr<Boxes> boxes_;
    std::unique_ptr<Progress> progress_;
    std::unique_ptr<Clipboard> clipboard_;
    std::unique_ptr<Files> files_;
};

} // namespace ax
