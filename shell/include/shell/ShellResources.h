#pragma once
// The texts of the shell units.
#include "rtl/text.h"

namespace ax {

// Titles of the details columns 0 to 9.
inline constexpr const char16_t* const SColumnTitles[10] = {
    u"Name",    u"Size",     u"Type", u"Modified", u"Attributes",
    u"Created", u"Accessed", u"Path", u"DOS Name", u"Custom"};

// The explorer combo box's path error: caption, and the two halves placed
// around the path the user typed.
inline constexpr const char16_t* SInvalidPath = u"Invalid Path";
// In-place renaming: the editor holds the name as shown, escapes and all.
inline constexpr const char16_t* SBadNameEscape =
    u"A backslash in the new name starts no escape: write \\\\ for a backslash, \\n for a line "
    u"break, \\t for a tab and \\xHH for a byte.";
inline constexpr const char16_t* SCanNotFindPath1 = u"Windows can not find \"";
inline constexpr const char16_t* SCanNotFindPath2 = u"\" Please check the spelling and try again.";

// Display names of the twenty change-event kinds.
inline constexpr const char16_t* const SShellEventNames[20] = {
    u"Assocciation Changed", u"Attributes",        u"Item Create",
    u"Item Delete",          u"Drive Add",         u"Drive Add GUI",
    u"Drive Removed",        u"Free Space",        u"Media Inserted",
    u"Media Removed",        u"Make Directory",    u"Network Share",
    u"Network Unshare",      u"Folder Rename",     u"Item Rename",
    u"Remove Directory",     u"Server Disconnect", u"Update Directory",
    u"Update Image",         u"Update Item"};

} // namespace ax
