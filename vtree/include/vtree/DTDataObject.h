#pragma once
// The tree's data object for the clipboard and for drag and drop. It offers
// the formats the tree enumerates (GetNativeClipboardFormats) and renders
// them through the tree (RenderOLEData); formats set from outside with
// SetData are kept and offered after them. A clipboard object renders
// everything when it is made, so it stays valid after its tree is gone; a
// drag object renders on demand while its tree lives.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ole/ole.h"

namespace ax {

class TBaseDataTree;

class TDTDataObject : public IDataObject {
public:
    TDTDataObject(TBaseDataTree* owner, bool forClipboard);
    ~TDTDataObject() override;

    HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) override;
    HRESULT QueryGetData(const FORMATETC& format) override;
    HRESULT SetData(const FORMATETC& format, STGMEDIUM* medium, bool release) override;
    HRESULT EnumFormatEtc(DWORD direction, std::vector<FORMATETC>* formats) override;

    // The tree the data came from, while it exists.
    TBaseDataTree* Owner() const;
    bool ForClipboard() const { return forClipboard_; }

private:
    struct Stored {
        FORMATETC format;
        std::vector<uint8_t> bytes;
    };
    const Stored* FindStored(const std::vector<Stored>& list, UINT format) const;
    uint64_t ownerId_;
    bool forClipboard_;
    std::vector<FORMATETC> native_;
    mutable std::mutex mutex_;
    std::vector<Stored> rendered_; // clipboard objects: the native formats, rendered at once
    std::vector<Stored> stored_;   // formats set from outside
};

} // namespace ax
