#pragma once
// The string list of the class library, once for every character type: the
// 8-bit TStringList of this layer and the shell's 16-bit TWideStringList are
// both this core with their own text forms (line breaks, comparison).
//
// Items are {string, object}; a sorted list keeps its order and finds by
// binary search under the duplicates policy; OnChanging and OnChange fire
// around each change, or once around an update bracket; with OwnsObjects a
// removed item's object is destroyed. Misuse raises EStringListError with
// the class library's texts.
#include "rtl/exceptions.h"
#include "rtl/scopeguard.h"
#include "rtl/text.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ax {

// Root of the objects that lists and owners hold by reference.
class TObject {
public:
    virtual ~TObject() = default;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// What differs between the character types: line breaks, the text joint
// and the comparison.
template <typename Char> struct StringListTraits;

template <> struct StringListTraits<char> {
    // LF, CR, or CR LF.
    static bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }
    static constexpr std::string_view kLineEnd = "\n";
    static int Compare(std::string_view a, std::string_view b, bool caseSensitive) {
        return caseSensitive ? CompareStr(a, b) : CompareText(a, b);
    }
};

template <> struct StringListTraits<char16_t> {
    // CR, LF, VT, FF, U+2028 and U+2029 (CR LF is one break).
    static bool IsLineBreak(char16_t c) { return (c >= 10 && c <= 13) || c == 0x2028 || c == 0x2029; }
    static constexpr std::u16string_view kLineEnd = u"\r\n";
    static int Compare(std::u16string_view a, std::u16string_view b, bool caseSensitive) {
        return caseSensitive ? WideCompareStr(a, b) : WideCompareText(a, b);
    }
};

template <typename Char, typename Derived> class TStringListCore {
public:
    using String = std::basic_string<Char>;
    using StringView = std::basic_string_view<Char>;
    using Compare = std::function<int(Derived&, int, int)>;

    virtual ~TStringListCore() {
        for (Item& item : items_)
            ReleaseObject(item.object);
    }

    int Count() const { return static_cast<int>(items_.size()); }
    int Capacity() const { return static_cast<int>(items_.capacity()); }
    void SetCapacity(int capacity) {
        if (capacity < Count()) throw EStringListError(Format(SListCapacityError, capacity));
        items_.reserve(static_cast<size_t>(capacity));
    }

    virtual const String& Get(int index) const {
        CheckIndex(index);
        return items_[static_cast<size_t>(index)].string;
    }
    const String& operator[](int index) const { return Get(index); }
    virtual void Put(int index, const String& s) {
        if (sorted_) throw EStringListError(SSortedListError);
        CheckIndex(index);
        Changing();
        items_[static_cast<size_t>(index)].string = s;
        Changed();
    }
    virtual TObject* GetObject(int index) const {
        CheckIndex(index);
        return items_[static_cast<size_t>(index)].object;
    }
    virtual void PutObject(int index, TObject* object) {
        CheckIndex(index);
        Changing();
        items_[static_cast<size_t>(index)].object = object;
        Changed();
    }

    virtual int Add(const String& s) { return AddObject(s, nullptr); }
    // The same, taking the string over (a long list built item by item).
    int Add(String&& s) {
        if (sorted_) return Add(static_cast<const String&>(s));
        Changing();
        items_.push_back(Item{std::move(s), nullptr});
        Changed();
        return Count() - 1;
    }
    virtual int AddObject(const String& s, TObject* object) {
        int index = Count();
        if (sorted_ && Find(s, index)) {
            if (duplicates_ == dupIgnore) return index;
            if (duplicates_ == dupError) throw EStringListError(SDuplicateString);
        }
        InsertItem(index, s, object);
        return index;
    }
    virtual void Insert(int index, const String& s) { InsertObject(index, s, nullptr); }
    virtual void InsertObject(int index, const String& s, TObject* object) {
        if (sorted_) throw EStringListError(SSortedListError);
        if (index < 0 || index > Count()) throw EStringListError(Format(SListIndexError, index));
        InsertItem(index, s, object);
    }
    virtual void Delete(int index) {
        CheckIndex(index);
        Changing();
        TObject* object = items_[static_cast<size_t>(index)].object;
        items_.erase(items_.begin() + index);
        ReleaseObject(object);
        Changed();
    }
    virtual void Exchange(int a, int b) {
        CheckIndex(a);
        CheckIndex(b);
        Changing();
        std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
        Changed();
    }
    void Move(int from, int to) {
        if (sorted_) throw EStringListError(SSortedListError);
        CheckIndex(from);
        CheckIndex(to);
        if (from == to) return;
        Changing();
        Item item = std::move(items_[static_cast<size_t>(from)]);
        items_.erase(items_.begin() + from);
        items_.insert(items_.begin() + to, std::move(item));
        Changed();
    }
    virtual void Clear() {
        if (items_.empty()) return;
        Changing();
        std::vector<Item> old;
        old.swap(items_);
        for (Item& item : old)
            ReleaseObject(item.object);
        Changed();
    }

    // Binary search of a sorted list: true with the index of an equal item
    // (the first of several only with dupAccept), or false with the
    // insertion point.
    virtual bool Find(const String& s, int& index) const {
        bool found = false;
        int lo = 0, hi = Count() - 1;
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
    virtual int IndexOf(const String& s) const {
        if (sorted_) {
            int index;
            return Find(s, index) ? index : -1;
        }
        for (int i = 0; i < Count(); ++i)
            if (CompareStrings(items_[static_cast<size_t>(i)].string, s) == 0) return i;
        return -1;
    }
    int IndexOfObject(const TObject* object) const {
        for (int i = 0; i < Count(); ++i)
            if (items_[static_cast<size_t>(i)].object == object) return i;
        return -1;
    }

    // Quicksort on the middle element, OnChanging before and OnChange after;
    // a sorted list is in order already and is left alone.
    virtual void Sort() {
        CustomSort([](Derived& list, int a, int b) {
            const TStringListCore& core = list;
            return core.CompareStrings(core.items_[static_cast<size_t>(a)].string,
                                       core.items_[static_cast<size_t>(b)].string);
        });
    }
    virtual void CustomSort(const Compare& compare) {
        if (sorted_ || Count() < 2) return;
        Changing();
        QuickSort(0, Count() - 1, compare);
        Changed();
    }

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted) {
        if (sorted == sorted_) return;
        if (sorted) Sort();
        sorted_ = sorted;
    }
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool owns) { ownsObjects_ = owns; }

    // Every item followed by the line end.
    String Text() const {
        String text;
        for (const Item& item : items_) {
            text += item.string;
            text += Traits::kLineEnd;
        }
        return text;
    }
    void SetText(StringView text) {
        BeginUpdate();
        const ScopeGuard endUpdate([this] { EndUpdate(); });
        Clear();
        size_t at = 0;
        while (at < text.size()) {
            size_t end = at;
            while (end < text.size() && !Traits::IsLineBreak(text[end]))
                ++end;
            Add(String(text.substr(at, end - at)));
            at = end;
            if (at < text.size()) {
                if (text[at] == Char('\r') && at + 1 < text.size() && text[at + 1] == Char('\n')) ++at;
                ++at;
            }
        }
    }

    // The outermost bracket raises OnChanging when it opens and OnChange
    // when it closes; changes inside raise nothing.
    int BeginUpdate() {
        if (updateCount_ == 0) Changing();
        return ++updateCount_;
    }
    int EndUpdate() {
        if (updateCount_ > 0 && --updateCount_ == 0) Changed();
        return updateCount_;
    }
    std::function<void(Derived&)> OnChange;
    std::function<void(Derived&)> OnChanging;

