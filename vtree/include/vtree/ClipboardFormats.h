#pragma once
// The clipboard formats a tree offers in its data objects, by name. The
// tree's own two are "Data Tree Data" (the nodes in the tree stream format)
// and "Data Tree Reference" (which tree of which process the data came
// from).
#include "rtl/lists.h"

namespace ax {

class TBaseDataTree;

inline constexpr const char* CFSTR_DATATREE = "Data Tree Data";
inline constexpr const char* CFSTR_DATATREEREFERENCE = "Data Tree Reference";
// The registered ids of the two formats (registered on first use).
unsigned CF_DATATREE();
unsigned CF_DATATREEREFERENCE();

class TClipboardFormats {
public:
    explicit TClipboardFormats(TBaseDataTree* owner = nullptr) : owner_(owner) {}
    TBaseDataTree* Owner() const { return owner_; }
    // Adds a format name; a name already present (in any letter case) is not
    // added again. Answers its index.
    int Add(const AnsiString& name);
    int Count() const { return names_.Count(); }
    const AnsiString& Strings(int index) const { return names_.Strings(index); }
    const AnsiString& operator[](int index) const { return names_.Strings(index); }
    int IndexOf(const AnsiString& name) const;
    void Delete(int index) { names_.Delete(index); }
    void Clear() { names_.Clear(); }
    // Copies the names, not the owner.
    void Assign(const TClipboardFormats& source) { names_ = source.names_; }
    TStringList& Names() { return names_; }

private:
    TBaseDataTree* owner_;
    TStringList names_;
};

} // namespace ax
