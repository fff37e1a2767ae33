#include "shell/NodeItem.h"

#include <cstring>
#include <utility>

namespace ax {

TNodeItem::TNodeItem(TNodeItem&& source) noexcept {
    std::memcpy(bytes_, source.bytes_, kInlineSize);
    source.SetNone();
}

TNodeItem& TNodeItem::operator=(TNodeItem&& source) noexcept {
    if (this != &source) {
        Reset();
        std::memcpy(bytes_, source.bytes_, kInlineSize);
        source.SetNone();
    }
    return *this;
}

void TNodeItem::SetNone() {
    bytes_[0] = bytes_[1] = 0;
    bytes_[2] = kNone;
}

void TNodeItem::Set(const void* bytes, size_t size) {
    // Made before the old bytes go: bytes may be ours.
    if (size + 2 <= kInlineSize) {
        uint8_t placed[kInlineSize] = {};
        // The empty PIDL may come as no bytes at all.
        if (size != 0) std::memcpy(placed, bytes, size);
        Reset();
        // Zero past the bytes: the terminator, and for the empty PIDL the
        // form byte that says it is held in place.
        std::memcpy(bytes_, placed, kInlineSize);
        return;
    }
    auto* elsewhere = new uint8_t[size + 2];
    std::memcpy(elsewhere, bytes, size);
    elsewhere[size] = elsewhere[size + 1] = 0;
    Reset();
    bytes_[0] = bytes_[1] = 0;
    bytes_[2] = kElsewhere;
    std::memcpy(bytes_ + kAddressAt, &elsewhere, sizeof elsewhere);
}

void TNodeItem::Reset() {
    if (Form() == kElsewhere) delete[] Elsewhere();
    SetNone();
}

} // namespace ax
