#pragma once
// A list of shell items that owns them.
#include "shell/Namespace.h"

#include <functional>
#include <memory>
#include <vector>

namespace ax {

enum class TListNotification { lnAdded, lnExtracted, lnDeleted };

class TNameSpaceList {
public:
    explicit TNameSpaceList(bool ownsObjects = true) : ownsObjects_(ownsObjects) {}
    ~TNameSpaceList() { Clear(); }
    TNameSpaceList(const TNameSpaceList&) = delete;
    TNameSpaceList& operator=(const TNameSpaceList&) = delete;

    int Add(TNamespace* item);
    TNamespace* Items(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Delete(int index);
    // Takes the item out without freeing it.
    TNamespace* Extract(int index);
    void Clear();
    bool OwnsObjects() const { return ownsObjects_; }

    // Called first on every change, before a removed item is freed.
    std::function<void(TNamespace* item, TListNotification action)> OnNotify;

protected:
    virtual void Notify(TNamespace* item, TListNotification action);

private:
    std::vector<TNamespace*> items_;
    bool ownsObjects_;
};

} // namespace ax
