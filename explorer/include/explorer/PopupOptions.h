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

// The explorer drop-down's settings; each reads and writes the drop-down or
// its tree.
class TPopupExplorerOptions : public TPersistent {
public:
    explicit TPopupExplorerOptions(TPopupExplorerDropDown& dropDown) : dropDown_(dropDown) {}
    AnsiString ClassName() const override { return "TPopupExplorerOptions"; }
    void DefinePublished(TFiler& filer) override;

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
    TColor Color() const { return dropDown_.Tree().Color(); }
    void SetColor(TColor color) { dropDown_.Tree().SetColor(color); }
    TExplorerComboBoxStyle ComboBoxStyle() const { return comboBoxStyle_; }
    void SetComboBoxStyle(TExplorerComboBoxStyle style) { comboBoxStyle_ = style; }
    int DefaultNodeHeight() const { return dropDown_.Tree().DefaultNodeHeight(); }
    void SetDefaultNodeHeight(int height) { dropDown_.Tree().SetDefaultNodeHeight(height); }
    int DropDownCount() const { return dropDown_.DropDownCount(); }
    void SetDropDownCount(int rows) { dropDown_.SetDropDownCount(rows); }
    int Indent() const { return dropDown_.Tree().Indent(); }
    void SetIndent(int indent) { dropDown_.Tree().SetIndent(indent); }
    TPopupOptions Options() const { return dropDown_.Options(); }
    void SetOptions(TPopupOptions value) { dropDown_.SetOptions(value); }

    TExpEnumFolderEvent& OnEnumFolder() { return dropDown_.Tree().OnEnumFolder; }
    TRollDownEvent& OnRollDown() { return dropDown_.OnRollDown; }
    TRollUpEvent& OnRollUp() { return dropDown_.OnRollUp; }

private:
    TPopupExplorerDropDown& dropDown_;
    mutable std::unique_ptr<TBitmap> background_;
    int backgroundOffsetX_ = 0;
    int backgroundOffsetY_ = 0;
    TExplorerComboBoxStyle comboBoxStyle_ = cbsClassic;
};

// The auto-complete drop-down's settings.
class TPopupAutoCompleteOptions : public TPersistent {
public:
    explicit TPopupAutoCompleteOptions(TPopupAutoCompleteDropDown& dropDown) : dropDown_(dropDown) {}
    AnsiString ClassName() const override { return "TPopupAutoCompleteOptions"; }
    void DefinePublished(TFiler& filer) override;

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
    TColor Color() const { return dropDown_.Tree().Color(); }
    void SetColor(TColor color) { dropDown_.Tree().SetColor(color); }
    int DefaultNodeHeight() const { return dropDown_.Tree().DefaultNodeHeight(); }
    void SetDefaultNodeHeight(int height) { dropDown_.Tree().SetDefaultNodeHeight(height); }
    int DropDownCount() const { return dropDown_.DropDownCount(); }
    void SetDropDownCount(int rows) { dropDown_.SetDropDownCount(rows); }
    int Indent() const { return dropDown_.Tree().Indent(); }
    void SetIndent(int indent) { dropDown_.Tree().SetIndent(indent); }
    TPopupOptions Options() const { return dropDown_.Options(); }
    void SetOptions(TPopupOptions value) { dropDown_.SetOptions(value); }
    TAutoCompleteContents Contents() const { return dropDown_.AutoComplete().Contents(); }
    void SetContents(TAutoCompleteContents value) { dropDown_.AutoComplete().SetContents(value); }

    TRollDownEvent& OnRollDown() { return dropDown_.OnRollDown; }
    TRollUpEvent& OnRollUp() { return dropDown_.OnRollUp; }
    TAutoCompleteUpdateListEvent OnAutoCompleteUpdateList;

private:
    TPopupAutoCompleteDropDown& dropDown_;
    mutable std::unique_ptr<TBitmap> background_;
    int backgroundOffsetX_ = 0;
    int backgroundOffsetY_ = 0;
};

} // namespace ax
