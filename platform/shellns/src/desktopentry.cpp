// Reading desktop launchers: lines, groups and keys, value escapes, and the
// quoting and field codes of Exec.
#include "platform/shellns/desktopentry.h"

#include <map>
#include <optional>

namespace ax {
namespace {

constexpr std::string_view kMainGroup = "Desktop Entry";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Raw control characters have no place in a launcher's text (tabs aside).
bool HasControl(std::string_view line) {
    for (unsigned char c : line)
        if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    return false;
}

bool IsKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// "Key" or "Key[locale]"; the locale is only checked for its brackets.
bool IsKey(std::string_view key) {
    const size_t open = key.find('[');
    const std::string_view base = key.substr(0, open);
    if (base.empty()) return false;
    for (char c : base)
        if (!IsKeyChar(c)) return false;
    if (open == std::string_view::npos) return true;
    const std::string_view locale = key.substr(open + 1);
    return locale.size() >= 2 && locale.back() == ']' &&
           locale.substr(0, locale.size() - 1).find_first_of("[]") == std::string_view::npos;
}

// The value of a string key without its escapes.
std::string Unescaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        switch (value[i + 1]) {
        case 's': out.push_back(' '); break;
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case '\\': out.push_back('\\'); break;
        default:
            // Not an escape of the value: the backslash stays for the
            // layer above (Exec's quoting reads \" and \$).
            out.push_back('\\');
            out.push_back(value[i + 1]);
            break;
        }
        ++i;
    }
    return out;
}

// The keys of the main group (unescaped values), or nothing when the text
// is no well-formed desktop entry: a line that is neither comment, group
// nor key, a key outside any group, a group or a key given twice.
std::optional<std::map<std::string, std::string>> MainGroupOf(std::string_view text) {
    std::map<std::string, std::string> keys;
    bool inGroup = false, inMain = false, mainSeen = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (HasControl(line)) return std::nullopt;
        line = Trimmed(line);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) return std::nullopt;
            const std::string_view name = line.substr(1, line.size() - 2);
            if (name.find_first_of("[]") != std::string_view::npos) return std::nullopt;
            inGroup = true;
            inMain = name == kMainGroup;
            if (inMain && mainSeen) return std::nullopt;
            mainSeen = mainSeen || inMain;
            continue;
        }
        const size_t eq = line.find('=');
        if (!inGroup || eq == std::string_view::npos) return std::nullopt;
        const std::string_view key = Trimmed(line.substr(0, eq));
        if (!IsKey(key)) return std::nullopt;
        if (!inMain) continue;
        if (!keys.emplace(std::string(key), Unescaped(Trimmed(line.substr(eq + 1)))).second)
            return std::nullopt;
    }
    if (!mainSeen) return std::nullopt;
    return keys;
}

std::string ValueOf(const std::map<std::string, std::string>& keys, const std::string& key) {
    const auto it = keys.find(key);
    return it == keys.end() ? std::string() : it->second;
}

// Exec's quoting: the arguments with the quotes taken away. False for a
// quote left open or a backslash inside quotes before a character it does
// not escape.
bool SplitQuoted(std::string_view exec, std::vector<std::string>& args) {
    std::string current;
    bool have = false, quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\') {
                if (i + 1 == exec.size()) return false;
                const char next = exec[++i];
                if (next != '"' && next != '`' && next != '$' && next != '\\') return false;
                current.push_back(next);
            } else {
                current.push_back(c);
            }
        } else if (c == '"') {
            quoted = have = true;
        } else if (IsBlank(c) || c == '\n') {
            if (have) args.push_back(std::move(current));
            current.clear();
            have = false;
        } else {
            current.push_back(c);
            have = true;
        }
    }
    if (quoted) return false;
    if (have) args.push_back(std::move(current));
    return true;
}

// One argument without its field codes, into out; false when nothing of
// it stays (it was nothing but dropped codes) or, with invalid set, when a
// code is not one the launcher format defines.
bool WithoutFieldCodes(const std::string& arg, std::string& out, bool& invalid) {
    out.clear();
    bool dropped = false;
    for (size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] != '%') {
            out.push_back(arg[i]);
            continue;
        }
        const char code = i + 1 < arg.size() ? arg[++i] : '\0';
        if (code == '%') {
            out.push_back('%');
        } else if (code != '\0' && std::string_view("fFuUickdDnNvm").find(code) != std::string_view::npos) {
            dropped = true;
        } else {
            invalid = true;
            return false;
        }
    }
    return !(dropped && out.empty());
}

} // namespace

bool SplitDesktopExec(std::string_view exec, std::vector<std::string>& command) {
    std::vector<std::string> args;
    if (!SplitQuoted(exec, args)) return false;
    std::vector<std::string> out;
    bool invalid = false;
    for (const std::string& arg : args) {
        std::string kept;
        if (WithoutFieldCodes(arg, kept, invalid)) out.push_back(std::move(kept));
        if (invalid) return false;
    }
    if (out.empty() || out.front().empty()) return false;
    command = std::move(out);
    return true;
}

bool ReadDesktopLauncher(std::string_view text, DesktopLauncher& launcher) {
    if (text.size() > kMaxLauncherSize || text.find('\0') != std::string_view::npos) return false;
    const auto keys = MainGroupOf(text);
    if (!keys) return false;
    DesktopLauncher read;
    read.type = ValueOf(*keys, "Type");
    if (read.type == "Application") {
        if (!SplitDesktopExec(ValueOf(*keys, "Exec"), read.command)) return false;
    } else if (read.type == "Link") {
        read.url = ValueOf(*keys, "URL");
        if (read.url.empty()) return false;
    } else {
        return false;
    }
    read.comment = ValueOf(*keys, "Comment");
    read.icon = ValueOf(*keys, "Icon");
    read.path = ValueOf(*keys, "Path");
    launcher = std::move(read);
    return true;
}

bool IsLauncherName(std::string_view name) {
    constexpr std::string_view kSuffix = ".desktop";
    return name.size() > kSuffix.size() && name.substr(name.size() - kSuffix.size()) == kSuffix;
}

} // namespace ax
