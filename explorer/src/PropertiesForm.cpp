// The properties window: its lines built for the items given, the file
// details read with statx, and the folder count driven by a timer.
#include "explorer/PropertiesForm.h"

#include "rtl/sysutils.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

constexpr int kClientWidth = 400;
constexpr int kMargin = 12, kCaptionWidth = 104, kLineHeight = 20;
constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};

std::unique_ptr<TNamespace> ItemOf(const std::string& absolutePidl) {
    if (absolutePidl.empty()) return nullptr;
    PItemIDList copy = NamespacePIDLManager().CopyPIDL(reinterpret_cast<PCItemIDList>(absolutePidl.data()));
    return copy ? std::make_unique<TNamespace>(UniquePIDL(copy), nullptr) : nullptr;
}

// The item's path, when it is a file system's item.
std::string PathOf(TNamespace& ns) {
    const std::string path = WideToUtf8(ns.NameForParsing());
    return ns.FileSystem() && !path.empty() && path[0] == '/' ? path : std::string();
}

AnsiString TimeText(const statx_timestamp& t) {
    return WideToUtf8(FileTimeToDateTimeStr(FileTimeFromUnix(t.tv_sec, t.tv_nsec)));
}

AnsiString OwnerName(uid_t uid) {
    passwd entry, *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

AnsiString GroupName(gid_t gid) {
    group entry, *found = nullptr;
    char buffer[4096];
    if (getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

AnsiString LinkTarget(const std::string& path, int64_t size) {
    std::string target(size_t(std::max<int64_t>(size, 0)) + 256, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return "cannot be read";
    target.resize(size_t(n));
    return target;
}

AnsiString Plural(int64_t n, const char* one, const char* many) {
    return FormatThousands(n) + " " + (n == 1 ? one : many);
}

AnsiString ContainsText(const TFolderSize& t) {
    AnsiString text = Plural(t.Files, "file", "files") + ", " + Plural(t.Folders, "folder", "folders");
    if (t.Unreadable > 0)
        text += " (" + Plural(t.Unreadable, "folder", "folders") + " could not be read)";
    return text;
}

} // namespace

AnsiString FormatByteSize(int64_t bytes) {
    if (bytes < 1000) return Plural(std::max<int64_t>(bytes, 0), "byte", "bytes");
    double value = double(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1000.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    const int decimals = value < 10.0 ? 2 : value < 100.0 ? 1 : 0;
    const int64_t scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
    const int64_t cut = int64_t(value * double(scale));
    AnsiString text = FormatThousands(cut / scale);
    if (decimals > 0) {
        const AnsiString fraction = std::to_string(cut % scale);
        text += FormatSettings().DecimalSeparator +
                AnsiString(size_t(decimals) - fraction.size(), '0') + fraction;
    }
    return text + " " + kUnits[unit] + " (" + FormatThousands(bytes) + " bytes)";
}

AnsiString FormatPermissions(unsigned mode) {
    AnsiString s = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        if (!(mode & (0400u >> i))) s[size_t(i)] = '-';
    // The set-id and sticky bits take the place of an execute letter.
    const auto special = [&](size_t at, unsigned bit, char withX, char withoutX) {
        if (mode & bit) s[at] = s[at] == 'x' ? withX : withoutX;
    };
    special(2, S_ISUID, 's', 'S');
    special(5, S_ISGID, 's', 'S');
    special(8, S_ISVTX, 't', 'T');
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode & 07777u);
    return s + " (" + octal + ")";
}

TPropertiesForm::TPropertiesForm(TComponent* owner) : TForm(owner) {
    SetCaption("Properties");
    SetPosition(poMainFormCenter);
    SetBorderStyle(bsSingle);
    SetBorderIcons(biSystemMenu);
    Font().SetName("MS Sans Serif");
    Font().SetSize(8);
    SetClientSize(kClientWidth, 120);

    StatusLabel = TComponent::Create<TLabel>(this);
    StatusLabel->SetName("StatusLabel");
    StatusLabel->SetParent(this);
    StatusLabel->SetShowAccelChar(false);
    Bevel = TComponent::Create<TBevel>(this);
    Bevel->SetName("Bevel");
    Bevel->SetParent(this);
    ButtonClose = TComponent::Create<TButton>(this);
    ButtonClose->SetName("ButtonClose");
    ButtonClose->SetParent(this);
    ButtonClose->SetCaption("Close");
    ButtonClose->SetDefault(true);
    ButtonClose->SetCancel(true);
    ButtonClose->OnClick = [this](TObject*) { Close(); };
    SetActiveControl(ButtonClose);
    Layout();
}

TPropertiesForm::~TPropertiesForm() {
    StopCounting();
}

void TPropertiesForm::ClearLines() {
    for (Line& l : lines_) {
        FreeComponent(l.caption);
        FreeComponent(l.value);
    }
    lines_.clear();
    sizeValue_ = diskValue_ = containsValue_ = nullptr;
}

TLabel* TPropertiesForm::AddLine(const AnsiString& caption, const AnsiString& value) {
    const int top = kMargin + int(lines_.size()) * kLineHeight;
    auto* c = TComponent::Create<TLabel>(this);
    c->SetParent(this);
    c->SetAutoSize(false);
    c->SetBounds(kMargin, top, kCaptionWidth, kLineHeight - 4);
    c->SetCaption(caption);
    auto* v = TComponent::Create<TLabel>(this);
    v->SetParent(this);
    v->SetAutoSize(false);
    v->SetShowAccelChar(false);
    v->SetBounds(kMargin + kCaptionWidth, top, kClientWidth - 2 * kMargin - kCaptionWidth, kLineHeight - 4);
    v->SetCaption(value);
    lines_.push_back({c, v});
    return v;
}

void TPropertiesForm::Layout() {
    const int top = kMargin + int(lines_.size()) * kLineHeight + 4;
    Bevel->SetBounds(kMargin, top, kClientWidth - 2 * kMargin, 2);
    StatusLabel->SetBounds(kMargin, top + 16, 200, 16);
    ButtonClose->SetBounds(kClientWidth - kMargin - 75, top + 10, 75, 25);
    SetClientSize(kClientWidth, top + 10 + 25 + kMargin);
}

AnsiString TPropertiesForm::ValueOf(const AnsiString& caption) const {
    for (const Line& l : lines_)
        if (l.caption->Caption() == caption) return l.value->Caption();
    return {};
}

std::vector<AnsiString> TPropertiesForm::Captions() const {
    std::vector<AnsiString> out;
    for (const Line& l : lines_) out.push_back(l.caption->Caption());
    return out;
}

void TPropertiesForm::SetItems(const std::vector<std::string>& absolutePidls) {
    StopCounting();
    ClearLines();
    counter_ = std::make_unique<TFolderSizeCounter>();
    if (absolutePidls.size() == 1)
        ShowItem(absolutePidls[0]);
    else
        ShowSeveral(absolutePidls);
    Layout();
    counting_ = !counter_->Done();
    CountSlice();
}

void TPropertiesForm::ShowItem(const std::string& absolutePidl) {
    const std::unique_ptr<TNamespace> ns = ItemOf(absolutePidl);
    if (!ns) return;
    const AnsiString name = WideToUtf8(ns->NameInFolder());
    SetCaption(name + " Properties");
    AddLine("Name:", name);
    AddLine("Type:", WideToUtf8(ns->FileType()));
    const std::string path = PathOf(*ns);
    if (!path.empty()) ShowFileDetails(path);
}

void TPropertiesForm::ShowFileDetails(const std::string& path) {
    AddLine("Location:", ExtractFileDir(path));
    struct statx st;
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
        AddLine("Size:", "cannot be read");
        return;
    }
    const bool folder = S_ISDIR(st.stx_mode);
    if (S_ISLNK(st.stx_mode)) AddLine("Target:", LinkTarget(path, int64_t(st.stx_size)));
    counter_->Add(path, false);
    AddCountLines(folder);
    AddLine("Created:", (st.stx_mask & STATX_BTIME) ? TimeText(st.stx_btime) : AnsiString("unknown"));
    AddLine("Modified:", TimeText(st.stx_mtime));
    AddLine("Accessed:", TimeText(st.stx_atime));
    AddLine("Owner:", OwnerName(st.stx_uid));
    AddLine("Group:", GroupName(st.stx_gid));
    AddLine("Permissions:", FormatPermissions(st.stx_mode));
}

void TPropertiesForm::ShowSeveral(const std::vector<std::string>& absolutePidls) {
    SetCaption("Properties of " + Plural(int64_t(absolutePidls.size()), "item", "items"));
    AddLine("Items:", Plural(int64_t(absolutePidls.size()), "item", "items"));
    AnsiString location;
    for (const std::string& pidl : absolutePidls) {
        const std::unique_ptr<TNamespace> ns = ItemOf(pidl);
        const std::string path = ns ? PathOf(*ns) : std::string();
        if (path.empty()) continue;
        if (location.empty()) location = ExtractFileDir(path);
        counter_->Add(path, true);
    }
    AddLine("Location:", location);
    AddCountLines(true);
}

void TPropertiesForm::AddCountLines(bool contains) {
    sizeValue_ = AddLine("Size:", "");
    diskValue_ = AddLine("Size on disk:", "");
    if (contains) containsValue_ = AddLine("Contains:", "");
}

void TPropertiesForm::ShowCounts() {
    const TFolderSize& t = counter_->Totals();
    if (sizeValue_) sizeValue_->SetCaption(FormatByteSize(t.Bytes));
    if (diskValue_) diskValue_->SetCaption(FormatByteSize(t.DiskBytes));
    if (containsValue_) containsValue_->SetCaption(ContainsText(t));
    StatusLabel->SetCaption(counting_ ? "Counting..." : "");
}

void TPropertiesForm::CountSlice() {
    if (counting_) counting_ = counter_->Step(sliceSize_);
    ShowCounts();
    if (!HandleAllocated()) HandleNeeded();
    if (counting_)
        SetTimer(Handle(), kCountTimer, kSliceInterval, nullptr);
    else
        KillTimer(Handle(), kCountTimer);
}

void TPropertiesForm::StopCounting() {
    counter_->Stop();
    counting_ = false;
    if (HandleAllocated()) KillTimer(Handle(), kCountTimer);
}

void TPropertiesForm::Dispatch(TMessage& m) {
    if (m.Msg == WM_TIMER && m.WParam == kCountTimer) {
        CountSlice();
        return;
    }
    TForm::Dispatch(m);
}

void TPropertiesForm::DoClose(TCloseAction& action) {
    TForm::DoClose(action);
    if (action == caNone) return;
    StopCounting();
    action = caFree;
}

} // namespace ax
