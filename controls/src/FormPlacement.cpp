// The form placement component: the size limits it applies to its form
// (WM_GETMINMAXINFO, and no resizing borders and no Size or Maximize in the
// window menu when PreventResize), the hook
// that saves on close and restores on show, and the linked ini clients.
#include "controls/FormPlacement.h"

#include <algorithm>

#include "framework/streaming.h"
#include "platform/window/sysmenu.h"
#include "rtl/scopeguard.h"

namespace ax {

// ---- TWinMinMaxInfo -------------------------------------------------------------------------

void TWinMinMaxInfo::DefinePublished(TFiler& f) {
    const auto field = [&](const char* name, int& value) {
        f.Integer(name, [&value] { return value; }, [&value](int64_t v) { value = int(v); }, 0);
    };
    field("MaxPosLeft", MaxPosLeft);
    field("MaxPosTop", MaxPosTop);
    field("MaxSizeHeight", MaxSizeHeight);
    field("MaxSizeWidth", MaxSizeWidth);
    field("MaxTrackHeight", MaxTrackHeight);
    field("MaxTrackWidth", MaxTrackWidth);
    field("MinTrackHeight", MinTrackHeight);
    field("MinTrackWidth", MinTrackWidth);
}

void TWinMinMaxInfo::Assign(const TPersistent* source) {
    if (auto* other = dynamic_cast<const TWinMinMaxInfo*>(source)) {
        MaxPosLeft = other->MaxPosLeft;
        MaxPosTop = other->MaxPosTop;
        MaxSizeHeight = other->MaxSizeHeight;
        MaxSizeWidth = other->MaxSizeWidth;
        MaxTrackHeight = other->MaxTrackHeight;
        MaxTrackWidth = other->MaxTrackWidth;
        MinTrackHeight = other->MinTrackHeight;
        MinTrackWidth = other->MinTrackWidth;
        return;
    }
    TPersistent::Assign(source);
}

bool TWinMinMaxInfo::DefaultMinMaxInfo() const {
    return !(MaxPosLeft || MaxPosTop || MaxSizeHeight || MaxSizeWidth || MaxTrackHeight || MaxTrackWidth ||
             MinTrackHeight || MinTrackWidth);
}

// ---- TIniLink -------------------------------------------------------------------------------

void TIniLink::SetStorage(TFormPlacement* storage) {
    if (storage_ == storage) return;
    if (storage_) std::erase(storage_->links_, this);
    storage_ = storage;
    if (storage_) storage_->links_.push_back(this);
}

TIniStorage* TIniLink::IniObject() const { return storage_ ? storage_->IniObject() : nullptr; }

AnsiString TIniLink::RootSection() const {
    if (!storage_) return {};
    const AnsiString section = storage_->IniSection();
    return section.empty() ? section : section + "\\";
}

// ---- TFormPlacement -------------------------------------------------------------------------

TFormPlacement::TFormPlacement(TComponent* owner) : TComponent(owner) {
    if (!dynamic_cast<TCustomForm*>(owner)) options_ = 0;
}

TFormPlacement::~TFormPlacement() {
    Destroying();
    for (TIniLink* link : std::vector<TIniLink*>(links_)) link->storage_ = nullptr;
    links_.clear();
    if (TCustomForm* form = Form(); form && handlersTaken_) {
        form->OnShow = savedShow_;
        form->OnCloseQuery = savedCloseQuery_;
        form->OnDestroy = savedDestroy_;
    }
}

void TFormPlacement::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Bool("Active", [this] { return active_; }, [this](bool v) { active_ = v; }, true);
    f.String("IniFileName", [this] { return iniFileName_; }, [this](const AnsiString& v) { iniFileName_ = v; });
    f.String("IniSection", [this] { return iniSection_; }, [this](const AnsiString& v) { iniSection_ = v; });
    f.DefineObject("MinMaxInfo", &minMaxInfo_);
    f.Set("Options", {"fpState", "fpPosition", "fpActiveControl"}, [this] { return options_; },
          [this](unsigned v) { options_ = v; }, fpState | fpPosition);
    f.Bool("PreventResize", [this] { return preventResize_; }, [this](bool v) { SetPreventResize(v); }, false);
    f.Enum("RegistryRoot", {"prCurrentUser", "prLocalMachine", "prCurrentConfig", "prClassesRoot", "prUsers", "prDynData"},
           [this] { return int(registryRoot_); }, [this](int v) { registryRoot_ = TPlacementRegRoot(v); }, 0);
    f.Bool("UseRegistry", [this] { return useRegistry_; }, [this](bool v) { useRegistry_ = v; }, false);
    f.Integer("Version", [this] { return version_; }, [this](int64_t v) { version_ = int(v); }, 0);
}

