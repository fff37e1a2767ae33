#pragma once
// The main window's parts that live in sources of their own (their
// layers' headers do not meet the explorer's in one source).
#include "framework/controls.h"

namespace ax {

class TSortGrid;

// MaskGrid.cpp: the mask grid ("Inclusion Grid") with its three columns,
// a title row, mask rows 1 to 29 and the built-in masks.
TSortGrid* BuildMaskGrid(TWinControl* parent, TAlign align, int x, int y, int width, int height);

// ErrorBox.cpp: a modal error box, and a question with Yes, No and
// Cancel (answers IDYES, IDNO, IDCANCEL).
void ShowErrorBox(const AnsiString& text, const AnsiString& caption);
int AskYesNoCancel(const AnsiString& text, const AnsiString& caption);

} // namespace ax
