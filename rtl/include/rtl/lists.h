#pragma once
#include <functional>
#include <string>
#include <vector>

#include "rtl/text.h"

namespace ax {

// Root of the objects that lists and owners hold by reference.
class TObject {
public:
    virtual ~TObject() = default;
};

// A list of untyped references with the classic index checks.
class TList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    void* Get(int index) const;
    void Put(int index, void* item);
    void* operator[](int index) const { return Get(index); }
    int Add(void* item);
    void Insert(int index, void* item);
    void Delete(int index);
    int Remove(void* item);
    int IndexOf(void* item) const;
    void Exchange(int a, int b);
    void Move(int from, int to);
    void Clear() { items_.clear(); }
    void Sort(const std::function<int(void*, void*)>& compare);
    void* First() const { return Get(0); }
    void* Last() const { return Get(Count() - 1); }

private:
    std::vector<void*> items_;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// A list of 8-bit strings, each with an object reference. When sorted, it
// finds by binary search and keeps the duplicates policy.
class TStringList {
public:
    TStringList() = default;
    ~TStringList();
    TStringList(const TStringList& other);
    TStringList& operator=(const TStringList& other);

    int Count() const { return static_cast<int>(items_.size()); }
    const AnsiString& Strings(int index) const;
    const AnsiString& operator[](int index) const { return Strings(index); }
    void PutString(int index, const AnsiString& s);
    TObject* Objects(int index) const;
    void PutObject(int index, TObject* object);

    int Add(const AnsiString& s) { return AddObject(s, nullptr); }
    int AddObject(const AnsiString& s, TObject* object);
    void Insert(int index, const AnsiString& s) { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const AnsiString& s, TObject* object);
    void Delete(int index);
    void Clear();
    void Exchange(int a, int b);
    void Move(int from, int to);
    void AddStrings(const TStringList& other);
    void Assign(const TStringList& other) { *this = other; }

    // Sorted lists: the index of an equal item or of the insertion point.
    bool Find(const AnsiString& s, int& index) const;
    int IndexOf(const AnsiString& s) const;
    int IndexOfObject(const TObject* object) const;
    int IndexOfName(const AnsiString& name) const;
    AnsiString Names(int index) const;
    AnsiString Values(const AnsiString& name) const;
    void SetValue(const AnsiString& name, const AnsiString& value);
    void Sort();
    void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool caseSensitive);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool owns) { ownsObjects_ = owns; }

    // Lines ended by "\n"; reading splits on LF, CR LF and lone CR.
    AnsiString Text() const;
    void SetText(std::string_view text);
    // Comma-separated, items holding blanks, commas or quotes are quoted
    // with '"' and their quotes doubled.
    AnsiString CommaText() const;
    void SetCommaText(std::string_view text);

    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    int BeginUpdate() { return ++updateCount_; }
    int EndUpdate();
    std::function<void(TStringList&)> OnChange;
    std::function<void(TStringList&)> OnChanging;

protected:
    int CompareStrings(const AnsiString& a, const AnsiString& b) const;

private:
    struct Item {
        AnsiString string;
        TObject* object = nullptr;
    };
    void CheckIndex(int index) const;
    void Changing();
    void Changed();
    void ReleaseObject(TObject* object);
    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    bool ownsObjects_ = false;
    TDuplicates duplicates_ = dupIgnore;
    int updateCount_ = 0;
};

} // namespace ax
