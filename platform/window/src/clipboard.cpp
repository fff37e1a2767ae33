// The clipboard: formats by number, registered names from 0xC000 up, text
// in both widths, and text shared with other programs through the display.
#include "driver.h"
#include "rtl/text.h"
#include "wm.h"

namespace ax {

using namespace wm;

namespace {

struct Clipboard {
    std::mutex mutex;
    DWORD openThread = 0;
    HWND openOwner = nullptr;
    HWND owner = nullptr;
    bool changed = false;
    std::map<UINT, std::vector<uint8_t>> data;
    // A data object set with OleSetClipboard and the formats it offered;
    // its formats are rendered from it when asked for.
    std::shared_ptr<IDataObject> object;
    std::vector<UINT> objectFormats;
};

Clipboard& C() {
    static Clipboard c;
    return c;
}

std::vector<uint8_t> Utf8Bytes(std::string_view s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view s) {
    std::vector<uint8_t> v;
    v.reserve(s.size() * 2 + 2);
    for (char16_t c : s) {
        v.push_back(static_cast<uint8_t>(c & 0xFF));
        v.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.push_back(0);
    v.push_back(0);
    return v;
}

std::string FromUtf8Bytes(const std::vector<uint8_t>& v) {
    std::string s(v.begin(), v.end());
    if (auto z = s.find('\0'); z != std::string::npos) s.resize(z);
    return s;
}

std::u16string FromUtf16Bytes(const std::vector<uint8_t>& v) {
    std::u16string s;
    for (size_t i = 0; i + 1 < v.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(v[i] | (v[i + 1] << 8));
        if (!c) break;
        s.push_back(c);
    }
    return s;
}

bool OpenedByMe() {
    return C().openThread == GetCurrentThreadId();
}

} // namespace

void wm::RemoveClipboardOwner(HWND hwnd) {
    std::lock_guard<std::mutex> g(C().mutex);
    if (C().owner == hwnd) C().owner = nullptr;
    if (C().openOwner == hwnd) C().openOwner = nullptr;
}

BOOL OpenClipboard(HWND owner) {
    std::lock_guard<std::mutex> g(C().mutex);
    if (C().openThread && C().openThread != GetCurrentThreadId()) return FALSE;
    C().openThread = GetCurrentThreadId();
    C().openOwner = owner;
    return TRUE;
}

BOOL CloseClipboard() {
    std::string text;
    bool publish = false;
    {
        std::lock_guard<std::mutex> g(C().mutex);
        if (!OpenedByMe()) return FALSE;
        C().openThread = 0;
        C().openOwner = nullptr;
        if (C().changed) {
            C().changed = false;
            auto it = C().data.find(CF_TEXT);
            if (it != C().data.end()) {
                text = FromUtf8Bytes(it->second);
                publish = true;
            } else if ((it = C().data.find(CF_UNICODETEXT)) != C().data.end()) {
                text = WideToUtf8(FromUtf16Bytes(it->second));
                publish = true;
            }
        }
    }
    if (publish) Driver().ClipboardTextChanged(text);
    return TRUE;
}

BOOL EmptyClipboard() {
    HWND previous, now;
    std::shared_ptr<IDataObject> released; // let go outside the lock
    {
        std::lock_guard<std::mutex> g(C().mutex);
        if (!OpenedByMe()) return FALSE;
        previous = C().owner;
        C().data.clear();
        released = std::move(C().object);
        C().objectFormats.clear();
        C().owner = now = C().openOwner;
        C().changed = true;
    }
    if (previous && previous != now) SendMessage(previous, WM_DESTROYCLIPBOARD);
    return TRUE;
}

BOOL SetClipboardData(UINT format, std::vector<uint8_t> data) {
    std::lock_guard<std::mutex> g(C().mutex);
    if (!OpenedByMe() || format == 0) return FALSE;
    if ((format == CF_TEXT || format == CF_OEMTEXT) && (data.empty() || data.back() != 0))
        data.push_back(0);
    if (format == CF_UNICODETEXT &&
        (data.size() < 2 || data[data.size() - 1] || data[data.size() - 2])) {
        if (data.size() % 2) data.push_back(0);
        data.push_back(0);
        data.push_back(0);
    }
    C().data[format] = std::move(data);
    C().changed = true;
    return TRUE;
}

namespace {

bool Offers(const std::vector<UINT>& formats, UINT format) {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

// The clipboard's data in one format, text synthesised from the other
// width; foreign text when nothing of ours is there.
std::optional<std::vector<uint8_t>> Lookup(UINT format, bool mustBeOpen) {
    std::unique_lock<std::mutex> lock(C().mutex);
    if (mustBeOpen && !OpenedByMe()) return std::nullopt;
    const auto& d = C().data;
    const bool text = format == CF_TEXT || format == CF_UNICODETEXT;
    if (auto it = d.find(format); it != d.end()) return it->second;
    if (format == CF_TEXT)
        if (auto it = d.find(CF_UNICODETEXT); it != d.end())
            return Utf8Bytes(WideToUtf8(FromUtf16Bytes(it->second)));
    if (format == CF_UNICODETEXT)
        if (auto it = d.find(CF_TEXT); it != d.end())
            return Utf16Bytes(Utf8ToWide(FromUtf8Bytes(it->second)));
    if (auto object = C().object) {
        const std::vector<UINT> offered = C().objectFormats;
        lock.unlock(); // the object's code runs without our lock
        HRESULT hr = E_FAIL;
        if (Offers(offered, format)) {
            auto bytes = GetDataBytes(*object, format, &hr);
            if (SUCCEEDED(hr)) return bytes;
        }
        if (format == CF_TEXT && Offers(offered, CF_UNICODETEXT)) {
            auto bytes = GetDataBytes(*object, CF_UNICODETEXT, &hr);
            if (SUCCEEDED(hr)) return Utf8Bytes(WideToUtf8(FromUtf16Bytes(bytes)));
        }
        if (format == CF_UNICODETEXT && Offers(offered, CF_TEXT)) {
            auto bytes = GetDataBytes(*object, CF_TEXT, &hr);
            if (SUCCEEDED(hr)) return Utf16Bytes(Utf8ToWide(FromUtf8Bytes(bytes)));
        }
        return std::nullopt;
    }
    if (d.empty() && text) {
        // Nothing of ours: another program's text, when the display shares one.
        lock.unlock();
        auto foreign = Driver().ForeignClipboardText();
        if (!foreign) return std::nullopt;
        return format == CF_TEXT ? Utf8Bytes(*foreign) : Utf16Bytes(Utf8ToWide(*foreign));
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<uint8_t>> GetClipboardData(UINT format) {
    return Lookup(format, true);
}

BOOL IsClipboardFormatAvailable(UINT format) {
    {
        std::lock_guard<std::mutex> g(C().mutex);
        auto& d = C().data;
        const auto& o = C().objectFormats;
        if (d.count(format) || Offers(o, format)) return TRUE;
        const bool text = format == CF_TEXT || format == CF_UNICODETEXT;
        if (text && (d.count(CF_TEXT) || d.count(CF_UNICODETEXT) || Offers(o, CF_TEXT) ||
                     Offers(o, CF_UNICODETEXT)))
            return TRUE;
        if (!text || !d.empty() || C().object) return FALSE;
    }
    return Driver().ForeignClipboardText() ? TRUE : FALSE;
}

HRESULT OleSetClipboard(std::shared_ptr<IDataObject> data) {
    std::vector<FORMATETC> formats;
    if (data && FAILED(data->EnumFormatEtc(DATADIR_GET, &formats))) return E_FAIL;
    HWND previous = nullptr;
    std::shared_ptr<IDataObject> released;
    {
        std::lock_guard<std::mutex> g(C().mutex);
        if (C().openThread && C().openThread != GetCurrentThreadId()) return CLIPBRD_E_CANT_OPEN;
        if (!data && !C().object) return S_OK;
        previous = C().owner;
        released = std::move(C().object);
        C().data.clear();
        C().objectFormats.clear();
        C().owner = nullptr;
        C().changed = false;
        C().object = data;
        for (const FORMATETC& f : formats)
            if (f.cfFormat && !Offers(C().objectFormats, f.cfFormat))
                C().objectFormats.push_back(f.cfFormat);
    }
    released.reset();
    if (previous) SendMessage(previous, WM_DESTROYCLIPBOARD);
    if (data) {
        if (auto text = Lookup(CF_TEXT, false)) Driver().ClipboardTextChanged(FromUtf8Bytes(*text));
    }
    return S_OK;
}

HRESULT OleGetClipboard(std::shared_ptr<IDataObject>* data) {
    if (!data) return E_INVALIDARG;
    std::map<UINT, std::vector<uint8_t>> copy;
    {
        std::lock_guard<std::mutex> g(C().mutex);
        if (C().object) {
            *data = C().object;
            return S_OK;
        }
        copy = C().data;
    }
    // A snapshot of what the clipboard holds now.
    auto snapshot = CreateDataObject();
    if (copy.empty()) {
        if (auto text = Lookup(CF_TEXT, false)) copy[CF_TEXT] = std::move(*text);
    } else {
        for (UINT f : {CF_TEXT, CF_UNICODETEXT})
            if (!copy.count(f))
                if (auto text = Lookup(f, false)) copy[f] = std::move(*text);
    }
    for (auto& [format, bytes] : copy)
        SetDataBytes(*snapshot, format, std::move(bytes));
    *data = std::move(snapshot);
    return S_OK;
}

HRESULT OleIsCurrentClipboard(IDataObject* data) {
    std::lock_guard<std::mutex> g(C().mutex);
    return data && C().object.get() == data ? S_OK : S_FALSE;
}

BOOL SetClipboardText(std::string_view utf8) {
    if (!OpenClipboard(nullptr)) return FALSE;
    EmptyClipboard();
    const BOOL ok = SetClipboardData(CF_TEXT, Utf8Bytes(utf8));
    CloseClipboard();
    return ok;
}

std::optional<std::string> GetClipboardText() {
    if (!OpenClipboard(nullptr)) return std::nullopt;
    auto data = GetClipboardData(CF_TEXT);
    CloseClipboard();
    if (!data) return std::nullopt;
    return FromUtf8Bytes(*data);
}

} // namespace ax
