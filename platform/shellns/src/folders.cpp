// The Desktop, Computer, directory and Recycle Bin folders.
#include "items.h"
#include "listingcache.h"
#include "pathaccess.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/dataobject.h"
#include "platform/shellns/desktopentry.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace ax::shellns {

bool SplitItems(std::string_view bytes, std::vector<std::pair<uint8_t, std::string>>& items) {
    items.clear();
    if (!ILIsValid(bytes.data(), bytes.size())) return false;
    for (size_t at = 0;;) {
        const size_t cb = uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8);
        if (cb == 0) return true;
        items.emplace_back(uint8_t(bytes[at + 2]), std::string(bytes.substr(at + 3, cb - 3)));
        at += cb;
    }
}

std::string ItemBytes(uint8_t kind, std::string_view payload) {
    const size_t cb = payload.size() + 3;
    std::string out;
    out.reserve(cb + 2); // callers add the terminator
    out.push_back(char(cb & 0xFF));
    out.push_back(char(cb >> 8));
    out.push_back(char(kind));
    out.append(payload);
    return out;
}

std::string PidlBytes(PCItemIDList pidl) {
    if (!pidl) return {};
    return std::string(reinterpret_cast<const char*>(pidl), ILByteSize(pidl));
}

std::string JoinBytes(const std::string& parent, PCItemIDList relative) {
    std::string out = parent.substr(0, parent.size() >= 2 ? parent.size() - 2 : 0);
    out += relative ? PidlBytes(relative) : std::string(2, '\0');
    return out;
}

PItemIDList AllocPidl(std::string_view bytes) {
    IMalloc* m = nullptr;
    if (FAILED(SHGetMalloc(&m)) || bytes.empty()) return nullptr;
    void* block = m->Alloc(bytes.size());
    if (!block) return nullptr;
    std::memcpy(block, bytes.data(), bytes.size());
    return static_cast<PItemIDList>(block);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir == "/") return "/" + name;
    return dir + "/" + name;
}

namespace {

// Already in normal form: absolute, no empty, "." or ".." element and no
// "/" at the end (the common case, taken without building anything).
bool IsNormal(std::string_view path) {
    if (path.empty() || path[0] != '/') return false;
    if (path.size() == 1) return true;
    size_t start = 1;
    for (;;) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
}

} // namespace

