// The component model's code: ownership (an owner frees its components, and
// a component freed directly leaves its owner's list), names, free
// notification both ways, and collections with update counting.
#include "framework/classes.h"

#include <algorithm>

#include "framework/streaming.h"

namespace ax {

// ---- TPersistent -------------------------------------------------------------

void TPersistent::Assign(const TPersistent* source) {
    if (!source) throw EConvertError(Format(SAssignError, "nil", ClassName().c_str()));
    source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const {
    throw EConvertError(Format(SAssignError, ClassName().c_str(), dest->ClassName().c_str()));
}

void TPersistent::DefinePublished(TFiler&) {}
void TPersistent::DefineProperties(TFiler&) {}

// ---- TComponent ------------------------------------------------------------------

bool IsValidIdent(const AnsiString& name) {
    if (name.empty()) return false;
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!alpha(name[0])) return false;
    return std::all_of(name.begin(), name.end(),
                       [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

TComponent::TComponent(TComponent* owner) : owner_(owner) {}

TComponent::~TComponent() {
    Destroying();
    // Partners forget us; we forget them.
    while (!freeNotifies_.empty()) {
        TComponent* partner = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& theirs = partner->freeNotifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        partner->Notification(this, opRemove);
    }
    DestroyComponents();
    // A component still in its owner's list that is destroyed directly.
    if (owner_ && listed_) {
        auto& list = owner_->components_;
        for (auto& c : list)
            if (c.get() == this) (void)c.release();
        list.erase(std::remove(list.begin(), list.end(), nullptr), list.end());
        ++owner_->listVersion_;
    }
}

void TComponent::Destroying() { state_ |= csDestroying; }

void TComponent::DestroyComponents() {
    // They all go: one with free-notification partners is announced to the
    // others as when freed alone; any other only to this owner, which keeps
    // freeing its components in time linear in their number.
    while (!components_.empty()) {
        TComponent* last = components_.back().get();
        if (!last->freeNotifies_.empty()) {
            FreeComponent(last);
            continue;
        }
        last->Destroying();
        {
            struct Quiet {
                bool& on;
                explicit Quiet(bool& f) : on(f) { on = true; }
                ~Quiet() { on = false; }
            } quiet(quiet_);
            Notification(last, opRemove);
        }
        if (components_.empty() || components_.back().get() != last) continue; // a handler took it
        std::unique_ptr<TComponent> doomed = std::move(components_.back());
        components_.pop_back();
        ++listVersion_;
        doomed->owner_ = nullptr;
        doomed->listed_ = false;
    }
}

void TComponent::NotifyRemoval(TComponent* component) { Notification(component, opRemove); }

void TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
    if (!component) return;
    TComponent* c = component.get();
    if (c->owner_ == this && c->listed_) {
        (void)component.release(); // already ours
        return;
    }
    if (c->owner_ && c->listed_) {
        auto& list = c->owner_->components_;
        for (auto& item : list)
            if (item.get() == c) (void)item.release();
        list.erase(std::remove(list.begin(), list.end(), nullptr), list.end());
        ++c->owner_->listVersion_;
        c->listed_ = false;
    }
    if (!c->name_.empty()) ValidateRename(c, "", c->name_);
    c->owner_ = this;
    components_.push_back(std::move(component));
    c->listed_ = true;
    ++listVersion_;
    Notification(c, opInsert);
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* component) {
    // From the back: components are usually freed last first.
    auto owned = [&] {
        return std::find_if(components_.rbegin(), components_.rend(),
                            [&](const auto& p) { return p.get() == component; });
    };
    if (owned() == components_.rend()) return nullptr;
    Notification(component, opRemove);
    auto it = owned();
    if (it == components_.rend()) return nullptr; // a handler took it meanwhile
    std::unique_ptr<TComponent> out = std::move(*it);
    components_.erase(std::next(it).base());
    ++listVersion_;
    out->owner_ = nullptr;
    out->listed_ = false;
    return out;
}

void TComponent::FreeComponent(TComponent* component) {
    component->Destroying();
    std::unique_ptr<TComponent> doomed = RemoveComponent(component);
    doomed.reset();
}

void TComponent::Free() {
    if (!owner_) throw EInvalidOperation("Component " + name_ + " has no owner to free it");
    owner_->FreeComponent(this);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) throw EListError(Format(SListIndexError, index));
    return components_[static_cast<size_t>(index)].get();
}

int TComponent::ComponentIndex() const {
    if (!owner_) return -1;
    for (int i = 0; i < owner_->ComponentCount(); ++i)
        if (owner_->components_[static_cast<size_t>(i)].get() == this) return i;
    return -1;
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
    if (name.empty()) return nullptr;
    for (const auto& c : components_)
        if (SameText(c->name_, name)) return c.get();
    return nullptr;
}

void TComponent::ValidateRename(TComponent* component, const AnsiString& current,
                                const AnsiString& next) {
    if (!next.empty() && !SameText(current, next)) {
        TComponent* found = FindComponent(next);
        if (found && found != component) throw EComponentError(Format(SDuplicateName, next.c_str()));
    }
}

void TComponent::SetName(const AnsiString& name) {
    if (name_ == name) return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError(Format(SInvalidName, name.c_str()));
    if (owner_) owner_->ValidateRename(this, name_, name);
    else ValidateRename(nullptr, name_, name);
    name_ = name;
}

void TComponent::SetDesigning(bool designing) {
    if (designing) state_ |= csDesigning;
    else state_ &= ~csDesigning;
    for (auto& c : components_) c->SetDesigning(designing);
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
        freeNotifies_.push_back(component);
    auto& theirs = component->freeNotifies_;
    if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component) return;
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component),
                        freeNotifies_.end());
    auto& theirs = component->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove && component) RemoveFreeNotification(component);
    if (components_.empty() || quiet_) return;
    // A copy, since a handler may insert or free components; those it frees
    // are not told (nor touched), which the list's version shows.
    std::vector<TComponent*> owned;
    owned.reserve(components_.size());
    for (auto& c : components_) owned.push_back(c.get());
    const uint64_t version = listVersion_;
    for (TComponent* c : owned) {
        if (c == component) continue;
        if (listVersion_ != version && !Owns(c)) continue;
        c->Notification(component, operation);
    }
}

