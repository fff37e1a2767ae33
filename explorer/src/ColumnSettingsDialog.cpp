// The column settings dialog (its use by the explorer is beside the columns).
#include "explorer/ColumnSettingsDialog.h"

#include "platform/window/sound.h"
#include "rtl/scopeguard.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace ax {
namespace {

constexpr int kClientWidth = 287, kClientHeight = 336;

// The width typed: digits only, within what a column can be.
std::optional<int> ParseWidth(const AnsiString& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

TFormColumnSettings::TFormColumnSettings(TComponent* owner) : TForm(owner) {
    SetCaption("Column Settings");
    SetPosition(poScreenCenter);
    SetKeyPreview(true);
    Font().SetName("MS Sans Serif");
    Font().SetSize(8);
    SetClientSize(kClientWidth, kClientHeight);

    Panel1 = TComponent::Create<TPanel>(this);
    Panel1->SetName("Panel1");
    Panel1->SetParent(this);
    Panel1->SetBounds(0, 0, kClientWidth, 50);
    Panel1->SetAlign(alTop);
    Panel1->SetCaption("");
    Label1 = TComponent::Create<TLabel>(this);
    Label1->SetName("Label1");
    Label1->SetParent(Panel1);
    Label1->SetAutoSize(false);
    Label1->SetBounds(6, 3, kClientWidth - 12, 44);
    Label1->SetAlignment(taCenter);
    Label1->SetWordWrap(true);
    Label1->SetCaption(
        "Check the columns you would like to make visible in this Folder.  Drag and Drop to "
        "reorder the columns. ");

    ColumnNamesTree = TComponent::Create<TDataStringTree>(this);
    ColumnNamesTree->SetName("ColumnNamesTree");
    ColumnNamesTree->SetParent(this);
    ColumnNamesTree->SetBounds(8, 54, kClientWidth - 16, 190);
    TStringTreeOptions& o = ColumnNamesTree->TreeOptions();
    o.SetAutoOptions(toAutoDropExpand | toAutoScroll | toAutoScrollOnExpand |
                     toAutoTristateTracking);
    o.SetMiscOptions(toAcceptOLEDrop | toCheckSupport | toInitOnSave | toToggleOnDblClick);
    o.SetPaintOptions(toShowButtons | toShowRoot | toThemeAware | toUseBlendedImages);
    ColumnNamesTree->Header().SetOptions(hoColumnResize | hoDrag);
    ColumnNamesTree->SetCheckImageKind(ckDarkCheck);

    Label2 = TComponent::Create<TLabel>(this);
    Label2->SetName("Label2");
    Label2->SetParent(this);
    Label2->SetCaption("The selected column should be ");
    EditPixelWidth = TComponent::Create<TEdit>(this);
    EditPixelWidth->SetName("EditPixelWidth");
    EditPixelWidth->SetParent(this);
    EditPixelWidth->SetBounds(0, 252, 40, 21);
    Label3 = TComponent::Create<TLabel>(this);
    Label3->SetName("Label3");
    Label3->SetParent(this);
    Label3->SetCaption("pixels wide");
    CheckBoxLiveUpdate = TComponent::Create<TCheckBox>(this);
    CheckBoxLiveUpdate->SetName("CheckBoxLiveUpdate");
    CheckBoxLiveUpdate->SetParent(this);
    CheckBoxLiveUpdate->SetBounds(8, 280, 120, 17);
    CheckBoxLiveUpdate->SetCaption("Live Update");
    Bevel1 = TComponent::Create<TBevel>(this);
    Bevel1->SetName("Bevel1");
    Bevel1->SetParent(this);
    Bevel1->SetBounds(8, 300, kClientWidth - 16, 2);
    ButtonOk = TComponent::Create<TButton>(this);
    ButtonOk->SetName("ButtonOk");
    ButtonOk->SetParent(this);
    ButtonOk->SetBounds(kClientWidth - 170, 306, 75, 25);
    ButtonOk->SetCaption("&OK");
    ButtonOk->SetModalResult(mrOk);
    ButtonCancel = TComponent::Create<TButton>(this);
    ButtonCancel->SetName("ButtonCancel");
    ButtonCancel->SetParent(this);
    ButtonCancel->SetBounds(kClientWidth - 87, 306, 75, 25);
    ButtonCancel->SetCaption("&Cancel");
    ButtonCancel->SetModalResult(mrCancel);

    ColumnNamesTree->OnInitNode = [this](TBaseDataTree*, PDataNode, PDataNode node,
                                         TDataNodeInitStates&) {
        node->CheckType = ctCheckBox;
        node->CheckState = node->Index < entries_.size() && entries_[node->Index].Visible
                               ? csCheckedNormal
                               : csUncheckedNormal;
    };
    ColumnNamesTree->OnGetText = [this](TBaseDataTree*, PDataNode node, TColumnIndex, TDTStringType,
                                        WideString& text) {
        text = node->Index < entries_.size() ? entries_[node->Index].Title : WideString();
    };
    ColumnNamesTree->OnChecking = [this](TBaseDataTree*, PDataNode node, TCheckState& state,
                                         bool& allowed) {
        ColumnNamesTreeChecking(node, state, allowed);
    };
    ColumnNamesTree->OnFocusChanging = [this](TBaseDataTree*, PDataNode oldNode, PDataNode newNode,
                                              TColumnIndex, TColumnIndex, bool& allowed) {
        ColumnNamesTreeFocusChanging(oldNode, newNode, allowed);
    };
    ColumnNamesTree->OnDragAllowed = [this](TBaseDataTree*, PDataNode node, TColumnIndex,
                                            bool& allowed) {
        allowed = true;
        dragged_ = node;
    };
    ColumnNamesTree->OnDragOver = [](TBaseDataTree*, TBaseDataTree*, TShiftState, TDragState, POINT,
                                     TDropMode, DWORD&, bool& accept) { accept = true; };
    ColumnNamesTree->OnDragDrop = [this](TBaseDataTree*, TBaseDataTree*, IDataObject*,
                                         const std::vector<FORMATETC>&, TShiftState, POINT,
                                         DWORD& effect, TDropMode) {
        ColumnNamesTreeDragDrop(ColumnNamesTree->DropTargetNode(), dragged_);
        effect = DROPEFFECT_NONE;
    };
    EditPixelWidth->OnKeyPress = [this](TObject*, char& key) { EditPixelWidthKeyPress(key); };
    EditPixelWidth->OnExit = [this](TObject*) { EditPixelWidthExit(); };
    CheckBoxLiveUpdate->OnClick = [this](TObject*) { CheckBoxLiveUpdateClick(); };
    OnKeyPress = [this](TObject*, char& key) { FormKeyPress(key); };
    OnResize = [this](TObject*) { FormResize(); };
    FormResize();
}

void TFormColumnSettings::SetEntries(std::vector<TColumnSettingsEntry> entries) {
    entries_ = std::move(entries);
    dragged_ = nullptr;
    ColumnNamesTree->Clear();
    ColumnNamesTree->SetRootNodeCount(uint32_t(entries_.size()));
    EditPixelWidth->SetText("");
}

PDataNode TFormColumnSettings::NodeOf(int line) const {
    for (PDataNode n = ColumnNamesTree->GetFirst(); n; n = ColumnNamesTree->GetNextSibling(n))
        if (int(n->Index) == line) return n;
    return nullptr;
}

void TFormColumnSettings::Update() {
    if (CheckBoxLiveUpdate->Checked() && OnUpdate) OnUpdate(this);
}

void TFormColumnSettings::ColumnNamesTreeChecking(PDataNode node, TCheckState& newState,
                                                  bool& allowed) {
    allowed = true;
    if (!node || node->Index >= entries_.size()) return;
    entries_[node->Index].Visible = (newState & ~1) == csCheckedNormal;
    Update();
}

bool TFormColumnSettings::StoreWidth(PDataNode node) {
    if (!node || node->Index >= entries_.size()) return false;
    const std::optional<int> width = ParseWidth(EditPixelWidth->Text());
    if (!width) return false;
    entries_[node->Index].Width = *width;
    return true;
}

void TFormColumnSettings::ColumnNamesTreeFocusChanging(PDataNode oldNode, PDataNode newNode,
                                                       bool& allowed) {
    allowed = true;
    StoreWidth(oldNode);
    EditPixelWidth->SetText(newNode && newNode->Index < entries_.size()
                                ? AnsiString(std::to_string(entries_[newNode->Index].Width))
                                : AnsiString());
}

void TFormColumnSettings::EditPixelWidthKeyPress(char& key) {
    if (key == 13) {
        // A width refused changed nothing, so there is nothing to apply.
        if (StoreWidth(ColumnNamesTree->FocusedNode())) Update();
        key = 0;
        return;
    }
    if ((key >= '0' && key <= '9') || key == 8) return;
    MessageBeep(0);
    key = 0;
}

void TFormColumnSettings::EditPixelWidthExit() {
    StoreWidth(ColumnNamesTree->FocusedNode());
    Update();
}

void TFormColumnSettings::ColumnNamesTreeDragDrop(PDataNode target, PDataNode dragged) {
    ScopeGuard forget([this] { dragged_ = nullptr; });
    if (!target || !dragged || target == dragged || target->Parent != dragged->Parent) return;
    const size_t from = dragged->Index, to = target->Index;
    if (from >= entries_.size() || to >= entries_.size()) return;
    // Keep the width being typed with its line.
    StoreWidth(ColumnNamesTree->FocusedNode());
    const TColumnSettingsEntry moved = entries_[from];
    entries_.erase(entries_.begin() + long(from));
    // From above the target the line goes after it, else before it; with
    // the line taken out, both land on the target's old place.
    entries_.insert(entries_.begin() + long(to), moved);
    // The nodes show the lines by place: give each its line's state again.
    for (PDataNode n = ColumnNamesTree->GetFirst(); n; n = ColumnNamesTree->GetNextSibling(n))
        if (n->Index < entries_.size())
            n->CheckState = entries_[n->Index].Visible ? csCheckedNormal : csUncheckedNormal;
    if (PDataNode moved = NodeOf(int(to))) {
        ColumnNamesTree->ClearSelection();
        ColumnNamesTree->SetFocusedNode(moved);
        ColumnNamesTree->SetSelected(moved, true);
    }
    ColumnNamesTree->Invalidate();
    Update();
}

void TFormColumnSettings::CheckBoxLiveUpdateClick() {
    Update();
}

void TFormColumnSettings::FormKeyPress(char& key) {
    if (key == 13 && ActiveControl() != EditPixelWidth) {
        ButtonOk->Click();
        key = 0;
    }
}

void TFormColumnSettings::FormResize() {
    if (!Label2 || !EditPixelWidth || !Label3) return;
    const int gap = 4;
    const int total = Label2->Width() + gap + EditPixelWidth->Width() + gap + Label3->Width();
    // Never past the left edge, whatever the font makes of the texts.
    const int left = std::max(4, ClientWidth() / 2 - total / 2 - 8);
    const int top = EditPixelWidth->Top();
    Label2->SetBounds(left, top + 3, Label2->Width(), Label2->Height());
    EditPixelWidth->SetBounds(left + Label2->Width() + gap, top, EditPixelWidth->Width(),
                              EditPixelWidth->Height());
    Label3->SetBounds(EditPixelWidth->Left() + EditPixelWidth->Width() + gap, top + 3,
                      Label3->Width(), Label3->Height());
    CheckBoxLiveUpdate->SetBounds(left, CheckBoxLiveUpdate->Top(), CheckBoxLiveUpdate->Width(),
                                  CheckBoxLiveUpdate->Height());
}

} // namespace ax
