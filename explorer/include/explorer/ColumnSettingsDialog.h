#pragma once
// The column settings dialog: which columns of an explorer view show, in
// which order (drag and drop in the list) and how wide the selected one is,
// optionally applied at once ("Live Update"). The column menu's "More ..."
// item runs it (RunColumnSettings).
#include "framework/forms.h"
#include "stdctrls/button.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/edit.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/label.h"
#include "vtree/DataStringTree.h"

#include <vector>

namespace ax {

class TCustomExplorerTree;

// One line of the list, in the list's order.
struct TColumnSettingsEntry {
    WideString Title;
    bool Visible = true;
    int Width = 0;
    int Tag = 0; // the creator's: the explorer keeps the column index here
};

class TFormColumnSettings : public TForm {
public:
    explicit TFormColumnSettings(TComponent* owner);
    AnsiString ClassName() const override { return "TFormColumnSettings"; }

    // The lines, in list order; SetEntries fills the list anew.
    const std::vector<TColumnSettingsEntry>& Entries() const { return entries_; }
    void SetEntries(std::vector<TColumnSettingsEntry> entries);
    // The list's node of a line.
    PDataNode NodeOf(int line) const;

    // Raised whenever a change should be applied while live update is on.
    TNotifyEvent OnUpdate;

    TPanel* Panel1 = nullptr;
    TLabel* Label1 = nullptr;
    TDataStringTree* ColumnNamesTree = nullptr;
    TLabel* Label2 = nullptr;
    TEdit* EditPixelWidth = nullptr;
    TLabel* Label3 = nullptr;
    TCheckBox* CheckBoxLiveUpdate = nullptr;
    TBevel* Bevel1 = nullptr;
    TButton* ButtonOk = nullptr;
    TButton* ButtonCancel = nullptr;

    // The handlers, public so that a caller (and a test) can drive them.
    void ColumnNamesTreeChecking(PDataNode node, TCheckState& newState, bool& allowed);
    void ColumnNamesTreeFocusChanging(PDataNode oldNode, PDataNode newNode, bool& allowed);
    void EditPixelWidthKeyPress(char& key);
    void EditPixelWidthExit();
    // Moves the dragged line before the target (after it when it came from
    // above); a line dropped on itself stays.
    void ColumnNamesTreeDragDrop(PDataNode target, PDataNode dragged);
    void CheckBoxLiveUpdateClick();
    void FormKeyPress(char& key);
    void FormResize();

private:
    // The edit's number as the line's width; an empty or invalid text
    // leaves the width as it was.
    bool StoreWidth(PDataNode node); // false: the text is no width, nothing stored
    // Reports the lines while live update is on. Hides the framework's
    // Update (a repaint) only for calls made on the dialog itself; the
    // framework repaints through FlushPaint.
    void Update();
    std::vector<TColumnSettingsEntry> entries_;
    PDataNode dragged_ = nullptr;
};

// Fills a dialog with the tree's columns in position order, runs it, and
// applies the result when accepted (and at each change with live update).
void RunColumnSettings(TCustomExplorerTree& tree);
// The dialog's lines to the columns: positions by list order, visibility,
// widths; inside one update bracket.
void ApplyColumnSettings(TCustomExplorerTree& tree,
                         const std::vector<TColumnSettingsEntry>& entries);
std::vector<TColumnSettingsEntry> ColumnSettingsOf(TCustomExplorerTree& tree);

} // namespace ax
