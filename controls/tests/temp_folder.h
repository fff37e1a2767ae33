#pragma once
// A folder of the test's own, removed with everything in it at the end.
#include <unistd.h>

#include <filesystem>
#include <string>

namespace ax::test {

class TempFolder {
public:
    TempFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("ax-controls-" + std::to_string(getpid()) + "-" + std::to_string(++counter_));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

} // namespace ax::test
