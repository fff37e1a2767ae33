#pragma once
// The sort orders of the explorer views: siblings compared by their folder's
// own order, by size, time, type or any text, folders before other items.
#include "platform/shellns/shellapi.h"
#include "rtl/text.h"
#include "shell/Namespace.h"

namespace ax {

// Compares siblings for the sort orders of the explorer views.
class TShellSortHelper {
public:
    virtual ~TShellSortHelper() = default;
    bool FileSort = false;
    virtual int CompareIDs(int column, TNamespace* ns1, TNamespace* ns2);
    virtual int DiscriminateFolders(TNamespace* ns1, TNamespace* ns2);
    virtual int SortFileSize(TNamespace* ns1, TNamespace* ns2);
    virtual int SortFileTime(const FILETIME& time1, const FILETIME& time2, TNamespace* ns1,
                             TNamespace* ns2);
    virtual int SortString(const WideString& s1, const WideString& s2, TNamespace* ns1,
                           TNamespace* ns2);
    virtual int SortType(TNamespace* ns1, TNamespace* ns2);
};

} // namespace ax
