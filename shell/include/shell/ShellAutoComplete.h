#pragma once
// The shell items that can complete a typed path: the items of the current
// folder, the desktop, the favourites and Computer (as Contents says), with
// their parsing names as 8-bit and wide strings. The lists are built again
// when first asked for after a change that makes them stale.
#include "framework/classes.h"
#include "shell/ShellContainers.h"
#include "shell/Namespace.h"
#include "shell/WideStrings.h"

#include <functional>
#include <memory>
#include <vector>

namespace ax {

enum TAutoCompleteContent : unsigned {
    accCurrentDir = 0x001,
    accMyComputer = 0x002,
    accDesktop = 0x004,
    accFavorites = 0x008,
    accFileSysOnly = 0x010,  // items outside the file system are left out
    accFileSysDirs = 0x020,  // folders are listed
    accFileSysFiles = 0x040, // other items are listed
    accHidden = 0x080,
    accRecursive = 0x100, // folders are listed with everything below them
    accSortList = 0x200,  // the string lists are sorted
};
using TAutoCompleteContents = unsigned;
inline constexpr TAutoCompleteContents DefaultAutoCompleteContents =
    accCurrentDir | accMyComputer | accFileSysDirs | accFileSysFiles;

// Asked for every item before it is kept: Allow (true at first) false drops
// it, Terminate true ends the listing after it.
using TAutoCompleteAddItemEvent = std::function<void(TObject* Sender, TNamespace* AutoCompleteItem,
                                                     bool& Allow, bool& Terminate)>;

class TCustomShellAutoComplete : public TComponent {
public:
    explicit TCustomShellAutoComplete(TComponent* owner);
    ~TCustomShellAutoComplete() override;
    AnsiString ClassName() const override { return "TCustomShellAutoComplete"; }
    // "CurrentDir" is stored as wide text and read in either form.
    void DefineProperties(TFiler& filer) override;

    TAutoCompleteContents Contents() const { return contents_; }
    // A change makes the lists stale.
    void SetContents(TAutoCompleteContents value);
    const WideString& CurrentDir() const { return currentDir_; }
    // Any text is kept; a different folder that exists makes the lists stale.
    void SetCurrentDir(const WideString& value);

    // The lists, built again first when stale. The items stay in the order
    // they were listed in; the string lists hold their parsing names (sorted
    // with accSortList).
    TNameSpaceList& Namespaces();
    TStringList& Strings();
    TWideStringList& WideStrings();

    // Stale lists are built again when next asked for.
    bool Dirty() const { return dirty_; }
    void SetDirty(bool value) { dirty_ = value; }
    // Builds the lists now.
    void Refresh();

    TAutoCompleteAddItemEvent OnAutoCompleteAddItem;

private:
    struct Frame;
    void Clear();
    void RefreshIfDirty();
    // Lists one root folder (and with accRecursive everything below it).
    void ListTree(TNamespace* root, bool& terminate);
    std::vector<std::unique_ptr<TNamespace>> ListFolder(TNamespace* folder);
    bool Skipped(TNamespace* item);
    // Offers an item to the event; kept in the list, held as the parent of
    // items kept below it, or freed.
    void Offer(std::unique_ptr<TNamespace> item, bool parentOfOthers, bool& terminate);

    TAutoCompleteContents contents_ = DefaultAutoCompleteContents;
    WideString currentDir_;
    bool dirty_ = true;
    TNameSpaceList namespaces_;
    TStringList strings_;
    TWideStringList wideStrings_;
    // The listed folders that are not in the list themselves; the items
    // below them refer to them.
    std::vector<std::unique_ptr<TNamespace>> parents_;
};

class TShellAutoComplete : public TCustomShellAutoComplete {
public:
    using TCustomShellAutoComplete::TCustomShellAutoComplete;
    AnsiString ClassName() const override { return "TShellAutoComplete"; }
    void DefinePublished(TFiler& filer) override;
};

} // namespace ax
