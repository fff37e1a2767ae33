#pragma once
// Listings of big folders, kept between questions: whether a folder holds
// a folder, its items and their attributes are asked many times in a row,
// and one read of a folder of 100,000 entries costs about 0.1 s.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace ax::shellns {

// One entry of a folder: its name, followed by a NUL in memory so that it
// serves calls that take a C string, and its type in the directory (DT_*).
struct FolderEntry {
    std::string_view name;
    unsigned char type;
};

// A folder's entries in the order one read found them, without an
// allocation per name.
class FolderListing {
public:
    void Add(std::string_view name, unsigned char type);
    size_t Count() const { return entries_.size(); }
    FolderEntry At(size_t i) const {
        const Entry& e = entries_[i];
        return {std::string_view(names_).substr(e.start, e.length), e.type};
    }

    // The directory type of the entry so named, -1 when there is none. The
    // index by name is made at the first question, once, whoever asks: a
    // listing is never added to once it is shared.
    int TypeOf(std::string_view name) const;

private:
    struct Entry {
        size_t start;
        uint32_t length;
        unsigned char type;
    };
    std::string names_; // each name followed by a NUL
    std::vector<Entry> entries_;
    mutable std::once_flag indexed_;
    mutable std::vector<int32_t> slots_; // entry indexes by hash, -1 where free
};

// What tells that a folder's entries are still those read: the folder's
// identity and its modification and change times, which move whenever an
// entry is added, removed or renamed.
struct FolderStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{}, changed{};
    static FolderStamp Of(const struct stat& st);
    bool operator==(const FolderStamp& other) const;
};

// The listings of the last few big folders read whole. A listing is kept
// only when the folder's modification time lay well before the read: file
// times have a grain (a clock tick, two seconds on some file systems), and
// a change in the same grain as the one before would leave the stamp as it
// was. Entries' types are kept as the directory gave them; what needs a
// look beyond the folder (where a link leads) is looked at on every use.
//
// One mutex guards the list; a listing is never changed once kept, so it is
// read outside the lock by whoever holds it.
class ListingCache {
public:
    // From this many entries on a listing is worth keeping.
    static constexpr size_t kKeepFrom = 1024;
    static constexpr size_t kListings = 4;

    // The listing kept for the folder with this stamp, or nullptr.
    std::shared_ptr<const FolderListing> Find(const FolderStamp& stamp);
    // readStart: the wall time (CLOCK_REALTIME) taken before the read began.
    void Keep(const FolderStamp& stamp, const timespec& readStart,
              std::shared_ptr<const FolderListing> listing);

private:
    struct Kept {
        FolderStamp stamp;
        std::shared_ptr<const FolderListing> listing;
    };
    std::mutex mutex_;
    std::vector<Kept> kept_; // the most recently used last
};

ListingCache& FolderListings();

// Tells the observer of SetFolderReadObserver, if any.
void ObserveFolderRead(const std::string& path);

} // namespace ax::shellns
