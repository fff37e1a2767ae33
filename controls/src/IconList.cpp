// The icon list: owned icons with change notification, and its binary
// "Icons" property; a stored list is read whole before it replaces the
// list, and refused when a count or size runs past its data.
#include "controls/IconList.h"

#include "framework/streaming.h"
#include "platform/gdi/image.h"
#include "platform/resource.h"

namespace ax {

namespace {
// A list in a description holds a few small icons; anything far beyond is
// damage, not data.
constexpr uint32_t kMaxIcons = 4096;
} // namespace

TIconList::~TIconList() {
    for (auto& icon : icons_)
        if (icon) icon->OnChange = nullptr;
}

void TIconList::CheckIndex(int index, bool allowEnd) const {
    if (index < 0 || index > Count() || (index == Count() && !allowEnd))
        throw EListError(Format(SListIndexError, index));
}

void TIconList::Hook(TIcon* icon) {
    if (icon) icon->OnChange = [this](TObject*) { Changed(); };
}

void TIconList::Changed() {
    if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TIconList::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

TIcon* TIconList::Icons(int index) const {
    CheckIndex(index, false);
    return icons_[size_t(index)].get();
}

void TIconList::SetIcons(int index, const TIcon* icon) {
    CheckIndex(index, true);
    if (index == Count()) icons_.emplace_back();
    auto& entry = icons_[size_t(index)];
    if (!entry) {
        entry = std::make_unique<TIcon>();
        Hook(entry.get());
    }
    BeginUpdate();
    if (icon) {
        entry->Assign(icon);
    } else {
        entry->OnChange = nullptr;
        entry = std::make_unique<TIcon>();
        Hook(entry.get());
    }
    Changed();
    EndUpdate();
}

int TIconList::Add(const TIcon* icon) {
    Insert(Count(), icon);
    return Count() - 1;
}

void TIconList::Insert(int index, const TIcon* icon) {
    CheckIndex(index, true);
    auto made = std::make_unique<TIcon>();
    if (icon) made->Assign(icon);
    Hook(made.get());
    icons_.insert(icons_.begin() + index, std::move(made));
    Changed();
}

int TIconList::AddResource(std::uintptr_t instance, const AnsiString& resName) {
    InsertResource(Count(), instance, resName);
    return Count() - 1;
}

void TIconList::InsertResource(int index, std::uintptr_t instance, const AnsiString& resName) {
    auto data = findResource(instance, "ICON", resName);
    if (!data) throw EReadError("Resource " + resName + " not found");
    TMemoryStream stream(std::vector<uint8_t>(data->begin(), data->end()));
    TIcon icon;
    icon.LoadFromStream(stream);
    Insert(index, &icon);
}

void TIconList::Delete(int index) {
    CheckIndex(index, false);
    if (auto& icon = icons_[size_t(index)]) icon->OnChange = nullptr;
    icons_.erase(icons_.begin() + index);
    Changed();
}

void TIconList::Exchange(int index1, int index2) {
    CheckIndex(index1, false);
    CheckIndex(index2, false);
    std::swap(icons_[size_t(index1)], icons_[size_t(index2)]);
    Changed();
}

void TIconList::Move(int from, int to) {
    CheckIndex(from, false);
    CheckIndex(to, false);
    auto icon = std::move(icons_[size_t(from)]);
    icons_.erase(icons_.begin() + from);
    icons_.insert(icons_.begin() + to, std::move(icon));
    Changed();
}

int TIconList::IndexOf(const TIcon* icon) const {
    for (int i = 0; i < Count(); ++i)
        if (icons_[size_t(i)].get() == icon) return i;
    return -1;
}

void TIconList::Clear() {
    BeginUpdate();
    while (Count() > 0) Delete(Count() - 1);
    EndUpdate();
}

void TIconList::Assign(const TPersistent* source) {
    if (!source) {
        Clear();
        return;
    }
    if (auto* list = dynamic_cast<const TIconList*>(source)) {
        if (list == this) return;
        BeginUpdate();
        Clear();
        for (int i = 0; i < list->Count(); ++i) Add(list->icons_[size_t(i)].get());
        EndUpdate();
        return;
    }
    if (auto* icon = dynamic_cast<const TIcon*>(source)) {
        BeginUpdate();
        Clear();
        Add(icon);
        EndUpdate();
        return;
    }
    TPersistent::Assign(source);
}

void TIconList::DefineProperties(TFiler& filer) {
    TPersistent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Icons", [this](TStream& s) { LoadFromStream(s); }, [this](TStream& s) { SaveToStream(s); },
        Count() > 0);
}

void TIconList::LoadFromStream(TStream& stream) {
    const uint32_t count = stream.ReadValue<uint32_t>();
    if (count > kMaxIcons || int64_t(count) * 4 > stream.Remaining()) throw EReadError(SReadError);
    std::vector<std::unique_ptr<TIcon>> read;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t size = stream.ReadValue<uint32_t>();
        if (size > stream.Remaining()) throw EReadError(SReadError);
        if (size == 0) {
            read.emplace_back();
            continue;
        }
        std::vector<uint8_t> bytes(size);
        stream.ReadBuffer(bytes.data(), size);
        TMemoryStream data(std::move(bytes));
        auto icon = std::make_unique<TIcon>();
        try {
            icon->LoadFromStream(data);
        } catch (const Exception&) {
            throw EReadError(SReadError);
        }
        read.push_back(std::move(icon));
    }
    BeginUpdate();
    Clear();
    icons_ = std::move(read);
    for (auto& icon : icons_) Hook(icon.get());
    Changed();
    EndUpdate();
}

void TIconList::SaveToStream(TStream& stream) const {
    stream.WriteValue<uint32_t>(uint32_t(Count()));
    for (const auto& icon : icons_) {
        TMemoryStream data;
        if (icon && !icon->Empty()) icon->SaveToStream(data);
        stream.WriteValue<uint32_t>(uint32_t(data.Size()));
        if (data.Size() > 0) stream.WriteBuffer(data.Memory(), data.Size());
    }
}

} // namespace ax
