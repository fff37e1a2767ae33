#pragma once
// The in-place editor of a grid: a borderless edit laid over the current
// cell. It takes its text, mask and length limit from the grid (a masked
// cell edits through its mask), reports
// every change to the grid (WM_COMMAND with EN_CHANGE) and hands the keys
// that move between cells back to it.
#include "stdctrls/maskedit.h"
#include "stdctrls/messages.h"

namespace ax {

class TMyCustomGrid;

class TInplaceEdit : public TCustomMaskEdit {
public:
    explicit TInplaceEdit(TComponent* owner);
    AnsiString ClassName() const override { return "TInplaceEdit"; }

    TMyCustomGrid* Grid() const { return grid_; }

    // Reloads text, mask and limit from the grid for its current cell.
    void UpdateContents();
    // Shows the editor over rect (client coordinates of the grid); an empty
    // rectangle hides it.
    void Move(const RECT& rect);
    void Hide();
    void Deselect();
    void SetFocus() override;
    // The time of the grid's click that opened the editor; a press within
    // the double-click time of it counts as a double click.
    void SetClickTime(DWORD time) { clickTime_ = time; }

    void Dispatch(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    LRESULT DialogCode() override;
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyPress(char& key) override;
    void Change() override;
    void DblClick() override;
    // The text goes back to the cell at every keystroke: nothing to judge
    // when the editor is left.
    bool ValidatesOnExit() const override { return false; }

private:
    friend class TMyCustomGrid;
    void SetGrid(TMyCustomGrid* grid);
    void BoundsChanged();
    void SendToGrid(WORD& key, TShiftState shift);
    TMyCustomGrid* grid_ = nullptr;
    DWORD clickTime_ = 0;
    bool loading_ = false;
};

} // namespace ax
