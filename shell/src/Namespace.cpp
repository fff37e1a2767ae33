// TNamespace: its life, cached attributes, file data, names, identity and
// icons; the special-folder objects and the path and PIDL conversions.
#include "shell/Namespace.h"

#include "rtl/sysutils.h"
#include "shell/ShellResources.h"
#include "shell/ShellUtilities.h"

#include <cmath>
#include <cstring>
#include <mutex>

namespace ax {
namespace {

// Known and value bits of the cached booleans.
enum : uint32_t {
    bCanCopy = 1u << 0,
    bCanDelete = 1u << 1,
    bCanLink = 1u << 2,
    bCanMove = 1u << 3,
    bCanRename = 1u << 4,
    bCompressed = 1u << 5,
    bFileSysAncestor = 1u << 6,
    bFileSystem = 1u << 7,
    bFolder = 1u << 8,
    bGhosted = 1u << 9,
    bLink = 1u << 10,
    bFindData = 1u << 11,   // the file data was asked for
    bTimesFresh = 1u << 12, // the times were refreshed from the exact path
    bUnreadable = 1u << 13,
};
// The known and value masks are 16 bits wide.
static_assert(bUnreadable < (1u << 16));

struct SpecialFolders {
    bool created = false;
    std::unique_ptr<TNamespace> desktop, recycleBin, physicalDesktop, drives, printers, history,
        controlPanel, network, templates, myDocuments, favorites;
};

std::recursive_mutex g_specialMutex;
SpecialFolders& Specials() {
    static SpecialFolders s;
    return s;
}

SpecialFolders& EnsureSpecials() {
    std::lock_guard lock(g_specialMutex);
    SpecialFolders& s = Specials();
    if (!s.created) {
        s.created = true;
        s.desktop = CreateSpecialNamespace(CSIDL_DESKTOP);
        s.recycleBin = CreateSpecialNamespace(CSIDL_BITBUCKET);
        s.physicalDesktop = CreateSpecialNamespace(CSIDL_DESKTOPDIRECTORY);
        s.drives = CreateSpecialNamespace(CSIDL_DRIVES);
        s.printers = CreateSpecialNamespace(CSIDL_PRINTERS);
        s.history = CreateSpecialNamespace(CSIDL_HISTORY);
        s.controlPanel = CreateSpecialNamespace(CSIDL_CONTROLS);
        s.network = CreateSpecialNamespace(CSIDL_NETWORK);
        s.templates = CreateSpecialNamespace(CSIDL_TEMPLATES);
        s.myDocuments = CreateSpecialNamespace(CSIDL_PERSONAL);
        s.favorites = CreateSpecialNamespace(CSIDL_FAVORITES);
    }
    return s;
}

WideString W(const std::string& s) {
    return Utf8ToWide(s);
}

} // namespace

TPIDLManager& NamespacePIDLManager() {
    static TPIDLManager manager;
    return manager;
}

// ---------------------------------------------------------------- life

TNamespace::TNamespace(UniquePIDL pidl, TNamespace* parent) : parent_(parent) {
    TPIDLManager& pm = NamespacePIDLManager();
    // Below a parent only an item of the parent's folder has a place: the
    // relative PIDL must name the item within it.
    Assert(!parent || pm.IDCount(pidl.get()) <= 1, "TNamespace: a child PIDL of more than one item");
    if (parent && parent->IsDesktop()) {
        item_ = std::move(pidl);
    } else if (parent) {
        // The parent's PIDL and ours make the absolute one, joined when
        // first asked for: most items of a big folder never are.
        item_ = std::move(pidl);
        itemOnly_ = true;
    } else if (pidl && !pm.IsDesktopFolder(pidl.get())) {
        item_ = std::move(pidl);
    } else {
        if (!pidl) {
            PItemIDList desktop = nullptr;
            SHGetSpecialFolderLocation(CSIDL_DESKTOP, &desktop);
            pidl.reset(desktop);
        }
        item_ = std::move(pidl);
    }
    flags_ = kInitBits;
}

std::unique_ptr<TNamespace> TNamespace::CreateFromFileName(const WideString& fileName) {
    UniquePIDL pidl(PathToPIDL(fileName));
    if (!pidl) throw EShellInvalidFileName(SInvalidFileNameNamespace);
    return std::make_unique<TNamespace>(std::move(pidl), nullptr);
}

TNamespace::~TNamespace() = default;

// A node's item in a 64-byte block of the program's heap (4 bytes of it the
// block's header).
static_assert(sizeof(void*) != 8 || sizeof(TNamespace) <= 56);

PItemIDList TNamespace::AbsolutePIDL() const {
    if (!itemOnly_) return item_.get();
    if (!absolute_) absolute_.reset(NamespacePIDLManager().AppendPIDL(parent_->AbsolutePIDL(), item_.get()));
    return absolute_.get();
}

PItemIDList TNamespace::LastItem() const {
    // The desktop's items, and the desktop itself, are their own last item.
    return item_ ? NamespacePIDLManager().GetPointerToLastID(item_.get()) : nullptr;
}

bool TNamespace::SameItem(PCItemIDList pidl) const {
    if (!itemOnly_ || absolute_) return EqualPIDL(AbsolutePIDL(), pidl);
    if (!pidl || !item_) return false;
    // The last items first: they tell most items apart without a join.
    TPIDLManager& pm = NamespacePIDLManager();
    const PCItemIDList last = pm.GetPointerToLastID(pidl);
    const size_t bytes = ILByteSize(item_.get());
    if (ILByteSize(last) != bytes || std::memcmp(last, item_.get(), bytes) != 0) return false;
    const PCItemIDList parent = parent_->AbsolutePIDL();
    return ILItemCount(pidl) == ILItemCount(parent) + 1 && ILIsParent(parent, pidl, true);
}

void TNamespace::ReplaceAbsolutePIDL(UniquePIDL fresh) {
    absolute_.reset();
    itemOnly_ = false;
    item_ = std::move(fresh);
}

std::unique_ptr<TNamespace> TNamespace::Clone() {
    return std::make_unique<TNamespace>(UniquePIDL(NamespacePIDLManager().CopyPIDL(AbsolutePIDL())), nullptr);
}

// ---------------------------------------------------------------- folders

UniquePIDL TNamespace::ParentAbsolutePIDL() const {
    if (IsDesktop()) return nullptr;
    TPIDLManager& pm = NamespacePIDLManager();
    return UniquePIDL(pm.StripLastID(pm.CopyPIDL(AbsolutePIDL())));
}

ShellFolderPtr TNamespace::ParentShellFolder() {
    if (parent_) return parent_->ShellFolder();
    if (IsDesktop() || !item_) {
        ShellFolderPtr desktop;
        SHGetDesktopFolder(&desktop);
        return desktop;
    }
    if (!more_ || !more_->ownedParent) {
        UniquePIDL parentPidl = ParentAbsolutePIDL();
        if (!parentPidl) return nullptr;
        Extra().ownedParent = std::make_unique<TNamespace>(std::move(parentPidl), nullptr);
        flags_ |= kOwnsParent;
    }
    return more_->ownedParent->ShellFolder();
}

ShellFolderPtr TNamespace::ShellFolder() {
    if (more_ && more_->shellFolder) return more_->shellFolder;
    ShellFolderPtr folder;
    if (IsDesktop()) {
        SHGetDesktopFolder(&folder);
    } else if (ShellFolderPtr parent = ParentShellFolder()) {
        if (FAILED(parent->BindToObject(RelativePIDL(), &folder))) folder.reset();
    }
    // An item that is no folder keeps nothing.
    if (folder) Extra().shellFolder = folder;
    return folder;
}

// ---------------------------------------------------------------- attributes

bool TNamespace::AskAttribute(uint32_t sfgao) {
    ShellFolderPtr folder = ParentShellFolder();
    PCItemIDList item = RelativePIDL();
    if (!folder || !item) return false;
    uint32_t attributes = sfgao;
    PCItemIDList items[] = {item};
    return SUCCEEDED(folder->GetAttributesOf(items, 1, &attributes)) && (attributes & sfgao);
}

bool TNamespace::CachedAttribute(uint32_t bit, uint32_t sfgao) {
    if (!(known_ & bit)) {
        if (AskAttribute(sfgao))
            values_ |= bit;
        else
            values_ &= ~bit;
        known_ |= bit;
    }
    return values_ & bit;
}

bool TNamespace::CanCopy() {
    return CachedAttribute(bCanCopy, SFGAO_CANCOPY);
}
bool TNamespace::CanDelete() {
    return CachedAttribute(bCanDelete, SFGAO_CANDELETE);
}
bool TNamespace::CanLink() {
    return CachedAttribute(bCanLink, SFGAO_CANLINK);
}
bool TNamespace::CanMove() {
    return CachedAttribute(bCanMove, SFGAO_CANMOVE);
}
bool TNamespace::CanRename() {
    return CachedAttribute(bCanRename, SFGAO_CANRENAME);
}
bool TNamespace::FileSysAncestor() {
    return CachedAttribute(bFileSysAncestor, SFGAO_FILESYSANCESTOR);
}
bool TNamespace::FileSystem() {
    return CachedAttribute(bFileSystem, SFGAO_FILESYSTEM);
}
bool TNamespace::Folder() {
    return CachedAttribute(bFolder, SFGAO_FOLDER);
}
bool TNamespace::Ghosted() {
    return CachedAttribute(bGhosted, SFGAO_HIDDEN);
}
bool TNamespace::Unreadable() {
    if (!(known_ & bUnreadable)) {
        const bool unreadable =
            FileSystem() && Folder() && !FolderProblem(WideToUtf8(NameForParsing())).empty();
        values_ = unreadable ? values_ | bUnreadable : values_ & ~bUnreadable;
        known_ |= bUnreadable;
    }
    return values_ & bUnreadable;
}
bool TNamespace::Link() {
    return CachedAttribute(bLink, SFGAO_LINK);
}
bool TNamespace::DropTarget() {
    return IsDesktop() || AskAttribute(SFGAO_DROPTARGET);
}
bool TNamespace::HasPropSheet() {
    return AskAttribute(SFGAO_HASPROPSHEET);
}
bool TNamespace::HasSubFolder() {
    return AskAttribute(SFGAO_HASSUBFOLDER);
}
bool TNamespace::NewContent() {
    return AskAttribute(SFGAO_NEWCONTENT);
}
bool TNamespace::NonEnumerated() {
    return AskAttribute(SFGAO_NONENUMERATED);
}
bool TNamespace::ReadOnly() {
    return AskAttribute(SFGAO_READONLY);
}
bool TNamespace::Removable() {
    return AskAttribute(SFGAO_REMOVABLE);
}
bool TNamespace::Share() {
    return AskAttribute(SFGAO_SHARE);
}
bool TNamespace::SubItems() {
    return HasChildren(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN);
}

// ---------------------------------------------------------------- file data

const WIN32_FIND_DATA* TNamespace::FindData() {
    if (!(known_ & bFindData)) {
        known_ |= bFindData;
        if (!IsDesktop()) {
            auto data = std::make_unique<WIN32_FIND_DATA>();
            ShellFolderPtr folder = ParentShellFolder();
            if (folder && SUCCEEDED(SHGetDataFromIDList(folder.get(), RelativePIDL(), data.get())))
                Extra().findData = std::move(data);
        }
    }
    return more_ ? more_->findData.get() : nullptr;
}

bool TNamespace::FindAttribute(uint32_t attribute) {
    if (!FileSystem()) return false;
    const WIN32_FIND_DATA* data = FindData();
    return data && (data->dwFileAttributes & attribute);
}

bool TNamespace::Archive() {
    return FindAttribute(FILE_ATTRIBUTE_ARCHIVE);
}
bool TNamespace::Directory() {
    return FindAttribute(FILE_ATTRIBUTE_DIRECTORY);
}
bool TNamespace::Hidden() {
    return FindAttribute(FILE_ATTRIBUTE_HIDDEN);
}
bool TNamespace::Normal() {
    return FindAttribute(FILE_ATTRIBUTE_NORMAL);
}
bool TNamespace::OffLine() {
    return FindAttribute(FILE_ATTRIBUTE_OFFLINE);
}
bool TNamespace::ReadOnlyFile() {
    return FindAttribute(FILE_ATTRIBUTE_READONLY);
}
bool TNamespace::System() {
    return FindAttribute(FILE_ATTRIBUTE_SYSTEM);
}
bool TNamespace::Temporary() {
    return FindAttribute(FILE_ATTRIBUTE_TEMPORARY);
}

bool TNamespace::Compressed() {
    if (!(known_ & bCompressed)) {
        if (FindAttribute(FILE_ATTRIBUTE_COMPRESSED))
            values_ |= bCompressed;
        else
            values_ &= ~bCompressed;
        known_ |= bCompressed;
    }
    return values_ & bCompressed;
}

WideString TNamespace::AttributesString() {
    if (!FileSystem()) return {};
    WideString s;
    if (Archive()) s += u"A";
    if (Hidden()) s += u"H";
    if (ReadOnlyFile()) s += u"R";
    if (System()) s += u"S";
    if (Compressed()) s += u"C";
    return s;
}

WideString TNamespace::FileName() {
    const WIN32_FIND_DATA* data = FileSystem() ? FindData() : nullptr;
    return data ? W(data->cFileName) : WideString();
}

WideString TNamespace::ShortFileName() {
    if (!FileSystem()) return {};
    const WIN32_FIND_DATA* data = FindData();
    if (!data) return {};
    if (!data->cAlternateFileName.empty()) return W(data->cAlternateFileName);
    return WideUpperCase(W(data->cFileName));
}

// The times are read again from the exact path once, never by a pattern
// search: names here may hold "*" and "?".
void TNamespace::RefreshFileTimes() {
    if (known_ & bTimesFresh) return;
    known_ |= bTimesFresh;
    if (!FileSystem() || !FindData()) return;
    WIN32_FIND_DATA fresh;
    if (FindDataFromPath(WideToUtf8(NameParseAddress()), fresh)) {
        more_->findData->ftCreationTime = fresh.ftCreationTime;
        more_->findData->ftLastAccessTime = fresh.ftLastAccessTime;
        more_->findData->ftLastWriteTime = fresh.ftLastWriteTime;
    }
}

FILETIME TNamespace::CreationTimeRaw() {
    const WIN32_FIND_DATA* d = FileSystem() ? FindData() : nullptr;
    return d ? d->ftCreationTime : FILETIME{};
}
FILETIME TNamespace::LastAccessTimeRaw() {
    const WIN32_FIND_DATA* d = FileSystem() ? FindData() : nullptr;
    return d ? d->ftLastAccessTime : FILETIME{};
}
FILETIME TNamespace::LastWriteTimeRaw() {
    const WIN32_FIND_DATA* d = FileSystem() ? FindData() : nullptr;
    return d ? d->ftLastWriteTime : FILETIME{};
}

WideString TNamespace::CreationTime() {
    if (!Texts().creationTime) {
        RefreshFileTimes();
        Texts().creationTime = FileTimeToDateTimeStr(CreationTimeRaw());
    }
    return *Texts().creationTime;
}
WideString TNamespace::LastAccessTime() {
    if (!Texts().lastAccessTime) {
        RefreshFileTimes();
        Texts().lastAccessTime = FileTimeToDateTimeStr(LastAccessTimeRaw());
    }
    return *Texts().lastAccessTime;
}
WideString TNamespace::LastWriteTime() {
    if (!Texts().lastWriteTime) {
        RefreshFileTimes();
        Texts().lastWriteTime = FileTimeToDateTimeStr(LastWriteTimeRaw());
    }
    return *Texts().lastWriteTime;
}

int64_t TNamespace::SizeOfFileInt64() {
    if (!FileSystem()) return 0;
    const WIN32_FIND_DATA* d = FindData();
    return d ? int64_t((uint64_t(d->nFileSizeHigh) << 32) | d->nFileSizeLow) : 0;
}

WideString TNamespace::SizeOfFile() {
    if (!Texts().sizeOfFile) Texts().sizeOfFile = Folder() ? WideString() : W(FormatThousands(SizeOfFileInt64()));
    return *Texts().sizeOfFile;
}

WideString TNamespace::SizeOfFileKB() {
    if (!Texts().sizeOfFileKB) {
        if (Folder()) {
            Texts().sizeOfFileKB = WideString();
        } else {
            const double kb = std::trunc(double(SizeOfFileInt64()) / 1024.0);
            WideString text = W(FormatNumber(kb, 0) + " KB");
            Texts().sizeOfFileKB = text == u"0 KB" ? WideString(u"1 KB") : text;
        }
    }
    return *Texts().sizeOfFileKB;
}

WideString TNamespace::SizeOfFileDiskUsage() {
    if (Folder()) return {};
    const std::string path = WideToUtf8(NameForParsing());
    if (path.empty() || path[0] != '/') return SizeOfFile();
    const std::string root = DriveRoot(path);
    const uint32_t cluster = DirectoryExists(root) ? ClusterSize(root) : 0;
    if (cluster == 0) return SizeOfFile();
    const int64_t size = SizeOfFileInt64();
    const int64_t clusters = size / cluster + (size % cluster != 0 ? 1 : 0);
    return W(FormatThousands(clusters * int64_t(cluster)));
}

WideString TNamespace::FileType() {
    if (!Texts().typeName) {
        SHFILEINFO info;
        WideString name;
        if (SHGetFileInfo(AbsolutePIDL(), {}, 0, info, SHGFI_TYPENAME | SHGFI_PIDL))
            name = W(info.szTypeName.substr(0, 80));
        if (name.empty()) {
            // No registered type: "TXT File", or "File" without an extension;
            // the extension of the name the user sees (a trashed file's own
            // name may end in a number the trash added).
            const std::string ext = ExtractFileExt(WideToUtf8(NameNormal()));
            name =
                ext.size() > 1 ? WideUpperCase(W(ext.substr(1))) + u" File" : WideString(u"File");
        }
        Texts().typeName = name;
    }
    return *Texts().typeName;
}

WideString TNamespace::Extension() {
    return W(ExtractFileExt(ExtractFileName(WideToUtf8(NameParseAddress()))));
}

WideString TNamespace::InfoTip() {
    const ShellFolderPtr parent = ParentShellFolder();
    std::shared_ptr<IQueryInfo> info;
    std::string tip;
    if (!parent || !RelativePIDL() || FAILED(parent->GetQueryInfo(RelativePIDL(), &info)) || !info ||
        FAILED(info->GetInfoTip(0, &tip)))
        return {};
    return W(tip);
}

// ---------------------------------------------------------------- names

WideString TNamespace::DisplayNameOf(uint32_t flags) {
    ShellFolderPtr folder = ParentShellFolder();
    std::string name;
    if (!folder || !RelativePIDL() || FAILED(folder->GetDisplayNameOf(RelativePIDL(), flags, &name)))
        return {};
    return W(name);
}

WideString TNamespace::CachedName(std::optional<WideString>& slot, uint32_t flags) {
    if (!slot) slot = DisplayNameOf(flags);
    return *slot;
}

WideString TNamespace::NameAddressbar() {
    return DisplayNameOf(SHGDN_FORADDRESSBAR);
}
WideString TNamespace::NameAddressbarInFolder() {
    return DisplayNameOf(SHGDN_FORADDRESSBAR | SHGDN_INFOLDER);
}
WideString TNamespace::NameForEditing() {
    return DisplayNameOf(SHGDN_FOREDITING);
}
WideString TNamespace::NameForEditingInFolder() {
    return DisplayNameOf(SHGDN_FOREDITING | SHGDN_INFOLDER);
}
WideString TNamespace::NameForParsing() {
    if (IsDesktop()) {
        TNamespace* physical = PhysicalDesktopFolder();
        return physical && !physical->IsDesktop() ? physical->NameForParsing() : WideString();
    }
    return DisplayNameOf(SHGDN_FORPARSING);
}
WideString TNamespace::NameForParsingInFolder() {
    if (IsDesktop()) {
        TNamespace* physical = PhysicalDesktopFolder();
        return physical && !physical->IsDesktop() ? physical->NameForParsingInFolder()
                                                  : WideString();
    }
    return DisplayNameOf(SHGDN_FORPARSING | SHGDN_INFOLDER);
}
WideString TNamespace::NameInFolder() {
    return CachedName(Texts().nameInFolder, SHGDN_INFOLDER);
}
WideString TNamespace::NameNormal() {
    return CachedName(Texts().nameNormal, SHGDN_NORMAL);
}
WideString TNamespace::NameParseAddress() {
    return CachedName(Texts().nameParseAddress, SHGDN_FORPARSING | SHGDN_FORADDRESSBAR);
}
WideString TNamespace::NameParseAddressInFolder() {
    return DisplayNameOf(SHGDN_FORPARSING | SHGDN_FORADDRESSBAR | SHGDN_INFOLDER);
}

// ---------------------------------------------------------------- identity

bool TNamespace::IsDesktop() const {
    return !itemOnly_ && item_ && NamespacePIDLManager().IsDesktopFolder(item_.get());
}
bool TNamespace::IsMyComputer() const {
    return IsSpecial(DrivesFolder());
}
bool TNamespace::IsNetworkNeighborhood() const {
    return IsSpecial(NetworkNeighborHoodFolder());
}
bool TNamespace::IsNetworkNeighborhoodChild() const {
    TNamespace* network = NetworkNeighborHoodFolder();
    return network && IsParentPIDL(network->AbsolutePIDL(), AbsolutePIDL(), false);
}
bool TNamespace::IsControlPanel() const {
    return IsSpecial(ControlPanelFolder());
}
bool TNamespace::IsRecycleBin() {
    if (!(flags_ & kRecycleBinKnown)) {
        flags_ |= kRecycleBinKnown;
        if (IsSpecial(RecycleBinFolder())) flags_ |= kRecycleBinValue;
    }
    return flags_ & kRecycleBinValue;
}

// ---------------------------------------------------------------- icons

int TNamespace::GetIconIndex(bool openIcon, int iconSize, bool cached) {
    int& slot = openIcon ? iconOpen_ : iconClosed_;
    if (slot >= 0 || !cached) return slot;
    if (openIcon && parent_ && parent_->IsControlPanel())
        return slot = GetIconIndex(false, iconSize);
    SHFILEINFO info;
    uint32_t flags = SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE;
    if (iconSize != 1) flags |= SHGFI_SMALLICON;
    if (openIcon) flags |= SHGFI_OPENICON;
    slot = SHGetFileInfo(AbsolutePIDL(), {}, 0, info, flags) ? info.iIcon : 0;
    if (openIcon && slot == 0) slot = GetIconIndex(false, iconSize);
    return slot;
}

void TNamespace::SetThreadIconLoading(bool value) {
    flags_ = value ? (flags_ | kIconLoading) : (flags_ & ~kIconLoading);
}
void TNamespace::SetIconThreadHandled(bool value) {
    flags_ = value ? (flags_ | kIconHandled) : (flags_ & ~kIconHandled);
}
void TNamespace::SetIconIndexByThread(int index, bool clearLoading) {
    iconClosed_ = index;
    flags_ |= kIconLoaded | kIconHandled;
    if (clearLoading) flags_ &= ~kIconLoading;
}

TNamespace::ActionObjects& TNamespace::Actions() {
    More& more = Extra();
    if (!more.actions) more.actions = std::make_unique<ActionObjects>();
    return *more.actions;
}

TNamespace::TextCache& TNamespace::Texts() {
    More& more = Extra();
    if (!more.texts) more.texts = std::make_unique<TextCache>();
    return *more.texts;
}

TNamespace::More& TNamespace::Extra() {
    if (!more_) more_ = std::make_unique<More>();
    return *more_;
}

void TNamespace::SetFolderKnown(bool folder) {
    known_ |= bFolder;
    values_ = folder ? (values_ | bFolder) : (values_ & ~bFolder);
}

// ---------------------------------------------------------------- caches

void TNamespace::InvalidateRelativePIDL() {
    ResetDropTarget();
    flags_ &= ~kRelativeBits;
}

void TNamespace::InvalidateCache() {
    known_ = 0;
    values_ = 0;
    iconClosed_ = iconOpen_ = -1;
    if (more_) {
        more_->texts.reset();
        more_->columnCount = -1;
        more_->shellColumns = false;
    }
    flags_ &= ~(kRecycleBinKnown | kRecycleBinValue);
    ResetDropTarget();
}

void TNamespace::InvalidateNamespace(bool refreshIcon) {
    const int closed = iconClosed_, open = iconOpen_;
    InvalidateCache();
    iconClosed_ = iconOpen_ = -1;
    if (!refreshIcon) {
        iconClosed_ = closed;
        iconOpen_ = open;
    } else {
        flags_ &= ~(kIconLoaded | kIconLoading);
    }
    flags_ &= ~kOwnsParent;
    flags_ |= kInitBits;
    // The folder, file data, menu and parent objects go with the texts.
    more_.reset();
    // An item of the desktop: a bare item, or an absolute PIDL of one item.
    if (!IsDesktop() && item_ && !itemOnly_ && NamespacePIDLManager().IDCount(item_.get()) == 1) {
        TNamespace* physical = PhysicalDesktopFolder();
        if (physical && physical != this) physical->InvalidateNamespace(true);
    }
}

// ---------------------------------------------------------------- conversions

PItemIDList PathToPIDL(const WideString& path) {
    ShellFolderPtr desktop;
    PItemIDList pidl = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) ||
        FAILED(desktop->ParseDisplayName(WideToUtf8(path), &pidl)))
        return nullptr;
    return pidl;
}

