// The sparse string list.
#include "controls/StringSparseList.h"

namespace ax {

namespace {
const AnsiString kEmpty;
} // namespace

AnsiString TStringSparseList::Get(int index) const { return Ref(index); }

const AnsiString& TStringSparseList::Ref(int index) const {
    const Entry* e = list_.Get(index);
    return e ? e->text : kEmpty;
}

void TStringSparseList::Put(int index, const AnsiString& text) {
    const Entry* e = list_.Get(index);
    TObject* object = e ? e->object : nullptr;
    if (text.empty() && !object) list_.Take(index);
    else list_.Put(index, std::make_unique<Entry>(Entry{object, text}));
    Changed();
}

TObject* TStringSparseList::GetObject(int index) const {
    const Entry* e = list_.Get(index);
    return e ? e->object : nullptr;
}

void TStringSparseList::PutObject(int index, TObject* object) {
    if (Entry* e = list_.Get(index)) e->object = object;
    else if (object) list_.Put(index, std::make_unique<Entry>(Entry{object, {}}));
    Changed();
}

void TStringSparseList::Insert(int index, const AnsiString& text) {
    list_.Insert(index, text.empty() ? nullptr : std::make_unique<Entry>(Entry{nullptr, text}));
    Changed();
}

void TStringSparseList::Delete(int index) {
    list_.Delete(index);
    Changed();
}

void TStringSparseList::Exchange(int a, int b) {
    list_.Exchange(a, b);
    Changed();
}

void TStringSparseList::Move(int from, int to) {
    list_.Move(from, to);
    Changed();
}

void TStringSparseList::Clear() {
    list_.Clear();
    Changed();
}

void TStringSparseList::ForAll(const std::function<void(int, const AnsiString&, TObject*)>& f) const {
    list_.ForAll([&f](int index, const Entry& e) {
        f(index, e.text, e.object);
        return 0;
    });
}

void TStringSparseList::Changed() {
    if (OnChange) OnChange(*this);
}

} // namespace ax
