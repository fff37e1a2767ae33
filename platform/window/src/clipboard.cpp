// The clipboard: formats by number, registered names from 0xC000 up, text
// in both widths, and text and file lists shared with other programs
// through the display. Files go out as URI lists with copy or cut (from the
// "Preferred DropEffect" format) and come in as CF_HDROP with that format.
#include "driver.h"
#include "rtl/text.h"
#include "uri_list.h"
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

UINT PreferredDropEffectFormat() {
    static const UINT format = RegisterClipboardFormat("Preferred DropEffect");
    return format;
}

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

void Publish(); // offers what the clipboard holds to other programs

// Once another program took the display's clipboard, what we held is gone,
// as if that program had emptied it; a clipboard open right now is left alone.
void DropIfTaken() {
    {
        std::lock_guard<std::mutex> g(C().mutex);
        if (C().openThread || (C().data.empty() && !C().object)) return;
    }
    if (!Driver().ClipboardTaken()) return;
    HWND previous = nullptr;
    std::shared_ptr<IDataObject> released;
    {
        std::lock_guard<std::mutex> g(C().mutex);
        if (C().openThread) return;
        previous = C().owner;
        C().data.clear();
        released = std::move(C().object);
        C().objectFormats.clear();
        C().owner = nullptr;
    }
    released.reset();
    if (previous) SendMessage(previous, WM_DESTROYCLIPBOARD);
}

} // namespace

void wm::RemoveClipboardOwner(HWND hwnd) {
    std::lock_guard<std::mutex> g(C().mutex);
    if (C().owner == hwnd) C().owner = nullptr;
    if (C().openOwner == hwnd) C().openOwner = nullptr;
}

BOOL OpenClipboard(HWND owner) {
    DropIfTaken();
    std::lock_guard<std::mutex> g(C().mutex);
    if (C().openThread && C().openThread != GetCurrentThreadId()) return FALSE;
    C().openThread = GetCurrentThreadId();
    C().openOwner = owner;
    return TRUE;
}

BOOL CloseClipboard() {
    bool publish = false;
    {
        std::lock_guard<std::mutex> g(C().mutex);
        if (!OpenedByMe()) return FALSE;
        C().openThread = 0;
        C().openOwner = nullptr;
        publish = C().changed;
        C().changed = false;
    }
    if (publish) Publish();
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

std::optional<std::vector<uint8_t>> ForeignText(UINT format) {
    auto bytes = Driver().ForeignClipboard("UTF8_STRING");
    if (!bytes) return std::nullopt;
    const std::string text = FromUtf8Bytes(*bytes);
    return format == CF_TEXT ? Utf8Bytes(text) : Utf16Bytes(Utf8ToWide(text));
}

std::string_view View(const std::vector<uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Another program's files as CF_HDROP, or whether they were cut or copied.
std::optional<std::vector<uint8_t>> ForeignFiles(UINT format) {
    if (format != CF_HDROP && format != PreferredDropEffectFormat()) return std::nullopt;
    std::vector<std::string> paths;
    bool cut = false;
    auto copied = Driver().ForeignClipboard("x-special/gnome-copied-files");
    if (!copied || !ReadCopiedFiles(View(*copied), paths, cut))
        if (auto list = Driver().ForeignClipboard("text/uri-list")) paths = ReadUriList(View(*list));
    if (paths.empty()) return std::nullopt;
    if (format == CF_HDROP) return MakeFileList(paths);
    const DWORD effect = cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
    return std::vector<uint8_t>{static_cast<uint8_t>(effect), 0, 0, 0};
}

bool ForeignOffers(UINT format) {
    auto targets = Driver().ForeignClipboard("TARGETS");
    if (!targets) return false;
    const std::string_view names = View(*targets);
    const auto has = [&](std::string_view name) {
        return names.find(std::string(name) + "\n") != std::string_view::npos;
    };
    if (format == CF_TEXT || format == CF_UNICODETEXT) return has("UTF8_STRING");
    if (format == CF_HDROP || format == PreferredDropEffectFormat())
        return has("text/uri-list") || has("x-special/gnome-copied-files");
    return false;
}

// The clipboard's data in one format, text synthesised from the other
// width; when nothing of ours is there, another program's (unless local).
std::optional<std::vector<uint8_t>> Lookup(UINT format, bool mustBeOpen, bool local = false) {
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
    if (d.empty() && !local) {
        // Nothing of ours: another program's, when the display shares a clipboard.
        lock.unlock();
        return text ? ForeignText(format) : ForeignFiles(format);
    }
    return std::nullopt;
}

ClipboardOffer MakeOffer() {
    ClipboardOffer offer;
    std::vector<std::string> paths;
    if (auto list = Lookup(CF_HDROP, false, true)) ReadFileList(*list, paths);
    std::optional<std::string> text;
    if (auto bytes = Lookup(CF_TEXT, false, true)) text = FromUtf8Bytes(*bytes);
    if (!paths.empty()) {
        bool cut = false;
        if (auto effect = Lookup(PreferredDropEffectFormat(), false, true); effect && !effect->empty())
            cut = ((*effect)[0] & DROPEFFECT_MOVE) && !((*effect)[0] & DROPEFFECT_COPY);
        offer.emplace_back("x-special/gnome-copied-files", Bytes(MakeCopiedFiles(paths, cut)));
        offer.emplace_back("text/uri-list", Bytes(MakeUriList(paths)));
        if (!text) { // pasted into a text field: the paths, one a line
            text.emplace();
            for (const std::string& p : paths)
                *text += (text->empty() ? "" : "\n") + p;
        }
    }
    if (text) {
        offer.emplace_back("UTF8_STRING", Bytes(*text));
        offer.emplace_back("STRING", Bytes(*text));
    }
    return offer;
}

// An empty offer empties the display's clipboard for every program.
void Publish() {
    Driver().ClipboardOffered(MakeOffer());
}

} // namespace

std::optional<std::vector<uint8_t>> GetClipboardData(UINT format) {
    return Lookup(format, true);
}

BOOL IsClipboardFormatAvailable(UINT format) {
    DropIfTaken();
    {
        std::lock_guard<std::mutex> g(C().mutex);
        auto& d = C().data;
        const auto& o = C().objectFormats;
        if (d.count(format) || Offers(o, format)) return TRUE;
        const bool text = format == CF_TEXT || format == CF_UNICODETEXT;
        if (text && (d.count(CF_TEXT) || d.count(CF_UNICODETEXT) || Offers(o, CF_TEXT) ||
                     Offers(o, CF_UNICODETEXT)))
            return TRUE;
        if (!d.empty() || C().object) return FALSE;
    }
    return ForeignOffers(format) ? TRUE : FALSE;
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
    if (data) Publish();
    return S_OK;
}

HRESULT OleGetClipboard(std::shared_ptr<IDataObject>* data) {
    if (!data) return E_INVALIDARG;
    DropIfTaken();
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
        for (UINT f : {CF_HDROP, PreferredDropEffectFormat(), CF_TEXT})
            if (auto bytes = Lookup(f, false)) copy[f] = std::move(*bytes);
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
