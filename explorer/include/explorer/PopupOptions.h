#pragma once
// The published settings of the explorer combo box's two drop-downs.
// Threads: GUI thread only.
#include "explorer/PopupAutoCompleteTree.h"
#include "explorer/PopupExplorerTree.h"
#include "framework/graphics.h"
#include "shell/WideStrings.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace ax {

// The combo box's look (stdctrls owns the name TComboBoxStyle).
enum TExplorerComboBoxStyle : uint8_t { cbsClassic, cbsExpEnhanced };

// Handled true shows List as it stands instead of the shell's candidates.
using TAutoCompleteUpdateListEvent = std::function<void(
    TObject* Sender, const WideString& CurrentEditContents, TWideStringList& List, bool& Handled)>;

// What the settings of both drop-downs share; each reads and writes the
// drop-down or its list.
class TPopupListOptions : public TPersistent {
public:
    explicit TPopupListOptions(TDropDownWnd& dropDown) : dropDown_(dropDown) {}
    AnsiString ClassName() const override { return "TPopupListOptions"; }

    int AnimationSpeed() const { return dropDown_.AnimationSpeed(); }
    void SetAnimationSpeed(int ms) { dropDown_.SetAnimationSpeed(ms); }
    int AutoScrollTimeFast() const { return dropDown_.AutoScrollTimeFast(); }
    void SetAutoScrollTimeFast(int ms) { dropDown_.SetAutoScrollTimeFast(ms); }
    int AutoScrollTimeSlow() const { return dropDown_.AutoScrollTimeSlow(); }
    void SetAutoScrollTimeSlow(int ms) { dropDown_.SetAutoScrollTimeSlow(ms); }
    TBitmap& Background() const;
    int BackgroundOffsetX() const { return backgroundOffsetX_; }
    void SetBackgroundOffsetX(int x) { backgroundOffsetX_ = x; }
    int BackgroundOffsetY() const { return backgroundOffsetY_; }
    void SetBackgroundOffsetY(int y) { backgroundOffsetY_ = y; }
    TColor Color() const { return dropDown_.List().Color(); }
    void SetColor(TColor color) { dropDown_.List().SetColor(color); }
    int DefaultNodeHeight() const { return dropDown_.List().DefaultNodeHeight(); }
    void SetDefaultNodeHeight(int height) { dropDown_.List().SetDefaultNodeHeight(height); }
    int DropDownCount() const { return dropDown_.DropDownCount(); }
    void SetDropDownCount(int rows) { dropDown_.SetDropDownCount(rows); }
    int Indent() const { return dropDown_.List().Indent(); }
    void SetIndent(int indent) { dropDown_.List().SetIndent(indent); }
    TPopupOptions Options() const { return dropDown_.Options(); }
    void SetOptions(TPopupOptions value) { dropDown_.SetOptions(value); }

    TRollDownEvent& OnRollDown() { return dropDown_.OnRollDown; }
    TRollUpEvent& OnRollUp() { return dropDown_.OnRollUp; }

protected:
    // The properties both store, from AnimationSpeed to DropDownCount.
    void DefineCommon(TFiler& filer);
    // Indent (its default differs) and Options.
    void DefineIndentAndOptions(TFiler& filer, int defaultIndent);

private:
    TDropDownWnd& dropDown_;
    mutable std::unique_ptr<TBitmap> background_;
    int backgroundOffsetX_ = 0;
    int backgroundOffsetY_ = 0;
};

// The explorer drop-down's settings.
class TPopupExplorerOptions : public TPopupListOptions {
public:
    explicit TPopupExplorerOptions(TPopupExplorerDropDown& dropDown)
        : TPopupListOptions(dropDown), dropDown_(dropDown) {}
    AnsiString ClassName() const override { return "TPopupExplorerOptions"; }
    void DefinePublished(TFiler& filer) override;

    TExplorerComboBoxStyle ComboBoxStyle() const { return comboBoxStyle_; }
    void SetComboBoxStyle(TExplorerComboBoxStyle style) { comboBoxStyle_ = style; }

    TExpEnumFolderEvent& OnEnumFolder() { return dropDown_.Tree().OnEnumFolder; }

private:
    TPopupExplorerDropDown& dropDown_;
    TExplorerComboBoxStyle comboBoxStyle_ = cbsClassic;
};

// The auto-complete drop-down's settings.
class TPopupAutoCompleteOptions : public TPopupListOptions {
public:
    explicit TPopupAutoCompleteOptions(TPopupAutoCompleteDropDown& dropDown)
        : TPopupListOptions(dropDown), dropDown_(dropDown) {}
    AnsiString ClassName() const override { return "TPopupAutoCompleteOptions"; }
    void DefinePublished(TFiler& filer) override;

    TAutoCompleteContents Contents() const { return dropDown_.AutoComplete().Contents(); }
    void SetContents(TAutoCompleteContents value) { dropDown_.AutoComplete().SetContents(value); }

    TAutoCompleteUpdateListEvent OnAutoCompleteUpdateList;

private:
    TPopupAutoCompleteDropDown& dropDown_;
};

} // namespace ax
