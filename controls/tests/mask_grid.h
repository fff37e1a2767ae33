#pragma once
// The backup window's mask grid ("Inclusion Grid"): a sort grid of three
// columns (Include, Exclude, NoComp), a title row and mask rows 1 to 29,
// editable, not sortable; shown on a form of its own, with the focus.
#include "controls/SortGrid.h"
#include "framework/forms.h"

namespace ax::test {

inline TSortGrid* BuildMaskGrid(TApplication& app, TForm*& form) {
    form = app.CreateForm<TForm>();
    form->SetCaption("Inclusion Grid");
    form->SetBorderStyle(bsSingle);
    form->SetBounds(40, 40, 0, 0);
    form->SetClientSize(320, 200);
    auto* g = TComponent::Create<TSortGrid>(form);
    g->SetBounds(8, 8, 304, 184);
    g->SetColCount(3);
    g->SetRowCount(30);
    g->SetOptions(g->Options() | goEditing);
    g->SortOptions().CanSort = false;
    g->SetParent(form);
    const char* titles[] = {"Include", "Exclude", "NoComp"};
    for (int c = 0; c < 3; ++c) g->SetCells(c, 0, titles[c]);
    g->SetCells(0, 1, "*.*");
    g->SetCells(1, 1, "*.tmp");
    g->SetCells(1, 2, "*.bak");
    g->SetCells(1, 3, "~*.*");
    g->SetCells(2, 1, "*.zip");
    g->SetCells(2, 2, "*.jpg");
    g->SetCells(2, 3, "*.7z");
    form->DoCreate();
    form->Show();
    form->SetClientSize(320, 200); // with the frame known
    g->SetFocus();
    return g;
}

} // namespace ax::test
