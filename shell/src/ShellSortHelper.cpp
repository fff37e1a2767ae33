// The sort orders of the explorer views.
#include "shell/ShellSortHelper.h"

#include "rtl/sysutils.h"

#include <cstdint>

namespace ax {
namespace {

int Ordinal(const WideString& a, const WideString& b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

} // namespace

int TShellSortHelper::CompareIDs(int column, TNamespace* ns1, TNamespace* ns2) {
    ShellFolderPtr folder = ns1->ParentShellFolder();
    if (!folder) return 0;
    const HRESULT hr = folder->CompareIDs(column, ns1->RelativePIDL(), ns2->RelativePIDL());
    int result = static_cast<int8_t>(hr & 0xFF);
    if (column >= 1 && result == 0) result = Ordinal(ns1->NameNormal(), ns2->NameNormal());
    return result;
}

int TShellSortHelper::DiscriminateFolders(TNamespace* ns1, TNamespace* ns2) {
    const bool f1 = ns1->Folder(), f2 = ns2->Folder();
    if (f1 == f2) return 0;
    return f1 ? -1 : 1;
}

int TShellSortHelper::SortFileSize(TNamespace* ns1, TNamespace* ns2) {
    int r = DiscriminateFolders(ns1, ns2);
    if (r != 0) return r;
    const int64_t s1 = ns1->SizeOfFileInt64(), s2 = ns2->SizeOfFileInt64();
    if (s1 > s2) return 1;
    if (s1 < s2) return -1;
    return CompareIDs(0, ns1, ns2);
}

int TShellSortHelper::SortFileTime(const FILETIME& time1, const FILETIME& time2, TNamespace* ns1,
                                   TNamespace* ns2) {
    int r = DiscriminateFolders(ns1, ns2);
    if (r == 0) r = ax::CompareFileTime(time1, time2);
    return r != 0 ? r : CompareIDs(0, ns1, ns2);
}

int TShellSortHelper::SortString(const WideString& s1, const WideString& s2, TNamespace* ns1,
                                 TNamespace* ns2) {
    int r = DiscriminateFolders(ns1, ns2);
    if (r == 0) r = Ordinal(s1, s2);
    return r != 0 ? r : CompareIDs(0, ns1, ns2);
}

int TShellSortHelper::SortType(TNamespace* ns1, TNamespace* ns2) {
    if (!FileSort) return SortString(ns1->FileType(), ns2->FileType(), ns1, ns2);
    int r = DiscriminateFolders(ns1, ns2);
    if (r != 0) return r;
    if (ns1->FileSystem() && ns2->FileSystem()) {
        auto ext = [](TNamespace* ns) {
            const WideString name = ns->NameParseAddress();
            const size_t dot = name.rfind(u'.');
            return dot == WideString::npos ? WideString() : name.substr(dot);
        };
        r = SortString(ext(ns1), ext(ns2), ns1, ns2);
        if (r != 0) return r;
    }
    return CompareIDs(0, ns1, ns2);
}

} // namespace ax
