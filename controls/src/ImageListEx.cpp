// The image list with system icons.
#include "controls/ImageListEx.h"

#include "platform/gdi/image.h"
#include "platform/shellns/shellapi.h"

namespace ax {

namespace {

// The system index of a folder's icon: the name is never looked up, only
// the folder attribute counts.
int FolderSystemIndex(bool open) {
    SHFILEINFO info;
    const uint32_t flags = SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON |
                          (open ? uint32_t(SHGFI_OPENICON) : 0u);
    if (!SHGetFileInfoA("tutu", FILE_ATTRIBUTE_DIRECTORY, &info, flags)) return -1;
    return info.iIcon;
}

} // namespace

int SystemImageIndex(const AnsiString& fileName) {
    SHFILEINFO info;
    if (!SHGetFileInfoA(fileName, FILE_ATTRIBUTE_NORMAL, &info,
                        SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON))
        return -1;
    return info.iIcon;
}

TImageListEx::TImageListEx(TComponent* owner) : TImageList(owner) {}

void TImageListEx::Loaded() {
    TImageList::Loaded();
    designCount_ = Count();
}

TImageList* TImageListEx::SystemList() {
    if (systemListBound_) return systemList_;
    // Asked again until the system lists exist: a list asked before them
    // would otherwise never show a system icon.
    SHFILEINFO info;
    const uintptr_t list = SHGetFileInfoA(
        "", 0, &info, SHGFI_SYSICONINDEX | (Width() == 16 ? uint32_t(SHGFI_SMALLICON) : uint32_t(SHGFI_LARGEICON)));
    if (!list) return nullptr;
    if (!systemList_) {
        systemList_ = TComponent::Create<TImageList>(this);
        systemList_->SetSize(Width(), Height());
        // Shared, never freed here; and never resized, which would empty
        // the system's list.
        systemList_->SetShareImages(true);
    }
    systemList_->SetHandle(HIMAGELIST{{uint32_t(list)}});
    systemListBound_ = true;
    return systemList_;
}

int TImageListEx::MapSystemIndex(int systemIndex) {
    if (systemIndex < 0) return -1;
    TImageList* system = SystemList();
    if (!system) return -1;
    for (const auto& [copiedSystem, here] : copied_)
        if (copiedSystem == systemIndex) return here;
    TIcon icon;
    icon.SetHandle(ImageList_GetIcon(system->Handle(), systemIndex, ILD_NORMAL));
    const int index = AddIcon(&icon);
    // The index the image got is kept: images added here meanwhile do not
    // shift the system icons.
    if (index >= 0) copied_.emplace_back(systemIndex, index);
    return index;
}

// Asked every time, as the file's: the system lists read a place's picture
// when it is first asked for, and lists made again start over.
int TImageListEx::FolderIndex() { return MapSystemIndex(FolderSystemIndex(false)); }

int TImageListEx::OpenFolderIndex() { return MapSystemIndex(FolderSystemIndex(true)); }

int TImageListEx::FileIndex(const AnsiString& fileName) { return MapSystemIndex(SystemImageIndex(fileName)); }

} // namespace ax