WideString PIDLToPath(PCItemIDList pidl) {
    if (!pidl) return {};
    UniquePIDL copy(NamespacePIDLManager().CopyPIDL(pidl));
    if (!copy) return {};
    return TNamespace(std::move(copy), nullptr).NameForParsing();
}

std::unique_ptr<TNamespace> CreateSpecialNamespace(int csidl) {
    PItemIDList pidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(csidl, &pidl)) || !pidl) return nullptr;
    return std::make_unique<TNamespace>(UniquePIDL(pidl), nullptr);
}

std::vector<PItemIDList> NamespaceToAbsolutePIDLArray(const TNamespaceArray& namespaces) {
    std::vector<PItemIDList> out;
    for (TNamespace* ns : namespaces)
        out.push_back(ns->AbsolutePIDL());
    return out;
}

std::vector<PItemIDList> NamespaceToRelativePIDLArray(const TNamespaceArray& namespaces) {
    std::vector<PItemIDList> out;
    for (TNamespace* ns : namespaces)
        out.push_back(ns->RelativePIDL());
    return out;
}

PItemIDList GetMyDocumentsVirtualPIDL() {
    std::unique_ptr<TNamespace> personal = CreateSpecialNamespace(CSIDL_PERSONAL);
    TNamespace* desktop = DesktopFolder();
    if (!personal || !desktop) return nullptr;
    const std::string wanted = WideToUtf8(personal->NameInFolder());
    PItemIDList found = nullptr;
    desktop->EnumerateFolder(
        true, false, false,
        [&](TNamespace* parent, PItemIDList child, void*, bool& terminate) {
            std::string name;
            parent->ShellFolder()->GetDisplayNameOf(child, SHGDN_NORMAL, &name);
            if (SameText(name, wanted)) {
                found = child;
                terminate = true;
                return true;
            }
            NamespacePIDLManager().FreePIDL(child);
            return false;
        },
        nullptr);
    return found;
}

TNamespace* DesktopFolder() {
    return EnsureSpecials().desktop.get();
}
TNamespace* RecycleBinFolder() {
    return EnsureSpecials().recycleBin.get();
}
TNamespace* PhysicalDesktopFolder() {
    return EnsureSpecials().physicalDesktop.get();
}
TNamespace* DrivesFolder() {
    return EnsureSpecials().drives.get();
}
TNamespace* PrinterFolder() {
    return EnsureSpecials().printers.get();
}
TNamespace* HistoryFolder() {
    return EnsureSpecials().history.get();
}
TNamespace* ControlPanelFolder() {
    return EnsureSpecials().controlPanel.get();
}
TNamespace* NetworkNeighborHoodFolder() {
    return EnsureSpecials().network.get();
}
TNamespace* TemplatesFolder() {
    return EnsureSpecials().templates.get();
}
TNamespace* MyDocumentsFolder() {
    return EnsureSpecials().myDocuments.get();
}
TNamespace* FavoritesFolder() {
    return EnsureSpecials().favorites.get();
}

void CreateSpecialFolders() {
    EnsureSpecials();
}

void FreeSpecialFolders() {
    std::lock_guard lock(g_specialMutex);
    Specials() = SpecialFolders{};
}

} // namespace ax
