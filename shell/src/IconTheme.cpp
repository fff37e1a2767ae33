// Icon files of the freedesktop icon theme.
#include "shell/IconTheme.h"

#include "platform/shellns/shellops.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace ax {
namespace {

// "key=value" lines by section, as index.theme and settings.ini hold them.
using IniSections = std::map<std::string, std::map<std::string, std::string>>;

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

IniSections ReadIni(const std::string& path) {
    IniSections out;
    std::ifstream in(path);
    std::string line, section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            out[section].emplace(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return out;
}

std::vector<std::string> SplitList(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        const size_t end = std::min(s.find(',', start), s.size());
        const std::string item = Trim(s.substr(start, end - start));
        if (!item.empty()) out.push_back(item);
        start = end + 1;
    }
    return out;
}

int Number(const std::map<std::string, std::string>& keys, const char* key, int fallback) {
    auto it = keys.find(key);
    return it == keys.end() ? fallback : std::atoi(it->second.c_str());
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

} // namespace

std::vector<std::string> TIconTheme::DefaultBaseFolders() {
    std::vector<std::string> bases;
    bases.push_back(HomeDirectory() + "/.icons");
    bases.push_back(DataHomeDirectory() + "/icons");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    const std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        if (end > start && list[start] == '/') bases.push_back(list.substr(start, end - start) + "/icons");
        start = end + 1;
    }
    bases.push_back("/usr/share/pixmaps");
    return bases;
}

std::string TIconTheme::DefaultThemeName(const std::vector<std::string>& bases) {
    auto installed = [&](const std::string& name) {
        for (const std::string& base : bases)
            if (!name.empty() && FileExists(base + "/" + name + "/index.theme")) return true;
        return false;
    };
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string configHome =
        config && *config == '/' ? std::string(config) : HomeDirectory() + "/.config";
    IniSections settings = ReadIni(configHome + "/gtk-3.0/settings.ini");
    const std::string chosen = settings["Settings"]["gtk-icon-theme-name"];
    if (installed(chosen)) return chosen;
    if (installed("Adwaita")) return "Adwaita";
    return "hicolor";
}

TIconTheme::TIconTheme() : TIconTheme(DefaultBaseFolders(), {}) {}

TIconTheme::TIconTheme(std::vector<std::string> baseFolders, std::string theme)
    : bases_(std::move(baseFolders)),
      theme_(theme.empty() ? DefaultThemeName(bases_) : std::move(theme)) {}

const TIconTheme::Theme* TIconTheme::LoadTheme(const std::string& name) {
    auto cached = themes_.find(name);
    if (cached != themes_.end()) return cached->second.get();
    std::unique_ptr<Theme> theme;
    for (const std::string& base : bases_) {
        const std::string index = base + "/" + name + "/index.theme";
        if (!FileExists(index)) continue;
        IniSections ini = ReadIni(index);
        theme = std::make_unique<Theme>();
        theme->name = name;
        const auto& head = ini["Icon Theme"];
        if (auto it = head.find("Inherits"); it != head.end()) theme->parents = SplitList(it->second);
        auto dirs = head.find("Directories");
        for (const std::string& path : dirs == head.end() ? std::vector<std::string>{} : SplitList(dirs->second)) {
            const auto& keys = ini[path];
            // Icons for screens with more pixels per point are of no use here.
            if (Number(keys, "Scale", 1) != 1) continue;
            Directory d;
            d.path = path;
            d.size = Number(keys, "Size", 0);
            if (d.size <= 0) continue;
            d.minSize = Number(keys, "MinSize", d.size);
            d.maxSize = Number(keys, "MaxSize", d.size);
            d.threshold = Number(keys, "Threshold", 2);
            auto type = keys.find("Type");
            const std::string t = type == keys.end() ? "Threshold" : type->second;
            d.type = t == "Fixed" ? DirType::Fixed : t == "Scalable" ? DirType::Scalable : DirType::Threshold;
            theme->directories.push_back(d);
        }
        break; // the first index.theme found describes the theme
    }
    return (themes_[name] = std::move(theme)).get();
}

bool TIconTheme::Matches(const Directory& d, int size) {
    switch (d.type) {
    case DirType::Fixed:
        return size == d.size;
    case DirType::Scalable:
        return d.minSize <= size && size <= d.maxSize;
    default:
        return d.size - d.threshold <= size && size <= d.size + d.threshold;
    }
}

int TIconTheme::Distance(const Directory& d, int size) {
    int low = d.size, high = d.size;
    if (d.type == DirType::Scalable) {
        low = d.minSize;
        high = d.maxSize;
    } else if (d.type == DirType::Threshold) {
        low = d.size - d.threshold;
        high = d.size + d.threshold;
    }
    return size < low ? low - size : (size > high ? size - high : 0);
}

std::string TIconTheme::FileIn(const std::string& folder, const std::string& name) {
    auto it = listings_.find(folder);
    if (it == listings_.end()) {
        std::set<std::string> names;
        if (DIR* dir = opendir(folder.c_str())) {
            while (dirent* e = readdir(dir))
                names.insert(e->d_name);
            closedir(dir);
        }
        it = listings_.emplace(folder, std::move(names)).first;
    }
    for (const char* extension : {".png", ".svg"})
        if (it->second.count(name + extension)) return folder + "/" + name + extension;
    return {};
}

std::string TIconTheme::LookupIcon(const std::string& name, int size, const Theme& theme) {
    for (const Directory& d : theme.directories) {
        if (!Matches(d, size)) continue;
        for (const std::string& base : bases_) {
            std::string file = FileIn(base + "/" + theme.name + "/" + d.path, name);
            if (!file.empty()) return file;
        }
    }
    std::string closest;
    int best = INT_MAX;
    for (const Directory& d : theme.directories) {
        const int distance = Distance(d, size);
        if (distance >= best) continue;
        for (const std::string& base : bases_) {
            std::string file = FileIn(base + "/" + theme.name + "/" + d.path, name);
            if (file.empty()) continue;
            closest = std::move(file);
            best = distance;
            break;
        }
    }
    return closest;
}

// Every name in one theme before any of its parents: a theme's own generic
// icon is preferred to a specific one it inherits.
std::string TIconTheme::FindInChain(const std::string& themeName, int size,
                                    const std::vector<std::string>& names,
                                    std::set<std::string>& visited) {
    if (!visited.insert(themeName).second) return {};
    const Theme* theme = LoadTheme(themeName);
    if (!theme) return {};
    for (const std::string& name : names) {
        std::string file = LookupIcon(name, size, *theme);
        if (!file.empty()) return file;
    }
    for (const std::string& parent : theme->parents) {
        std::string file = FindInChain(parent, size, names, visited);
        if (!file.empty()) return file;
    }
    return {};
}

std::string TIconTheme::FindIcon(const std::vector<std::string>& names, int size) {
    std::lock_guard lock(mutex_);
    std::set<std::string> visited;
    for (const std::string& theme : {theme_, std::string("hicolor")}) {
        std::string file = FindInChain(theme, size, names, visited);
        if (!file.empty()) return file;
    }
    for (const std::string& name : names)
        for (const std::string& base : bases_) {
            std::string file = FileIn(base, name);
            if (!file.empty()) return file;
        }
    return {};
}

} // namespace ax
