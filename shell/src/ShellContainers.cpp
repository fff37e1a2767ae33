#include "shell/ShellContainers.h"

#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace ax {

int TNameSpaceList::Add(TNamespace* item) {
    items_.push_back(item);
    Notify(item, TListNotification::lnAdded);
    return Count() - 1;
}

TNamespace* TNameSpaceList::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, index));
    return items_[size_t(index)];
}

void TNameSpaceList::Delete(int index) {
    TNamespace* item = Items(index);
    items_.erase(items_.begin() + index);
    Notify(item, TListNotification::lnDeleted);
}

TNamespace* TNameSpaceList::Extract(int index) {
    TNamespace* item = Items(index);
    items_.erase(items_.begin() + index);
    Notify(item, TListNotification::lnExtracted);
    return item;
}

void TNameSpaceList::Clear() {
    while (!items_.empty())
        Delete(Count() - 1);
}

void TNameSpaceList::Notify(TNamespace* item, TListNotification action) {
    if (OnNotify) OnNotify(item, action);
    // The owning list frees what it drops.
    if (action == TListNotification::lnDeleted && ownsObjects_)
        std::unique_ptr<TNamespace> drop(item);
}

} // namespace ax
