// Status bar and progress bar.
#include <algorithm>
#include <cstring>

#include "framework/streaming.h"
#include "stdctrls/comctrls.h"
#include "stdctrls_internal.h"

namespace ax {

namespace {
constexpr int kTopBorder = 2, kPartGap = 2;
} // namespace

// ---- Panels ---------------------------------------------------------------------------------

TStatusPanel::TStatusPanel(TCollection* collection) : TCollectionItem(collection) {}

void TStatusPanel::Assign(const TPersistent* source) {
    if (auto* p = dynamic_cast<const TStatusPanel*>(source)) {
        text_ = p->text_;
        width_ = p->width_;
        alignment_ = p->alignment_;
        bevel_ = p->bevel_;
        style_ = p->style_;
        Changed(false);
        return;
    }
    TCollectionItem::Assign(source);
}

void TStatusPanel::DefinePublished(TFiler& f) {
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, [this] { return int(alignment_); },
           [this](int v) { SetAlignment(TAlignment(v)); }, 0);
    f.Enum("Bevel", {"pbNone", "pbLowered", "pbRaised"}, [this] { return int(bevel_); },
           [this](int v) { SetBevel(TStatusPanelBevel(v)); }, int(pbLowered));
    f.Enum("Style", {"psText", "psOwnerDraw"}, [this] { return int(style_); },
           [this](int v) { SetStyle(TStatusPanelStyle(v)); }, 0);
    f.String("Text", [this] { return text_; }, [this](const AnsiString& v) { SetText(v); });
    f.Integer("Width", [this] { return width_; }, [this](int64_t v) { SetWidth(int(v)); }, 50);
}

void TStatusPanel::SetText(const AnsiString& text) {
    if (text_ == text) return;
    text_ = text;
    Changed(false);
}
void TStatusPanel::SetWidth(int width) {
    if (width_ == width) return;
    width_ = width;
    Changed(true);
}
void TStatusPanel::SetAlignment(TAlignment value) {
    if (alignment_ == value) return;
    alignment_ = value;
    Changed(false);
}
void TStatusPanel::SetBevel(TStatusPanelBevel value) {
    if (bevel_ == value) return;
    bevel_ = value;
    Changed(false);
}
void TStatusPanel::SetStyle(TStatusPanelStyle value) {
    if (style_ == value) return;
    style_ = value;
    Changed(false);
}

TStatusPanels::TStatusPanels(TStatusBar* bar)
    : TCollection([](TCollection* c) { return std::make_unique<TStatusPanel>(c); }, bar), bar_(bar) {}

void TStatusPanels::Update(TCollectionItem* item) {
    TCollection::Update(item);
    bar_->UpdatePanels();
}

// ---- Status bar -----------------------------------------------------------------------------

TStatusBar::TStatusBar(TComponent* owner) : TCustomControl(owner), panels_(std::make_unique<TStatusPanels>(this)) {
    color_ = clBtnFace;
    SetBounds(0, 0, 200, 19);
    SetAlign(alBottom);
}

TStatusBar::~TStatusBar() = default;

void TStatusBar::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Collection("Panels", *panels_);
    f.Bool("SimplePanel", [this] { return simplePanel_; }, [this](bool v) { SetSimplePanel(v); }, false);
    f.String("SimpleText", [this] { return simpleText_; }, [this](const AnsiString& v) { SetSimpleText(v); });
    f.Bool("SizeGrip", [this] { return sizeGrip_; }, [this](bool v) { SetSizeGrip(v); }, true);
}

void TStatusBar::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    if (sizeGrip_) p.Style |= SBARS_SIZEGRIP;
}

void TStatusBar::SetSimplePanel(bool value) {
    if (simplePanel_ == value) return;
    simplePanel_ = value;
    Perform(SB_SIMPLE, value);
}

