#pragma once
// The open and save dialog of GetOpenFileNameA and GetSaveFileNameA: the
// places bar (home, Desktop, Documents, the volumes), the folder being
// looked in with a way up, the folder's items (folders first, then the
// files of the chosen type; hidden ones only when asked for), the file
// name field, which also takes a path or a pattern, the types, and the
// read-only box. The members below let tests script it.
#include <string>
#include <vector>

#include "stdctrls/button.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/combobox.h"
#include "stdctrls/commdlg.h"
#include "stdctrls/dialogform.h"
#include "stdctrls/edit.h"
#include "stdctrls/label.h"
#include "stdctrls/listbox.h"

namespace ax {

// A place of the places bar.
struct TFilePlace {
    AnsiString Caption;
    AnsiString Path;
};
// Home, Desktop and Documents when they are folders of their own, then the
// visible volumes ("/" as "File System", the others by their last name).
std::vector<TFilePlace> FileDialogPlaces();

// Whether a file name matches a file type's patterns ("*.txt;*.text"):
// "*" and "?" as wildcards, without regard to case; "*.*" and "*" match
// every name.
bool FileNameMatches(const AnsiString& name, const AnsiString& patterns);

class TFileDialogForm : public TDialogForm {
public:
    // record: the caller's, read here and written by Finish.
    TFileDialogForm(OPENFILENAMEA& record, bool save);
    AnsiString ClassName() const override { return "TFileDialogForm"; }
    const OPENFILENAMEA& Record() const { return record_; }
    bool IsSaveDialog() const { return save_; }

    // The folder looked in (no trailing "/", except "/" itself).
    const AnsiString& Folder() const { return folder_; }
    // Looks in another folder; false (with the reason shown) when it
    // cannot be read.
    bool SetFolder(const AnsiString& path);
    // The list's items as shown: folders with a trailing "/".
    std::vector<AnsiString> ItemNames() const;
    int IndexOfItem(const AnsiString& shownName) const;
    const std::vector<TFilePlace>& Places() const { return places_; }
    // The problem shown under the list, empty when none.
    AnsiString ProblemText() const;

    TListBox& FileList() { return *list_; }
    TEdit& FileNameEdit() { return *nameEdit_; }
    TComboBox& TypeCombo() { return *typeCombo_; }
    TComboBox& LookInCombo() { return *lookIn_; }
    TButton& OkButton() { return *okButton_; }
    TButton& CancelButton() { return *cancelButton_; }
    TButton& UpButton() { return *upButton_; }
    // Null when hidden.
    TListBox* PlacesBar() { return placesBar_; }
    TCheckBox* ReadOnlyCheck() { return readOnly_; }

    // What the OK button does: enters a folder, applies a pattern, or
    // checks the chosen files and ends the dialog with them.
    void Accept();
    // The chosen files as full paths (after the dialog ended with OK).
    const std::vector<AnsiString>& Chosen() const { return chosen_; }

protected:
    void DialogShown() override;
    void Resize() override;

private:
    struct Item {
        AnsiString name;
        bool folder = false;
    };
    void Build(bool places);
    void Layout();
    void FillLookIn();
    void FillList();
    void ListChanged();
    void ListOpen();
    void PlaceChosen();
    void Up();
    void ShowProblem(const AnsiString& text);
    AnsiString CurrentPatterns() const;
    // The names typed in the field: one, or several in double quotes.
    std::vector<AnsiString> TypedNames() const;
    AnsiString Resolve(const AnsiString& typed) const;
    bool CheckChoice(std::vector<AnsiString>& paths);
    bool Confirm(const AnsiString& caption, const AnsiString& text);

    OPENFILENAMEA& record_;
    const bool save_;
    AnsiString folder_;
    AnsiString pattern_; // typed pattern in force, empty for the type's
    std::vector<Item> items_;
    std::vector<TFilePlace> places_;
    std::vector<std::pair<AnsiString, AnsiString>> filters_; // description, patterns
    std::vector<AnsiString> chosen_;
    TListBox* placesBar_ = nullptr;
    TLabel* lookInLabel_ = nullptr;
    TComboBox* lookIn_ = nullptr;
    TButton* upButton_ = nullptr;
    TListBox* list_ = nullptr;
    TLabel* problem_ = nullptr;
    TLabel* nameLabel_ = nullptr;
    TEdit* nameEdit_ = nullptr;
    TLabel* typeLabel_ = nullptr;
    TComboBox* typeCombo_ = nullptr;
    TCheckBox* readOnly_ = nullptr;
    TButton* okButton_ = nullptr;
    TButton* cancelButton_ = nullptr;
    bool filling_ = false;
};

} // namespace ax