void TFormPlacement::Loaded() {
    TComponent::Loaded();
    TCustomForm* form = Form();
    if (!form || HasState(csDesigning) || handlersTaken_) return;
    // The form's handlers stay in force: each is called after ours.
    handlersTaken_ = true;
    savedShow_ = form->OnShow;
    savedCloseQuery_ = form->OnCloseQuery;
    savedDestroy_ = form->OnDestroy;
    form->OnShow = [this](TObject* s) { FormShow(s); };
    form->OnCloseQuery = [this](TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
    form->OnDestroy = [this](TObject* s) { FormDestroy(s); };
    UpdateHook();
}

AnsiString TFormPlacement::IniSection() const {
    return iniSection_.empty() ? GetDefaultSection(Owner()) : iniSection_;
}

void TFormPlacement::SetMinMaxInfo(const TWinMinMaxInfo& info) {
    minMaxInfo_.Assign(&info);
    UpdateHook();
}

void TFormPlacement::SetPreventResize(bool value) {
    if (preventResize_ == value) return;
    preventResize_ = value;
    UpdatePreventResize();
    UpdateHook();
}

void TFormPlacement::UpdatePreventResize() {
    TCustomForm* form = Form();
    if (!form || HasState(csLoading)) return;
    if (form->BorderStyle() == bsDialog) return;
    TBorderIcons icons = form->BorderIcons();
    if (preventResize_) icons &= ~TBorderIcons(biMaximize);
    else icons |= biMaximize;
    form->SetBorderIcons(icons);
}

void TFormPlacement::UpdateHook() {
    TCustomForm* form = Form();
    const bool wanted = form && handlersTaken_ && (!minMaxInfo_.DefaultMinMaxInfo() || preventResize_);
    if (wanted && !hook_) {
        hook_ = TComponent::Create<TExWindowHook>(this);
        hook_->AfterMessage = [this](TObject*, TMessage& m, bool&) { HookAfterMessage(m); };
    }
    if (hook_) {
        hook_->SetWinControl(wanted ? form : nullptr);
        if (wanted) {
            // Re-attached, so that it hears the form's messages first.
            hook_->UnhookControl();
            hook_->HookControl();
        }
    }
    // The window asks for its limits again, and the display hears of them.
    if (form && form->HandleAllocated())
        SetWindowPos(form->Handle(), nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TFormPlacement::HookAfterMessage(TMessage& m) {
    TCustomForm* form = Form();
    if (!form) return;
    if (m.Msg == WM_GETMINMAXINFO && m.LParam) {
        auto& info = *reinterpret_cast<MINMAXINFO*>(m.LParam);
        const TWinMinMaxInfo& limits = minMaxInfo_;
        const auto apply = [](LONG& field, int value) {
            if (value) field = value;
        };
        apply(info.ptMaxPosition.x, limits.MaxPosLeft);
        apply(info.ptMaxPosition.y, limits.MaxPosTop);
        apply(info.ptMaxSize.x, limits.MaxSizeWidth);
        apply(info.ptMaxSize.y, limits.MaxSizeHeight);
        apply(info.ptMaxTrackSize.x, limits.MaxTrackWidth);
        apply(info.ptMaxTrackSize.y, limits.MaxTrackHeight);
        apply(info.ptMinTrackSize.x, limits.MinTrackWidth);
        apply(info.ptMinTrackSize.y, limits.MinTrackHeight);
        if (preventResize_ && form->Visible()) {
            // The window's own size: a size being set may be the form's already.
            RECT now{};
            GetWindowRect(form->Handle(), now);
            info.ptMinTrackSize = {now.width(), now.height()};
            info.ptMaxTrackSize = info.ptMinTrackSize;
        }
    } else if (m.Msg == WM_NCHITTEST && preventResize_ && m.Result >= HTLEFT && m.Result <= HTBOTTOMRIGHT) {
        m.Result = HTCLIENT;
    } else if (m.Msg == WM_INITMENUPOPUP && preventResize_ && HIWORD(m.LParam)) {
        // The window menu opens.
        const auto menu = reinterpret_cast<HMENU>(m.WParam);
        EnableMenuItem(menu, UINT(SC_SIZE), MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(menu, UINT(SC_MAXIMIZE), MF_BYCOMMAND | MF_GRAYED);
    }
}

std::unique_ptr<TIniStorage> TFormPlacement::OpenStorage() {
    if (useRegistry_) {
        static constexpr HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CURRENT_CONFIG,
                                         HKEY_CLASSES_ROOT, HKEY_USERS,         HKEY_CURRENT_USER};
        return std::make_unique<TRegistryStorage>(roots[registryRoot_],
                                                  iniFileName_.empty() ? GetDefaultIniRegKey() : iniFileName_);
    }
    return std::make_unique<TIniFileStorage>(iniFileName_.empty() ? GetDefaultIniName() : iniFileName_);
}

void TFormPlacement::SaveFormPlacement() {
    TCustomForm* form = Form();
    if (!form) return;
    ini_ = OpenStorage();
    ScopeGuard close([this] { ini_.reset(); });
    const AnsiString section = IniSection();
    ini_->WriteInteger(section, "FormVersion", version_);
    WriteFormPlacement(*form, ini_.get(), section);
    if ((options_ & fpActiveControl) && form->ActiveControl())
        ini_->WriteString(section, "ActiveControl", form->ActiveControl()->Name());
    ini_->WriteBool(section, "Visible", saving_);
    for (TIniLink* link : std::vector<TIniLink*>(links_))
        if (link->OnSave) link->OnSave();
    if (OnSavePlacement) OnSavePlacement(this);
}

void TFormPlacement::RestoreFormPlacement() {
    TCustomForm* form = Form();
    if (!form) return;
    ini_ = OpenStorage();
    ScopeGuard close([this] { ini_.reset(); });
    const AnsiString section = IniSection();
    // Settings of an older layout of the form are not applied.
    if (ini_->ReadInteger(section, "FormVersion", 0) >= version_) {
        ReadFormPlacement(*form, ini_.get(), section, options_ & fpState, options_ & fpPosition);
        if (OnRestorePlacement) OnRestorePlacement(this);
        for (TIniLink* link : std::vector<TIniLink*>(links_))
            if (link->OnLoad) link->OnLoad();
        if (options_ & fpActiveControl) {
            const AnsiString name = ini_->ReadString(section, "ActiveControl", "");
            if (auto* control = dynamic_cast<TWinControl*>(form->FindComponent(name)); control && control->CanFocus())
                form->SetActiveControl(control);
        }
    }
    restored_ = true;
    UpdatePreventResize();
}

void TFormPlacement::FormShow(TObject* sender) {
    if (active_) RestoreFormPlacement();
    if (savedShow_) savedShow_(sender);
}

void TFormPlacement::FormCloseQuery(TObject* sender, bool& canClose) {
    if (savedCloseQuery_) savedCloseQuery_(sender, canClose);
    if (canClose && active_) {
        SaveFormPlacement();
        restored_ = false; // saved: the form's end need not save again
    }
}

void TFormPlacement::FormDestroy(TObject* sender) {
    if (active_ && restored_) {
        saving_ = true;
        SaveFormPlacement();
        saving_ = false;
    }
    if (savedDestroy_) savedDestroy_(sender);
}

} // namespace ax
