#pragma once
// The system image lists: one list of small (16 x 16) and one of large
// (32 x 32) icons, where one index names the same picture in both. They are
// the namespace's icon provider, so SHGetFileInfo's icon index of any item
// is an index into them.
//
// Pictures come from the freedesktop icon theme installed on the machine
// (TIconTheme): folders, drives, the computer, the trash, and files by the
// icon of their type in the shared MIME database (TMimeDatabase); where the
// theme has nothing, compiled-in pictures stand in. The first places are
// fixed (TSystemIconSlot) and match what the namespace answers before the
// lists exist. Making the lists reads no file: the fixed places hold the
// compiled-in pictures until a place is first asked for, which reads the
// theme's picture and puts it in its place; a file type's icon is read the
// first time a file of that type is asked about, and appended. So the
// thread that asks reads: for the explorer's panes the icon thread, while
// the GUI thread shows the placeholders (DefaultSystemImageIndex), which
// ask for nothing. Each version of a file is read once a session, at both
// sizes, within the budgets of an icon file (a file beyond them shows the
// compiled-in picture). Asking may come from any thread: a picture is read
// outside the lists' lock, and both lists change together under it.
//
// SysImages (TSysImages) are the class library's image lists bound to
// these: they share the handle and never free it.
#include "framework/graphics.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/gdi/uniqueimagelist.h"
#include "platform/shellns/shellapi.h"
#include "shell/IconTheme.h"
#include "shell/MimeDatabase.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace ax {

namespace icons {
class TIconFileCache;
}

enum TSysImageListSize : int { sisSmall = 0, sisLarge = 1, sisExtraLarge = 2 };
inline constexpr int SmallIconSize = 16;
inline constexpr int LargeIconSize = 32;

// The fixed places of the system image lists. The gaps hold the unknown
// file's picture.
enum TSystemIconSlot : int {
    siiUnknownFile = 0,
    siiExecutable = 1,
    siiFolder = 3,
    siiFolderOpen = 4,
    siiComputer = 5,
    siiDocuments = 6,
    siiDesktop = 7,
    siiDrive = 8,
    siiRemovableDrive = 9,
    siiNetworkDrive = 10,
    siiRecycleBin = 11,
    siiSystemFolder = 15,
    siiLink = 29,
    siiFirstFileType = 32, // file types' icons from here on
};

class TSystemImageLists final : public IShellIconProvider {
public:
    TSystemImageLists(std::unique_ptr<TIconTheme> theme, std::unique_ptr<TMimeDatabase> mime);
    ~TSystemImageLists() override;
    TSystemImageLists(const TSystemImageLists&) = delete;
    TSystemImageLists& operator=(const TSystemImageLists&) = delete;

    HIMAGELIST Handle(bool large) const { return large ? large_.Get() : small_.Get(); }
    // kind: 0 file, 1 folder, 2 virtual folder, 3 volume, 4 link (the
    // namespace's SHGetFileInfo asks so); the same index for both sizes.
    int IconIndex(int kind, const std::string& name, bool open, bool large) override;
    uint32_t ImageListHandle(bool large) override { return Handle(large).value; }
    // The index of a MIME type's icon; the unknown file's when the theme
    // has no icon for the type.
    int FileTypeIndex(const std::string& mimeType);
    // The theme file a place's picture came from, "" for a compiled-in one.
    std::string SourceOf(int index, bool large) const;
    const TMimeDatabase& MimeDatabase() const { return *mime_; }

private:
    // Both sizes of a picture: bitmaps and the theme files they came from.
    struct Pictures {
        std::string files[2];
        UniqueBitmap bitmaps[2];
    };
    // The first of names the theme has (no bitmap where none), read outside
    // the lock.
    Pictures Read(const std::vector<std::string>& names);
    void Append(int index, const Pictures& p);
    // The place's index for the namespace's question, nothing read.
    int PlaceOf(int kind, const std::string& name, bool open);
    // Puts the theme's picture in a fixed place, the first time it is asked
    // for (a later asker waits for the first).
    void ReadPlace(int index);

    std::unique_ptr<TIconTheme> theme_;
    std::unique_ptr<TMimeDatabase> mime_;
    std::unique_ptr<icons::TIconFileCache> fileCache_;
    std::once_flag placeRead_[siiFirstFileType];
    UniqueImageList small_;
    UniqueImageList large_;
    mutable std::mutex mutex_; // guards adding to the lists and the maps below
    std::map<std::string, int> types_;          // MIME type -> index
    std::map<std::string, int> files_;          // small and large file -> index
    std::map<int, std::string> sources_[2];     // index -> file, per size
};

// Called with the path of every icon file the lists read, on the thread
// that reads it (tests count the reads and see where they happen); an
// empty function stops it.
void SetIconFileReadObserver(std::function<void(const std::string& path)> observer);

// The process-wide lists, made on the first call (from the environment's
// theme and MIME database) and installed as the namespace's icon provider.
TSystemImageLists& SystemImageLists();

class TSysImages final : public TImageList {
public:
    // Bound to the system list of its size (extra large: the large list).
    TSysImages(TComponent* owner, TSysImageListSize size);
    AnsiString ClassName() const override { return "TSysImages"; }
    TSysImageListSize ImageSize() const { return size_; }

private:
    TSysImageListSize size_;
};

// The process-wide SysImages, made on first call.
TSysImages* SmallSysImages();
TSysImages* LargeSysImages();
TSysImages* ExtraLargeSysImages();
// The unit's shut-down: frees the SysImages and the system lists and puts
// the namespace's headless icons back. Nothing may ask for icons meanwhile
// (the icon thread is stopped first).
void SystemImageListsFinalize();

} // namespace ax
