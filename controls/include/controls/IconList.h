#pragma once
// An ordered list of owned icons (an entry may be empty), stored in form
// descriptions as the binary property "Icons": a u32 count, then per entry
// a u32 size (0 for an empty entry) and the icon in the standard icon file
// layout. A change of the list or of any icon in it fires OnChange, held
// back between BeginUpdate and EndUpdate.
#include <memory>
#include <vector>

#include "framework/graphics.h"

namespace ax {

class TIconList : public TPersistent {
public:
    TIconList() = default;
    ~TIconList() override;
    AnsiString ClassName() const override { return "TIconList"; }
    // From another list (every entry), an icon (that one), nullptr (empty).
    void Assign(const TPersistent* source) override;
    void DefineProperties(TFiler& filer) override;

    int Count() const { return int(icons_.size()); }
    // The entry (nullptr for an empty one); EListError out of range.
    TIcon* Icons(int index) const;
    // Index = Count appends; the entry takes a copy of icon.
    void SetIcons(int index, const TIcon* icon);
    int Add(const TIcon* icon);
    // An icon resource ("ICON" type) of a module, by name.
    int AddResource(std::uintptr_t instance, const AnsiString& resName);
    void Insert(int index, const TIcon* icon);
    void InsertResource(int index, std::uintptr_t instance, const AnsiString& resName);
    void Delete(int index);
    void Exchange(int index1, int index2);
    void Move(int from, int to);
    int IndexOf(const TIcon* icon) const;
    void Clear();
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

    // The stored form. Reading checks every size before anything is
    // replaced: a damaged list raises EReadError and keeps the entries.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;

    TNotifyEvent OnChange;

protected:
    void Changed();

private:
    void Hook(TIcon* icon);
    void CheckIndex(int index, bool allowEnd) const;
    std::vector<std::unique_ptr<TIcon>> icons_;
    int updateCount_ = 0;
};

} // namespace ax
