#pragma once
// The owner-draw list box base: a standard list box whose strings object
// reaches the items' data through overridable operations (so a descendant
// keeps its own per-item records), with the horizontal extent of the widest
// item tracked, an item-width event for owner-drawn lists, and a grey
// selection while the list has no focus.
#include <functional>
#include <memory>

#include "stdctrls/listbox.h"
#include "stdctrls/messages.h"

namespace ax {

class TExCustomListBox;

using TGetItemWidthEvent = std::function<void(TObject* Sender, int Index, int& Width)>;

// The items of a TExCustomListBox. Index errors raise EStringListError
// ("List index out of bounds (%d)"); a line the list cannot take raises
// EOutOfResources ("Unable to insert a line").
class TExListBoxStrings {
public:
    explicit TExListBoxStrings(TExCustomListBox& list) : list_(list) {}
    virtual ~TExListBoxStrings() = default;
    TExListBoxStrings(const TExListBoxStrings&) = delete;
    TExListBoxStrings& operator=(const TExListBoxStrings&) = delete;

    int Count() const;
    AnsiString Strings(int index) const;
    AnsiString operator[](int index) const { return Strings(index); }
    void PutString(int index, const AnsiString& s);
    TObject* Objects(int index) const;
    void PutObject(int index, TObject* object);
    int Add(const AnsiString& s) { return AddObject(s, nullptr); }
    int AddObject(const AnsiString& s, TObject* object);
    void Insert(int index, const AnsiString& s) { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const AnsiString& s, TObject* object);
    void Delete(int index);
    void Clear();
    // Items keep what the list holds for them (a check list: state and
    // enabled flag) when they change places.
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);
    int IndexOf(const AnsiString& s) const;
    void BeginUpdate();
    void EndUpdate();
    void Assign(const TStringList& source);
    virtual void Assign(const TExListBoxStrings& source);
    TStringList ToStringList() const;
    TExCustomListBox& List() const { return list_; }

protected:
    TExCustomListBox& list_;

private:
    int updateCount_ = 0;
};

class EOutOfResources : public EOutOfMemory {
public:
    using EOutOfMemory::EOutOfMemory;
};

class TExCustomListBox : public TCustomListBox {
public:
    explicit TExCustomListBox(TComponent* owner);
    ~TExCustomListBox() override;
    AnsiString ClassName() const override { return "TExCustomListBox"; }
    void DefinePublished(TFiler& filer) override;

    TExListBoxStrings& Items() { return *exItems_; }
    // The stored height; a list that draws its own items answers item 0's
    // height once its window exists.
    virtual int ItemHeight();
    bool AutoScroll() const { return autoScroll_ && Columns() == 0; }
    void SetAutoScroll(bool value);
    bool GraySelection() const { return graySelection_; }
    void SetGraySelection(bool value);
    // Handlers whose coming or going changes how wide items are.
    void SetOnDrawItem(TDrawItemEvent handler);
    void SetOnGetItemWidth(TGetItemWidthEvent handler);
    const TGetItemWidthEvent& OnGetItemWidth() const { return onGetItemWidth_; }
    // The width of the widest item (the horizontal extent).
    int MaxItemWidth() const { return maxItemWidth_; }
    void ResetHorizontalExtent();

    // What the strings object calls; a descendant keeps its own records.
    virtual intptr_t GetItemData(int index);
    virtual void SetItemData(int index, intptr_t data);
    virtual void DeleteString(int index);
    virtual void ResetContent();
    // What the list holds for an item beyond its text and object, carried
    // along when items change places (nothing here).
    virtual uint32_t SaveItemExtra(int index) { (void)index; return 0; }
    virtual void RestoreItemExtra(int index, uint32_t extra) { (void)index, (void)extra; }
    virtual int GetItemWidth(int index);

    void Dispatch(TMessage& message) override;

protected:
    friend class TExListBoxStrings;
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    // The items draw themselves unless OnDrawItem does it.
    void DrawItem(int index, RECT rect, TOwnerDrawState state) override;
    // The draw-item notification: colours, DrawItem, focus rectangle.
    void DrawListItem(const DRAWITEMSTRUCT& dis);
    int TextWidthOf(const AnsiString& text);
    int TabStopPixels();
    void ItemAdded(int index);
    void ItemDeleted(int width);
    void ListCleared();
    std::unique_ptr<TExListBoxStrings> exItems_;

private:
    void SetHorizontalExtent();
    void HandlersChanged(bool wasDrawn, bool wasSized);
    bool autoScroll_ = true;
    bool graySelection_ = false;
    int maxItemWidth_ = 0;
    TGetItemWidthEvent onGetItemWidth_;
    std::unique_ptr<TBitmap> measure_;
};

} // namespace ax
