#pragma once
// The platform's folder browser (SHBrowseForFolderA, stdctrls/browsefolder.h)
// as a dialog of our own on the explorer tree: the caller's text above the
// tree, the status line (BIF_STATUSTEXT), the tree of folders (and files
// with BIF_BROWSEINCLUDEFILES) below the root, a field that shows the
// selected folder's path and takes a typed one, and OK and Cancel. Hidden
// folders are not listed, but a typed path may name one.
//
// The caller's callback hears BFFM_INITIALIZED once the window exists and
// is placed (before it shows), then BFFM_SELCHANGED for the selection (the
// root at first) and for every change of it; it may send the window
// BFFM_SETSTATUSTEXTA, BFFM_ENABLEOK and BFFM_SETSELECTIONA. No callback
// is made once the dialog is ending.
//
// Tests script the dialog from OnDialogModal through the members below.
#include "explorer/ExplorerTree.h"
#include "stdctrls/browsefolder.h"
#include "stdctrls/button.h"
#include "stdctrls/dialogform.h"
#include "stdctrls/edit.h"
#include "stdctrls/label.h"

namespace ax {

class TFolderBrowserForm : public TDialogForm {
public:
    explicit TFolderBrowserForm(BROWSEINFOA& info);
    ~TFolderBrowserForm() override;
    AnsiString ClassName() const override { return "TFolderBrowserForm"; }
    const BROWSEINFOA& Info() const { return info_; }

    TExplorerTree& Tree() { return *tree_; }
    TEdit& FolderEdit() { return *edit_; }
    // The status line; null without BIF_STATUSTEXT.
    TWinControl* StatusControl() { return status_; }
    AnsiString StatusText() const;
    TLabel* TitleLabel() { return title_; }
    TButton& OkButton() { return *okButton_; }
    TButton& CancelButton() { return *cancelButton_; }
    // The problem shown under the field, empty when none.
    AnsiString ProblemText() const;

    // The selected item's absolute PIDL (the browser's), null when none.
    PCItemIDList Selection() const;
    // Selects the item of an absolute PIDL below the root (an item under
    // the root's folder on the disk counts too); false when it has no node.
    bool SelectPIDL(PCItemIDList pidl);
    // The node of an item (see SelectPIDL), null when none.
    PDataNode NodeOf(PCItemIDList pidl);

    // What OK does: takes a typed path (selecting it when the tree shows
    // it) or the selection, and ends the dialog; stays with the problem
    // shown when the path names no folder under the root or OK is off.
    void Accept();
    // After the dialog ended with OK: the chosen item (the caller's to
    // free); writes the display name and the icon index into the record.
    PItemIDList TakeResult();

    void Dispatch(TMessage& message) override;

protected:
    void DialogInit() override;
    void DialogShown() override;

private:
    void Build();
    void SelectionChanged();
    void NotifySelection();
    int Notify(UINT message, LPARAM lParam);
    void UpdateOk();
    void ShowProblem(const AnsiString& text);
    // The absolute PIDL of an item below the root, as the tree names it;
    // null when the item is not below the root.
    UniquePIDL BelowRoot(PCItemIDList pidl) const;
    UniquePIDL PathBelowRoot(const AnsiString& path) const;
    AnsiString Resolve(const AnsiString& typed) const;
    void Finish(UniquePIDL chosen);

    BROWSEINFOA& info_;
    UniquePIDL root_; // absolute; the desktop when none is given
    TLabel* title_ = nullptr;
    TWinControl* status_ = nullptr;
    TExplorerTree* tree_ = nullptr;
    TLabel* editLabel_ = nullptr;
    TEdit* edit_ = nullptr;
    TLabel* problem_ = nullptr;
    TButton* okButton_ = nullptr;
    TButton* cancelButton_ = nullptr;

    std::string selected_;      // the selection's PIDL bytes
    std::string notified_;      // the last selection the callback heard of
    AnsiString shownText_;      // what the selection put into the field
    bool okAllowed_ = false;    // by the flags or BFFM_ENABLEOK
    bool typed_ = false;        // the field holds something typed
    bool initialized_ = false;  // BFFM_INITIALIZED was sent
    bool notifying_ = false;
    bool notifyAgain_ = false;
    bool closing_ = false;
    UniquePIDL result_;
};

// The browser behind SHBrowseForFolderA; InstallFolderBrowser makes it the
// installed one.
PItemIDList BrowseForFolder(BROWSEINFOA* info);
void InstallFolderBrowser();

} // namespace ax