std::string NormalisePath(const std::string& path) {
    if (IsNormal(path)) return path;
    if (path.empty() || path[0] != '/') return {};
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t next = path.find('/', at);
        if (next == std::string::npos) next = path.size();
        std::string part = path.substr(at, next - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        at = next + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string PhysicalPath(const std::string& path) {
    if (IsNormal(path)) return path;
    if (path.empty() || path[0] != '/') return {};
    const std::vector<std::string> parts = SplitString(path, '/');
    if (std::find(parts.begin(), parts.end(), "..") == parts.end()) return NormalisePath(path);
    std::string reached = "/";
    for (const std::string& part : parts) {
        if (part.empty() || part == ".") continue;
        if (part != "..") {
            reached = JoinPath(reached, part);
            continue;
        }
        char real[PATH_MAX];
        if (reached.size() < PATH_MAX && ::realpath(reached.c_str(), real))
            reached = real;
        else if (errno != ENAMETOOLONG)
            return {};
        reached = ParentPath(reached);
    }
    return reached;
}

bool IsRealDirectory(const std::string& path) {
    struct stat st;
    return StatAnyPath(path, st, false) == 0 && S_ISDIR(st.st_mode);
}

// The user's configured folders may be links to folders.
bool IsFolderFollowingLinks(const std::string& path) {
    struct stat st;
    return StatAnyPath(path, st, true) == 0 && S_ISDIR(st.st_mode);
}

bool IsFolderItem(const std::string& path) {
    bool folder = false;
    const std::vector<FileId> chain = FolderChain(path, &folder);
    return folder && LoopFree(chain);
}

namespace {

std::atomic<int (*)(const std::string&)> g_readRefusal{nullptr};

// The errno a test makes reading the folder at path fail with, or 0.
int RefusedRead(const std::string& path) {
    int (*refuse)(const std::string&) = g_readRefusal.load();
    return refuse ? refuse(path) : 0;
}

// 0 when the folder at path may be listed and its entries looked at, else
// the errno that says why not.
int ReadError(const std::string& path) {
    if (const int refused = RefusedRead(path)) return refused;
    ParentRef parent;
    if (!OpenParentOf(path, parent)) return errno ? errno : ENOENT;
    return ::faccessat(parent.dirfd, parent.name.c_str(), R_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

} // namespace

bool CanRead(const std::string& path) { return ReadError(path) == 0; }

std::string ParentPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

namespace {

// Whether a listed entry is a folder: a folder, or a link to a folder that
// is none of the folders above it (which would make a loop). The chain of
// the listed folder is read once, when the first link needs it.
class EntryTypes {
public:
    EntryTypes(int dirfd, const std::string& path) : dirfd_(dirfd), path_(path) {}
    bool IsFolder(const FolderEntry& e) {
        if (e.type == DT_DIR) return true;
        if (e.type != DT_LNK && e.type != DT_UNKNOWN) return false;
        struct stat st;
        if (e.type == DT_UNKNOWN) {
            if (::fstatat(dirfd_, e.name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
            if (S_ISDIR(st.st_mode)) return true;
            if (!S_ISLNK(st.st_mode)) return false;
        }
        if (::fstatat(dirfd_, e.name.data(), &st, 0) != 0 || !S_ISDIR(st.st_mode)) return false;
        if (!chain_) chain_ = FolderChain(path_);
        return !chain_->empty() && !Contains(*chain_, IdOf(st));
    }

private:
    int dirfd_;
    const std::string& path_;
    std::optional<std::vector<FileId>> chain_;
};

timespec WallNow() {
    // File times are the system's wall clock, which no test moves.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// The folder at path, opened for reading its entries, with its status in st.
UniqueFd OpenFolder(const std::string& path, struct stat& st) {
    if (const int refused = RefusedRead(path)) {
        errno = refused;
        return UniqueFd();
    }
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NONBLOCK;
    UniqueFd fd = path.size() < PATH_MAX ? UniqueFd(::open(path.c_str(), kFlags | O_CLOEXEC))
                                         : OpenAnyPath(path, kFlags);
    if (fd && ::fstat(fd.Get(), &st) != 0) return UniqueFd();
    return fd;
}

// The listing kept for the folder at path while it is unchanged, or nullptr.
std::shared_ptr<const FolderListing> KeptListing(const std::string& path) {
    struct stat st;
    const UniqueFd fd = OpenFolder(path, st);
    return fd ? FolderListings().Find(FolderStamp::Of(st)) : nullptr;
}

// Calls visit(entry, types) for every entry but "." and ".." until it
// answers false; false when the folder cannot be read. A big folder read
// whole is kept (ListingCache) and served from there while unchanged.
template <typename Visit> bool ForEachEntry(const std::string& path, Visit visit) {
    struct stat st;
    UniqueFd fd = OpenFolder(path, st);
    if (!fd) return false;
    const FolderStamp stamp = FolderStamp::Of(st);
    if (const std::shared_ptr<const FolderListing> kept = FolderListings().Find(stamp)) {
        EntryTypes types(fd.Get(), path);
        for (size_t i = 0; i < kept->Count(); ++i)
            if (!visit(kept->At(i), types)) break;
        return true;
    }
    const timespec readStart = WallNow();
    DIR* dir = ::fdopendir(fd.Get());
    if (!dir) return false;
    fd.Release();
    const ScopeGuard closeDir([dir] { ::closedir(dir); });
    ObserveFolderRead(path);
    EntryTypes types(::dirfd(dir), path);
    auto listing = std::make_shared<FolderListing>();
    while (const dirent* e = ::readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        listing->Add(e->d_name, e->d_type);
        if (!visit(FolderEntry{e->d_name, e->d_type}, types)) return true;
    }
    // A server's file times follow its own clock, which the settled test
    // cannot judge: a remote folder is read at every question.
    if (listing->Count() >= ListingCache::kKeepFrom && !VolumeOfPath(path, false).remote)
        FolderListings().Keep(stamp, readStart, std::move(listing));
    return true;
}

} // namespace

namespace {

// From this size on a folder is big enough that reading it whole holds up
// whoever asks (about 25,000 entries on ext4, 50,000 on tmpfs).
constexpr off_t kBigFolderBytes = off_t(1) << 20;

// A big folder not read whole since it last changed.
bool BigUnreadFolder(const std::string& path) {
    struct stat st;
    const UniqueFd fd = OpenFolder(path, st);
    return fd && st.st_size >= kBigFolderBytes && !FolderListings().Find(FolderStamp::Of(st));
}

} // namespace

bool HasSubDirectory(const std::string& path) {
    // A big folder not read yet may hold folders: reading it whole only to
    // know would hold up a tree deciding its expand buttons. Its listing,
    // read a piece at a time, tells.
    if (BigUnreadFolder(path)) return true;
    bool found = false;
    ForEachEntry(path, [&](const FolderEntry& e, EntryTypes& types) {
        found = types.IsFolder(e);
        return !found;
    });
    return found;
}

bool Resolve(std::string_view absoluteBytes, Location& loc) {
    std::vector<std::pair<uint8_t, std::string>> items;
    if (!SplitItems(absoluteBytes, items)) return false;
    loc = Location{};
    if (items.empty()) {
        loc.kind = ItemKind::Desktop;
        loc.path = XdgUserDirectory("DESKTOP");
        return true;
    }
    size_t next = 1;
    const auto& [kind0, payload0] = items[0];
    if (kind0 == PIDL_KIND_VIRTUAL) {
        if (payload0 == kVirtualComputer) {
            if (items.size() == 1) {
                loc.kind = ItemKind::Computer;
                loc.name = payload0;
                return true;
            }
            const auto& [k1, p1] = items[1];
            if (k1 != PIDL_KIND_VOLUME || NormalisePath(p1) != p1) return false;
            loc.kind = ItemKind::Volume;
            loc.path = p1;
            loc.name = p1;
            next = 2;
        } else if (payload0 == kVirtualDocuments) {
            loc.kind = ItemKind::Documents;
            loc.path = XdgUserDirectory("DOCUMENTS");
            loc.name = payload0;
            if (loc.path.empty()) return false;
        } else if (payload0 == kVirtualNetwork) {
            loc.name = payload0;
            if (items.size() == 1) {
                loc.kind = ItemKind::Network;
                return true;
            }
            const auto& [k1, p1] = items[1];
            if (items.size() != 2 || k1 != PIDL_KIND_COMPUTER || p1.empty()) return false;
            loc.kind = ItemKind::NetworkComputer;
            loc.name = p1;
            return true;
        } else if (payload0 == kVirtualPrinters) {
            loc.name = payload0;
            if (items.size() == 1) {
                loc.kind = ItemKind::Printers;
                return true;
            }
            const auto& [k1, p1] = items[1];
            if (items.size() != 2 || k1 != PIDL_KIND_PRINTER || p1.empty()) return false;
            loc.kind = ItemKind::Printer;
            loc.name = p1;
            return true;
        } else if (payload0 == kVirtualRecycleBin) {
            if (items.size() == 1) {
                loc.kind = ItemKind::RecycleBin;
                loc.name = payload0;
                return true;
            }
            const auto& [k1, p1] = items[1];
            if (items.size() != 2 || k1 != PIDL_KIND_TRASH || !ResolveTrashName(p1, loc.path))
                return false;
            loc.kind = ItemKind::TrashEntry;
            loc.name = p1;
            return true;
        } else {
            return false;
        }
    } else if (kind0 == PIDL_KIND_FILE) {
        loc.path = XdgUserDirectory("DESKTOP");
        if (loc.path.empty()) return false;
        next = 0;
    } else {
        return false;
    }
    for (size_t i = next; i < items.size(); ++i) {
        const auto& [k, p] = items[i];
        if (k != PIDL_KIND_FILE || !IsValidItemName(p)) return false;
        loc.kind = ItemKind::Entry;
        loc.path = JoinPath(loc.path, p);
        loc.name = p;
    }
    return true;
}

namespace {

// Attributes that need a look at the disk; the others follow from the
// item's kind and name alone.
constexpr uint32_t kFolderBits =
    SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_DROPTARGET | SFGAO_HASSUBFOLDER;
constexpr uint32_t kDiskBits = kFolderBits | SFGAO_VALIDATE | SFGAO_LINK | SFGAO_READONLY;

bool IsVisibleVolume(const std::string& mountPoint) {
    for (const Volume& v : VisibleVolumes())
        if (v.mountPoint == mountPoint) return true;
    return false;
}

} // namespace

uint32_t AttributesOf(const Location& loc, uint32_t wanted, bool& exists) {
    exists = true;
    uint32_t a = 0;
    auto subFolders = [&](const std::string& path) {
        return (wanted & SFGAO_HASSUBFOLDER) && HasSubDirectory(path) ? SFGAO_HASSUBFOLDER : 0u;
    };
    switch (loc.kind) {
    case ItemKind::Desktop:
        return SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER | SFGAO_DROPTARGET |
               SFGAO_HASPROPSHEET;
    case ItemKind::Computer:
        return SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER | SFGAO_HASPROPSHEET |
               SFGAO_CANLINK;
    case ItemKind::RecycleBin:
        return SFGAO_FOLDER | SFGAO_DROPTARGET | SFGAO_HASPROPSHEET | SFGAO_CANLINK;
    case ItemKind::Printers:
    case ItemKind::Network:
        return SFGAO_FOLDER | SFGAO_HASPROPSHEET;
    case ItemKind::NetworkComputer:
        if ((wanted & SFGAO_VALIDATE) && !FindNetworkComputer(loc.name)) {
            exists = false;
            return 0;
        }
        return SFGAO_CANLINK;
    case ItemKind::Printer: {
        PrinterInfo printer;
        if ((wanted & SFGAO_VALIDATE) && !FindPrinter(loc.name, printer)) {
            exists = false;
            return 0;
        }
        return SFGAO_HASPROPSHEET | SFGAO_CANLINK;
    }
    case ItemKind::Documents:
        if (!IsFolderFollowingLinks(loc.path)) {
            exists = false;
            return 0;
        }
        return SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_DROPTARGET |
               SFGAO_HASPROPSHEET | SFGAO_CANLINK | subFolders(loc.path);
    case ItemKind::Volume: {
        // A volume of the mount table is a drive even while nothing answers
        // there (a medium gone, a server away).
        a = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_DROPTARGET |
            SFGAO_HASPROPSHEET | SFGAO_CANLINK;
        const Volume v = VolumeOfPath(loc.path, true);
        if (v.mountPoint == loc.path && v.removable) a |= SFGAO_REMOVABLE;
        if (wanted & (SFGAO_VALIDATE | SFGAO_HASSUBFOLDER)) {
            const bool folder = IsFolderFollowingLinks(loc.path);
            if (!folder && !IsVisibleVolume(loc.path)) {
                exists = false;
                return 0;
            }
            if (folder) a |= subFolders(loc.path);
        }
        return a;
    }
    case ItemKind::Entry:
    case ItemKind::TrashEntry: {
        a = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_HASPROPSHEET;
        if (!loc.name.empty() && loc.name[0] == '.') a |= SFGAO_HIDDEN;
        if (loc.kind == ItemKind::Entry)
            a |= SFGAO_CANMOVE | SFGAO_CANLINK | SFGAO_CANRENAME | SFGAO_CANDELETE;
        if (!(wanted & kDiskBits)) return a;
        struct stat st;
        if (const int error = StatAnyPath(loc.path, st, false); error != 0) {
            // Only what is gone is gone: an item that cannot be looked at
            // (no right to, an error of the medium) may well be there.
            exists = error != ENOENT && error != ENOTDIR;
            return exists ? a : 0;
        }
        if (loc.kind == ItemKind::TrashEntry) return a;
        const bool link = S_ISLNK(st.st_mode);
        if (link || (S_ISREG(st.st_mode) && IsLauncherName(loc.name))) a |= SFGAO_LINK;
        if (!link && !(st.st_mode & S_IWUSR)) a |= SFGAO_READONLY;
        if (!(wanted & kFolderBits)) return a;
        // A link to a folder is a folder, unless it leads back to one of the
        // folders above it: then it is a loop and stays a plain item.
        if (link && StatAnyPath(loc.path, st, true) != 0) return a;
        if (S_ISDIR(st.st_mode) && !Contains(FolderChain(ParentPath(loc.path)), IdOf(st)))
            a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_DROPTARGET | subFolders(loc.path);
        return a;
    }
    }
    return a;
}

std::string DisplayNameOf(const Location& loc, uint32_t flags) {
    const bool inFolder = flags & SHGDN_INFOLDER;
    const bool parsing = flags & SHGDN_FORPARSING;
    const bool address = flags & SHGDN_FORADDRESSBAR;
    switch (loc.kind) {
    case ItemKind::Desktop:
        return parsing ? loc.path : "Desktop";
    case ItemKind::Computer:
        return parsing ? kComputerKey : "Computer";
    case ItemKind::RecycleBin:
        return parsing ? kRecycleBinKey : "Recycle Bin";
    case ItemKind::Printers:
        return parsing ? kPrintersKey : "Printers";
    case ItemKind::Network:
        return parsing ? kNetworkKey : "Network";
    case ItemKind::NetworkComputer:
        return loc.name;
    case ItemKind::Printer:
        return loc.name;
    case ItemKind::Documents:
        // Both routes to the documents folder give its path for parsing.
        return parsing ? loc.path : ExtractFileName(loc.path);
    case ItemKind::Volume:
        if (parsing || address) return loc.path;
        return loc.path == "/" ? "File System" : ExtractFileName(loc.path);
    case ItemKind::Entry:
        return (parsing || address) && !inFolder ? loc.path : loc.name;
    case ItemKind::TrashEntry: {
        if (parsing) return inFolder ? ExtractFileName(loc.path) : loc.path;
        std::string original, date;
        if (ReadTrashInfo(loc.name, original, date) && !ExtractFileName(original).empty())
            return ExtractFileName(original);
        return loc.name;
    }
    }
    return {};
}

namespace {

int ItemRank(uint8_t kind, std::string_view payload) {
    if (kind != PIDL_KIND_VIRTUAL) return 3;
    if (payload == kVirtualComputer) return 0;
    if (payload == kVirtualDocuments) return 1;
    return 2;
}

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

class ListEnumerator final : public IEnumIDList, public IEnumIDListKinds {
public:
    // noFolder: empty, or one flag per item (see ListDirectory).
    explicit ListEnumerator(std::vector<std::string> items, std::vector<uint8_t> noFolder = {})
        : items_(std::move(items)), noFolder_(std::move(noFolder)) {}
    HRESULT Next(PItemIDList* item) override {
        if (!item) return E_INVALIDARG;
        *item = nullptr;
        if (at_ >= items_.size()) return S_FALSE;
        *item = AllocPidl(items_[at_]);
        if (!*item) return E_OUTOFMEMORY;
        ++at_;
        return S_OK;
    }
    bool LastIsNoFolder() override { return at_ > 0 && at_ - 1 < noFolder_.size() && noFolder_[at_ - 1]; }

private:
    std::vector<std::string> items_;
    std::vector<uint8_t> noFolder_;
    size_t at_ = 0;
};

} // namespace

namespace {

// True for an entry known to be no folder (nor a link that may lead to one).
bool NoFolderType(unsigned char type) {
    return type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN;
}

// The entries of a folder a listing with these flags holds: add(entry) for
// each (see ListDirectory).
template <typename Add>
void ListEntries(const std::string& path, uint32_t flags, bool entriesAreFolders, Add add) {
    const bool folders = flags & SHCONTF_FOLDERS, nonFolders = flags & SHCONTF_NONFOLDERS;
    if (!folders && !nonFolders) return;
    const bool hidden = flags & SHCONTF_INCLUDEHIDDEN;
    ForEachEntry(path, [&](const FolderEntry& e, EntryTypes& types) {
        if (!hidden && e.name[0] == '.') return true;
        // Only a list of one sort needs to know which sort each entry is.
        if (!folders || !nonFolders) {
            const bool folder = entriesAreFolders && types.IsFolder(e);
            if (folder != folders) return true;
        }
        add(e);
        return true;
    });
}

// A folder's entries as one-item PIDLs, made as they are asked for: a
// question such as "has it any item" takes the first of a big folder's
// items, not all of them. Items of both sorts are read from the folder as
// they are asked for too, so a big folder listed in slices is read in
// slices; read to its end, the listing is kept as a whole read's is.
class EntryEnumerator final : public IEnumIDList, public IEnumIDListKinds {
public:
    explicit EntryEnumerator(const std::string& path, uint32_t flags) : path_(path) {
        if ((flags & SHCONTF_FOLDERS) && (flags & SHCONTF_NONFOLDERS)) {
            skipHidden_ = !(flags & SHCONTF_INCLUDEHIDDEN);
            BeginRead();
            return;
        }
        auto read = std::make_shared<FolderListing>();
        ListEntries(path, flags, true, [&](const FolderEntry& e) { read->Add(e.name, e.type); });
        listing_ = std::move(read);
    }
    ~EntryEnumerator() override {
        if (dir_) ::closedir(dir_);
    }
    EntryEnumerator(const EntryEnumerator&) = delete;
    EntryEnumerator& operator=(const EntryEnumerator&) = delete;
    HRESULT Next(PItemIDList* item) override {
        if (!item) return E_INVALIDARG;
        *item = nullptr;
        for (;;) {
            while (at_ < listing_->Count() && skipHidden_ && listing_->At(at_).name[0] == '.') ++at_;
            if (at_ < listing_->Count()) break;
            if (!ReadOne()) return S_FALSE;
        }
        const FolderEntry e = listing_->At(at_);
        // One buffer for every item: a big folder's items are many.
        const size_t cb = e.name.size() + 3;
        scratch_.assign({char(cb & 0xFF), char(cb >> 8), char(PIDL_KIND_FILE)});
        scratch_.append(e.name).append(2, '\0');
        *item = AllocPidl(scratch_);
        if (!*item) return E_OUTOFMEMORY;
        ++at_;
        returned_ = true;
        lastNoFolder_ = NoFolderType(e.type);
        return S_OK;
    }
    bool LastIsNoFolder() override { return returned_ && lastNoFolder_; }

private:
    // A kept listing, else the folder opened for reading as asked; a folder
    // that cannot be read lists nothing.
    void BeginRead() {
        listing_ = std::make_shared<FolderListing>();
        struct stat st;
        UniqueFd fd = OpenFolder(path_, st);
        if (!fd) return;
        stamp_ = FolderStamp::Of(st);
        if (auto kept = FolderListings().Find(stamp_)) {
            listing_ = std::move(kept);
            return;
        }
        readStart_ = WallNow();
        dir_ = ::fdopendir(fd.Get());
        if (!dir_) return;
        fd.Release();
        ObserveFolderRead(path_);
        growing_ = std::make_shared<FolderListing>();
        listing_ = growing_;
    }
    // Adds the folder's next entry to the listing; false at its end.
    bool ReadOne() {
        if (!dir_) return false;
        errno = 0;
        while (const dirent* e = ::readdir(dir_)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
            growing_->Add(e->d_name, e->d_type);
            return true;
        }
        const bool whole = errno == 0;
        ::closedir(std::exchange(dir_, nullptr));
        // A server's file times follow its own clock, which the settled
        // test cannot judge: a remote folder is read at every question.
        if (whole && growing_->Count() >= ListingCache::kKeepFrom && !VolumeOfPath(path_, false).remote)
            FolderListings().Keep(stamp_, readStart_, growing_);
        growing_.reset();
        return false;
    }

    std::string path_;
    // Kept and shared, or read for this enumeration alone.
    std::shared_ptr<const FolderListing> listing_;
    // While the folder is being read: the same listing, added to.
    std::shared_ptr<FolderListing> growing_;
    DIR* dir_ = nullptr;
    FolderStamp stamp_;
    timespec readStart_{};
    bool skipHidden_ = false;
    size_t at_ = 0;
    bool returned_ = false, lastNoFolder_ = false;
    std::string scratch_;
};

} // namespace

void ListDirectory(const std::string& path, uint8_t kind, uint32_t flags, bool entriesAreFolders,
                   const std::string& prefix, std::vector<std::string>& out, std::vector<uint8_t>* noFolder) {
    ListEntries(path, flags, entriesAreFolders, [&](const FolderEntry& e) {
        std::string bytes = ItemBytes(kind, prefix + std::string(e.name));
        bytes.append(2, '\0');
        out.push_back(std::move(bytes));
        if (noFolder) noFolder->push_back(entriesAreFolders && NoFolderType(e.type));
    });
}

namespace {

class FolderBase : public IShellFolder2, public IShellFolderSortKeys {
public:
    explicit FolderBase(std::string absolute) : absolute_(std::move(absolute)) {}
    bool AppendSortKey(PCItemIDList id, std::string* key) override;
    const std::string& AbsoluteBytes() const override { return absolute_; }

    // Details columns.
    HRESULT GetDefaultColumn(uint32_t, uint32_t* sort, uint32_t* display) override {
        if (sort) *sort = 0;
        if (display) *display = 0;
        return S_OK;
    }
    HRESULT GetDefaultColumnState(unsigned column, uint32_t* flags) override {
        SHELLDETAILS header;
        uint32_t state = 0;
        if (!flags || !ColumnHeader(Columns(), column, header, state)) return E_INVALIDARG;
        *flags = state;
        return S_OK;
    }
    HRESULT GetDetailsOf(PCItemIDList pidl, unsigned column, SHELLDETAILS* details) override {
        if (!details) return E_INVALIDARG;
        uint32_t state = 0;
        if (!ColumnHeader(Columns(), column, *details, state)) return E_INVALIDARG;
        if (!pidl) return S_OK;
        Location loc;
        if (!ResolveChild(pidl, loc)) return E_INVALIDARG;
        return ColumnText(Columns(), loc, column, details->str) ? S_OK : E_INVALIDARG;
    }
    HRESULT GetQueryInfo(PCItemIDList pidl, std::shared_ptr<IQueryInfo>* info) override;

    HRESULT BindToObject(PCItemIDList pidl, ShellFolderPtr* folder) override;
    HRESULT CompareIDs(int column, PCItemIDList a, PCItemIDList b) override;
    HRESULT GetAttributesOf(const PCItemIDList* pidls, int count, uint32_t* attributes) override;
    HRESULT GetDisplayNameOf(PCItemIDList pidl, uint32_t flags, std::string* name) override;
    HRESULT SetNameOf(PCItemIDList pidl, const std::string& newName, uint32_t flags,
                      PItemIDList* newPidl) override;
    HRESULT GetContextMenu(const PCItemIDList* pidls, int count,
                           std::shared_ptr<IContextMenu>* menu) override;
    HRESULT GetDropTarget(PCItemIDList pidl, std::shared_ptr<IDropTarget>* target) override;
    HRESULT GetDataObject(const PCItemIDList* pidls, int count,
                          std::shared_ptr<IDataObject>* data) override;
    HRESULT GetFindData(PCItemIDList pidl, WIN32_FIND_DATA* data) override;
    // Names relative to a file-system folder: "a/b" to two items.
    HRESULT ParseDisplayName(const std::string& name, PItemIDList* pidl) override;

protected:
    virtual bool ResolveChild(PCItemIDList pidl, Location& loc) const {
        return pidl && Resolve(JoinBytes(absolute_, pidl), loc);
    }
    virtual ColumnSet Columns() const { return ColumnSet::Files; }
    std::string absolute_;
};

class InfoTip final : public IQueryInfo {
public:
    explicit InfoTip(std::string tip) : tip_(std::move(tip)) {}
    HRESULT GetInfoTip(uint32_t, std::string* tip) override {
        if (!tip) return E_INVALIDARG;
        *tip = tip_;
        return S_OK;
    }

private:
    std::string tip_;
};

HRESULT FolderBase::GetQueryInfo(PCItemIDList pidl, std::shared_ptr<IQueryInfo>* info) {
    if (!info) return E_INVALIDARG;
    info->reset();
    Location loc;
    if (!ResolveChild(pidl, loc)) return E_INVALIDARG;
    *info = std::make_shared<InfoTip>(InfoTipOf(loc));
    return S_OK;
}

// IsValidItemName without building a string.
bool IsValidName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    // A loop, not a search per character: asked for every item of a big folder.
    for (const char c : name)
        if (c == '/' || c == '\0') return false;
    return true;
}

class DirectoryFolder final : public FolderBase {
public:
    DirectoryFolder(std::string absolute, std::string path)
        : FolderBase(std::move(absolute)), path_(std::move(path)) {}
    HRESULT EnumObjects(uint32_t flags, std::unique_ptr<IEnumIDList>* list) override {
        if (!list) return E_INVALIDARG;
        *list = std::make_unique<EntryEnumerator>(path_, flags);
        return S_OK;
    }

    HRESULT GetDisplayNameOf(PCItemIDList pidl, uint32_t flags, std::string* name) override {
        // The parsing name of an entry, asked for every item of a selection.
        if (name && flags == SHGDN_FORPARSING && pidl && pidl->mkid.cb >= 3 &&
            ILNextItem(pidl)->mkid.cb == 0 && ILItemKind(pidl) == PIDL_KIND_FILE) {
            const std::string_view entry = ILItemPayload(pidl);
            if (!IsValidName(entry)) return E_INVALIDARG;
            // One allocation for the whole path: the names are many.
            const std::string_view folder = path_ == "/" ? std::string_view() : std::string_view(path_);
            name->clear();
            name->reserve(folder.size() + 1 + entry.size());
            name->append(folder).append(1, '/').append(entry);
            return S_OK;
        }
        return FolderBase::GetDisplayNameOf(pidl, flags, name);
    }
    HRESULT GetAttributesOf(const PCItemIDList* pidls, int count, uint32_t* attributes) override {
        if (attributes && pidls && count >= kListingFrom && !(*attributes & kPerItemBits)) {
            HRESULT hr;
            if (AttributesFromListing(pidls, count, attributes, hr)) return hr;
        }
        return FolderBase::GetAttributesOf(pidls, count, attributes);
    }

protected:
    // One entry of this folder, the common case, needs no walk through the
    // absolute PIDL.
    bool ResolveChild(PCItemIDList pidl, Location& loc) const override {
        if (pidl && pidl->mkid.cb >= 3 && ILNextItem(pidl)->mkid.cb == 0 &&
            ILItemKind(pidl) == PIDL_KIND_FILE) {
            const std::string_view name = ILItemPayload(pidl);
            if (!IsValidItemName(std::string(name))) return false;
            loc.kind = ItemKind::Entry;
            loc.name.assign(name);
            loc.path = JoinPath(path_, loc.name);
            return true;
        }
        return FolderBase::ResolveChild(pidl, loc);
    }

private:
    // From this many entries on, one listing of the folder answers whether
    // each is there and what sort it is, instead of a question per entry.
    static constexpr int kListingFrom = 16;
    // Bits a listing cannot tell.
    static constexpr uint32_t kPerItemBits = SFGAO_READONLY | SFGAO_HASSUBFOLDER;

    // False when the listing cannot serve (not all items are entries of
    // this folder, or the folder cannot be read): ask item by item then.
    bool AttributesFromListing(const PCItemIDList* pidls, int count, uint32_t* attributes,
                               HRESULT& hr) {
        for (int i = 0; i < count; ++i) {
            const PCItemIDList p = pidls[i];
            if (!p || p->mkid.cb < 3 || ILNextItem(p)->mkid.cb != 0 ||
                ILItemKind(p) != PIDL_KIND_FILE)
                return false;
        }
        // A kept listing keeps its index by name too: asked about many items
        // again and again, the big folder is indexed once.
        std::shared_ptr<const FolderListing> listing = KeptListing(path_);
        if (!listing) {
            auto read = std::make_shared<FolderListing>();
            if (!ForEachEntry(path_, [&](const FolderEntry& e, EntryTypes&) {
                    read->Add(e.name, e.type);
                    return true;
                }))
                return false;
            listing = std::move(read);
        }
        uint32_t result = *attributes;
        for (int i = 0; i < count; ++i) {
            const std::string_view name = ILItemPayload(pidls[i]);
            if (!IsValidName(name)) {
                hr = E_INVALIDARG;
                return true;
            }
            const int type = listing->TypeOf(name);
            if (type < 0) {
                hr = E_FAIL; // not there
                return true;
            }
            bool exists = true;
            uint32_t a;
            if (type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN) {
                // Folders and links need a look.
                Location loc;
                loc.kind = ItemKind::Entry;
                loc.name.assign(name);
                loc.path = JoinPath(path_, loc.name);
                a = AttributesOf(loc, *attributes, exists);
            } else {
                // A file of another sort: it is there, and no folder; a link
                // only when it is a launcher.
                a = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_HASPROPSHEET | SFGAO_CANMOVE |
                    SFGAO_CANLINK | SFGAO_CANRENAME | SFGAO_CANDELETE |
                    (name[0] == '.' ? SFGAO_HIDDEN : 0u) |
                    (type == DT_REG && IsLauncherName(name) ? SFGAO_LINK : 0u);
            }
            if (!exists) {
                hr = E_FAIL;
                return true;
            }
            result &= a;
        }
        *attributes = result;
        hr = S_OK;
        return true;
    }

    std::string path_;
};

class ComputerFolder final : public FolderBase {
public:
    using FolderBase::FolderBase;
    ColumnSet Columns() const override { return ColumnSet::Volumes; }
    HRESULT EnumObjects(uint32_t flags, std::unique_ptr<IEnumIDList>* list) override {
        if (!list) return E_INVALIDARG;
        std::vector<std::string> items;
        if (flags & SHCONTF_FOLDERS)
            for (const Volume& v : VisibleVolumes())
                items.push_back(ItemBytes(PIDL_KIND_VOLUME, v.mountPoint) + std::string(2, '\0'));
        *list = std::make_unique<ListEnumerator>(std::move(items));
        return S_OK;
    }
};

class RecycleBinFolder final : public FolderBase {
public:
    using FolderBase::FolderBase;
    ColumnSet Columns() const override { return ColumnSet::Trash; }
    HRESULT EnumObjects(uint32_t flags, std::unique_ptr<IEnumIDList>* list) override {
        if (!list) return E_INVALIDARG;
        std::vector<std::string> items;
        ListTrashes(flags, items);
        *list = std::make_unique<ListEnumerator>(std::move(items));
        return S_OK;
    }
};

class PrintersFolder final : public FolderBase {
public:
    using FolderBase::FolderBase;
    ColumnSet Columns() const override { return ColumnSet::Printers; }
    HRESULT EnumObjects(uint32_t flags, std::unique_ptr<IEnumIDList>* list) override {
        if (!list) return E_INVALIDARG;
        std::vector<std::string> items;
        if (flags & SHCONTF_NONFOLDERS)
            for (const PrinterInfo& p : ListPrinters())
                items.push_back(ItemBytes(PIDL_KIND_PRINTER, p.name) + std::string(2, '\0'));
        *list = std::make_unique<ListEnumerator>(std::move(items));
        return S_OK;
    }
};

class NetworkFolder final : public FolderBase {
public:
    using FolderBase::FolderBase;
    HRESULT EnumObjects(uint32_t flags, std::unique_ptr<IEnumIDList>* list) override {
        if (!list) return E_INVALIDARG;
        std::vector<std::string> items;
        if (flags & SHCONTF_NONFOLDERS)
            for (const std::string& host : ListNetworkComputers())
                items.push_back(ItemBytes(PIDL_KIND_COMPUTER, host) + std::string(2, '\0'));
        *list = std::make_unique<ListEnumerator>(std::move(items));
        return S_OK;
    }
};

class DesktopFolder final : public FolderBase {
public:
    DesktopFolder() : FolderBase(std::string(2, '\0')) {}
    HRESULT EnumObjects(uint32_t flags, std::unique_ptr<IEnumIDList>* list) override {
        if (!list) return E_INVALIDARG;
        std::vector<std::string> items;
        auto add = [&](std::string_view key) {
            items.push_back(ItemBytes(PIDL_KIND_VIRTUAL, key) + std::string(2, '\0'));
        };
        if (flags & SHCONTF_FOLDERS) {
            add(kVirtualComputer);
            const std::string docs = XdgUserDirectory("DOCUMENTS");
            if (!docs.empty() && IsFolderFollowingLinks(docs)) add(kVirtualDocuments);
            add(kVirtualRecycleBin);
        }
        const std::string desktop = XdgUserDirectory("DESKTOP");
        if (!desktop.empty()) ListDirectory(desktop, PIDL_KIND_FILE, flags, true, "", items);
        *list = std::make_unique<ListEnumerator>(std::move(items));
        return S_OK;
    }
    HRESULT ParseDisplayName(const std::string& name, PItemIDList* pidl) override {
        if (!pidl) return E_INVALIDARG;
        *pidl = nullptr;
        std::string bytes;
        if (SameText(name, kComputerKey)) {
            bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualComputer);
        } else if (SameText(name, kRecycleBinKey)) {
            bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualRecycleBin);
        } else if (SameText(name, kNetworkKey)) {
            bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualNetwork);
        } else if (SameText(name, kPrintersKey)) {
            bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualPrinters);
        } else if (SameText(name, kDocumentsKey)) {
            const std::string docs = XdgUserDirectory("DOCUMENTS");
            if (docs.empty() || !IsFolderFollowingLinks(docs)) return E_FAIL;
            bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualDocuments);
        } else {
            const std::string path = PhysicalPath(name);
            struct stat st;
            if (path.empty() || StatAnyPath(path, st, false) != 0) return E_INVALIDARG;
            *pidl = AllocPidl(PathToPidlBytes(path));
            return *pidl ? S_OK : E_OUTOFMEMORY;
        }
        *pidl = AllocPidl(bytes + std::string(2, '\0'));
        return *pidl ? S_OK : E_OUTOFMEMORY;
    }
};

ShellFolderPtr FolderFor(const std::string& absolute, const Location& loc) {
    switch (loc.kind) {
    case ItemKind::Desktop:
        return std::make_shared<DesktopFolder>();
    case ItemKind::Computer:
        return std::make_shared<ComputerFolder>(absolute);
    case ItemKind::RecycleBin:
        return std::make_shared<RecycleBinFolder>(absolute);
    case ItemKind::Printers:
        return std::make_shared<PrintersFolder>(absolute);
    case ItemKind::Network:
        return std::make_shared<NetworkFolder>(absolute);
    case ItemKind::Printer:
    case ItemKind::NetworkComputer:
        return nullptr;
    case ItemKind::Documents:
    case ItemKind::Volume:
        if (!IsFolderFollowingLinks(loc.path) || !CanRead(loc.path)) return nullptr;
        return std::make_shared<DirectoryFolder>(absolute, loc.path);
    case ItemKind::Entry:
        // A link to a folder binds as the folder; a loop does not bind, nor
        // a folder that cannot be read.
        if (!IsFolderItem(loc.path) || !CanRead(loc.path)) return nullptr;
        return std::make_shared<DirectoryFolder>(absolute, loc.path);
    case ItemKind::TrashEntry:
        return nullptr;
    }
    return nullptr;
}

HRESULT FolderBase::BindToObject(PCItemIDList pidl, ShellFolderPtr* folder) {
    if (!folder) return E_INVALIDARG;
    folder->reset();
    Location loc;
    if (!ResolveChild(pidl, loc)) return E_INVALIDARG;
    const std::string absolute = JoinBytes(absolute_, pidl);
    *folder = FolderFor(absolute, loc);
    if (*folder) return S_OK;
    // Gone, or no folder, is a plain failure; a folder that is there but
    // cannot be read says so, for its items may be there too.
    struct stat st;
    if (loc.path.empty()) return E_FAIL;
    const int error = StatAnyPath(loc.path, st, true);
    if (error != 0) return error != ENOENT && error != ENOTDIR ? E_ACCESSDENIED : E_FAIL;
    return S_ISDIR(st.st_mode) && !CanRead(loc.path) ? E_ACCESSDENIED : E_FAIL;
}

// CompareIDs below, as one byte string per item: the rank, the name's code
// points case-folded in UTF-8 (which keeps their order; the stand-ins of
// invalid bytes, U+DC80..U+DCFF, are encoded like any code point), a 0
// ending them, the name's bytes as they are, a 0, the kind. Names holding
// a 0 byte have no key.
bool FolderBase::AppendSortKey(PCItemIDList id, std::string* key) {
    if (!id || !key || id->mkid.cb < 3 || ILNextItem(id)->mkid.cb != 0) return false;
    const uint8_t kind = ILItemKind(id);
    const std::string_view payload = ILItemPayload(id);
    bool ascii = true;
    for (const char c : payload) {
        if (c == '\0') return false;
        ascii = ascii && uint8_t(c) < 0x80;
    }
    const char rank = char(ItemRank(kind, payload) + 1);
    if (ascii) {
        // Most names: the folded name is as long as the name.
        const size_t n = payload.size(), start = key->size();
        key->resize(start + 2 * n + 4);
        char* out = key->data() + start;
        *out++ = rank;
        for (const char c : payload) *out++ = c >= 'A' && c <= 'Z' ? char(c + 32) : c;
        *out++ = '\0';
        std::memcpy(out, payload.data(), n);
        out += n;
        *out++ = '\0';
        *out = char(kind);
        return true;
    }
    key->push_back(rank);
    for (char32_t c : Utf8ToCodePoints(payload)) {
        c = FoldCase(c);
        if (c < 0x80) {
            key->push_back(char(c));
        } else if (c < 0x800) {
            key->push_back(char(0xC0 | (c >> 6)));
            key->push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            key->push_back(char(0xE0 | (c >> 12)));
            key->push_back(char(0x80 | ((c >> 6) & 0x3F)));
            key->push_back(char(0x80 | (c & 0x3F)));
        } else {
            key->push_back(char(0xF0 | (c >> 18)));
            key->push_back(char(0x80 | ((c >> 12) & 0x3F)));
            key->push_back(char(0x80 | ((c >> 6) & 0x3F)));
            key->push_back(char(0x80 | (c & 0x3F)));
        }
    }
    key->push_back('\0');
    key->append(payload);
    key->push_back('\0');
    key->push_back(char(kind));
    return true;
}

HRESULT FolderBase::CompareIDs(int, PCItemIDList a, PCItemIDList b) {
    if (!a || !b) return E_INVALIDARG;
    // Item by item, in place: this runs for every step of every lookup.
    int r = 0;
    for (; a->mkid.cb != 0 && b->mkid.cb != 0; a = ILNextItem(a), b = ILNextItem(b)) {
        if (a->mkid.cb < 3 || b->mkid.cb < 3) return E_INVALIDARG;
        const uint8_t ka = ILItemKind(a), kb = ILItemKind(b);
        const std::string_view pa = ILItemPayload(a), pb = ILItemPayload(b);
        r = ItemRank(ka, pa) - ItemRank(kb, pb);
        if (r == 0) r = CompareText(pa, pb);
        if (r == 0) r = pa.compare(pb); // byte-wise: "Foo" and "foo" are two items
        if (r == 0) r = int(ka) - int(kb);
        if (r != 0) break;
    }
    // The shorter chain first.
    if (r == 0) r = int(a->mkid.cb != 0) - int(b->mkid.cb != 0);
    return HRESULT(uint16_t(int16_t(Sign(r))));
}

HRESULT FolderBase::GetAttributesOf(const PCItemIDList* pidls, int count, uint32_t* attributes) {
    if (!attributes || count < 1 || !pidls) return E_INVALIDARG;
    uint32_t result = *attributes;
    for (int i = 0; i < count; ++i) {
        Location loc;
        if (!ResolveChild(pidls[i], loc)) return E_INVALIDARG;
        bool exists = false;
        const uint32_t a = AttributesOf(loc, *attributes, exists);
        if (!exists) return E_FAIL;
        result &= a;
    }
    *attributes = result;
    return S_OK;
}

HRESULT FolderBase::GetDisplayNameOf(PCItemIDList pidl, uint32_t flags, std::string* name) {
    if (!name) return E_INVALIDARG;
    name->clear();
    Location loc;
    if (!ResolveChild(pidl, loc)) return E_INVALIDARG;
    *name = DisplayNameOf(loc, flags);
    return name->empty() && loc.kind == ItemKind::Desktop ? E_FAIL : S_OK;
}

HRESULT FolderBase::SetNameOf(PCItemIDList pidl, const std::string& newName, uint32_t,
                              PItemIDList* newPidl) {
    if (newPidl) *newPidl = nullptr;
    Location loc;
    if (!ResolveChild(pidl, loc) || loc.kind != ItemKind::Entry || ILItemCount(pidl) != 1)
        return E_INVALIDARG;
    if (!ShellRenameItem(loc.path, newName, nullptr)) return E_FAIL;
    if (newPidl) *newPidl = ILCreateItem(PIDL_KIND_FILE, newName);
    return S_OK;
}

HRESULT FolderBase::GetContextMenu(const PCItemIDList* pidls, int count,
                                   std::shared_ptr<IContextMenu>* menu) {
    if (!menu || !pidls || count < 1) return E_INVALIDARG;
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) {
        Location loc;
        if (!ResolveChild(pidls[i], loc)) return E_INVALIDARG;
        items.push_back(JoinBytes(absolute_, pidls[i]));
    }
    *menu = CreateItemContextMenu(std::move(items));
    return S_OK;
}

HRESULT FolderBase::GetDropTarget(PCItemIDList pidl, std::shared_ptr<IDropTarget>* target) {
    if (!target) return E_INVALIDARG;
    target->reset();
    Location loc;
    if (!ResolveChild(pidl, loc)) return E_INVALIDARG;
    bool exists = false;
    if (!(AttributesOf(loc, SFGAO_DROPTARGET, exists) & SFGAO_DROPTARGET)) return E_FAIL;
    *target = CreateFolderDropTarget(JoinBytes(absolute_, pidl));
    return S_OK;
}

HRESULT FolderBase::GetDataObject(const PCItemIDList* pidls, int count,
                                  std::shared_ptr<IDataObject>* data) {
    if (!data || !pidls || count < 1) return E_INVALIDARG;
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i)
        items.push_back(JoinBytes(absolute_, pidls[i]));
    *data = CreateShellDataObject(std::move(items));
    return S_OK;
}

