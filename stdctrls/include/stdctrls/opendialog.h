#pragma once
// The open dialog component: Execute runs the platform's open dialog
// (GetOpenFileNameA) with the component's properties and takes back what
// the user chose: the file names, the filter index and the read-only and
// extension-different options.
#include "rtl/lists.h"
#include "stdctrls/commdlg.h"
#include "stdctrls/dialogs.h"

namespace ax {

enum TOpenOption : unsigned {
    ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp, ofNoValidate,
    ofAllowMultiSelect, ofExtensionDifferent, ofPathMustExist, ofFileMustExist, ofCreatePrompt,
    ofShareAware, ofNoReadOnlyReturn, ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames,
    ofOldStyleDialog, ofNoDereferenceLinks, ofEnableIncludeNotify, ofEnableSizing
};
// A set of TOpenOption: bit (1 << option).
using TOpenOptions = unsigned;
constexpr TOpenOptions OpenOptions(std::initializer_list<TOpenOption> options) {
    TOpenOptions set = 0;
    for (TOpenOption o : options) set |= 1u << o;
    return set;
}

// A platform dialog function: GetOpenFileNameA, GetSaveFileNameA or a
// wrapper of either.
using TFileDialogFunction = BOOL (*)(OPENFILENAMEA*);

class TOpenDialog : public TCommonDialog {
public:
    explicit TOpenDialog(TComponent* owner);
    AnsiString ClassName() const override { return "TOpenDialog"; }
    void DefinePublished(TFiler& filer) override;
    bool Execute() override;

    const AnsiString& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const AnsiString& ext) { defaultExt_ = ext; }
    const AnsiString& FileName() const { return fileName_; }
    void SetFileName(const AnsiString& name) { fileName_ = name; }
    // Every chosen file (several with ofAllowMultiSelect).
    const TStringList& Files() const { return files_; }
    // "Description|patterns|Description|patterns..."
    const AnsiString& Filter() const { return filter_; }
    void SetFilter(const AnsiString& filter) { filter_ = filter; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int index) { filterIndex_ = index; }
    const AnsiString& InitialDir() const { return initialDir_; }
    void SetInitialDir(const AnsiString& dir) { initialDir_ = dir; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions options) { options_ = options; }
    const AnsiString& Title() const { return title_; }
    void SetTitle(const AnsiString& title) { title_ = title; }

protected:
    // The execution routine: fills the 76-byte record from the
    // properties, runs the dialog function over the program's windows and
    // takes the results back. True when the user confirmed.
    bool DoExecute(TFileDialogFunction dialog);

private:
    AnsiString defaultExt_;
    AnsiString fileName_;
    TStringList files_;
    AnsiString filter_;
    int filterIndex_ = 1;
    AnsiString initialDir_;
    TOpenOptions options_ = OpenOptions({ofHideReadOnly, ofEnableSizing});
    AnsiString title_;
};

} // namespace ax
