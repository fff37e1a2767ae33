// Icon files read once a session (IconFileCache.h).
#include "IconFileCache.h"

#include <sys/stat.h>

namespace ax::icons {

const std::vector<IconPixels>& TIconFileCache::Pictures(const std::string& path) {
    // A file replaced or changed is another version: read again.
    struct stat st{};
    std::string key = path;
    if (::stat(path.c_str(), &st) == 0)
        key += '\n' + std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + '.' +
               std::to_string(st.st_size);
    Entry* entry = nullptr;
    {
        std::lock_guard lock(mutex_);
        std::unique_ptr<Entry>& slot = entries_[key];
        if (!slot) slot = std::make_unique<Entry>();
        entry = slot.get();
    }
    // Outside the map's lock: reading one file holds up no other.
    std::call_once(entry->read, [&] { entry->pictures = ReadIconFile(path, sizes_); });
    return entry->pictures;
}

} // namespace ax::icons