HRESULT FolderBase::GetFindData(PCItemIDList pidl, WIN32_FIND_DATA* data) {
    if (!data) return E_INVALIDARG;
    Location loc;
    if (!ResolveChild(pidl, loc)) return E_INVALIDARG;
    if (loc.kind != ItemKind::Entry && loc.kind != ItemKind::TrashEntry &&
        loc.kind != ItemKind::Volume && loc.kind != ItemKind::Documents)
        return E_FAIL;
    if (!FindDataFromPath(loc.path, *data)) return E_FAIL;
    if (loc.kind == ItemKind::TrashEntry) data->cFileName = DisplayNameOf(loc, SHGDN_NORMAL);
    if (loc.kind == ItemKind::Volume) data->cFileName = DisplayNameOf(loc, SHGDN_NORMAL);
    return S_OK;
}

HRESULT FolderBase::ParseDisplayName(const std::string& name, PItemIDList* pidl) {
    if (!pidl) return E_INVALIDARG;
    *pidl = nullptr;
    Location self;
    if (!Resolve(absolute_, self) || self.path.empty() || name.empty() || name[0] == '/')
        return E_INVALIDARG;
    std::string bytes;
    std::string path = self.path;
    for (const std::string& part : SplitString(name, '/')) {
        if (part.empty()) continue;
        if (!IsValidItemName(part)) return E_INVALIDARG;
        path = JoinPath(path, part);
        bytes += ItemBytes(PIDL_KIND_FILE, part);
    }
    struct stat st;
    if (bytes.empty() || StatAnyPath(path, st, false) != 0) return E_INVALIDARG;
    *pidl = AllocPidl(bytes + std::string(2, '\0'));
    return *pidl ? S_OK : E_OUTOFMEMORY;
}

} // namespace
} // namespace ax::shellns

