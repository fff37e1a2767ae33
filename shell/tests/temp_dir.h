#pragma once
// A fresh folder under the test's temporary directory, removed with all it
// holds.
#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>

#include "rtl/text.h"

namespace ax::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = std::string(::testing::TempDir()) + "axshell.XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    WideString Wide() const { return Utf8ToWide(path_); }
    WideString Wide(const char16_t* name) const { return Wide() + u"/" + name; }
    // Entries other than "." and "..".
    int Entries() const {
        int n = 0;
        if (DIR* d = ::opendir(path_.c_str())) {
            while (dirent* e = ::readdir(d))
                if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.')) ++n;
            ::closedir(d);
        }
        return n;
    }

private:
    std::string path_;
};

} // namespace ax::test
