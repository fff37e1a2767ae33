// The listing cache: a few big folders' listings, each kept under the
// folder's identity and times, and dropped once the folder changed; a
// listing is kept only when the folder had settled before it was read.
// Any thread may call.
#include "listingcache.h"

#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"

#include <algorithm>
#include <atomic>
#include <climits>

namespace ax::shellns {
namespace {

// Older than this before the read began, a folder's modification time
// cannot be the one a later change gives it.
constexpr time_t kSettledSeconds = 2;

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool Same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::atomic<void (*)(const std::string&)> readObserver{nullptr};

} // namespace

void FolderListing::Add(std::string_view name, unsigned char type) {
    Assert(name.size() < UINT32_MAX, "FolderListing: name too long");
    entries_.push_back({names_.size(), uint32_t(name.size()), type});
    names_.append(name);
    names_.push_back('\0');
}

int FolderListing::TypeOf(std::string_view name) const {
    const auto hash = [](std::string_view n) { return std::hash<std::string_view>()(n); };
    std::call_once(indexed_, [&] {
        Assert(entries_.size() < INT32_MAX, "FolderListing: too many entries");
        size_t size = 16;
        while (size < entries_.size() * 2) size *= 2;
        slots_.assign(size, -1);
        for (size_t i = 0; i < entries_.size(); ++i) {
            size_t at = hash(At(i).name) & (size - 1);
            while (slots_[at] >= 0) at = (at + 1) & (size - 1);
            slots_[at] = int32_t(i);
        }
    });
    for (size_t at = hash(name) & (slots_.size() - 1);; at = (at + 1) & (slots_.size() - 1)) {
        const int32_t i = slots_[at];
        if (i < 0) return -1;
        if (At(size_t(i)).name == name) return entries_[size_t(i)].type;
    }
}

FolderStamp FolderStamp::Of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
}

bool FolderStamp::operator==(const FolderStamp& other) const {
    return device == other.device && inode == other.inode && Same(modified, other.modified) &&
           Same(changed, other.changed);
}

std::shared_ptr<const FolderListing> ListingCache::Find(const FolderStamp& stamp) {
    std::lock_guard lock(mutex_);
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->stamp.device != stamp.device || it->stamp.inode != stamp.inode) continue;
        if (!(it->stamp == stamp)) {
            kept_.erase(it); // changed since: never again of use
            return nullptr;
        }
        std::rotate(it, it + 1, kept_.end());
        return kept_.back().listing;
    }
    return nullptr;
}

void ListingCache::Keep(const FolderStamp& stamp, const timespec& readStart,
                        std::shared_ptr<const FolderListing> listing) {
    if (!listing || listing->Count() < kKeepFrom) return;
    const timespec settled{readStart.tv_sec - kSettledSeconds, readStart.tv_nsec};
    if (!Before(stamp.modified, settled)) return;
    std::lock_guard lock(mutex_);
    std::erase_if(kept_, [&](const Kept& k) { return k.stamp.device == stamp.device && k.stamp.inode == stamp.inode; });
    if (kept_.size() >= kListings) kept_.erase(kept_.begin());
    kept_.push_back({stamp, std::move(listing)});
}

ListingCache& FolderListings() {
    static ListingCache cache;
    return cache;
}

void ObserveFolderRead(const std::string& path) {
    if (auto observer = readObserver.load()) observer(path);
}

} // namespace ax::shellns

namespace ax {

void SetFolderReadObserver(void (*observer)(const std::string& path)) {
    shellns::readObserver.store(observer);
}

} // namespace ax