bool TComponent::Owns(const TComponent* component) const {
    return std::any_of(components_.begin(), components_.end(),
                       [&](const auto& p) { return p.get() == component; });
}

void TComponent::Loaded() { state_ &= ~csLoading; }

void TComponent::GetChildren(const std::function<void(TComponent*)>&, TComponent*) {}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::DefinePublished(TFiler& filer) {
    filer.Integer("Tag", [this] { return int64_t(tag_); }, [this](int64_t v) { tag_ = intptr_t(v); }, 0);
}

// ---- Collections ------------------------------------------------------------------------

TCollectionItem::TCollectionItem(TCollection* collection) : collection_(collection) {}
TCollectionItem::~TCollectionItem() = default;

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

int TCollectionItem::Index() const {
    if (!collection_) return -1;
    for (int i = 0; i < collection_->Count(); ++i)
        if (collection_->Items(i) == this) return i;
    return -1;
}

void TCollectionItem::SetIndex(int index) {
    const int current = Index();
    if (current >= 0 && current != index) {
        collection_->MoveItem(current, index);
        Changed(true);
    }
}

void TCollectionItem::Changed(bool allItems) {
    if (collection_ && collection_->updateCount_ == 0) collection_->Update(allItems ? nullptr : this);
    else if (collection_) collection_->changedInUpdate_ = true;
}

TCollection::TCollection(Factory factory, TPersistent* owner)
    : factory_(std::move(factory)), owner_(owner) {}

TCollection::~TCollection() {
    ++updateCount_; // no change reports while dying
    items_.clear();
}

TCollectionItem* TCollection::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, index));
    return items_[static_cast<size_t>(index)].get();
}

TCollectionItem* TCollection::Add() { return Insert(Count()); }

TCollectionItem* TCollection::Insert(int index) {
    if (index < 0 || index > Count()) throw EListError(Format(SListIndexError, index));
    std::unique_ptr<TCollectionItem> item = factory_(this);
    item->collection_ = this;
    item->id_ = nextId_++;
    TCollectionItem* raw = item.get();
    items_.insert(items_.begin() + index, std::move(item));
    Notify(raw, cnAdded);
    Changed();
    return raw;
}

void TCollection::Delete(int index) {
    TCollectionItem* item = Items(index);
    Notify(item, cnDeleting);
    items_.erase(items_.begin() + index);
    Changed();
}

void TCollection::Clear() {
    if (items_.empty()) return;
    BeginUpdate();
    while (!items_.empty()) Delete(Count() - 1);
    EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int id) const {
    for (const auto& item : items_)
        if (item->id_ == id) return item.get();
    return nullptr;
}

void TCollection::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TCollection*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    BeginUpdate();
    Clear();
    for (const auto& item : other->items_) Add()->Assign(item.get());
    EndUpdate();
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && changedInUpdate_) {
        changedInUpdate_ = false;
        Update(nullptr);
    }
}

void TCollection::Changed() {
    if (updateCount_ == 0) Update(nullptr);
    else changedInUpdate_ = true;
}

void TCollection::MoveItem(int from, int to) {
    if (to < 0) to = 0;
    if (to >= Count()) to = Count() - 1;
    auto item = std::move(items_[static_cast<size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
}

void TCollection::Update(TCollectionItem* item) {
    if (OnChange) OnChange(*this, item);
}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

} // namespace ax
