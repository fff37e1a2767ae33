#pragma once
// The shared MIME database, as far as icons need it: a file's type by its
// name (the globs), and the icon names of a type.
//
// Read from "mime/" under $XDG_DATA_HOME and each folder of $XDG_DATA_DIRS
// (default /usr/local/share:/usr/share), the first folder the most
// important: "globs2" (or the older "globs"), "icons" and "generic-icons".
// The object is immutable once loaded, so any thread may ask it.
#include <string>
#include <unordered_map>
#include <vector>

namespace ax {

class TMimeDatabase {
public:
    // Loads from the folders the environment names now.
    TMimeDatabase();
    // Loads from the given "mime" folders, most important first.
    explicit TMimeDatabase(const std::vector<std::string>& mimeFolders);

    // The type of a file of this name ("text/plain"), "" when no glob
    // matches. Of several matching globs the highest weight wins, then one
    // that matched with case, then the longest pattern, then the most
    // important folder. Globs flagged "cs" match with case, the others
    // without.
    std::string TypeOfName(const std::string& fileName) const;
    // The icon names to try for a type, best first: the type's own icon
    // ("icons"), the type with "/" as "-", its generic icon
    // ("generic-icons"), then the media's "-x-generic".
    std::vector<std::string> IconNames(const std::string& mimeType) const;
    bool Empty() const { return globCount_ == 0; }

    // The "mime" folders of the environment, most important first.
    static std::vector<std::string> DefaultFolders();

private:
    struct Glob {
        std::string type;
        std::string pattern; // lower-cased unless caseSensitive
        int weight = 50;
        bool caseSensitive = false;
        int order = 0; // lower: from a more important folder, or earlier in it
    };
    void Load(const std::vector<std::string>& mimeFolders);
    void AddGlob(Glob glob);
    void Consider(const Glob& glob, const Glob*& best) const;

    // "*.ext" patterns by extension, literal names by name, the rest
    // matched one by one; each keyed with or without case.
    std::unordered_map<std::string, std::vector<Glob>> extensions_;
    std::unordered_map<std::string, std::vector<Glob>> literals_;
    std::vector<Glob> others_;
    std::unordered_map<std::string, std::string> icons_;
    std::unordered_map<std::string, std::string> genericIcons_;
    int globCount_ = 0;
};

} // namespace ax
