#pragma once
// Finding icon files in the freedesktop icon theme installed on the
// machine: the user's theme and the themes it inherits, then "hicolor",
// then the bare base folders, as the freedesktop icon theme rules look them
// up. Only PNG and SVG files are taken (no XPM reader here), and no
// "-symbolic" names are made up: the names asked for are looked for as
// they are.
//
// Base folders: $HOME/.icons, $XDG_DATA_HOME/icons, each of
// $XDG_DATA_DIRS/icons, /usr/share/pixmaps. The theme: the one a test or
// caller names, else "gtk-icon-theme-name" of
// $XDG_CONFIG_HOME/gtk-3.0/settings.ini, else "Adwaita" when installed,
// else "hicolor". Directory listings are read once and kept; lookups are
// safe from any thread.
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace ax {

class TIconTheme {
public:
    // The environment's base folders and theme.
    TIconTheme();
    TIconTheme(std::vector<std::string> baseFolders, std::string theme);

    // The file of the first name that the theme chain has, at the size
    // (pixels) or as close to it as the theme offers; "" when none has any.
    std::string FindIcon(const std::vector<std::string>& names, int size);
    const std::string& ThemeName() const { return theme_; }

    static std::vector<std::string> DefaultBaseFolders();
    static std::string DefaultThemeName(const std::vector<std::string>& baseFolders);

private:
    enum class DirType { Fixed, Scalable, Threshold };
    struct Directory {
        std::string path; // relative to the theme folder
        DirType type = DirType::Threshold;
        int size = 0, minSize = 0, maxSize = 0, threshold = 2;
    };
    struct Theme {
        std::string name;
        std::vector<Directory> directories;
        std::vector<std::string> parents;
    };
    const Theme* LoadTheme(const std::string& name);
    std::string FindInChain(const std::string& themeName, int size,
                            const std::vector<std::string>& names, std::set<std::string>& visited);
    std::string LookupIcon(const std::string& name, int size, const Theme& theme);
    std::string FileIn(const std::string& folder, const std::string& name);
    static bool Matches(const Directory& d, int size);
    static int Distance(const Directory& d, int size);

    const std::vector<std::string> bases_;
    const std::string theme_;
    std::mutex mutex_; // guards the caches below
    std::map<std::string, std::unique_ptr<Theme>> themes_; // null: no such theme
    std::map<std::string, std::set<std::string>> listings_;
};

} // namespace ax