void TStatusBar::SetSimpleText(const AnsiString& text) {
    if (simpleText_ == text) return;
    simpleText_ = text;
    Perform(SB_SETTEXT, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void TStatusBar::SetSizeGrip(bool value) {
    if (sizeGrip_ == value) return;
    sizeGrip_ = value;
    RecreateWnd();
    Invalidate();
}

void TStatusBar::UpdatePanels() {
    const int count = panels_->Count();
    std::vector<int> edges;
    int pos = 0;
    for (int i = 0; i < count; ++i) {
        pos += panels_->Items(i)->Width();
        edges.push_back(i + 1 == count ? -1 : pos);
    }
    if (edges.empty()) edges.push_back(-1);
    Perform(SB_SETPARTS, WPARAM(edges.size()), reinterpret_cast<LPARAM>(edges.data()));
    for (int i = 0; i < count; ++i) {
        TStatusPanel* panel = panels_->Items(i);
        WPARAM flags = WPARAM(i);
        if (panel->Bevel() == pbNone) flags |= SBT_NOBORDERS;
        if (panel->Bevel() == pbRaised) flags |= SBT_POPOUT;
        if (panel->Style() == psOwnerDraw) {
            Perform(SB_SETTEXT, flags | SBT_OWNERDRAW, reinterpret_cast<LPARAM>(panel));
        } else {
            // Tabs choose the alignment, as the parts' text format has it.
            static const char* const prefix[] = {"", "\t\t", "\t"};
            const AnsiString text = prefix[panel->Alignment()] + panel->Text();
            Perform(SB_SETTEXT, flags, reinterpret_cast<LPARAM>(text.c_str()));
        }
    }
}

RECT TStatusBar::PartRect(int part) {
    RECT r{};
    if (!Perform(SB_GETRECT, WPARAM(part), reinterpret_cast<LPARAM>(&r))) return RECT{};
    return r;
}

void TStatusBar::DrawPanel(TStatusPanel* panel, const RECT& rect) {
    if (OnDrawPanel) OnDrawPanel(this, panel, rect);
    else Canvas().FillRect(rect);
}

void TStatusBar::DrawPart(TCanvas& c, int index, const Part& part, RECT rect) {
    HDC dc = c.Handle();
    if (!(part.flags & SBT_NOBORDERS)) {
        RECT edge = rect;
        DrawEdge(dc, &edge, (part.flags & SBT_POPOUT) ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
    }
    if (part.flags & SBT_OWNERDRAW) {
        DRAWITEMSTRUCT dis;
        dis.CtlType = 0;
        dis.CtlID = HandleAllocated() ? UINT(GetDlgCtrlID(handle_)) : 0;
        dis.itemID = UINT(index);
        dis.itemAction = ODA_DRAWENTIRE;
        dis.hwndItem = handle_;
        dis.hDC = dc;
        dis.rcItem = rect;
        dis.itemData = uintptr_t(part.data);
        const int saved = SaveDC(dc);
        LRESULT handled = 0;
        if (parent_ && parent_->HandleAllocated())
            handled = SendMessage(parent_->Handle(), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        if (!handled) Perform(CN_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        RestoreDC(dc, saved);
        c.Refresh();
        return;
    }
    // "left\tcentre\tright", as the parts' text format has it.
    RECT text = rect;
    InflateRect(&text, -3, -1);
    const AnsiString& s = part.text;
    const size_t tab1 = s.find('\t');
    const size_t tab2 = tab1 == AnsiString::npos ? AnsiString::npos : s.find('\t', tab1 + 1);
    const AnsiString pieces[3] = {s.substr(0, tab1),
                                  tab1 == AnsiString::npos ? "" : s.substr(tab1 + 1, tab2 == AnsiString::npos ? AnsiString::npos : tab2 - tab1 - 1),
                                  tab2 == AnsiString::npos ? "" : s.substr(tab2 + 1)};
    static constexpr UINT align[] = {DT_LEFT, DT_CENTER, DT_RIGHT};
    c.Font().SetColor(Font().Color());
    for (int i = 0; i < 3; ++i) {
        if (pieces[i].empty()) continue;
        RECT r = text;
        CanvasDrawText(c, pieces[i], r, align[i] | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
}

void TStatusBar::Paint() {
    TCanvas& c = Canvas();
    const RECT client = ClientRect();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color_);
    c.FillRect(client);
    if (simpleMode_) {
        DrawPart(c, SB_SIMPLEID, simple_, PartRect(SB_SIMPLEID));
    } else {
        for (int i = 0; i < int(parts_.size()); ++i) {
            const RECT r = PartRect(i);
            if (r.width() > 0) DrawPart(c, i, parts_[size_t(i)], r);
        }
    }
    if (sizeGrip_) {
        const int size = GetSystemMetrics(SM_CXVSCROLL);
        RECT grip{client.right - size, std::max(client.top, client.bottom - size), client.right, client.bottom};
        DrawFrameControl(c.Handle(), &grip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
    }
}

void TStatusBar::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CN_DRAWITEM: {
        const auto& dis = *reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
        TCanvas& c = Canvas();
        const bool ownHandle = c.HandleAllocated() && c.Handle().value == dis.hDC.value;
        if (!ownHandle) {
            c.Lock();
            c.SetHandle(dis.hDC);
        }
        c.Font().Assign(&Font());
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(color_);
        if (int(dis.itemID) < panels_->Count()) DrawPanel(panels_->Items(int(dis.itemID)), dis.rcItem);
        if (!ownHandle) {
            c.SetHandle({});
            c.Unlock();
        }
        m.Result = 1;
        return;
    }
    case WM_SIZE:
        TCustomControl::Dispatch(m);
        Invalidate();
        return;
    }
    TCustomControl::Dispatch(m);
}

void TStatusBar::DefaultHandler(TMessage& m) {
    switch (m.Msg) {
    case SB_SETPARTS: {
        const int count = int(m.WParam);
        if (count < 1 || count > 256 || !m.LParam) {
            m.Result = FALSE;
            return;
        }
        const int* edges = reinterpret_cast<const int*>(m.LParam);
        parts_.resize(size_t(count));
        for (int i = 0; i < count; ++i) parts_[size_t(i)].edge = edges[i];
        Invalidate();
        m.Result = TRUE;
        return;
    }
    case SB_GETPARTS: {
        int* out = reinterpret_cast<int*>(m.LParam);
        for (int i = 0; out && i < int(m.WParam) && i < int(parts_.size()); ++i) out[i] = parts_[size_t(i)].edge;
        m.Result = LRESULT(parts_.size());
        return;
    }
    case SB_SETTEXT: {
        const int index = int(m.WParam & 0xFF);
        Part* part = index == int(SB_SIMPLEID) ? &simple_ : index < int(parts_.size()) ? &parts_[size_t(index)] : nullptr;
        if (!part) {
            m.Result = FALSE;
            return;
        }
        part->flags = m.WParam & ~WPARAM(0xFF);
        part->data = m.LParam;
        part->text = (part->flags & SBT_OWNERDRAW) || !m.LParam ? "" : reinterpret_cast<const char*>(m.LParam);
        Invalidate();
        m.Result = TRUE;
        return;
    }
    case SB_GETTEXT:
    case SB_GETTEXTLENGTH: {
        const int index = int(m.WParam & 0xFF);
        const Part* part = index == int(SB_SIMPLEID) ? &simple_ : index < int(parts_.size()) ? &parts_[size_t(index)] : nullptr;
        if (!part) {
            m.Result = 0;
            return;
        }
        if (m.Msg == SB_GETTEXT && (part->flags & SBT_OWNERDRAW)) {
            m.Result = part->data;
            return;
        }
        if (m.Msg == SB_GETTEXT && m.LParam)
            std::memcpy(reinterpret_cast<char*>(m.LParam), part->text.c_str(), part->text.size() + 1);
        m.Result = MAKELPARAM(int(part->text.size()), int(part->flags >> 8));
        return;
    }
    case SB_GETRECT: {
        const int index = int(m.WParam);
        RECT* out = reinterpret_cast<RECT*>(m.LParam);
        const RECT client = ClientRect();
        const int right = client.right - (sizeGrip_ ? GetSystemMetrics(SM_CXVSCROLL) : 0);
        if (simpleMode_ || index == int(SB_SIMPLEID)) {
            if (!(simpleMode_ && (index == 0 || index == int(SB_SIMPLEID)))) {
                m.Result = FALSE;
                return;
            }
            *out = {0, kTopBorder, right, client.bottom};
            m.Result = TRUE;
            return;
        }
        if (index < 0 || index >= int(parts_.size())) {
            m.Result = FALSE;
            return;
        }
        int left = 0;
        for (int i = 0; i < index; ++i) {
            const int edge = parts_[size_t(i)].edge;
            left = (edge < 0 ? right : std::min(edge, right)) + kPartGap;
        }
        const int edge = parts_[size_t(index)].edge;
        const int partRight = edge < 0 ? right : std::min(edge, right);
        *out = {std::min(left, partRight), kTopBorder, partRight, client.bottom};
        m.Result = TRUE;
        return;
    }
    case SB_GETBORDERS: {
        int* out = reinterpret_cast<int*>(m.LParam);
        if (out) {
            out[0] = 0;
            out[1] = kTopBorder;
            out[2] = kPartGap;
        }
        m.Result = TRUE;
        return;
    }
    case SB_SIMPLE:
        simpleMode_ = m.WParam != 0;
        Invalidate();
        return;
    case SB_ISSIMPLE: m.Result = simpleMode_; return;
    case SB_SETMINHEIGHT: return;
    }
    TCustomControl::DefaultHandler(m);
}

// ---- Progress bar ---------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, 150, 16);
    color_ = clBtnFace;
}

void TProgressBar::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Integer("Min", [this] { return min_; }, [this](int64_t v) { SetMin(int(v)); }, 0);
    f.Integer("Max", [this] { return max_; }, [this](int64_t v) { SetMax(int(v)); }, 100);
    f.Integer("Position", [this] { return position_; }, [this](int64_t v) { SetPosition(int(v)); }, 0);
    f.Integer("Step", [this] { return step_; }, [this](int64_t v) { SetStep(int(v)); }, 10);
    f.Bool("Smooth", [this] { return smooth_; }, [this](bool v) { SetSmooth(v); }, false);
    f.Enum("Orientation", {"pbHorizontal", "pbVertical"}, [this] { return int(orientation_); },
           [this](int v) { SetOrientation(TProgressBarOrientation(v)); }, 0);
}

void TProgressBar::SetSmooth(bool v) {
    if (smooth_ == v) return;
    smooth_ = v;
    Invalidate();
}

void TProgressBar::SetOrientation(TProgressBarOrientation v) {
    if (orientation_ == v) return;
    orientation_ = v;
    Invalidate();
}

void TProgressBar::DefaultHandler(TMessage& m) {
    const int old = position_;
    switch (m.Msg) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
        const int oldRange = MAKELPARAM(min_, max_);
        if (m.Msg == PBM_SETRANGE) {
            min_ = short(LOWORD(uintptr_t(m.LParam)));
            max_ = short(HIWORD(uintptr_t(m.LParam)));
        } else {
            min_ = int(m.WParam);
            max_ = int(m.LParam);
        }
        position_ = std::clamp(position_, std::min(min_, max_), std::max(min_, max_));
        Invalidate();
        m.Result = oldRange;
        return;
    }
    case PBM_SETPOS: position_ = int(m.WParam); break;
    case PBM_DELTAPOS: position_ += int(m.WParam); break;
    case PBM_SETSTEP:
        m.Result = step_;
        step_ = int(m.WParam);
        return;
    case PBM_STEPIT:
        position_ += step_;
        // Stepping past the end starts again, as the platform's bar does.
        if (position_ > max_) position_ = min_ + (position_ - max_);
        break;
    case PBM_GETRANGE: m.Result = m.WParam ? min_ : max_; return;
    case PBM_GETPOS: m.Result = position_; return;
    case PBM_SETBARCOLOR:
        m.Result = barColor_;
        barColor_ = m.LParam == LPARAM(0xFF000000u) ? clDefault : TColor(m.LParam);
        Invalidate();
        return;
    default: TCustomControl::DefaultHandler(m); return;
    }
    position_ = std::clamp(position_, std::min(min_, max_), std::max(min_, max_));
    if (position_ != old) Invalidate();
    m.Result = old;
}

void TProgressBar::Paint() {
    TCanvas& c = Canvas();
    RECT r = ClientRect();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color_);
    c.FillRect(r);
    DrawEdge(c.Handle(), &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    InflateRect(&r, -1, -1);
    const int range = max_ - min_;
    if (range <= 0 || r.width() <= 0 || r.height() <= 0) return;
    const bool horizontal = orientation_ == pbHorizontal;
    const int length = horizontal ? r.width() : r.height();
    const int filled = int(int64_t(position_ - min_) * length / range);
    c.Brush().SetColor(barColor_ == clDefault ? clHighlight : barColor_);
    if (smooth_) {
        RECT bar = r;
        if (horizontal) bar.right = r.left + filled;
        else bar.top = r.bottom - filled;
        c.FillRect(bar);
        return;
    }
    // Blocks two thirds of the bar's thickness long, 2 pixels apart.
    const int block = std::max(2, (horizontal ? r.height() : r.width()) * 2 / 3);
    for (int at = 0; at < filled; at += block + 2) {
        const int len = std::min(block, length - at);
        RECT b = horizontal ? RECT{r.left + at, r.top, r.left + at + len, r.bottom}
                            : RECT{r.left, r.bottom - at - len, r.right, r.bottom - at};
        c.FillRect(b);
    }
}

} // namespace ax
