// The modal message boxes. Each box is an ordinary form built at run time:
// an icon or picture, an auto-sized label, bitmap buttons laid out in rows
// under the text, and a lowered frame.
#include "controls/MessageBoxes.h"

#include <algorithm>

#include "MessageBoxForm.h"
#include "platform/gdi/uniqueicon.h"
#include "platform/module.h"
#include "stdctrls/buttons.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/label.h"

namespace ax {

namespace {

// The text of a caption list entry, and the kind and text of each letter
// of a standard button set.
struct StandardButton {
    char letter;
    TBitBtnKind kind;
    AnsiString TMessageBoxSettings::*text;
};
constexpr StandardButton kStandardButtons[] = {
    {'a', bkAbort, &TMessageBoxSettings::AbortText},   {'c', bkCancel, &TMessageBoxSettings::CancelText},
    {'i', bkIgnore, &TMessageBoxSettings::IgnoreText}, {'n', bkNo, &TMessageBoxSettings::NoText},
    {'o', bkOK, &TMessageBoxSettings::OkText},         {'r', bkRetry, &TMessageBoxSettings::RetryText},
    {'y', bkYes, &TMessageBoxSettings::YesText},
};
// The letters of the MB_OK to MB_RETRYCANCEL sets.
constexpr const char* kButtonSets[] = {"o", "oc", "ari", "ync", "yn", "rc"};

void FillStandardTexts(TMessageBoxSettings& s) {
    const auto fill = [](AnsiString& text, const char* value) {
        if (text.empty()) text = value;
    };
    fill(s.YesText, "&Yes");
    fill(s.NoText, "&No");
    fill(s.CancelText, "&Cancel");
    fill(s.OkText, "&OK");
    fill(s.RetryText, "&Retry");
    fill(s.AbortText, "&Abort");
    fill(s.IgnoreText, "Ignore");
}

// What a box shows, decoded from the caller's arguments.
struct BoxPlan {
    int count = 0;
    int defaultButton = 1;
    UINT icon = 0;        // standard boxes: MB_ICON value, 0 for none
    std::string letters;  // standard boxes
    bool custom = false;
    bool hasPicture = false;
};

// Decodes the MB_ flags the way the boxes always have: subtracting the
// foreground, default-button and icon values from the top down. Answers
// false for a button set outside the six.
bool DecodeFlags(UINT flags, BoxPlan& plan, bool& toFront) {
    if (flags >= MB_SETFOREGROUND) {
        flags -= MB_SETFOREGROUND;
        toFront = true;
    }
    for (int d = 4; d >= 2; --d) {
        const UINT value = UINT(d - 1) * MB_DEFBUTTON2;
        if (flags >= value) {
            plan.defaultButton = d;
            flags -= value;
            break;
        }
    }
    for (UINT icon : {MB_ICONASTERISK, MB_ICONEXCLAMATION, MB_ICONQUESTION, MB_ICONHAND}) {
        if (flags >= icon) {
            plan.icon = icon;
            flags -= icon;
            break;
        }
    }
    if (flags > MB_RETRYCANCEL) return false;
    plan.letters = kButtonSets[flags];
    plan.count = int(plan.letters.size());
    return true;
}

unsigned StockIconOf(UINT icon) {
    switch (icon) {
    case MB_ICONHAND: return IDI_HAND;
    case MB_ICONQUESTION: return IDI_QUESTION;
    case MB_ICONEXCLAMATION: return IDI_EXCLAMATION;
    default: return IDI_ASTERISK;
    }
}

// The button row's layout: where each button goes and the box's client size.
struct RowLayout {
    std::vector<POINT> positions;
    int clientWidth = 0, clientHeight = 0;
};

// x is the text's left edge, y its bottom, right the text's right edge; all
// buttons have the size w x h and gap g between them.
RowLayout LayoutButtons(int count, int x, int y, int right, int w, int h, int g) {
    RowLayout out;
    y += g;
    // The row is centred under a text wider than it.
    const int perRow = count == 1 ? 1 : (count == 2 || count == 4) ? 2 : count <= 9 ? 3 : 4;
    const int spanGaps = perRow <= 2 ? perRow - 1 : perRow;
    if (perRow * w + perRow * g < right) x = (x + right - perRow * w - spanGaps * g) / 2;
    const int rowStart = x;
    const int firstColumn = count > 9 ? -1 : 0;
    int column = firstColumn;
    int widest = 0;
    for (int i = 1; i <= count; ++i) {
        out.positions.push_back({x, y});
        column = (count == 4 && i == 2) ? 3 : column + 1;
        if (column > 2) {
            y += h + g;
            column = firstColumn;
            x = rowStart;
        } else {
            x += w + g;
            if (i == count) y += h + g;
        }
        widest = std::max(widest, x);
    }
    if (count > 2 && count != 4) widest += w + 2 * g;
    if (g + right > widest) widest = right + 2 * g;
    out.clientWidth = widest;
    out.clientHeight = y;
    return out;
}

// The box form, freed when the call ends however it ends.
using BoxPtr = std::unique_ptr<TMessageBoxForm>;

} // namespace

TMessageBoxSettings& MessageBoxSettings() {
    static TMessageBoxSettings settings;
    return settings;
}

std::unique_ptr<TMessageBoxForm> CreateBoxForm(TColor color, TPosition position, bool stayOnTop,
                                               const AnsiString& caption) {
    TMessageBoxSettings& s = MessageBoxSettings();
    auto form = std::make_unique<TMessageBoxForm>(nullptr);
    TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    // The box belongs to the main form's window (kept in front of it, and
    // brought up with it), unless boxes are to have no owner.
    if (!s.NoOwner && main && main != form.get() && main->HandleAllocated()) form->SetParentWindow(main->Handle());
    form->SetColor(color);
    form->SetBorderStyle(bsSingle);
    form->SetBorderIcons(biSystemMenu);
    form->SetPosition(position);
    form->SetWindowState(wsNormal);
    form->SetFormStyle(s.NoOwner || stayOnTop ? fsStayOnTop : fsNormal);
    form->SetCaption(caption);
    // The layout sets client sizes, which need the window's frame.
    form->HandleNeeded();
    return form;
}

void PlayBoxSound(const AnsiString& Sound) {
    if (Sound.empty()) return;
    AnsiString upper = Sound;
    for (char& c : upper) c = char(std::toupper(uint8_t(c)));
    static const std::pair<const char*, UINT> kNamed[] = {
        {"MB_ICONINFORMATION", MB_ICONINFORMATION}, {"MB_ICONEXCLAMATION", MB_ICONEXCLAMATION},
        {"MB_ICONQUESTION", MB_ICONQUESTION},       {"MB_ICONERROR", MB_ICONERROR},
        {"BEEP", 0},
    };
    for (const auto& [name, type] : kNamed)
        if (upper == name) {
            MessageBeep(type);
            return;
        }
    if (Sound == "0") {
        MessageBeep(0);
    } else if (Sound == "65535") {
        MessageBeep(0xFFFF);
    } else if (Sound.find_first_of("\\/") != AnsiString::npos) {
        PlaySound(Sound, 0, SND_ASYNC);
    } else {
        const auto program = programModule();
        PlaySound(Sound, program ? program->handle : 0, SND_RESOURCE | SND_ASYNC);
    }
}

namespace {

// Which buttons and picture a box gets; false: the flags ask for no box.
bool PlanBox(BoxPlan& plan, UINT flags, const TPicture* picture, const TStringList* captions,
             uint8_t defaultButton, bool& toFront) {
    plan.custom = captions != nullptr;
    if (plan.custom) {
        plan.count = captions->Count();
        plan.defaultButton = defaultButton;
        plan.hasPicture = picture && picture->Graphic() && !picture->Graphic()->Empty();
    } else {
        if (!DecodeFlags(flags, plan, toFront)) return false;
        plan.hasPicture = plan.icon != 0;
        FillStandardTexts(MessageBoxSettings());
    }
    if (plan.count == 0) return false;
    // A default beyond the last button means the first, as 0 does.
    if (plan.defaultButton < 1 || plan.defaultButton > plan.count) plan.defaultButton = 1;
    return true;
}

// Where the text goes, and how far down the icon block reaches.
struct BoxCursor {
    int x = 18, y = 18;
    int iconHeight = 32;
    int pictureBottom = 0;
};

BoxCursor AddIcon(TMessageBoxForm* form, const BoxPlan& plan, const TPicture* picture, TColor color) {
    BoxCursor at;
    if (!plan.hasPicture) return at;
    auto* image = TComponent::Create<TImage>(form);
    image->SetParent(form);
    image->SetTransparent(true);
    UniqueIcon icon;
    if (plan.custom) {
        image->SetBounds(0, 0, picture->Width(), picture->Height());
    } else {
        icon.Reset(LoadIcon(0, StockIconOf(plan.icon)));
        const SIZE size = GetIconSize(icon.Get());
        image->SetBounds(0, 0, size.cx, size.cy);
    }
    const int w = image->Width(), h = image->Height();
    int top = h / 2 + 2, left = w / 2 + 2;
    at.y = top;
    at.x = left + w + w / 2;
    if (w <= 16) {
        at.x += 16;
        left += 8;
    }
    if (h <= 16) {
        at.y += 8;
        top += 8;
    }
    image->SetBounds(left, top, w, h);
    if (plan.custom) {
        image->Picture().Assign(picture);
    } else {
        TCanvas& c = image->Canvas();
        c.Brush().SetColor(color);
        c.FillRect({0, 0, w, h});
        DrawIcon(c.Handle(), 0, 0, icon.Get());
    }
    at.iconHeight = h;
    at.pictureBottom = top + h;
    return at;
}

// The text, centred on a taller icon; moves the cursor below it and
// returns its right edge.
int AddText(TMessageBoxForm* form, const AnsiString& text, BoxCursor& at) {
    const TMessageBoxSettings& s = MessageBoxSettings();
    auto* label = TComponent::Create<TLabel>(form);
    label->SetParent(form);
    if (s.LabelFont) label->SetFont(*s.LabelFont);
    // Message texts carry file names: an "&" in them is shown, not taken
    // as an accelerator.
    label->SetShowAccelChar(false);
    label->SetCaption(text);
    label->SetLeft(at.x);
    label->SetTop(label->Height() >= at.iconHeight ? at.y : at.iconHeight / 2 + at.y - label->Height() / 2);
    at.y = label->Top() + label->Height();
    return at.x + label->Width();
}

struct ButtonRow {
    std::vector<TBitBtn*> buttons;
    int gap = 0; // above the row: half a button's own height
};

ButtonRow AddButtons(TMessageBoxForm* form, const BoxPlan& plan, const TStringList* captions,
                     TImageList* glyphs) {
    const TMessageBoxSettings& s = MessageBoxSettings();
    ButtonRow row;
    for (int i = 1; i <= plan.count; ++i) {
        auto* b = TComponent::Create<TBitBtn>(form);
        b->SetParent(form);
        if (s.ButtonFont) b->SetFont(*s.ButtonFont);
        if (plan.custom) {
            b->SetModalResult(10 + i);
            b->SetCaption((*captions)[i - 1]);
            if (glyphs && i - 1 < glyphs->Count()) {
                TBitmap glyph;
                glyphs->GetBitmap(i - 1, glyph);
                b->SetGlyph(glyph);
            }
        } else {
            const char letter = plan.letters[size_t(i - 1)];
            for (const StandardButton& sb : kStandardButtons)
                if (sb.letter == letter) {
                    b->SetKind(sb.kind);
                    b->SetCaption(s.*sb.text);
                }
            // Escape means Cancel where there is one: never "No" to a
            // question that also offers Cancel.
            if (letter == 'n' && plan.letters.find('c') != std::string::npos) b->SetCancel(false);
        }
        if (i == 1) row.gap = b->Height() / 2;
        if (s.ButtonHeight) b->SetHeight(s.ButtonHeight);
        if (s.ButtonWidth) b->SetWidth(s.ButtonWidth);
        row.buttons.push_back(b);
    }
    return row;
}

// The buttons in a row below the text (and the picture), and the form
// sized round it all.
void PlaceButtons(TMessageBoxForm* form, const ButtonRow& row, BoxCursor at, int right) {
    const auto& buttons = row.buttons;
    // A picture taller than the text must not reach into the button row.
    if (at.pictureBottom > at.y + row.gap) at.y = at.pictureBottom;
    const RowLayout layout = LayoutButtons(int(buttons.size()), at.x, at.y, right, buttons.back()->Width(),
                                           buttons.back()->Height(), row.gap);
    for (size_t i = 0; i < buttons.size(); ++i)
        buttons[i]->SetBounds(layout.positions[i].x, layout.positions[i].y, buttons[i]->Width(),
                              buttons[i]->Height());
    form->SetClientSize(layout.clientWidth, layout.clientHeight);
    form->AddFrame();
}

// The focus reaches the default button through the dialog's own Tab
// handling once the modal loop runs.
void FocusDefaultButton(const ButtonRow& row, int defaultButton) {
    const HWND first = row.buttons.front()->Handle();
    for (int i = 1; i < defaultButton; ++i) {
        PostMessage(first, WM_KEYDOWN, VK_TAB, 0);
        PostMessage(first, WM_KEYUP, VK_TAB, 0);
    }
}

int RunMessageBox(const AnsiString& text, const AnsiString& caption, const AnsiString& sound, UINT flags,
                  const TPicture* picture, const TStringList* captions, TImageList* glyphs, bool silent,
                  TPosition position, bool stayOnTop, bool toFront, TColor color, uint8_t defaultButton) {
    BoxPlan plan;
    if (!PlanBox(plan, flags, picture, captions, defaultButton, toFront)) return 0;

    BoxPtr form = CreateBoxForm(color, position, stayOnTop, caption);
    form->EditSystemMenu();

    if (plan.custom) PlayBoxSound(sound);
    else if (!silent) MessageBeep(plan.icon);

    BoxCursor at = AddIcon(form.get(), plan, picture, color);
    const int right = AddText(form.get(), text, at);
    const ButtonRow row = AddButtons(form.get(), plan, captions, glyphs);
    PlaceButtons(form.get(), row, at, right);
    FocusDefaultButton(row, plan.defaultButton);

    if (toFront) form->BringOwnerToFront(MessageBoxSettings().MinimizeRestore);
    SetWindowPos(form->Handle(), HWND_TOPMOST, form->Left(), form->Top(), 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    form->AnnounceModal();
    return form->ShowModal();
}

} // namespace

int BuildMessageBox(const AnsiString& Text, const AnsiString& Caption, const AnsiString& Sound, UINT Flags,
                    const TPicture* Picture, const TStringList* Captions, TImageList* Glyphs, bool Silent,
                    TPosition Position, bool StayOnTop, bool ToFront, TColor Color, uint8_t DefaultButton) {
    try {
        return RunMessageBox(Text, Caption, Sound, Flags, Picture, Captions, Glyphs, Silent, Position, StayOnTop,
                             ToFront, Color, DefaultButton);
    } catch (const std::exception&) {
        // A box that cannot be built or shown answers nothing.
        return 0;
    }
}

int MessageBoxEx(const AnsiString& Text, const AnsiString& Caption, bool Silent, UINT Flags) {
    TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    const AnsiString caption = main && Caption.empty() ? main->Caption() : Caption;
    return BuildMessageBox(Text, caption, "", Flags, nullptr, nullptr, nullptr, Silent,
                           main ? poOwnerFormCenter : poDesktopCenter, false, true,
                           main ? main->Color() : clBtnFace, 0);
}

bool InfoBox(const AnsiString& Text) { return MessageBoxEx(Text, "", true, MB_ICONINFORMATION) > 0; }

int CustomMessageBox(const AnsiString& Text, const AnsiString& Caption, const TPicture* Picture,
                     TImageList* Glyphs, TPosition Position, const AnsiString& Buttons, const AnsiString& Sound,
                     bool StayOnTop, bool ToFront, TColor Color, uint8_t DefaultButton) {
    AnsiString list = Buttons;
    if (!list.empty() && list.front() == '|') list.erase(0, 1);
    if (list.empty()) return 0;
    if (list.back() != '|') list += '|';
    TStringList captions;
    for (size_t start = 0, bar; (bar = list.find('|', start)) != AnsiString::npos; start = bar + 1)
        captions.Add(list.substr(start, bar - start));
    TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    const AnsiString caption = main && Caption.empty() ? main->Caption() : Caption;
    return BuildMessageBox(Text, caption, Sound, 0, Picture, &captions, Glyphs, false,
                           main ? Position : poDesktopCenter, StayOnTop, main ? ToFront : false, Color,
                           DefaultButton);
}

int HelpBox(const AnsiString& Text) {
    return CustomMessageBox(Text, "", nullptr, nullptr, poOwnerFormCenter, "OK|Help", "", true, true, clBtnFace, 1);
}

} // namespace ax
