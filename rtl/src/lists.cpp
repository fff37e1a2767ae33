#include "rtl/lists.h"

#include <algorithm>
#include <memory>

#include "rtl/exceptions.h"
#include "rtl/streams.h"

namespace ax {

static void ListIndexError(int index) { throw EListError(Format(SListIndexError, index)); }

void* TList::Get(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return items_[static_cast<size_t>(index)];
}

void TList::Put(int index, void* item) {
    if (index < 0 || index >= Count()) ListIndexError(index);
    items_[static_cast<size_t>(index)] = item;
}

int TList::Add(void* item) {
    items_.push_back(item);
    return Count() - 1;
}

void TList::Insert(int index, void* item) {
    if (index < 0 || index > Count()) ListIndexError(index);
    items_.insert(items_.begin() + index, item);
}

void TList::Delete(int index) {
    if (index < 0 || index >= Count()) ListIndexError(index);
    items_.erase(items_.begin() + index);
}

int TList::Remove(void* item) {
    const int index = IndexOf(item);
    if (index >= 0) Delete(index);
    return index;
}

int TList::IndexOf(void* item) const {
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Exchange(int a, int b) {
    if (a < 0 || a >= Count()) ListIndexError(a);
    if (b < 0 || b >= Count()) ListIndexError(b);
    std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void TList::Move(int from, int to) {
    if (from == to) return;
    void* item = Get(from);
    if (to < 0 || to >= Count()) ListIndexError(to);
    Delete(from);
    Insert(to, item);
}

void TList::Sort(const std::function<int(void*, void*)>& compare) {
    std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

TStringList::~TStringList() {
    if (ownsObjects_)
        for (Item& item : items_) ReleaseObject(item.object);
}

// Copies share the object references; only the source may own them.
TStringList::TStringList(const TStringList& other)
    : items_(other.items_), sorted_(other.sorted_), caseSensitive_(other.caseSensitive_),
      duplicates_(other.duplicates_) {}

TStringList& TStringList::operator=(const TStringList& other) {
    if (this == &other) return *this;
    Changing();
    std::vector<Item> copy = other.items_;
    if (ownsObjects_)
        for (Item& item : items_) ReleaseObject(item.object);
    items_ = std::move(copy);
    if (sorted_) Sort();
    Changed();
    return *this;
}

void TStringList::ReleaseObject(TObject* object) { std::unique_ptr<TObject> owned(object); }

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EStringListError(Format(SListIndexError, index));
}

void TStringList::Changing() {
    if (updateCount_ == 0 && OnChanging) OnChanging(*this);
}

void TStringList::Changed() {
    if (updateCount_ == 0 && OnChange) OnChange(*this);
}

int TStringList::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Changed();
    return updateCount_;
}

const AnsiString& TStringList::Strings(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].string;
}

void TStringList::PutString(int index, const AnsiString& s) {
    if (sorted_) throw EStringListError(SSortedListError);
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].string = s;
    Changed();
}

TObject* TStringList::Objects(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].object;
}

void TStringList::PutObject(int index, TObject* object) {
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].object = object;
    Changed();
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
    return caseSensitive_ ? CompareStr(a, b) : CompareText(a, b);
}

bool TStringList::Find(const AnsiString& s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = CompareStrings(items_[static_cast<size_t>(mid)].string, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (duplicates_ != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

int TStringList::AddObject(const AnsiString& s, TObject* object) {
    int index = Count();
    if (sorted_) {
        if (Find(s, index)) {
            if (duplicates_ == dupIgnore) return index;
            if (duplicates_ == dupError) throw EStringListError(SDuplicateString);
        }
    }
    Changing();
    items_.insert(items_.begin() + index, Item{s, object});
    Changed();
    return index;
}

void TStringList::InsertObject(int index, const AnsiString& s, TObject* object) {
    if (sorted_) throw EStringListError(SSortedListError);
    if (index < 0 || index > Count()) throw EStringListError(Format(SListIndexError, index));
    Changing();
    items_.insert(items_.begin() + index, Item{s, object});
    Changed();
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    TObject* object = items_[static_cast<size_t>(index)].object;
    items_.erase(items_.begin() + index);
    if (ownsObjects_) ReleaseObject(object);
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    std::vector<Item> old = std::move(items_);
    items_.clear();
    if (ownsObjects_)
        for (Item& item : old) ReleaseObject(item.object);
    Changed();
}

void TStringList::Exchange(int a, int b) {
    CheckIndex(a);
    CheckIndex(b);
    Changing();
    std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
    Changed();
}

void TStringList::Move(int from, int to) {
    if (sorted_) throw EStringListError(SSortedListError);
    CheckIndex(from);
    CheckIndex(to);
    if (from == to) return;
    Changing();
    Item item = items_[static_cast<size_t>(from)];
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, item);
    Changed();
}

void TStringList::AddStrings(const TStringList& other) {
    if (&other == this) {
        const TStringList copy(other);
        AddStrings(copy);
        return;
    }
    BeginUpdate();
    for (const Item& item : other.items_) AddObject(item.string, item.object);
    EndUpdate();
}

int TStringList::IndexOf(const AnsiString& s) const {
    if (sorted_) {
        int index;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (CompareStrings(items_[static_cast<size_t>(i)].string, s) == 0) return i;
    return -1;
}

int TStringList::IndexOfObject(const TObject* object) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)].object == object) return i;
    return -1;
}

