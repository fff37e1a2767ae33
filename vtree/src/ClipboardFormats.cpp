// The tree's two clipboard formats, registered by name on first use, and
// the list of format names a tree offers.
#include "vtree/ClipboardFormats.h"

#include "platform/ole/ole.h"

namespace ax {

unsigned CF_DATATREE() {
    static const unsigned id = RegisterClipboardFormat(CFSTR_DATATREE);
    return id;
}

unsigned CF_DATATREEREFERENCE() {
    static const unsigned id = RegisterClipboardFormat(CFSTR_DATATREEREFERENCE);
    return id;
}

int TClipboardFormats::IndexOf(const AnsiString& name) const {
    for (int i = 0; i < names_.Count(); ++i)
        if (SameText(names_[i], name)) return i;
    return -1;
}

int TClipboardFormats::Add(const AnsiString& name) {
    const int existing = IndexOf(name);
    return existing >= 0 ? existing : names_.Add(name);
}

} // namespace ax
