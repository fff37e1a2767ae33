// The system image lists and SysImages.
#include "shell/SystemImageLists.h"

#include "IconFileCache.h"
#include "IconPictures.h"
#include "platform/gdi/image.h"
#include "platform/shellns/pidl.h"
#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"

namespace ax {
namespace {

using icons::Picture;

struct SlotSpec {
    int index;
    std::vector<std::string> names; // icon names, best first
    Picture picture;                // when the theme has none of them
};

const std::vector<SlotSpec>& Slots() {
    static const std::vector<SlotSpec> slots = {
        {siiUnknownFile, {"application-x-generic", "text-x-generic", "unknown"}, Picture::File},
        {siiExecutable, {"application-x-executable"}, Picture::Executable},
        {siiFolder, {"folder"}, Picture::Folder},
        {siiFolderOpen, {"folder-open", "folder"}, Picture::FolderOpen},
        {siiComputer, {"computer"}, Picture::Computer},
        {siiDocuments, {"folder-documents", "folder"}, Picture::Documents},
        {siiDesktop, {"user-desktop"}, Picture::Desktop},
        {siiDrive, {"drive-harddisk"}, Picture::Drive},
        {siiRemovableDrive, {"drive-removable-media", "drive-harddisk"}, Picture::RemovableDrive},
        {siiNetworkDrive, {"folder-remote", "network-server", "drive-harddisk"}, Picture::NetworkDrive},
        {siiRecycleBin, {"user-trash"}, Picture::RecycleBin},
        {siiSystemFolder, {"folder"}, Picture::SystemFolder},
        {siiLink, {"inode-symlink", "emblem-symbolic-link"}, Picture::Link},
    };
    return slots;
}

constexpr int kSizes[2] = {SmallIconSize, LargeIconSize};

// The fixed place's description; null for a gap.
const SlotSpec* SlotAt(int index) {
    for (const SlotSpec& slot : Slots())
        if (slot.index == index) return &slot;
    return nullptr;
}

struct Unit {
    std::recursive_mutex mutex;
    std::unique_ptr<TSystemImageLists> lists;
    std::unique_ptr<TSysImages> images[3];
};
Unit& TheUnit() {
    static Unit unit;
    return unit;
}

TSysImages* SysImagesOf(TSysImageListSize size) {
    Unit& u = TheUnit();
    std::lock_guard lock(u.mutex);
    auto& images = u.images[size];
    if (!images) images = std::make_unique<TSysImages>(nullptr, size);
    return images.get();
}

} // namespace

TSystemImageLists::TSystemImageLists(std::unique_ptr<TIconTheme> theme,
                                     std::unique_ptr<TMimeDatabase> mime)
    : theme_(std::move(theme)), mime_(std::move(mime)),
      fileCache_(std::make_unique<icons::TIconFileCache>(std::vector<int>(std::begin(kSizes), std::end(kSizes)))) {
    small_.Reset(ImageList_Create(SmallIconSize, SmallIconSize, ILC_COLOR32 | ILC_MASK, 64, 32));
    large_.Reset(ImageList_Create(LargeIconSize, LargeIconSize, ILC_COLOR32 | ILC_MASK, 64, 32));
    // Compiled-in pictures only: no file is read before a place is asked
    // for. The gaps between the fixed places hold the unknown file's.
    for (int index = 0; index < siiFirstFileType; ++index) {
        const SlotSpec* slot = SlotAt(index);
        Pictures p;
        for (int s = 0; s < 2; ++s)
            p.bitmaps[s].Reset(icons::DrawPicture(slot ? slot->picture : Picture::File, kSizes[s]));
        Append(index, p);
    }
}

TSystemImageLists::~TSystemImageLists() = default;

TSystemImageLists::Pictures TSystemImageLists::Read(const std::vector<std::string>& names) {
    // Each file is read once, at both sizes: a file found for one size
    // serves the other too.
    Pictures p;
    const std::vector<icons::IconPixels>* read[2] = {};
    for (int s = 0; s < 2; ++s) {
        p.files[s] = theme_->FindIcon(names, kSizes[s]);
        if (!p.files[s].empty()) read[s] = &fileCache_->Pictures(p.files[s]);
        if (!read[s] || read[s]->empty()) p.files[s].clear();
    }
    for (int s = 0; s < 2; ++s) {
        const int from = !p.files[s].empty() ? s : 1 - s;
        if (p.files[from].empty()) continue;
        p.files[s] = p.files[from];
        p.bitmaps[s].Reset(icons::BitmapOf((*read[from])[size_t(s)]));
    }
    return p;
}

void TSystemImageLists::ReadPlace(int index) {
    const SlotSpec* slot = SlotAt(index);
    if (!slot) return;
    std::call_once(placeRead_[index], [&] {
        const Pictures p = Read(slot->names);
        std::lock_guard lock(mutex_);
        const HIMAGELIST lists[2] = {small_.Get(), large_.Get()};
        for (int s = 0; s < 2; ++s) {
            if (!p.bitmaps[s]) continue;
            // The unknown file's picture fills the gaps too.
            for (int place = 0; place < siiFirstFileType; ++place) {
                if (place != index && (index != siiUnknownFile || SlotAt(place))) continue;
                ImageList_Replace(lists[s], place, p.bitmaps[s].Get(), HBITMAP{});
                sources_[s][place] = p.files[s];
            }
        }
    });
}

void TSystemImageLists::Append(int index, const Pictures& p) {
    const HIMAGELIST lists[2] = {small_.Get(), large_.Get()};
    for (int s = 0; s < 2; ++s) {
        const int added = ImageList_Add(lists[s], p.bitmaps[s].Get(), HBITMAP{});
        Assert(added == index, "System image list out of step");
        sources_[s][index] = p.files[s];
    }
}

int TSystemImageLists::FileTypeIndex(const std::string& mimeType) {
    {
        std::lock_guard lock(mutex_);
        auto it = types_.find(mimeType);
        if (it != types_.end()) return it->second;
    }
    // Reading and scaling may take a while: other threads go on meanwhile.
    const Pictures p = Read(mime_->IconNames(mimeType));
    std::lock_guard lock(mutex_);
    auto known = types_.find(mimeType);
    if (known != types_.end()) {
        return known->second;
    }
    if (!p.bitmaps[0] || !p.bitmaps[1]) {
        return types_[mimeType] = siiUnknownFile;
    }
    // Types that share an icon share its place.
    const std::string key = p.files[0] + '\n' + p.files[1];
    auto same = files_.find(key);
    if (same != files_.end()) {
        return types_[mimeType] = same->second;
    }
    const int index = ImageList_Add(small_.Get(), p.bitmaps[0].Get(), HBITMAP{});
    const int largeIndex = ImageList_Add(large_.Get(), p.bitmaps[1].Get(), HBITMAP{});
    Assert(index == largeIndex, "System image list out of step");
    if (index < 0) return types_[mimeType] = siiUnknownFile;
    sources_[0][index] = p.files[0];
    sources_[1][index] = p.files[1];
    files_[key] = index;
    return types_[mimeType] = index;
}

int TSystemImageLists::IconIndex(int kind, const std::string& name, bool open, bool) {
    const int index = PlaceOf(kind, name, open);
    if (index >= 0 && index < siiFirstFileType) ReadPlace(index);
    return index;
}

int TSystemImageLists::PlaceOf(int kind, const std::string& name, bool open) {
    switch (kind) {
    case 1:
        return open ? siiFolderOpen : siiFolder;
    case 2:
        if (name.empty()) return siiDesktop;
        if (name == kVirtualComputer) return siiComputer;
        if (name == kVirtualDocuments) return siiDocuments;
        if (name == kVirtualRecycleBin) return siiRecycleBin;
        return siiSystemFolder;
    case 3: {
        const Volume volume = VolumeOfPath(name, true);
        return volume.remote ? siiNetworkDrive : volume.removable ? siiRemovableDrive : siiDrive;
    }
    case 4:
        return siiLink;
    default: {
        const std::string type = mime_->TypeOfName(name);
        return type.empty() ? siiUnknownFile : FileTypeIndex(type);
    }
    }
}

std::string TSystemImageLists::SourceOf(int index, bool large) const {
    std::lock_guard lock(mutex_);
    const auto& sources = sources_[large ? 1 : 0];
    auto it = sources.find(index);
    return it == sources.end() ? std::string() : it->second;
}

TSystemImageLists& SystemImageLists() {
    Unit& u = TheUnit();
    std::lock_guard lock(u.mutex);
    if (!u.lists) {
        u.lists = std::make_unique<TSystemImageLists>(std::make_unique<TIconTheme>(),
                                                      std::make_unique<TMimeDatabase>());
        SetShellIconProvider(u.lists.get());
    }
    return *u.lists;
}

TSysImages::TSysImages(TComponent* owner, TSysImageListSize size) : TImageList(owner), size_(size) {
    SetShareImages(true);
    SetDrawingStyle(dsTransparent);
    // No extra-large list here: it is the large one.
    SetHandle(SystemImageLists().Handle(size != sisSmall));
}

TSysImages* SmallSysImages() {
    return SysImagesOf(sisSmall);
}
TSysImages* LargeSysImages() {
    return SysImagesOf(sisLarge);
}
TSysImages* ExtraLargeSysImages() {
    return SysImagesOf(sisExtraLarge);
}

void SystemImageListsFinalize() {
    Unit& u = TheUnit();
    std::lock_guard lock(u.mutex);
    for (auto& images : u.images)
        images.reset();
    if (u.lists) SetShellIconProvider(nullptr);
    u.lists.reset();
}

} // namespace ax
