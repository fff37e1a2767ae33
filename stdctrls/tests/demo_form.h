#pragma once
// The demonstration form: one of each standard control on a 420 x 300
// client area. The reference-image test renders it, the interface benchmark
// repaints it.
#include "framework/forms.h"
#include "stdctrls/button.h"
#include "stdctrls/buttons.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/combobox.h"
#include "stdctrls/comctrls.h"
#include "stdctrls/edit.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/gauges.h"
#include "stdctrls/label.h"
#include "stdctrls/listbox.h"
#include "stdctrls/radiobutton.h"
#include "stdctrls/scrollbar.h"

namespace ax::test {

template <class T>
inline T* Place(TWinControl* parent, int x, int y, int w, int h, const AnsiString& caption = "") {
    T* c = TComponent::Create<T>(parent);
    c->SetParent(parent);
    c->SetBounds(x, y, w, h);
    if (!caption.empty()) c->SetCaption(caption);
    return c;
}

inline TForm* BuildDemo(TApplication& app) {
    TForm* form = app.CreateForm<TForm>();
    form->SetCaption("Standard controls");
    form->SetBorderStyle(bsSingle);
    form->SetBounds(20, 20, 0, 0);
    form->SetClientSize(420, 300);
    Place<TLabel>(form, 8, 8, 0, 0, "&Name:");
    auto* edit = Place<TEdit>(form, 60, 6, 120, 21);
    edit->SetText("Edit text");
    auto* memo = Place<TMemo>(form, 8, 34, 172, 58);
    memo->SetText("First line\r\nSecond line\r\nThird line");
    auto* list = Place<TListBox>(form, 190, 6, 100, 60);
    for (const char* s : {"Alpha", "Beta", "Gamma", "Delta"})
        list->Items().Add(s);
    list->SetItemIndex(1);
    auto* combo = Place<TComboBox>(form, 190, 72, 100, 21);
    for (const char* s : {"One", "Two"})
        combo->Items().Add(s);
    combo->SetItemIndex(0);
    Place<TButton>(form, 300, 6, 75, 25, "&Button");
    auto* ok = Place<TBitBtn>(form, 300, 36, 75, 25);
    ok->SetKind(bkOK);
    auto* cancel = Place<TBitBtn>(form, 300, 66, 75, 25);
    cancel->SetKind(bkCancel);
    auto* check = Place<TCheckBox>(form, 8, 100, 100, 17, "Check box");
    check->SetChecked(true);
    Place<TRadioButton>(form, 8, 120, 100, 17, "Radio one")->SetChecked(true);
    Place<TRadioButton>(form, 8, 140, 100, 17, "Radio two");
    auto* panel = Place<TPanel>(form, 120, 100, 120, 40, "Panel");
    panel->SetBevelInner(bvLowered);
    Place<TBevel>(form, 250, 100, 60, 40);
    auto* image = Place<TImage>(form, 320, 100, 40, 40);
    TCanvas& ic = image->Canvas();
    ic.Brush().SetColor(clNavy);
    ic.FillRect({0, 0, 40, 40});
    ic.Brush().SetColor(clYellow);
    ic.Ellipse(8, 8, 32, 32);
    auto* bar = Place<TScrollBar>(form, 8, 165, 200, 16);
    bar->SetPosition(30);
    auto* progress = Place<TProgressBar>(form, 8, 190, 200, 16);
    progress->SetPosition(40);
    auto* gauge = Place<TGauge>(form, 220, 150, 150, 24);
    gauge->SetProgress(60);
    auto* status = Place<TStatusBar>(form, 0, 281, 420, 19);
    status->Panels().Add()->SetText("Ready");
    status->Panels().Items(0)->SetWidth(120);
    status->Panels().Add()->SetText("Part two");
    form->DoCreate();
    return form;
}

} // namespace ax::test
