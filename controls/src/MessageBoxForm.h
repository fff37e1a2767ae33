#pragma once
// The form of the message boxes and the wait box.
#include <memory>

#include "framework/forms.h"

namespace ax {

class TMessageBoxForm : public TForm {
public:
    using TForm::TForm;
    AnsiString ClassName() const override { return "TMessageForm"; }
    // Leaves only Move of the window commands: the box closes by its
    // buttons alone, and keeps its size and state.
    void EditSystemMenu();
    // The lowered frame 3 pixels inside the client area.
    void AddFrame();
    // Restores the owner window when it is minimised and brings it to the
    // front (minimising and restoring it too when asked).
    void BringOwnerToFront(bool minimizeRestore);
    // Makes OnMessageBoxModal run once the modal loop serves this form.
    void AnnounceModal();
    void Dispatch(TMessage& message) override;

protected:
    // Placed as it shows: centred on its owner's window (on the work area
    // when it has none, or is to be centred on the desktop) and wholly
    // within the work area.
    void DoShow() override;

private:
    bool systemMenuEdited_ = false;
};

// Where a box of the size goes: centred on around, moved into work as far
// as it fits there (its top-left corner stays on the work area).
RECT BoxPlace(const RECT& around, const RECT& work, SIZE size);

// A box form set up as every box is: colour, single border with the system
// menu only, position, stay-on-top when asked (or when boxes have no
// owner), caption; owned by the main form's window unless boxes have no owner.
std::unique_ptr<TMessageBoxForm> CreateBoxForm(TColor color, TPosition position, bool stayOnTop,
                                               const AnsiString& caption);

} // namespace ax