protected:
    using Traits = StringListTraits<Char>;
    struct Item {
        String string;
        TObject* object = nullptr;
    };

    TStringListCore() = default;
    // Copies share the object references; only the source may own them.
    TStringListCore(const TStringListCore& other)
        : items_(other.items_), sorted_(other.sorted_), caseSensitive_(other.caseSensitive_),
          duplicates_(other.duplicates_) {}
    TStringListCore& operator=(const TStringListCore& other) {
        if (this == &other) return *this;
        Changing();
        std::vector<Item> copy = other.items_;
        for (Item& item : items_)
            ReleaseObject(item.object);
        items_ = std::move(copy);
        if (sorted_) SortItems();
        Changed();
        return *this;
    }

    virtual int CompareStrings(const String& a, const String& b) const {
        return Traits::Compare(a, b, caseSensitive_);
    }
    void Changing() {
        if (updateCount_ == 0 && OnChanging) OnChanging(static_cast<Derived&>(*this));
    }
    void Changed() {
        if (updateCount_ == 0 && OnChange) OnChange(static_cast<Derived&>(*this));
    }
    // Puts the items in order whatever Sorted says (after the comparison
    // changed).
    void SortItems() {
        const bool sorted = sorted_;
        sorted_ = false;
        const ScopeGuard restore([&] { sorted_ = sorted; });
        Sort();
    }
    // Replaces an item's text, sorted or not (the name of a name=value pair
    // keeps its place).
    void SetStringAt(int index, const String& s) {
        CheckIndex(index);
        Changing();
        items_[static_cast<size_t>(index)].string = s;
        Changed();
    }
    bool CaseSensitiveCompare() const { return caseSensitive_; }
    void SetCaseSensitiveCompare(bool caseSensitive) {
        if (caseSensitive_ == caseSensitive) return;
        caseSensitive_ = caseSensitive;
        if (sorted_) SortItems();
    }
    const std::vector<Item>& Items() const { return items_; }

private:
    void CheckIndex(int index) const {
        if (index < 0 || index >= Count()) throw EStringListError(Format(SListIndexError, index));
    }
    void InsertItem(int index, const String& s, TObject* object) {
        Changing();
        items_.insert(items_.begin() + index, Item{s, object});
        Changed();
    }
    void ReleaseObject(TObject* object) const {
        if (ownsObjects_) std::unique_ptr<TObject> owned(object);
    }
    void QuickSort(int l, int r, const Compare& compare) {
        Derived& self = static_cast<Derived&>(*this);
        int i;
        do {
            i = l;
            int j = r;
            int p = (l + r) / 2;
            do {
                // The bounds only matter for a comparison that contradicts itself.
                while (i < r && compare(self, i, p) < 0)
                    ++i;
                while (j > l && compare(self, j, p) > 0)
                    --j;
                if (i <= j) {
                    if (i != j)
                        std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
                    // The pivot travels with its item.
                    if (p == i)
                        p = j;
                    else if (p == j)
                        p = i;
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (l < j) QuickSort(l, j, compare);
            l = i;
        } while (i < r);
    }

    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    bool ownsObjects_ = false;
    TDuplicates duplicates_ = dupIgnore;
    int updateCount_ = 0;
};

} // namespace ax
