// The in-memory data object and the file-list format.
#include "platform/ole/ole.h"
#include "rtl/text.h"

#include <cstring>
#include <mutex>
#include <utility>

namespace ax {
namespace {

class MemoryDataObject final : public IDataObject {
public:
    HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) override {
        if (!medium) return E_INVALIDARG;
        if (!(format.tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        std::lock_guard<std::mutex> g(mutex_);
        for (const auto& [id, bytes] : data_)
            if (id == format.cfFormat) {
                medium->tymed = TYMED_HGLOBAL;
                medium->hGlobal = bytes;
                return S_OK;
            }
        return DV_E_FORMATETC;
    }
    HRESULT QueryGetData(const FORMATETC& format) override {
        if (!(format.tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        std::lock_guard<std::mutex> g(mutex_);
        for (const auto& entry : data_)
            if (entry.first == format.cfFormat) return S_OK;
        return DV_E_FORMATETC;
    }
    HRESULT SetData(const FORMATETC& format, STGMEDIUM* medium, bool release) override {
        if (!medium || format.cfFormat == 0) return E_INVALIDARG;
        if (medium->tymed != TYMED_HGLOBAL) return DV_E_TYMED;
        std::vector<uint8_t> bytes = release ? std::move(medium->hGlobal) : medium->hGlobal;
        if (release) *medium = STGMEDIUM{};
        std::lock_guard<std::mutex> g(mutex_);
        for (auto& entry : data_)
            if (entry.first == format.cfFormat) {
                entry.second = std::move(bytes);
                return S_OK;
            }
        data_.emplace_back(format.cfFormat, std::move(bytes));
        return S_OK;
    }
    HRESULT EnumFormatEtc(DWORD direction, std::vector<FORMATETC>* formats) override {
        if (!formats) return E_INVALIDARG;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::lock_guard<std::mutex> g(mutex_);
        formats->clear();
        for (const auto& entry : data_)
            formats->push_back(FormatOf(entry.first));
        return S_OK;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<CLIPFORMAT, std::vector<uint8_t>>> data_;
};

void PutU32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

uint32_t GetU32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
           (uint32_t(b[at + 3]) << 24);
}

constexpr size_t kDropFilesSize = 20;

} // namespace

std::shared_ptr<IDataObject> CreateDataObject() {
    return std::make_shared<MemoryDataObject>();
}

std::vector<uint8_t> GetDataBytes(IDataObject& data, UINT format, HRESULT* result) {
    STGMEDIUM medium;
    const HRESULT hr = data.GetData(FormatOf(format), &medium);
    if (result) *result = hr;
    if (FAILED(hr)) return {};
    return std::move(medium.hGlobal);
}

HRESULT SetDataBytes(IDataObject& data, UINT format, std::vector<uint8_t> bytes) {
    STGMEDIUM medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = std::move(bytes);
    return data.SetData(FormatOf(format), &medium, true);
}

std::vector<uint8_t> MakeFileList(std::span<const std::string> paths) {
    std::vector<uint8_t> v;
    PutU32(v, kDropFilesSize); // offset of the list
    PutU32(v, 0);              // point x
    PutU32(v, 0);              // point y
    PutU32(v, 0);              // non-client
    PutU32(v, 0);              // wide
    for (const std::string& p : paths) {
        v.insert(v.end(), p.begin(), p.end());
        v.push_back(0);
    }
    v.push_back(0);
    return v;
}

bool ReadFileList(std::span<const uint8_t> block, std::vector<std::string>& paths) {
    paths.clear();
    if (block.size() < kDropFilesSize) return false;
    const uint32_t offset = GetU32(block, 0);
    const bool wide = GetU32(block, 16) != 0;
    if (offset < kDropFilesSize || offset > block.size()) return false;
    size_t at = offset;
    if (!wide) {
        for (;;) {
            if (at >= block.size()) return false; // no closing empty name
            const auto* start = block.data() + at;
            const auto* end = static_cast<const uint8_t*>(std::memchr(start, 0, block.size() - at));
            if (!end) return false;
            if (end == start) return true;
            paths.emplace_back(reinterpret_cast<const char*>(start), size_t(end - start));
            at += size_t(end - start) + 1;
        }
    }
    std::u16string name;
    for (;;) {
        if (at + 2 > block.size()) return false;
        const char16_t c = static_cast<char16_t>(block[at] | (block[at + 1] << 8));
        at += 2;
        if (c) {
            name.push_back(c);
            continue;
        }
        if (name.empty()) return true;
        paths.push_back(WideToUtf8(name));
        name.clear();
    }
}

} // namespace ax
