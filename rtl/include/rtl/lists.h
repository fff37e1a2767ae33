#pragma once
// The runtime's classic lists: TList of untyped references, and TStringList
// of 8-bit strings with objects, name=value pairs, comma text and files.
// An index out of range raises EListError.
#include <functional>
#include <string>
#include <vector>

#include "rtl/stringlistcore.h"
#include "rtl/text.h"

namespace ax {

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
    int Capacity() const { return static_cast<int>(items_.capacity()); }
    // Room for that many items; less than Count raises EListError.
    void SetCapacity(int capacity);

private:
    std::vector<void*> items_;
};

// A list of 8-bit strings, each with an object reference (the shared core
// of rtl/stringlistcore.h), with the 8-bit extras: a case switch, name=value
// pairs, comma text and files. Text ends every line with LF; reading splits
// on LF, CR LF and a lone CR.
class TStringList : public TStringListCore<char, TStringList> {
public:
    TStringList() = default;
    TStringList(const TStringList& other) = default;
    TStringList& operator=(const TStringList& other) = default;

    const AnsiString& Strings(int index) const { return Get(index); }
    void PutString(int index, const AnsiString& s) { Put(index, s); }
    TObject* Objects(int index) const { return GetObject(index); }

    void AddStrings(const TStringList& other);
    void Assign(const TStringList& other) { *this = other; }

    AnsiString Names(int index) const;
    int IndexOfName(const AnsiString& name) const;
    AnsiString Values(const AnsiString& name) const;
    void SetValue(const AnsiString& name, const AnsiString& value);

    bool CaseSensitive() const { return CaseSensitiveCompare(); }
    void SetCaseSensitive(bool caseSensitive) { SetCaseSensitiveCompare(caseSensitive); }

    // Comma-separated, items holding blanks, commas or quotes are quoted
    // with '"' and their quotes doubled.
    AnsiString CommaText() const;
    void SetCommaText(std::string_view text);

    void LoadFromFile(const std::string& fileName);
    // Written atomically: a failure leaves the previous file as it was.
    void SaveToFile(const std::string& fileName) const;
};

} // namespace ax
