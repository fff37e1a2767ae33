// The owning list of shell items, with a callback told of every change.
#include "shell/ShellContainers.h"

#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace ax {

int TNameSpaceList::Add(std::unique_ptr<TNamespace> item) {
    TNamespace* added = item.get();
    items_.push_back(std::move(item));
    Notify(added, TListNotification::lnAdded);
    return Count() - 1;
}

TNamespace* TNameSpaceList::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, index));
    return items_[size_t(index)].get();
}

std::unique_ptr<TNamespace> TNameSpaceList::Take(int index) {
    Items(index); // checks the index
    std::unique_ptr<TNamespace> item = std::move(items_[size_t(index)]);
    items_.erase(items_.begin() + index);
    return item;
}

void TNameSpaceList::Delete(int index) {
    const std::unique_ptr<TNamespace> item = Take(index);
    Notify(item.get(), TListNotification::lnDeleted);
}

std::unique_ptr<TNamespace> TNameSpaceList::Extract(int index) {
    std::unique_ptr<TNamespace> item = Take(index);
    Notify(item.get(), TListNotification::lnExtracted);
    return item;
}

void TNameSpaceList::Clear() {
    while (!items_.empty())
        Delete(Count() - 1);
}

void TNameSpaceList::Notify(TNamespace* item, TListNotification action) {
    if (OnNotify) OnNotify(item, action);
}

} // namespace ax