AnsiString TStringList::Names(int index) const {
    const AnsiString& s = Strings(index);
    const size_t eq = s.find('=');
    return eq == AnsiString::npos ? AnsiString() : s.substr(0, eq);
}

int TStringList::IndexOfName(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i) {
        const AnsiString& s = items_[static_cast<size_t>(i)].string;
        const size_t eq = s.find('=');
        if (eq != AnsiString::npos && CompareStrings(s.substr(0, eq), name) == 0) return i;
    }
    return -1;
}

AnsiString TStringList::Values(const AnsiString& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? AnsiString() : items_[static_cast<size_t>(i)].string.substr(name.size() + 1);
}

void TStringList::SetValue(const AnsiString& name, const AnsiString& value) {
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i < 0) {
        Add(name + "=" + value);
    } else {
        Changing();
        items_[static_cast<size_t>(i)].string = name + "=" + value;
        Changed();
    }
}

void TStringList::Sort() {
    Changing();
    std::stable_sort(items_.begin(), items_.end(),
                     [&](const Item& a, const Item& b) { return CompareStrings(a.string, b.string) < 0; });
    Changed();
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare) {
    if (sorted_) throw EStringListError(SSortedListError);
    // Sort an index permutation, since the comparer addresses items by index.
    std::vector<int> order(items_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
    Changing();
    std::vector<Item> sorted;
    sorted.reserve(items_.size());
    for (int i : order) sorted.push_back(items_[static_cast<size_t>(i)]);
    items_ = std::move(sorted);
    Changed();
}

void TStringList::SetSorted(bool sorted) {
    if (sorted_ == sorted) return;
    if (sorted) Sort();
    sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
    if (caseSensitive_ == caseSensitive) return;
    caseSensitive_ = caseSensitive;
    if (sorted_) Sort();
}

AnsiString TStringList::Text() const {
    AnsiString out;
    for (const Item& item : items_) {
        out += item.string;
        out += '\n';
    }
    return out;
}

void TStringList::SetText(std::string_view text) {
    BeginUpdate();
    Clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i;
        while (j < text.size() && text[j] != '\n' && text[j] != '\r') ++j;
        Add(AnsiString(text.substr(i, j - i)));
        if (j < text.size() && text[j] == '\r') ++j;
        if (j < text.size() && text[j] == '\n') ++j;
        i = j;
    }
    EndUpdate();
}

AnsiString TStringList::CommaText() const {
    // A lone empty item must not read back as an empty list.
    if (items_.size() == 1 && items_[0].string.empty()) return "\"\"";
    AnsiString out;
    for (size_t n = 0; n < items_.size(); ++n) {
        const AnsiString& s = items_[n].string;
        if (n > 0) out += ',';
        bool quote = false;
        for (char c : s)
            if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
        if (!quote) {
            out += s;
            continue;
        }
        out += '"';
        for (char c : s) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

void TStringList::SetCommaText(std::string_view text) {
    BeginUpdate();
    Clear();
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t i = 0;
    while (i < text.size() && blank(text[i])) ++i;
    while (i < text.size()) {
        AnsiString item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && !blank(text[i])) item += text[i++];
        }
        Add(item);
        while (i < text.size() && blank(text[i])) ++i;
        if (i < text.size() && text[i] == ',') {
            ++i;
            while (i < text.size() && blank(text[i])) ++i;
            // A trailing comma stands for one more empty item.
            if (i == text.size()) Add(AnsiString());
        }
    }
    EndUpdate();
}

void TStringList::LoadFromFile(const std::string& fileName) {
    TMemoryStream stream;
    stream.LoadFromFile(fileName);
    SetText(std::string_view(reinterpret_cast<const char*>(stream.Memory()), stream.Bytes().size()));
}

void TStringList::SaveToFile(const std::string& fileName) const {
    const AnsiString text = Text();
    SaveFileAtomically(fileName, [&](TStream& out) { out.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); });
}

} // namespace ax
