#pragma once
// Desktop launchers: the ".desktop" files of the freedesktop desktops,
// which the shell treats as its links (a program with its arguments, or an
// address). The reader takes the text of one file, which anybody may have
// written: it answers false for whatever is not a well-formed launcher and
// never trusts a length or a quote to be closed.
//
// Read: the "[Desktop Entry]" group only (other groups are checked for
// form and skipped); Type, Exec, URL, Comment, Icon and Path without a
// locale suffix. Values lose their escapes (\s \n \t \r \\; any other
// backslash stays as written). Exec is split as the launcher format quotes
// it (double quotes group; inside them \" \` \$ \\ stand for the second
// character), then its field codes go: %f %F %u %U %i %c %k and the
// deprecated %d %D %n %N %v %m are dropped, %% is one %; any other field
// code makes the line invalid, as does a quote left open.
#include <string>
#include <string_view>
#include <vector>

namespace ax {

struct DesktopLauncher {
    std::string type;                 // "Application" or "Link"
    std::vector<std::string> command; // Application: the program, then its arguments
    std::string url;                  // Link: the address
    std::string comment;
    std::string icon;
    std::string path; // the working folder, as written
};

// Files larger than this are no launchers (they are a few hundred bytes).
inline constexpr size_t kMaxLauncherSize = 256 * 1024;

// The file's text as a launcher of type Application (with a program) or
// Link (with an address); false for anything else.
bool ReadDesktopLauncher(std::string_view text, DesktopLauncher& launcher);

// Splits an unescaped Exec value into the program and its arguments and
// drops its field codes; false when it is invalid or names no program.
bool SplitDesktopExec(std::string_view exec, std::vector<std::string>& command);

// Whether a file name is a launcher's (ends in ".desktop", something before).
bool IsLauncherName(std::string_view name);

} // namespace ax