namespace ax {

using namespace shellns;

std::string ItemProblem(const std::string& path) {
    if (path.empty() || path[0] != '/') return "not an absolute path";
    const std::string physical = PhysicalPath(path);
    if (physical.empty()) return std::strerror(ENOENT);
    struct stat st;
    const int error = StatAnyPath(physical, st, false);
    return error ? std::strerror(error) : std::string();
}

std::string FolderProblem(const std::string& path) {
    if (path.empty() || path[0] != '/') return {};
    const std::string physical = PhysicalPath(path);
    if (physical.empty() || !IsFolderFollowingLinks(physical)) return {};
    int error = ReadError(physical);
    if (error == 0) {
        struct stat st;
        if (!OpenFolder(physical, st)) error = errno;
    }
    return error ? std::strerror(error) : std::string();
}

void SetFolderReadRefusal(int (*refuse)(const std::string& path)) { g_readRefusal = refuse; }

namespace {

// Appends one item to PIDL bytes.
void AppendItem(std::string& bytes, uint8_t kind, std::string_view payload) {
    const size_t cb = payload.size() + 3;
    bytes.push_back(char(cb & 0xFF));
    bytes.push_back(char(cb >> 8));
    bytes.push_back(char(kind));
    bytes.append(payload);
}

// A normal absolute path's PIDL bytes, through the longest of the visible
// volumes that holds it.
std::string PidlBytesOn(const std::vector<Volume>& visible, const std::string& path) {
    std::string bytes;
    bytes.reserve(path.size() * 2 + 32);
    AppendItem(bytes, PIDL_KIND_VIRTUAL, kVirtualComputer);
    if (path.empty()) return bytes.append(2, '\0');
    std::string_view mountPoint = "/";
    for (const Volume& v : visible) {
        const std::string& m = v.mountPoint;
        const bool holds = m == "/" || (path.compare(0, m.size(), m) == 0 &&
                                        (path.size() == m.size() || path[m.size()] == '/'));
        if (holds && m.size() >= mountPoint.size()) mountPoint = m;
    }
    AppendItem(bytes, PIDL_KIND_VOLUME, mountPoint);
    const std::string_view rest =
        mountPoint == "/" ? std::string_view(path) : std::string_view(path).substr(mountPoint.size());
    for (size_t at = 0; at < rest.size();) {
        size_t end = rest.find('/', at);
        if (end == std::string_view::npos) end = rest.size();
        if (end > at) AppendItem(bytes, PIDL_KIND_FILE, rest.substr(at, end - at));
        at = end + 1;
    }
    return bytes.append(2, '\0');
}

} // namespace

std::string PathToPidlBytes(const std::string& rawPath) {
    return PidlBytesOn(VisibleVolumes(), NormalisePath(rawPath));
}

std::vector<UniquePIDL> ParsePaths(const std::vector<std::string>& paths) {
    std::vector<bool> mayBeFolder;
    return ParsePaths(paths, mayBeFolder);
}

std::vector<UniquePIDL> ParsePaths(const std::vector<std::string>& paths,
                                   std::vector<bool>& mayBeFolder) {
    mayBeFolder.assign(paths.size(), true);
    std::vector<UniquePIDL> out(paths.size());
    std::vector<std::string> physical(paths.size());
    // Paths by the folder they lie in: a folder holding many of them is
    // read once.
    std::unordered_map<std::string_view, std::vector<size_t>> byFolder;
    for (size_t i = 0; i < paths.size(); ++i) {
        physical[i] = PhysicalPath(paths[i]);
        const std::string& p = physical[i];
        if (p.empty() || p == "/") continue;
        const size_t slash = p.rfind('/');
        byFolder[std::string_view(p).substr(0, slash == 0 ? 1 : slash)].push_back(i);
    }
    std::vector<bool> there(paths.size(), false);
    std::string names;
    std::unordered_map<std::string_view, unsigned char> listed;
    std::vector<unsigned char> types;
    for (const auto& [folder, members] : byFolder) {
        names.clear();
        listed.clear();
        std::vector<size_t> ends;
        types.clear();
        const bool useListing =
            members.size() >= 16 && ForEachEntry(std::string(folder), [&](const FolderEntry& e, EntryTypes&) {
                names += e.name;
                ends.push_back(names.size());
                types.push_back(e.type);
                return true;
            });
        for (size_t k = 0, start = 0; useListing && k < ends.size(); start = ends[k++])
            listed.emplace(std::string_view(names).substr(start, ends[k] - start), types[k]);
        for (size_t i : members) {
            struct stat st;
            const std::string_view name = std::string_view(physical[i]).substr(folder.size() == 1 ? 1 : folder.size() + 1);
            if (useListing) {
                const auto found = listed.find(name);
                there[i] = found != listed.end();
                if (there[i] && found->second != DT_DIR && found->second != DT_LNK &&
                    found->second != DT_UNKNOWN)
                    mayBeFolder[i] = false;
            } else {
                there[i] = StatAnyPath(physical[i], st, false) == 0;
                if (there[i] && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) mayBeFolder[i] = false;
            }
        }
    }
    const std::vector<Volume> visible = VisibleVolumes();
    DesktopFolder desktop;
    for (size_t i = 0; i < paths.size(); ++i) {
        struct stat st;
        if (physical[i] == "/") there[i] = StatAnyPath("/", st, false) == 0;
        if (there[i]) {
            out[i].reset(AllocPidl(PidlBytesOn(visible, physical[i])));
        } else if (!paths[i].empty() && paths[i][0] != '/') {
            // Not a path: a key such as "::{computer}".
            PItemIDList pidl = nullptr;
            if (SUCCEEDED(desktop.ParseDisplayName(paths[i], &pidl))) out[i].reset(pidl);
        }
    }
    return out;
}

HRESULT SHGetDesktopFolder(ShellFolderPtr* folder) {
    if (!folder) return E_INVALIDARG;
    *folder = std::make_shared<DesktopFolder>();
    return S_OK;
}

HRESULT SHGetDataFromIDList(IShellFolder* folder, PCItemIDList pidl, WIN32_FIND_DATA* data) {
    if (!folder) return E_INVALIDARG;
    return folder->GetFindData(pidl, data);
}

std::string SHGetPathFromIDList(PCItemIDList pidl) {
    Location loc;
    if (!pidl || !Resolve(PidlBytes(pidl), loc)) return {};
    switch (loc.kind) {
    case ItemKind::Computer:
    case ItemKind::RecycleBin:
    case ItemKind::Printers:
    case ItemKind::Printer:
    case ItemKind::Network:
    case ItemKind::NetworkComputer:
        return {};
    default:
        return loc.path;
    }
}

HRESULT SHGetSpecialFolderLocation(int csidl, PItemIDList* pidl) {
    if (!pidl) return E_INVALIDARG;
    *pidl = nullptr;
    std::string bytes;
    std::string path;
    switch (csidl) {
    case CSIDL_DESKTOP:
        bytes = std::string(2, '\0');
        break;
    case CSIDL_BITBUCKET:
        bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualRecycleBin) + std::string(2, '\0');
        break;
    case CSIDL_DRIVES:
        bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualComputer) + std::string(2, '\0');
        break;
    case CSIDL_PRINTERS:
        bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualPrinters) + std::string(2, '\0');
        break;
    case CSIDL_NETWORK:
        bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualNetwork) + std::string(2, '\0');
        break;
    case CSIDL_PERSONAL: {
        const std::string docs = XdgUserDirectory("DOCUMENTS");
        if (docs.empty() || !IsFolderFollowingLinks(docs)) return E_FAIL;
        bytes = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualDocuments) + std::string(2, '\0');
        break;
    }
    case CSIDL_DESKTOPDIRECTORY:
        path = XdgUserDirectory("DESKTOP");
        break;
    case CSIDL_TEMPLATES:
        path = XdgUserDirectory("TEMPLATES");
        break;
    case CSIDL_MYPICTURES:
        path = XdgUserDirectory("PICTURES");
        break;
    case CSIDL_MYMUSIC:
        path = XdgUserDirectory("MUSIC");
        break;
    case CSIDL_MYVIDEO:
        path = XdgUserDirectory("VIDEOS");
        break;
    case CSIDL_PROFILE:
        path = HomeDirectory();
        break;
    case CSIDL_LOCAL_APPDATA:
        path = DataHomeDirectory();
        break;
    case CSIDL_APPDATA: {
        const char* c = std::getenv("XDG_CONFIG_HOME");
        path = c && c[0] == '/' ? std::string(c) : HomeDirectory() + "/.config";
        break;
    }
    default:
        return E_FAIL; // printers, history, Control Panel, network, favourites...
    }
    if (bytes.empty()) {
        path = NormalisePath(path);
        if (path.empty() || !IsFolderFollowingLinks(path)) return E_FAIL;
        bytes = PathToPidlBytes(path);
    }
    *pidl = AllocPidl(bytes);
    return *pidl ? S_OK : E_OUTOFMEMORY;
}

} // namespace ax
