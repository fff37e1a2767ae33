// The open dialog component.
#include "stdctrls/opendialog.h"

#include <cstring>
#include <vector>

#include "framework/streaming.h"
#include "rtl/sysutils.h"

namespace ax {

namespace {

constexpr const char* kOptionNames[] = {
    "ofReadOnly", "ofOverwritePrompt", "ofHideReadOnly", "ofNoChangeDir", "ofShowHelp", "ofNoValidate",
    "ofAllowMultiSelect", "ofExtensionDifferent", "ofPathMustExist", "ofFileMustExist", "ofCreatePrompt",
    "ofShareAware", "ofNoReadOnlyReturn", "ofNoTestFileCreate", "ofNoNetworkButton", "ofNoLongNames",
    "ofOldStyleDialog", "ofNoDereferenceLinks", "ofEnableIncludeNotify", "ofEnableSizing"};

// The record's flag of each option; ofOldStyleDialog is the absence of
// OFN_EXPLORER.
constexpr DWORD kOptionFlags[] = {
    OFN_READONLY, OFN_OVERWRITEPROMPT, OFN_HIDEREADONLY, OFN_NOCHANGEDIR, OFN_SHOWHELP, OFN_NOVALIDATE,
    OFN_ALLOWMULTISELECT, OFN_EXTENSIONDIFFERENT, OFN_PATHMUSTEXIST, OFN_FILEMUSTEXIST, OFN_CREATEPROMPT,
    OFN_SHAREAWARE, OFN_NOREADONLYRETURN, OFN_NOTESTFILECREATE, OFN_NONETWORKBUTTON, OFN_NOLONGNAMES,
    0, OFN_NODEREFERENCELINKS, OFN_ENABLEINCLUDENOTIFY, OFN_ENABLESIZING};
static_assert(std::size(kOptionNames) == std::size(kOptionFlags));

bool Has(TOpenOptions set, TOpenOption o) { return set & (1u << o); }

} // namespace

TOpenDialog::TOpenDialog(TComponent* owner) : TCommonDialog(owner) {}

void TOpenDialog::DefinePublished(TFiler& f) {
    TCommonDialog::DefinePublished(f);
    f.String("DefaultExt", [this] { return defaultExt_; }, [this](const AnsiString& v) { defaultExt_ = v; });
    f.String("FileName", [this] { return fileName_; }, [this](const AnsiString& v) { fileName_ = v; });
    f.String("Filter", [this] { return filter_; }, [this](const AnsiString& v) { filter_ = v; });
    f.Integer("FilterIndex", [this] { return filterIndex_; }, [this](int64_t v) { filterIndex_ = int(v); }, 1);
    f.String("InitialDir", [this] { return initialDir_; }, [this](const AnsiString& v) { initialDir_ = v; });
    f.Set("Options", std::vector<const char*>(std::begin(kOptionNames), std::end(kOptionNames)),
          [this] { return options_; }, [this](unsigned v) { options_ = v; },
          OpenOptions({ofHideReadOnly, ofEnableSizing}));
    f.String("Title", [this] { return title_; }, [this](const AnsiString& v) { title_ = v; });
}

bool TOpenDialog::Execute() { return DoExecute(&GetOpenFileNameA); }

bool TOpenDialog::DoExecute(TFileDialogFunction dialog) {
    OPENFILENAMEA ofn;
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    for (size_t i = 0; i < std::size(kOptionFlags); ++i)
        if (Has(options_, TOpenOption(i))) ofn.Flags |= kOptionFlags[i];
    if (!Has(options_, ofOldStyleDialog)) ofn.Flags |= OFN_EXPLORER;
    // "A|*.a|B|*.b" as "A\0*.a\0B\0*.b\0\0".
    std::string filter = filter_;
    for (char& c : filter)
        if (c == '|') c = '\0';
    filter.append(2, '\0');
    std::vector<char> file(Has(options_, ofAllowMultiSelect) ? 0x10000 : 0x1000, '\0');
    std::memcpy(file.data(), fileName_.data(), std::min(fileName_.size(), file.size() - 1));
    ofn.lpstrFilter = filter_.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = DWORD(filterIndex_);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrInitialDir = initialDir_.empty() ? nullptr : initialDir_.c_str();
    ofn.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    ofn.lpstrDefExt = defaultExt_.empty() ? nullptr : defaultExt_.c_str();
    const bool ok = TaskModalDialog([&](HWND owner) {
        ofn.hwndOwner = owner;
        return dialog(&ofn) != FALSE;
    });
    if (!ok) return false;
    files_.Clear();
    // One path, or the folder followed by names up to an empty one.
    const char* first = file.data();
    const size_t firstLength = strnlen(first, file.size());
    const size_t next = firstLength + 1;
    if (next < file.size() && file[next] != '\0') {
        const AnsiString folder = first;
        for (size_t at = next; at < file.size() && file[at] != '\0';) {
            const AnsiString name(file.data() + at, strnlen(file.data() + at, file.size() - at));
            files_.Add(IncludeTrailingPathDelimiter(folder) + name);
            at += name.size() + 1;
        }
    } else {
        files_.Add(AnsiString(first, firstLength));
    }
    fileName_ = files_[0];
    filterIndex_ = int(ofn.nFilterIndex);
    const TOpenOptions results = (1u << ofReadOnly) | (1u << ofExtensionDifferent);
    options_ &= ~results;
    if (ofn.Flags & OFN_READONLY) options_ |= 1u << ofReadOnly;
    if (ofn.Flags & OFN_EXTENSIONDIFFERENT) options_ |= 1u << ofExtensionDifferent;
    return true;
}

} // namespace ax
