// The tree's data object: answers GetData from the formats rendered when it
// was made (clipboard) or through its tree (drag), then from formats set
// from outside, and lists them in that order.
#include "vtree/DTDataObject.h"

#include <algorithm>

#include "vtree/BaseDataTree.h"

namespace ax {

TDTDataObject::TDTDataObject(TBaseDataTree* owner, bool forClipboard)
    : ownerId_(owner ? owner->TreeId() : 0), forClipboard_(forClipboard) {
    if (!owner) return;
    owner->GetNativeClipboardFormats(native_);
    if (!forClipboard_) return;
    // The clipboard may outlive the tree and its selection: render now.
    for (const FORMATETC& f : native_) {
        STGMEDIUM medium;
        if (SUCCEEDED(owner->RenderOLEData(f, medium, true))) rendered_.push_back({f, std::move(medium.hGlobal)});
    }
}

TDTDataObject::~TDTDataObject() = default;

TBaseDataTree* TDTDataObject::Owner() const { return ownerId_ ? TBaseDataTree::FindTree(ownerId_) : nullptr; }

const TDTDataObject::Stored* TDTDataObject::FindStored(const std::vector<Stored>& list, UINT format) const {
    for (const Stored& s : list)
        if (s.format.cfFormat == format) return &s;
    return nullptr;
}

HRESULT TDTDataObject::GetData(const FORMATETC& format, STGMEDIUM* medium) {
    if (!medium) return E_INVALIDARG;
    const bool native = std::any_of(native_.begin(), native_.end(),
                                    [&format](const FORMATETC& f) { return f.cfFormat == format.cfFormat; });
    if (native) {
        if (forClipboard_) {
            std::lock_guard<std::mutex> g(mutex_);
            if (const Stored* s = FindStored(rendered_, format.cfFormat)) {
                medium->tymed = TYMED_HGLOBAL;
                medium->hGlobal = s->bytes;
                return S_OK;
            }
            return DV_E_FORMATETC;
        }
        if (TBaseDataTree* tree = Owner()) return tree->RenderOLEData(format, *medium, false);
        return DV_E_FORMATETC;
    }
    std::lock_guard<std::mutex> g(mutex_);
    if (const Stored* s = FindStored(stored_, format.cfFormat)) {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = s->bytes;
        return S_OK;
    }
    return DV_E_FORMATETC;
}

HRESULT TDTDataObject::QueryGetData(const FORMATETC& format) {
    for (const FORMATETC& f : native_)
        if (f.cfFormat == format.cfFormat) {
            if (forClipboard_) {
                std::lock_guard<std::mutex> g(mutex_);
                return FindStored(rendered_, format.cfFormat) ? S_OK : DV_E_FORMATETC;
            }
            return Owner() ? S_OK : DV_E_FORMATETC;
        }
    std::lock_guard<std::mutex> g(mutex_);
    return FindStored(stored_, format.cfFormat) ? S_OK : DV_E_FORMATETC;
}

HRESULT TDTDataObject::SetData(const FORMATETC& format, STGMEDIUM* medium, bool release) {
    if (!medium || medium->tymed != TYMED_HGLOBAL) return DV_E_TYMED;
    std::vector<uint8_t> bytes = release ? std::move(medium->hGlobal) : medium->hGlobal;
    if (release) medium->tymed = TYMED_NULL;
    std::lock_guard<std::mutex> g(mutex_);
    for (Stored& s : stored_)
        if (s.format.cfFormat == format.cfFormat) {
            s.bytes = std::move(bytes);
            return S_OK;
        }
    stored_.push_back({format, std::move(bytes)});
    return S_OK;
}

HRESULT TDTDataObject::EnumFormatEtc(DWORD direction, std::vector<FORMATETC>* formats) {
    if (!formats) return E_INVALIDARG;
    formats->clear();
    if (direction != DATADIR_GET) return E_NOTIMPL;
    *formats = native_;
    std::lock_guard<std::mutex> g(mutex_);
    for (const Stored& s : stored_)
        if (!std::any_of(formats->begin(), formats->end(),
                         [&s](const FORMATETC& f) { return f.cfFormat == s.format.cfFormat; }))
            formats->push_back(s.format);
    return S_OK;
}

} // namespace ax
