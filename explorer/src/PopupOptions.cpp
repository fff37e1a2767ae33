// The published settings of the explorer combo box's drop-downs: what they
// store and read.
#include "explorer/PopupOptions.h"

#include "framework/streaming.h"

#include <vector>

namespace ax {

namespace {
const std::vector<const char*> kPopupOptionNames = {"poAnimated", "poEnabled", "poPersistentSizing",
                                                     "poSizeable", "poRespectSysAnimationFlag", "poThemeAware"};
} // namespace

TBitmap& TPopupListOptions::Background() const {
    if (!background_) background_ = std::make_unique<TBitmap>();
    return *background_;
}

void TPopupListOptions::DefineCommon(TFiler& f) {
    f.Integer("AnimationSpeed", [this] { return AnimationSpeed(); },
              [this](int64_t v) { SetAnimationSpeed(int(v)); }, 200);
    f.Integer("AutoScrollTimeFast", [this] { return AutoScrollTimeFast(); },
              [this](int64_t v) { SetAutoScrollTimeFast(int(v)); }, 10);
    f.Integer("AutoScrollTimeSlow", [this] { return AutoScrollTimeSlow(); },
              [this](int64_t v) { SetAutoScrollTimeSlow(int(v)); }, 200);
    f.DefineObject("Background", &Background());
    f.Integer("BackgroundOffsetX", [this] { return BackgroundOffsetX(); },
              [this](int64_t v) { SetBackgroundOffsetX(int(v)); }, 0);
    f.Integer("BackgroundOffsetY", [this] { return BackgroundOffsetY(); },
              [this](int64_t v) { SetBackgroundOffsetY(int(v)); }, 0);
    DefineColorProperty(f, "Color", [this] { return Color(); }, [this](TColor c) { SetColor(c); }, clWindow);
    f.Integer("DefaultNodeHeight", [this] { return DefaultNodeHeight(); },
              [this](int64_t v) { SetDefaultNodeHeight(int(v)); }, 17);
    f.Integer("DropDownCount", [this] { return DropDownCount(); },
              [this](int64_t v) { SetDropDownCount(int(v)); }, 8);
}

void TPopupListOptions::DefineIndentAndOptions(TFiler& f, int defaultIndent) {
    f.Integer("Indent", [this] { return Indent(); }, [this](int64_t v) { SetIndent(int(v)); }, defaultIndent);
    f.Set("Options", kPopupOptionNames, [this] { return Options(); }, [this](unsigned v) { SetOptions(v); },
          DefaultPopupOptions);
}

void TPopupExplorerOptions::DefinePublished(TFiler& f) {
    TPersistent::DefinePublished(f);
    DefineCommon(f);
    f.Enum("ComboBoxStyle", {"cbsClassic", "cbsExpEnhanced"}, [this] { return int(comboBoxStyle_); },
           [this](int v) { comboBoxStyle_ = TExplorerComboBoxStyle(v); }, int(cbsClassic));
    DefineIndentAndOptions(f, 10);
}

void TPopupAutoCompleteOptions::DefinePublished(TFiler& f) {
    TPersistent::DefinePublished(f);
    DefineCommon(f);
    DefineIndentAndOptions(f, 0);
    f.Set("Contents",
          {"accCurrentDir", "accMyComputer", "accDesktop", "accFavorites", "accFileSysOnly", "accFileSysDirs",
           "accFileSysFiles", "accHidden", "accRecursive", "accSortList"},
          [this] { return Contents(); }, [this](unsigned v) { SetContents(v); }, DefaultAutoCompleteContents);
}

} // namespace ax
