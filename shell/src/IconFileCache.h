#pragma once
// Icon files read once a session. Several places and types often show the
// same file, at both list sizes; the cache reads and draws each version of
// a file (its path and modification time) once, at every size at once, and
// remembers a file that cannot be read or costs too much (IconBudget.h) as
// such. A thread asking for a file another thread is reading waits for that
// read instead of doing it again.
#include "IconPictures.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ax::icons {

class TIconFileCache {
public:
    explicit TIconFileCache(std::vector<int> sizes) : sizes_(std::move(sizes)) {}
    TIconFileCache(const TIconFileCache&) = delete;
    TIconFileCache& operator=(const TIconFileCache&) = delete;

    // The file's pictures, one per size in the order given; empty for a file
    // that is no icon. Kept for the session: never changed once answered.
    const std::vector<IconPixels>& Pictures(const std::string& path);

private:
    struct Entry {
        std::once_flag read;
        std::vector<IconPixels> pictures;
    };
    const std::vector<int> sizes_;
    std::mutex mutex_; // guards entries_, not what the entries hold
    std::map<std::string, std::unique_ptr<Entry>> entries_;
};

} // namespace ax::icons
