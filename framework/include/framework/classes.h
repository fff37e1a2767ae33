#pragma once
// The component model: persistent objects, components with owners and
// names, free notification, and collections of persistent items.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/lists.h"
#include "rtl/text.h"

namespace ax {

class TFiler;
class TComponent;

// Events pass the sender first.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class EComponentError : public Exception {
public:
    using Exception::Exception;
};

inline constexpr const char* SDuplicateName = "A component named %s already exists";
inline constexpr const char* SInvalidName = "'%s' is not a valid component name";
inline constexpr const char* SAssignError = "Cannot assign a %s to a %s";

// Objects that can be copied with Assign and stored in form descriptions.
class TPersistent : public TObject {
public:
    // Copies source into this object; a pair of classes that do not know
    // each other raises EConvertError.
    virtual void Assign(const TPersistent* source);
    // The stored ("published") properties of the class.
    virtual void DefinePublished(TFiler& filer);
    // Extra properties a class stores beyond its published ones.
    virtual void DefineProperties(TFiler& filer);
    virtual AnsiString ClassName() const { return "TPersistent"; }
    virtual TPersistent* GetOwner() const { return nullptr; }

protected:
    // Called by Assign of a source that does not know this class.
    virtual void AssignTo(TPersistent* dest) const;
};

enum TOperation { opInsert, opRemove };

// Component state flags.
enum : unsigned {
    csLoading = 0x0001,
    csReading = 0x0002,
    csWriting = 0x0004,
    csDestroying = 0x0008,
    csDesigning = 0x0010,
    csAncestor = 0x0020,
    csUpdating = 0x0040,
    csFixups = 0x0080,
};
using TComponentState = unsigned;

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    AnsiString ClassName() const override { return "TComponent"; }
    TPersistent* GetOwner() const override { return owner_; }

    // Creates a component owned by owner, which frees it.
    template <class T, class... Args> static T* Create(TComponent* owner, Args&&... args) {
        auto made = std::make_unique<T>(owner, std::forward<Args>(args)...);
        T* raw = made.get();
        owner->InsertComponent(std::move(made));
        return raw;
    }
    // Takes ownership of a component (its Owner becomes this).
    void InsertComponent(std::unique_ptr<TComponent> component);
    // Gives up ownership; the caller takes it.
    std::unique_ptr<TComponent> RemoveComponent(TComponent* component);
    // Frees an owned component (notifying the owner and its components first).
    void FreeComponent(TComponent* component);
    // Frees this component through its owner.
    void Free();

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const;
    int ComponentIndex() const;
    TComponent* FindComponent(const AnsiString& name) const;

    const AnsiString& Name() const { return name_; }
    virtual void SetName(const AnsiString& name);
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t tag) { tag_ = tag; }

    TComponentState ComponentState() const { return state_; }
    bool HasState(TComponentState flags) const { return (state_ & flags) != 0; }
    void SetDesigning(bool designing);

    // Both partners are told (Notification opRemove) when the other goes.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    // Told of components inserted into or removed from the owner's list,
    // and of free-notification partners being freed. The base passes it on
    // to every owned component.
    virtual void Notification(TComponent* component, TOperation operation);
    // After the component and its siblings were read from a description.
    virtual void Loaded();
    void Destroying();

    // Streaming: children written after the properties, and the parent a
    // child is given when read back.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    virtual void SetParentComponent(TComponent* parent);
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual bool HasParent() const { return false; }
    void DefinePublished(TFiler& filer) override;

    void SetState(TComponentState flags) { state_ |= flags; }
    void ClearState(TComponentState flags) { state_ &= ~flags; }

protected:
    // Frees the owned components, last first. Destructors of classes whose
    // owned components use the class's own members call this first.
    void DestroyComponents();
    virtual void ValidateRename(TComponent* component, const AnsiString& current,
                                const AnsiString& next);

private:
    void NotifyRemoval(TComponent* component);
    bool Owns(const TComponent* component) const;
    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> components_;
    uint64_t listVersion_ = 0; // counts changes of components_
    bool listed_ = false;      // in its owner's components_
    bool quiet_ = false;       // freeing its components: Notification tells no one else
    std::vector<TComponent*> freeNotifies_;
    AnsiString name_;
    intptr_t tag_ = 0;
    TComponentState state_ = 0;
};

bool IsValidIdent(const AnsiString& name);

class TCollection;

class TCollectionItem : public TPersistent {
public:
    explicit TCollectionItem(TCollection* collection);
    ~TCollectionItem() override;
    AnsiString ClassName() const override { return "TCollectionItem"; }
    TPersistent* GetOwner() const override;
    TCollection* Collection() const { return collection_; }
    int Index() const;
    virtual void SetIndex(int index);
    int ID() const { return id_; }
    virtual AnsiString DisplayName() const { return ClassName(); }

protected:
    // Tells the collection this item (or every item) changed.
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* collection_;
    int id_ = 0;
};

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// An owned list of items made by a factory. Changes are reported through
// Update (and OnChange), held back between BeginUpdate and EndUpdate.
class TCollection : public TPersistent {
public:
    using Factory = std::function<std::unique_ptr<TCollectionItem>(TCollection*)>;
    TCollection(Factory factory, TPersistent* owner = nullptr);
    ~TCollection() override;
    AnsiString ClassName() const override { return "TCollection"; }
    TPersistent* GetOwner() const override { return owner_; }

    int Count() const { return static_cast<int>(items_.size()); }
    TCollectionItem* Items(int index) const;
    TCollectionItem* Add();
    TCollectionItem* Insert(int index);
    void Delete(int index);
    void Clear();
    TCollectionItem* FindItemID(int id) const;
    void Assign(const TPersistent* source) override;
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    std::function<void(TCollection&, TCollectionItem*)> OnChange;

protected:
    friend class TCollectionItem;
    // item null: the whole collection changed.
    virtual void Update(TCollectionItem* item);
    virtual void Notify(TCollectionItem* item, TCollectionNotification action);
    void Changed();
    void MoveItem(int from, int to);

private:
    Factory factory_;
    TPersistent* owner_;
    std::vector<std::unique_ptr<TCollectionItem>> items_;
    int nextId_ = 0;
    int updateCount_ = 0;
    bool changedInUpdate_ = false;
};

} // namespace ax
