#pragma once
// Data objects and drag and drop, shared by the namespace layer (whose data
// objects carry items) and the window manager (whose clipboard and drag
// loop move them). Objects are shared_ptr where the platform counts
// references; a drag borrows its data object and source for its duration.
#include "platform/ole/types.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

using CLIPFORMAT = WORD;

// A point in screen coordinates, as drop targets receive it.
struct POINTL {
    LONG x = 0;
    LONG y = 0;
    friend bool operator==(const POINTL&, const POINTL&) = default;
};

// Predefined clipboard formats; registered names get ids from 0xC000 up.
inline constexpr UINT CF_TEXT = 1, CF_BITMAP = 2, CF_OEMTEXT = 7, CF_DIB = 8, CF_UNICODETEXT = 13,
                      CF_HDROP = 15;

// The same name (case-insensitively) always gives the same id; 0 for an
// empty name or when the ids are used up.
UINT RegisterClipboardFormat(std::string_view name);
// The name a format was registered with; empty for predefined and unknown ids.
std::string GetClipboardFormatName(UINT format);

// Mouse and key state bits (messages and drop targets).
inline constexpr DWORD MK_LBUTTON = 0x0001, MK_RBUTTON = 0x0002, MK_SHIFT = 0x0004,
                       MK_CONTROL = 0x0008, MK_MBUTTON = 0x0010, MK_ALT = 0x0020;

inline constexpr DWORD DROPEFFECT_NONE = 0, DROPEFFECT_COPY = 1, DROPEFFECT_MOVE = 2,
                       DROPEFFECT_LINK = 4, DROPEFFECT_SCROLL = 0x80000000;

inline constexpr HRESULT DRAGDROP_S_DROP = 0x00040100;
inline constexpr HRESULT DRAGDROP_S_CANCEL = 0x00040101;
inline constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102;
inline constexpr HRESULT DRAGDROP_E_NOTREGISTERED = static_cast<HRESULT>(0x80040100);
inline constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = static_cast<HRESULT>(0x80040101);
inline constexpr HRESULT DRAGDROP_E_INVALIDHWND = static_cast<HRESULT>(0x80040102);
inline constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064);
inline constexpr HRESULT DV_E_TYMED = static_cast<HRESULT>(0x80040069);
inline constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = static_cast<HRESULT>(0x80040003);
inline constexpr HRESULT DATA_S_SAMEFORMATETC = 0x00040130;
inline constexpr HRESULT CLIPBRD_E_CANT_OPEN = static_cast<HRESULT>(0x800401D0);

inline constexpr DWORD TYMED_NULL = 0, TYMED_HGLOBAL = 1;
inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD DATADIR_GET = 1, DATADIR_SET = 2;

struct FORMATETC {
    CLIPFORMAT cfFormat = 0;
    DWORD dwAspect = DVASPECT_CONTENT;
    LONG lindex = -1;
    DWORD tymed = TYMED_HGLOBAL;
};

inline FORMATETC FormatOf(UINT format) {
    FORMATETC f;
    f.cfFormat = static_cast<CLIPFORMAT>(format);
    return f;
}

// A medium: the only kind here is a block of memory, held by value.
struct STGMEDIUM {
    DWORD tymed = TYMED_NULL;
    std::vector<uint8_t> hGlobal;
};

class IAdviseSink; // no data object here sends change advice

class IDataObject {
public:
    virtual ~IDataObject() = default;
    // A copy of the data in the asked format; DV_E_FORMATETC when not held.
    virtual HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) = 0;
    virtual HRESULT GetDataHere(const FORMATETC&, STGMEDIUM*) { return E_NOTIMPL; }
    // S_OK when GetData would succeed for the format.
    virtual HRESULT QueryGetData(const FORMATETC& format) = 0;
    virtual HRESULT GetCanonicalFormatEtc(const FORMATETC& in, FORMATETC* out) {
        if (!out) return E_INVALIDARG;
        *out = in;
        return DATA_S_SAMEFORMATETC;
    }
    // With release the object takes the medium's block, otherwise it copies it.
    virtual HRESULT SetData(const FORMATETC& format, STGMEDIUM* medium, bool release) = 0;
    // The formats offered for DATADIR_GET (or accepted for DATADIR_SET), in
    // the object's order of preference.
    virtual HRESULT EnumFormatEtc(DWORD direction, std::vector<FORMATETC>* formats) = 0;
    virtual HRESULT DAdvise(const FORMATETC&, DWORD, IAdviseSink*, DWORD*) {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    virtual HRESULT DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
    virtual HRESULT EnumDAdvise() { return OLE_E_ADVISENOTSUPPORTED; }
};

// An in-memory data object: SetData stores any format (first set, first
// offered; setting a format again replaces its data in place), GetData
// copies it out. Safe to use from several threads.
std::shared_ptr<IDataObject> CreateDataObject();

// Conveniences over GetData and SetData for a format id.
std::vector<uint8_t> GetDataBytes(IDataObject& data, UINT format, HRESULT* result = nullptr);
HRESULT SetDataBytes(IDataObject& data, UINT format, std::vector<uint8_t> bytes);

// CF_HDROP: a DROPFILES header (20 bytes: offset of the list, point, non-client
// flag, wide flag) and then the paths, each zero-terminated, closed by an
// empty one. Paths are written as their raw bytes (wide flag 0); a list
// with the wide flag set is read as UTF-16. Reading refuses anything whose
// offsets or strings leave the block.
std::vector<uint8_t> MakeFileList(std::span<const std::string> paths);
bool ReadFileList(std::span<const uint8_t> block, std::vector<std::string>& paths);

class IDropSource {
public:
    virtual ~IDropSource() = default;
    // S_OK to go on, DRAGDROP_S_DROP to drop, DRAGDROP_S_CANCEL to cancel.
    virtual HRESULT QueryContinueDrag(bool escapePressed, DWORD keyState) = 0;
    // DRAGDROP_S_USEDEFAULTCURSORS lets the drag loop pick the cursor.
    virtual HRESULT GiveFeedback(DWORD effect) = 0;
};

// A drop target is given the allowed effects in *effect and answers the
// one a drop would have there (DROPEFFECT_NONE: no drop).
class IDropTarget {
public:
    virtual ~IDropTarget() = default;
    virtual HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) = 0;
    virtual HRESULT DragOver(DWORD keyState, POINTL pt, DWORD* effect) = 0;
    virtual HRESULT DragLeave() = 0;
    virtual HRESULT Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect) = 0;
};

// The usual choice of a target from the modifier keys: Ctrl+Shift or Alt
// link, Ctrl copies, Shift moves, no modifier gives preferred. A modifier
// asking for an effect that is not allowed gives none; without a modifier
// an unallowed preferred effect falls back to copy, move, then link.
DWORD DropEffectFromKeyState(DWORD keyState, DWORD allowed, DWORD preferred);

} // namespace ax
