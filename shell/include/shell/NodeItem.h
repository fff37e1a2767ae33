#pragma once
// The PIDL bytes a node storage record keeps of its item: one item and a
// terminator below a parent, a whole PIDL in a top record. A short one (a
// name of up to 7 bytes: an item of 10 bytes and its terminator) is held
// in place, so that the record of a short name is a single block; a longer
// one in a block of its own.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ax {

class alignas(4) TNodeItem {
public:
    // Bytes held in place, the terminator included.
    static constexpr size_t kInlineSize = 12;

    TNodeItem() { SetNone(); }
    ~TNodeItem() { Reset(); }
    TNodeItem(const TNodeItem&) = delete;
    TNodeItem& operator=(const TNodeItem&) = delete;
    // The source is left without bytes.
    TNodeItem(TNodeItem&& source) noexcept;
    TNodeItem& operator=(TNodeItem&& source) noexcept;

    // Keeps a copy of size bytes followed by a 2-byte terminator.
    void Set(const void* bytes, size_t size);
    void Reset();
    bool Held() const { return Bytes() != nullptr; }
    // The bytes with their terminator; nil when none are held. Writable as
    // the record's PIDL is to its users.
    uint8_t* Bytes() const {
        const uint8_t form = Form();
        if (form == kPlaced) return const_cast<uint8_t*>(bytes_);
        return form == kElsewhere ? Elsewhere() : nullptr;
    }

private:
    // An item held in place begins with its nonzero size word. A zero word
    // is the empty PIDL, held in place, unless the byte after it says
    // otherwise: the bytes live elsewhere (their address follows), or there
    // are none.
    enum : uint8_t { kPlaced = 0, kElsewhere = 1, kNone = 2 };
    // In a record the item starts 4 bytes past an 8-byte boundary, so the
    // address lies aligned, where leak checkers look for pointers.
    static constexpr size_t kAddressAt = 4;
    static_assert(kAddressAt + sizeof(uint8_t*) <= kInlineSize);

    // Inline: asked for on every comparison of a folder's records.
    uint8_t Form() const {
        return bytes_[0] != 0 || bytes_[1] != 0 ? uint8_t(kPlaced) : bytes_[2];
    }
    void SetNone();
    uint8_t* Elsewhere() const {
        uint8_t* address;
        std::memcpy(&address, bytes_ + kAddressAt, sizeof address);
        return address;
    }

    uint8_t bytes_[kInlineSize];
};

} // namespace ax
