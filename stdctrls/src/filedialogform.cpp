// The open and save dialog.
#include "stdctrls/filedialogform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/shellns/shellops.h"
#include "platform/window/sound.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"

namespace ax {

namespace {

constexpr int kMargin = 8;
constexpr int kPlacesWidth = 96;
constexpr int kLabelColumn = 104; // "Files of type:" and a gap
constexpr int kButtonWidth = 75;
constexpr int kRowHeight = 23;

bool HasWildcard(const AnsiString& s) { return s.find_first_of("*?") != AnsiString::npos; }

// Glob match on code points: "*" any run, "?" one character.
bool Glob(const std::u32string& name, size_t n, const std::u32string& pattern, size_t p) {
    size_t starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

std::u32string Folded(const AnsiString& s) {
    std::u32string out = Utf8ToCodePoints(s);
    for (char32_t& c : out) c = FoldCase(c);
    return out;
}

AnsiString Trimmed(const AnsiString& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == AnsiString::npos) return {};
    const size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// A C text of the caller's, read no further than max bytes.
AnsiString Bounded(const char* text, DWORD max) {
    if (!text) return {};
    return AnsiString(text, strnlen(text, max));
}

AnsiString ParentOf(const AnsiString& folder) { return folder == "/" ? folder : ExtractFileDir(folder); }

} // namespace

std::vector<TFilePlace> FileDialogPlaces() {
    std::vector<TFilePlace> places;
    std::set<AnsiString> seen;
    auto add = [&](const AnsiString& caption, const AnsiString& path) {
        if (path.empty() || !DirectoryExists(path) || !seen.insert(path).second) return;
        places.push_back({caption, path});
    };
    add("Home", HomeDirectory());
    add("Desktop", ExcludeTrailingPathDelimiter(XdgUserDirectory("DESKTOP")));
    add("Documents", ExcludeTrailingPathDelimiter(XdgUserDirectory("DOCUMENTS")));
    for (const Volume& v : VisibleVolumes()) {
        const AnsiString mount = ExcludeTrailingPathDelimiter(v.mountPoint);
        add(mount == "/" ? AnsiString("File System") : ExtractFileName(mount), mount);
    }
    return places;
}

bool FileNameMatches(const AnsiString& name, const AnsiString& patterns) {
    const std::u32string folded = Folded(name);
    size_t at = 0;
    while (at <= patterns.size()) {
        size_t end = patterns.find(';', at);
        if (end == AnsiString::npos) end = patterns.size();
        const AnsiString pattern = Trimmed(patterns.substr(at, end - at));
        if (pattern == "*" || pattern == "*.*") return true;
        if (!pattern.empty() && Glob(folded, 0, Folded(pattern), 0)) return true;
        at = end + 1;
    }
    return false;
}

// ---- TFileDialogForm ------------------------------------------------------------------------

TFileDialogForm::TFileDialogForm(OPENFILENAMEA& record, bool save)
    : TDialogForm(record.hwndOwner), record_(record), save_(save) {
    const AnsiString title = Bounded(record.lpstrTitle, 4096);
    SetCaption(title.empty() ? AnsiString(save ? "Save As" : "Open") : title);
    if (record.Flags & OFN_ENABLESIZING) SetBorderStyle(bsSizeable);
    // The first record has no FlagsEx: its dialog always has the places bar.
    const bool places = record.lStructSize != OPENFILENAME_SIZE_VERSION_500A || !(record.FlagsEx & OFN_EX_NOPLACESBAR);
    if (places) places_ = FileDialogPlaces();
    // Filters: description and patterns in pairs, up to an empty text.
    for (const char* f = record.lpstrFilter; f && *f;) {
        const AnsiString description = f;
        f += description.size() + 1;
        if (!*f) break;
        const AnsiString patterns = f;
        f += patterns.size() + 1;
        filters_.emplace_back(description, patterns);
    }
    Build(places);
    SetClientSize(places ? 560 : 560 - kPlacesWidth - kMargin, 330);
    Layout();
    // Names without a path are taken in the current folder until another is looked in.
    folder_ = GetCurrentDir();

    // A path in the file name is where the dialog looks first, then the
    // initial folder, then the current one.
    AnsiString name = Bounded(record.lpstrFile, record.nMaxFile);
    AnsiString start;
    if (name.find('/') != AnsiString::npos) {
        const AnsiString path = Resolve(name);
        if (DirectoryExists(path)) {
            start = path;
            name.clear();
        } else if (DirectoryExists(ParentOf(path))) {
            start = ParentOf(path);
            name = ExtractFileName(path);
        }
    }
    if (start.empty()) {
        const AnsiString initial = Bounded(record.lpstrInitialDir, 4096);
        if (!initial.empty() && DirectoryExists(Resolve(initial))) start = Resolve(initial);
    }
    if (start.empty()) start = GetCurrentDir();
    if (!SetFolder(start)) SetFolder(HomeDirectory());
    nameEdit_->SetText(name);
}

void TFileDialogForm::Build(bool places) {
    auto label = [&](const AnsiString& caption, TWinControl* focus) {
        auto* l = TComponent::Create<TLabel>(this);
        l->SetParent(this);
        l->SetCaption(caption);
        l->SetFocusControl(focus);
        return l;
    };
    if (places) {
        placesBar_ = TComponent::Create<TListBox>(this);
        placesBar_->SetParent(this);
        for (const TFilePlace& p : places_) placesBar_->Items().Add(p.Caption);
        placesBar_->OnClick = [this](TObject*) { PlaceChosen(); };
        SetControlId(*placesBar_, dciPlacesBar);
    }
    lookIn_ = TComponent::Create<TComboBox>(this);
    lookIn_->SetParent(this);
    lookIn_->SetDropDownCount(12);
    lookIn_->OnSelect = [this](TObject*) {
        const int i = lookIn_->ItemIndex();
        if (i >= 0) SetFolder(lookIn_->Items()[i]);
    };
    SetControlId(*lookIn_, dciLookIn);
    lookInLabel_ = label("Look &in:", lookIn_);
    upButton_ = TComponent::Create<TButton>(this);
    upButton_->SetParent(this);
    upButton_->SetCaption("&Up");
    upButton_->OnClick = [this](TObject*) { Up(); };
    SetControlId(*upButton_, dciUp);

    list_ = TComponent::Create<TListBox>(this);
    list_->SetParent(this);
    if (record_.Flags & OFN_ALLOWMULTISELECT) list_->SetMultiSelect(true);
    list_->OnClick = [this](TObject*) { ListChanged(); };
    list_->OnDblClick = [this](TObject*) { ListOpen(); };
    list_->OnKeyDown = [this](TObject*, WORD& key, TShiftState shift) {
        if (key == VK_BACK && shift == 0) {
            key = 0;
            Up();
        }
    };
    SetControlId(*list_, dciFileList);
    problem_ = TComponent::Create<TLabel>(this);
    problem_->SetParent(this);
    problem_->SetShowAccelChar(false);
    problem_->Font().SetColor(clMaroon);

    nameEdit_ = TComponent::Create<TEdit>(this);
    nameEdit_->SetParent(this);
    SetControlId(*nameEdit_, dciFileName);
    nameLabel_ = label("File &name:", nameEdit_);
    typeCombo_ = TComponent::Create<TComboBox>(this);
    typeCombo_->SetParent(this);
    for (const auto& f : filters_) typeCombo_->Items().Add(f.first);
    if (!filters_.empty()) {
        const DWORD index = record_.nFilterIndex;
        typeCombo_->SetItemIndex(index >= 1 && index <= filters_.size() ? int(index - 1) : 0);
    }
    typeCombo_->SetEnabled(!filters_.empty());
    typeCombo_->OnSelect = [this](TObject*) {
        pattern_.clear();
        FillList();
    };
    SetControlId(*typeCombo_, dciFileType);
    typeLabel_ = label("Files of &type:", typeCombo_);
    if (!(record_.Flags & OFN_HIDEREADONLY)) {
        readOnly_ = TComponent::Create<TCheckBox>(this);
        readOnly_->SetParent(this);
        readOnly_->SetCaption("Open as &read-only");
        readOnly_->SetChecked(record_.Flags & OFN_READONLY);
        SetControlId(*readOnly_, dciReadOnly);
    }
    okButton_ = AddButton(dciOk, save_ ? "&Save" : "&Open", 0, 0);
    okButton_->OnClick = [this](TObject*) { Accept(); };
    cancelButton_ = AddButton(dciCancel, "Cancel", 0, 0);
    // Tab order: the name first, as the dialog opens with it focused.
    nameEdit_->SetTabOrder(0);
}

void TFileDialogForm::Layout() {
    if (!okButton_) return;
    const int W = ClientWidth(), H = ClientHeight();
    int x0 = kMargin;
    if (placesBar_) {
        placesBar_->SetBounds(kMargin, kMargin, kPlacesWidth, std::max(0, H - 2 * kMargin));
        x0 += kPlacesWidth + kMargin;
    }
    const int right = W - kMargin;
    lookInLabel_->SetBounds(x0, kMargin + 4, lookInLabel_->Width(), lookInLabel_->Height());
    const int lookLeft = x0 + 64;
    upButton_->SetBounds(right - 40, kMargin, 40, 21);
    lookIn_->SetBounds(lookLeft, kMargin, std::max(20, right - 40 - kMargin - lookLeft), 21);

    int bottom = H - kMargin;
    if (readOnly_) {
        readOnly_->SetBounds(x0 + kLabelColumn, bottom - 17, 180, 17);
        bottom -= 17 + 6;
    }
    const int typeTop = bottom - kRowHeight;
    const int nameTop = typeTop - kMargin - kRowHeight;
    const int fieldLeft = x0 + kLabelColumn;
    const int fieldWidth = std::max(20, right - kButtonWidth - kMargin - fieldLeft);
    nameLabel_->SetBounds(x0, nameTop + 5, nameLabel_->Width(), nameLabel_->Height());
    nameEdit_->SetBounds(fieldLeft, nameTop + 1, fieldWidth, 21);
    typeLabel_->SetBounds(x0, typeTop + 5, typeLabel_->Width(), typeLabel_->Height());
    typeCombo_->SetBounds(fieldLeft, typeTop + 1, fieldWidth, 21);
    okButton_->SetBounds(right - kButtonWidth, nameTop, kButtonWidth, kRowHeight);
    cancelButton_->SetBounds(right - kButtonWidth, typeTop, kButtonWidth, kRowHeight);

    const int problemTop = nameTop - kMargin - 13;
    problem_->SetBounds(x0, problemTop, problem_->Width(), problem_->Height());
    const int listTop = kMargin + 21 + kMargin;
    list_->SetBounds(x0, listTop, std::max(20, right - x0), std::max(20, problemTop - 4 - listTop));
}

void TFileDialogForm::Resize() {
    TDialogForm::Resize();
    Layout();
}

void TFileDialogForm::DialogShown() {
    nameEdit_->SetFocus();
    nameEdit_->SelectAll();
}

AnsiString TFileDialogForm::Resolve(const AnsiString& typed) const {
    AnsiString path = typed;
    if (path == "~" || path.starts_with("~/")) path = HomeDirectory() + path.substr(1);
    if (path.empty() || path[0] != '/') path = IncludeTrailingPathDelimiter(folder_) + path;
    return ExpandFileName(path);
}

bool TFileDialogForm::SetFolder(const AnsiString& path) {
    const AnsiString folder = ExpandFileName(path.empty() ? AnsiString("/") : path);
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        ShowProblem("The folder \"" + folder + "\" cannot be opened: " + std::strerror(errno) + ".");
        return false;
    }
    closedir(dir);
    folder_ = folder;
    ShowProblem("");
    FillLookIn();
    FillList();
    if (placesBar_) {
        int at = -1;
        for (size_t i = 0; i < places_.size(); ++i)
            if (places_[i].Path == folder_) at = int(i);
        placesBar_->SetItemIndex(at);
    }
    return true;
}

void TFileDialogForm::FillLookIn() {
    lookIn_->Items().BeginUpdate();
    lookIn_->Items().Clear();
    for (AnsiString f = folder_;; f = ParentOf(f)) {
        lookIn_->Items().Add(f);
        if (f == "/") break;
    }
    lookIn_->Items().EndUpdate();
    lookIn_->SetItemIndex(0);
}

AnsiString TFileDialogForm::CurrentPatterns() const {
    if (!pattern_.empty()) return pattern_;
    const int i = typeCombo_->ItemIndex();
    if (i >= 0 && size_t(i) < filters_.size()) return filters_[size_t(i)].second;
    return "*";
}

void TFileDialogForm::FillList() {
    items_.clear();
    const bool hidden = record_.Flags & OFN_FORCESHOWHIDDEN;
    const AnsiString patterns = CurrentPatterns();
    std::vector<Item> folders, files;
    if (DIR* dir = opendir(folder_.c_str())) {
        const AnsiString prefix = IncludeTrailingPathDelimiter(folder_);
        while (const dirent* e = readdir(dir)) {
            const AnsiString name = e->d_name;
            if (name == "." || name == "..") continue;
            if (name[0] == '.' && !hidden) continue;
            struct stat st{};
            // Links count as what they lead to.
            const bool isFolder = ::stat((prefix + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if (isFolder) folders.push_back({name, true});
            else if (FileNameMatches(name, patterns)) files.push_back({name, false});
        }
        closedir(dir);
    }
    auto byName = [](const Item& a, const Item& b) {
        const int c = CompareText(a.name, b.name);
        return c != 0 ? c < 0 : a.name < b.name;
    };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    items_ = std::move(folders);
    items_.insert(items_.end(), files.begin(), files.end());
    filling_ = true;
    list_->Items().BeginUpdate();
    list_->Items().Clear();
    for (const Item& item : items_) list_->Items().Add(item.folder ? item.name + "/" : item.name);
    list_->Items().EndUpdate();
    list_->SetTopIndex(0);
    filling_ = false;
}

std::vector<AnsiString> TFileDialogForm::ItemNames() const {
    std::vector<AnsiString> names;
    for (const Item& item : items_) names.push_back(item.folder ? item.name + "/" : item.name);
    return names;
}

int TFileDialogForm::IndexOfItem(const AnsiString& shownName) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if ((items_[i].folder ? items_[i].name + "/" : items_[i].name) == shownName) return int(i);
    return -1;
}

AnsiString TFileDialogForm::ProblemText() const { return problem_->Caption(); }

void TFileDialogForm::ShowProblem(const AnsiString& text) {
    problem_->SetCaption(text);
    if (!text.empty()) MessageBeep(0);
}

void TFileDialogForm::ListChanged() {
    if (filling_) return;
    std::vector<AnsiString> files;
    for (size_t i = 0; i < items_.size(); ++i)
        if (!items_[i].folder && list_->Selected(int(i))) files.push_back(items_[i].name);
    if (files.empty()) return;
    if (files.size() == 1) {
        nameEdit_->SetText(files[0]);
        return;
    }
    AnsiString text;
    for (const AnsiString& f : files) text += (text.empty() ? "\"" : " \"") + f + "\"";
    nameEdit_->SetText(text);
}

void TFileDialogForm::ListOpen() {
    const int i = list_->ItemIndex();
    if (i < 0 || size_t(i) >= items_.size()) return;
    if (items_[size_t(i)].folder) {
        SetFolder(IncludeTrailingPathDelimiter(folder_) + items_[size_t(i)].name);
        return;
    }
    nameEdit_->SetText(items_[size_t(i)].name);
    Accept();
}

void TFileDialogForm::PlaceChosen() {
    const int i = placesBar_->ItemIndex();
    if (i >= 0 && size_t(i) < places_.size()) SetFolder(places_[size_t(i)].Path);
}

void TFileDialogForm::Up() {
    if (folder_ != "/") SetFolder(ParentOf(folder_));
}

std::vector<AnsiString> TFileDialogForm::TypedNames() const {
    const AnsiString text = Trimmed(nameEdit_->Text());
    std::vector<AnsiString> names;
    if (text.empty()) return names;
    if (text.size() >= 2 && text.front() == '"' && (record_.Flags & OFN_ALLOWMULTISELECT)) {
        // "a" "b": every quoted name; text outside quotes is left out.
        for (size_t at = text.find('"'); at != AnsiString::npos;) {
            const size_t close = text.find('"', at + 1);
            if (close == AnsiString::npos) {
                names.push_back(text.substr(at + 1));
                break;
            }
            if (close > at + 1) names.push_back(text.substr(at + 1, close - at - 1));
            at = text.find('"', close + 1);
        }
        return names;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        names.push_back(text.substr(1, text.size() - 2));
        return names;
    }
    names.push_back(text);
    return names;
}

void TFileDialogForm::Accept() {
    ShowProblem("");
    // A folder chosen in the list, and nothing typed or the list in use:
    // go into it.
    const int focusIndex = list_->ItemIndex();
    const bool folderInList = focusIndex >= 0 && size_t(focusIndex) < items_.size() &&
                              items_[size_t(focusIndex)].folder && list_->Selected(focusIndex);
    std::vector<AnsiString> names = TypedNames();
    if (folderInList && (names.empty() || list_->Focused())) {
        SetFolder(IncludeTrailingPathDelimiter(folder_) + items_[size_t(focusIndex)].name);
        return;
    }
    if (names.empty()) return;
    if (names.size() == 1) {
        const AnsiString typed = names[0];
        if (HasWildcard(typed)) {
            // A pattern lists the matching files of its folder.
            const size_t slash = typed.rfind('/');
            if (slash != AnsiString::npos && !SetFolder(Resolve(typed.substr(0, slash + 1)))) return;
            pattern_ = typed.substr(slash == AnsiString::npos ? 0 : slash + 1);
            FillList();
            return;
        }
        const AnsiString path = Resolve(typed);
        if (DirectoryExists(path)) {
            if (SetFolder(path)) nameEdit_->SetText("");
            return;
        }
    }
    std::vector<AnsiString> paths;
    for (const AnsiString& n : names) paths.push_back(Resolve(n));
    if (!CheckChoice(paths)) return;
    chosen_ = paths;
    EndDialog(dciOk);
}

bool TFileDialogForm::CheckChoice(std::vector<AnsiString>& paths) {
    const AnsiString defExt = Bounded(record_.lpstrDefExt, 256);
    const DWORD flags = record_.Flags;
    for (AnsiString& path : paths) {
        AnsiString name = ExtractFileName(path);
        if (!defExt.empty() && ExtractFileExt(name).empty() && (save_ || !FileExists(path))) {
            path += "." + defExt;
            name += "." + defExt;
        }
        const AnsiString dir = ParentOf(path);
        if (DirectoryExists(path)) {
            ShowProblem("\"" + name + "\" is a folder.");
            return false;
        }
        if ((flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !DirectoryExists(dir)) {
            ShowProblem("The folder \"" + dir + "\" does not exist.");
            return false;
        }
        if (!save_ && (flags & OFN_FILEMUSTEXIST) && !FileExists(path)) {
            ShowProblem("\"" + name + "\" was not found.");
            return false;
        }
        if ((flags & OFN_NOREADONLYRETURN) && FileExists(path) && access(path.c_str(), W_OK) != 0) {
            ShowProblem("\"" + name + "\" is read-only.");
            return false;
        }
        // Whether the file could be made is told from the folder, not by
        // making one.
        if (save_ && !(flags & OFN_NOTESTFILECREATE) && !FileExists(path) && DirectoryExists(dir) &&
            access(dir.c_str(), W_OK) != 0) {
            ShowProblem("The folder \"" + dir + "\" cannot be written to.");
            return false;
        }
    }
    // Several files come back as one folder and their names.
    for (const AnsiString& path : paths)
        if (ParentOf(path) != ParentOf(paths.front())) {
            ShowProblem("The files must be in one folder.");
            return false;
        }
    if (save_ && (flags & OFN_OVERWRITEPROMPT))
        for (const AnsiString& path : paths)
            if (FileExists(path) &&
                !Confirm(Caption(), "\"" + ExtractFileName(path) + "\" already exists. Do you want to replace it?"))
                return false;
    return true;
}

bool TFileDialogForm::Confirm(const AnsiString& caption, const AnsiString& text) {
    TDialogForm box(Handle());
    box.SetCaption(caption);
    auto* label = TComponent::Create<TLabel>(&box);
    label->SetParent(&box);
    label->SetShowAccelChar(false);
    label->SetCaption(text);
    label->SetLeft(16);
    label->SetTop(16);
    const int width = std::max(label->Width() + 32, 2 * kButtonWidth + 3 * kMargin + 32);
    box.SetClientSize(width, 16 + label->Height() + 16 + kRowHeight + 12);
    const int top = 16 + label->Height() + 16;
    box.AddButton(dciYes, "&Yes", width / 2 - kButtonWidth - 4, top)->OnClick = [&box](TObject*) {
        box.EndDialog(dciYes);
    };
    box.AddButton(dciNo, "&No", width / 2 + 4, top);
    return box.Execute() == dciYes;
}

} // namespace ax
