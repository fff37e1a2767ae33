#pragma once
// TFormPlacement saves its form's window placement when the form closes and
// restores it when the form shows, in an ini file or the registry, and lets
// linked controls (TIniLink) keep their own settings in the same storage.
#include <functional>
#include <memory>
#include <vector>

#include "controls/AppUtils.h"
#include "controls/ExHook.h"
#include "framework/forms.h"

namespace ax {

class TFormPlacement;

// Size limits of a form; 0 leaves the system's value.
class TWinMinMaxInfo : public TPersistent {
public:
    AnsiString ClassName() const override { return "TWinMinMaxInfo"; }
    void DefinePublished(TFiler& filer) override;
    void Assign(const TPersistent* source) override;
    bool DefaultMinMaxInfo() const;
    int MaxPosLeft = 0, MaxPosTop = 0, MaxSizeHeight = 0, MaxSizeWidth = 0, MaxTrackHeight = 0,
        MaxTrackWidth = 0, MinTrackHeight = 0, MinTrackWidth = 0;
};

enum TPlacementOption : unsigned { fpState = 1, fpPosition = 2, fpActiveControl = 4 };
using TPlacementOptions = unsigned;
enum TPlacementRegRoot { prCurrentUser, prLocalMachine, prCurrentConfig, prClassesRoot, prUsers, prDynData };

// A control's hold on a placement's storage: told when the storage saves
// and loads.
class TIniLink {
public:
    explicit TIniLink(TFormPlacement* storage = nullptr) { SetStorage(storage); }
    ~TIniLink() { SetStorage(nullptr); }
    TIniLink(const TIniLink&) = delete;
    TIniLink& operator=(const TIniLink&) = delete;
    TFormPlacement* Storage() const { return storage_; }
    void SetStorage(TFormPlacement* storage);
    // The storage's open ini object (null while it is closed).
    TIniStorage* IniObject() const;
    // The storage's section followed by "\" (empty without one).
    AnsiString RootSection() const;
    std::function<void()> OnSave;
    std::function<void()> OnLoad;

private:
    friend class TFormPlacement;
    TFormPlacement* storage_ = nullptr;
};

class TFormPlacement : public TComponent {
public:
    explicit TFormPlacement(TComponent* owner);
    ~TFormPlacement() override;
    AnsiString ClassName() const override { return "TFormPlacement"; }
    void DefinePublished(TFiler& filer) override;
    void Loaded() override;

    bool Active() const { return active_; }
    void SetActive(bool v) { active_ = v; }
    const AnsiString& IniFileName() const { return iniFileName_; }
    void SetIniFileName(const AnsiString& name) { iniFileName_ = name; }
    // The section, or the form's default one.
    AnsiString IniSection() const;
    void SetIniSection(const AnsiString& section) { iniSection_ = section; }
    TWinMinMaxInfo& MinMaxInfo() { return minMaxInfo_; }
    void SetMinMaxInfo(const TWinMinMaxInfo& info);
    TPlacementOptions Options() const { return options_; }
    void SetOptions(TPlacementOptions options) { options_ = options; }
    bool PreventResize() const { return preventResize_; }
    void SetPreventResize(bool value);
    TPlacementRegRoot RegistryRoot() const { return registryRoot_; }
    void SetRegistryRoot(TPlacementRegRoot root) { registryRoot_ = root; }
    bool UseRegistry() const { return useRegistry_; }
    void SetUseRegistry(bool value) { useRegistry_ = value; }
    int Version() const { return version_; }
    void SetVersion(int version) { version_ = version; }

    void SaveFormPlacement();
    void RestoreFormPlacement();
    // The storage while a save or restore runs (null otherwise).
    TIniStorage* IniObject() const { return ini_.get(); }

    TNotifyEvent OnSavePlacement;
    TNotifyEvent OnRestorePlacement;

private:
    friend class TIniLink;
    TCustomForm* Form() const { return dynamic_cast<TCustomForm*>(Owner()); }
    std::unique_ptr<TIniStorage> OpenStorage();
    void UpdatePreventResize();
    void UpdateHook();
    void FormShow(TObject* sender);
    void FormCloseQuery(TObject* sender, bool& canClose);
    void FormDestroy(TObject* sender);
    void HookAfterMessage(TMessage& m);

    bool active_ = true;
    AnsiString iniFileName_;
    AnsiString iniSection_;
    TWinMinMaxInfo minMaxInfo_;
    TPlacementOptions options_ = fpState | fpPosition;
    bool preventResize_ = false;
    TPlacementRegRoot registryRoot_ = prCurrentUser;
    bool useRegistry_ = false;
    int version_ = 0;
    TExWindowHook* hook_ = nullptr; // owned
    std::vector<TIniLink*> links_;
    TNotifyEvent savedShow_;
    TCloseQueryEvent savedCloseQuery_;
    TNotifyEvent savedDestroy_;
    bool restored_ = false;
    bool saving_ = false;
    bool handlersTaken_ = false;
    std::unique_ptr<TIniStorage> ini_;
};

} // namespace ax
