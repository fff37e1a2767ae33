// TList's checked operations and TStringList's name=value pairs, comma text
// (quoted as needed) and files.
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

void TList::SetCapacity(int capacity) {
    if (capacity < Count()) throw EListError(Format(SListCapacityError, capacity));
    items_.reserve(static_cast<size_t>(capacity));
}

void TList::Sort(const std::function<int(void*, void*)>& compare) {
    std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

void TStringList::AddStrings(const TStringList& other) {
    if (&other == this) {
        const TStringList copy(other);
        AddStrings(copy);
        return;
    }
    BeginUpdate();
    const ScopeGuard endUpdate([this] { EndUpdate(); });
    for (int i = 0; i < other.Count(); ++i) AddObject(other[i], other.GetObject(i));
}

AnsiString TStringList::Names(int index) const {
    const AnsiString& s = Strings(index);
    const size_t eq = s.find('=');
    return eq == AnsiString::npos ? AnsiString() : s.substr(0, eq);
}

int TStringList::IndexOfName(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i) {
        const AnsiString& s = Get(i);
        const size_t eq = s.find('=');
        if (eq != AnsiString::npos && CompareStrings(s.substr(0, eq), name) == 0) return i;
    }
    return -1;
}

AnsiString TStringList::Values(const AnsiString& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? AnsiString() : Get(i).substr(name.size() + 1);
}

void TStringList::SetValue(const AnsiString& name, const AnsiString& value) {
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i < 0) {
        Add(name + "=" + value);
    } else {
        SetStringAt(i, name + "=" + value);
    }
}

AnsiString TStringList::CommaText() const {
    // A lone empty item must not read back as an empty list.
    if (Count() == 1 && Get(0).empty()) return "\"\"";
    AnsiString out;
    for (int n = 0; n < Count(); ++n) {
        const AnsiString& s = Get(n);
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
    const ScopeGuard endUpdate([this] { EndUpdate(); });
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
