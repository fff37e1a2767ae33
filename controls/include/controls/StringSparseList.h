#pragma once
// A list of strings with an object each, kept sparse: an index holding the
// empty string and no object takes no storage.
#include <functional>

#include "controls/SparseList.h"
#include "rtl/lists.h"

namespace ax {

class TStringSparseList {
public:
    explicit TStringSparseList(TSPAQuantum quantum) : list_(quantum) {}

    int Count() const { return list_.Count(); }
    AnsiString Get(int index) const;
    const AnsiString& Ref(int index) const;
    void Put(int index, const AnsiString& text);
    TObject* GetObject(int index) const;
    void PutObject(int index, TObject* object);
    void Insert(int index, const AnsiString& text);
    void Delete(int index);
    void Exchange(int a, int b);
    void Move(int from, int to);
    void Clear();
    // Calls f(index, text, object) for every stored entry in index order.
    void ForAll(const std::function<void(int, const AnsiString&, TObject*)>& f) const;

    std::function<void(TStringSparseList&)> OnChange;

private:
    struct Entry {
        TObject* object = nullptr;
        AnsiString text;
    };
    void Changed();
    TSparseList<Entry> list_;
};

} // namespace ax
