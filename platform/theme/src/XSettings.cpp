// The XSETTINGS property: a byte-order byte, 3 bytes of padding, a serial
// and the number of settings (32 bits each); then per setting a type byte
// (0 integer, 1 string, 2 colour), a padding byte, the name's length (16
// bits), the name padded to 4 bytes, the serial of its last change (32
// bits) and the value: 32 bits; a 32-bit length and the text padded to 4;
// or four 16-bit channels.
#include "XSettings.h"

namespace ax {
namespace {

class Reader {
public:
    Reader(std::span<const std::uint8_t> blob, bool bigEndian) : blob_(blob), big_(bigEndian) {}
    bool Skip(std::size_t n) {
        if (n > blob_.size() - at_) return false;
        at_ += n;
        return true;
    }
    bool Card(int bytes, std::uint32_t& out) {
        if (std::size_t(bytes) > blob_.size() - at_) return false;
        out = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t b = blob_[at_ + (big_ ? i : bytes - 1 - i)];
            out = (out << 8) | b;
        }
        at_ += bytes;
        return true;
    }
    bool Text(std::size_t length, std::string_view& out) {
        if (length > blob_.size() - at_) return false;
        out = {reinterpret_cast<const char*>(blob_.data() + at_), length};
        return Skip(Padded(length));
    }

private:
    static std::size_t Padded(std::size_t n) { return (n + 3) & ~std::size_t(3); }
    std::span<const std::uint8_t> blob_;
    bool big_;
    std::size_t at_ = 0;
};

} // namespace

std::optional<std::string> XSettingsString(std::span<const std::uint8_t> blob, std::string_view name) {
    if (blob.empty() || blob[0] > 1) return std::nullopt; // LSBFirst 0, MSBFirst 1
    Reader r(blob, blob[0] == 1);
    std::uint32_t serial = 0, count = 0;
    if (!r.Skip(4) || !r.Card(4, serial) || !r.Card(4, count)) return std::nullopt;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t type = 0, nameLength = 0, lastChange = 0;
        std::string_view settingName;
        if (!r.Card(1, type) || !r.Skip(1) || !r.Card(2, nameLength) || !r.Text(nameLength, settingName) ||
            !r.Card(4, lastChange))
            return std::nullopt;
        if (type == 0) {
            if (!r.Skip(4)) return std::nullopt;
        } else if (type == 1) {
            std::uint32_t length = 0;
            std::string_view value;
            if (!r.Card(4, length) || !r.Text(length, value)) return std::nullopt;
            if (settingName == name) return std::string(value);
        } else if (type == 2) {
            if (!r.Skip(8)) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace ax
