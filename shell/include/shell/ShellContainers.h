#pragma once
// A list of shell items that owns them.
#include "shell/Namespace.h"

#include <functional>
#include <memory>
#include <vector>

namespace ax {

enum class TListNotification { lnAdded, lnExtracted, lnDeleted };

// Owns its items: one that leaves the list is freed, unless Extract hands
// it to the caller.
class TNameSpaceList {
public:
    TNameSpaceList() = default;
    ~TNameSpaceList() { Clear(); }
    TNameSpaceList(const TNameSpaceList&) = delete;
    TNameSpaceList& operator=(const TNameSpaceList&) = delete;

    int Add(std::unique_ptr<TNamespace> item);
    TNamespace* Items(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Delete(int index);
    // Takes the item out; the caller owns it now.
    std::unique_ptr<TNamespace> Extract(int index);
    void Clear();

    // Called first on every change, before a removed item is freed.
    std::function<void(TNamespace* item, TListNotification action)> OnNotify;

protected:
    virtual void Notify(TNamespace* item, TListNotification action);

private:
    std::unique_ptr<TNamespace> Take(int index);

    std::vector<std::unique_ptr<TNamespace>> items_;
};

} // namespace ax
