// The shared MIME database: globs and icon names.
#include "shell/MimeDatabase.h"

#include "platform/shellns/shellops.h"

#include <algorithm>
#include <cstdlib>
#include <fnmatch.h>
#include <fstream>
#include <set>
#include <tuple>

namespace ax {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool HasWildcard(const std::string& s) {
    return s.find_first_of("*?[") != std::string::npos;
}

std::vector<std::string> SplitPathList(const char* value, const char* fallback) {
    const std::string list = value && *value ? value : fallback;
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        if (end > start && list[start] == '/') out.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// "type:value" lines of "icons" and "generic-icons".
void ReadPairs(const std::string& path, std::unordered_map<std::string, std::string>& into) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
        // A more important folder was read first and keeps its entry.
        into.emplace(line.substr(0, colon), line.substr(colon + 1));
    }
}

} // namespace

std::vector<std::string> TMimeDatabase::DefaultFolders() {
    std::vector<std::string> folders;
    folders.push_back(DataHomeDirectory() + "/mime");
    for (const std::string& dir : SplitPathList(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share"))
        folders.push_back(dir + "/mime");
    return folders;
}

TMimeDatabase::TMimeDatabase() : TMimeDatabase(DefaultFolders()) {}

TMimeDatabase::TMimeDatabase(const std::vector<std::string>& mimeFolders) {
    Load(mimeFolders);
}

void TMimeDatabase::Load(const std::vector<std::string>& mimeFolders) {
    // Types whose globs a more important folder took away.
    std::set<std::string> noGlobs;
    int order = 0;
    for (const std::string& folder : mimeFolders) {
        std::ifstream in(folder + "/globs2");
        const bool weighted = bool(in);
        if (!weighted) in.open(folder + "/globs");
        std::set<std::string> clearedHere;
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            Glob glob;
            std::string rest = line;
            if (weighted) {
                const size_t colon = rest.find(':');
                if (colon == std::string::npos) continue;
                glob.weight = std::atoi(rest.substr(0, colon).c_str());
                rest = rest.substr(colon + 1);
            }
            const size_t colon = rest.find(':');
            if (colon == std::string::npos) continue;
            glob.type = rest.substr(0, colon);
            glob.pattern = rest.substr(colon + 1);
            // Flags follow the pattern after a last colon ("cs").
            const size_t flags = glob.pattern.rfind(':');
            if (weighted && flags != std::string::npos) {
                const std::string list = glob.pattern.substr(flags + 1);
                glob.caseSensitive = ("," + list + ",").find(",cs,") != std::string::npos;
                glob.pattern.resize(flags);
            }
            if (glob.pattern == "__NOGLOBS__") {
                clearedHere.insert(glob.type);
                continue;
            }
            if (glob.type.empty() || glob.pattern.empty() || noGlobs.count(glob.type)) continue;
            glob.order = order++;
            AddGlob(std::move(glob));
        }
        noGlobs.insert(clearedHere.begin(), clearedHere.end());
        ReadPairs(folder + "/icons", icons_);
        ReadPairs(folder + "/generic-icons", genericIcons_);
    }
}

void TMimeDatabase::AddGlob(Glob glob) {
    if (!glob.caseSensitive) glob.pattern = Lower(glob.pattern);
    ++globCount_;
    const std::string& p = glob.pattern;
    if (!HasWildcard(p)) {
        literals_[p].push_back(std::move(glob));
    } else if (p.size() > 2 && p[0] == '*' && p[1] == '.' && !HasWildcard(p.substr(2))) {
        const std::string extension = p.substr(2);
        extensions_[extension].push_back(std::move(glob));
    } else {
        others_.push_back(std::move(glob));
    }
}

// Weight first; then a match with case before one without; then the longer
// pattern; then the more important folder.
void TMimeDatabase::Consider(const Glob& glob, const Glob*& best) const {
    auto rank = [](const Glob& g) {
        return std::make_tuple(g.weight, g.caseSensitive, g.pattern.size(), -g.order);
    };
    if (!best || rank(glob) > rank(*best)) best = &glob;
}

std::string TMimeDatabase::TypeOfName(const std::string& path) const {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return {};
    const std::string lower = Lower(name);
    const Glob* best = nullptr;
    // A key matches the globs that were stored with it in its own case.
    auto look = [&](const std::unordered_map<std::string, std::vector<Glob>>& map,
                    const std::string& exact, const std::string& folded) {
        if (auto it = map.find(exact); it != map.end())
            for (const Glob& g : it->second)
                if (g.caseSensitive) Consider(g, best);
        if (auto it = map.find(folded); it != map.end())
            for (const Glob& g : it->second)
                if (!g.caseSensitive) Consider(g, best);
    };
    look(literals_, name, lower);
    for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', dot + 1))
        look(extensions_, name.substr(dot + 1), lower.substr(dot + 1));
    for (const Glob& g : others_)
        if (fnmatch(g.pattern.c_str(), (g.caseSensitive ? name : lower).c_str(), 0) == 0)
            Consider(g, best);
    return best ? best->type : std::string();
}

std::vector<std::string> TMimeDatabase::IconNames(const std::string& mimeType) const {
    std::vector<std::string> names;
    auto add = [&](const std::string& name) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    const size_t slash = mimeType.find('/');
    if (mimeType.empty() || slash == std::string::npos) return names;
    if (auto it = icons_.find(mimeType); it != icons_.end()) add(it->second);
    std::string dashed = mimeType;
    dashed[slash] = '-';
    add(dashed);
    if (auto it = genericIcons_.find(mimeType); it != genericIcons_.end()) add(it->second);
    add(mimeType.substr(0, slash) + "-x-generic");
    return names;
}

} // namespace ax
