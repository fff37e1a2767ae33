#include "x11_drop_target.h"

#include "uri_list.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace ax::wm {

namespace {

constexpr long kVersion = 5;

bool Has(const std::vector<std::string>& types, std::string_view name) {
    return std::find(types.begin(), types.end(), name) != types.end();
}

} // namespace

// What is dragged, as the targets see it: files when the source offers a
// URI list, text when it offers text. Data is fetched from the source when
// asked for, at the time of the drag's last message.
class X11DropTarget::Data final : public IDataObject {
public:
    Data(X11Clipboard& selections, std::weak_ptr<int> life, std::vector<std::string> types)
        : selections_(selections), life_(std::move(life)), types_(std::move(types)) {}
    void SetTime(Time t) { time_ = t; }

    HRESULT GetData(const FORMATETC& format, STGMEDIUM* medium) override {
        if (!medium) return E_INVALIDARG;
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        auto bytes = Fetch(format.cfFormat == CF_HDROP ? "text/uri-list" : TextType());
        if (!bytes) return E_FAIL;
        const std::string_view s(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        medium->tymed = TYMED_HGLOBAL;
        if (format.cfFormat == CF_HDROP) {
            const std::vector<std::string> paths = ReadUriList(s);
            if (paths.empty()) return E_FAIL;
            medium->hGlobal = MakeFileList(paths);
        } else {
            medium->hGlobal.assign(s.begin(), std::find(s.begin(), s.end(), '\0'));
            medium->hGlobal.push_back(0);
        }
        return S_OK;
    }
    HRESULT QueryGetData(const FORMATETC& format) override {
        if (format.cfFormat == CF_HDROP && Has(types_, "text/uri-list")) return S_OK;
        if (format.cfFormat == CF_TEXT && !TextType().empty()) return S_OK;
        return DV_E_FORMATETC;
    }
    HRESULT SetData(const FORMATETC&, STGMEDIUM*, bool) override { return E_NOTIMPL; }
    HRESULT EnumFormatEtc(DWORD direction, std::vector<FORMATETC>* formats) override {
        if (!formats) return E_INVALIDARG;
        formats->clear();
        if (direction != DATADIR_GET) return S_OK;
        for (UINT f : {CF_HDROP, CF_TEXT})
            if (QueryGetData(FormatOf(f)) == S_OK) formats->push_back(FormatOf(f));
        return S_OK;
    }

private:
    std::string TextType() const {
        for (const char* t : {"UTF8_STRING", "text/plain;charset=utf-8"})
            if (Has(types_, t)) return t;
        return {};
    }
    std::optional<std::vector<uint8_t>> Fetch(const std::string& type) {
        if (life_.expired()) return std::nullopt;
        return selections_.Read(type, "XdndSelection", time_);
    }

    X11Clipboard& selections_;
    std::weak_ptr<int> life_;
    const std::vector<std::string> types_;
    std::atomic<Time> time_{CurrentTime};
};

X11DropTarget::X11DropTarget(Display* dpy, X11Clipboard& selections, std::weak_ptr<int> life)
    : dpy_(dpy), selections_(selections), life_(std::move(life)) {
    const char* names[] = {"XdndAware",     "XdndEnter",      "XdndPosition",   "XdndStatus",
                           "XdndLeave",     "XdndDrop",       "XdndFinished",   "XdndTypeList",
                           "XdndActionCopy", "XdndActionMove", "XdndActionLink",
                           "XdndActionList"};
    Atom a[std::size(names)];
    XInternAtoms(dpy, const_cast<char**>(names), static_cast<int>(std::size(names)), False, a);
    aware_ = a[0], enter_ = a[1], position_ = a[2], status_ = a[3], leave_ = a[4], drop_ = a[5];
    finished_ = a[6], typeList_ = a[7], copy_ = a[8], move_ = a[9], link_ = a[10];
    actionList_ = a[11];
}

void X11DropTarget::MakeAware(::Window top) {
    Atom version = kVersion;
    XChangeProperty(dpy_, top, aware_, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&version), 1);
}

bool X11DropTarget::Handle(const XClientMessageEvent& m, HWND top) {
    const Atom t = m.message_type;
    if (t == enter_) {
        Enter(m, top);
    } else if (t == position_) {
        Position(m, top);
    } else if (t == leave_) {
        if (static_cast<::Window>(m.data.l[0]) == source_) {
            data_.reset();
            source_ = None;
            RunOnWindowThread(top, [] { ForeignDragLeave(); });
        }
    } else if (t == drop_) {
        Drop(m, top);
    } else {
        return false;
    }
    return true;
}

void X11DropTarget::Enter(const XClientMessageEvent& m, HWND) {
    source_ = static_cast<::Window>(m.data.l[0]);
    std::vector<Atom> atoms;
    if (m.data.l[1] & 1) { // more than three types: the list is on the source
        Atom type;
        int format;
        unsigned long count = 0, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy_, source_, typeList_, 0, 1024, False, XA_ATOM, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 32)
            atoms.assign(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + count);
        if (data) XFree(data);
    } else {
        for (int i = 2; i < 5; ++i)
            if (m.data.l[i]) atoms.push_back(static_cast<Atom>(m.data.l[i]));
    }
    std::vector<std::string> types;
    for (Atom a : atoms)
        if (char* name = XGetAtomName(dpy_, a)) {
            types.emplace_back(name);
            XFree(name);
        }
    data_ = std::make_shared<Data>(selections_, life_, std::move(types));
}

void X11DropTarget::Position(const XClientMessageEvent& m, HWND top) {
    const ::Window source = static_cast<::Window>(m.data.l[0]);
    if (source != source_ || !data_) return;
    const POINT pt{static_cast<LONG>((m.data.l[2] >> 16) & 0xFFFF), static_cast<LONG>(m.data.l[2] & 0xFFFF)};
    data_->SetTime(static_cast<Time>(m.data.l[3]));
    const DWORD allowed = Allowed(source, static_cast<Atom>(m.data.l[4]));
    const DWORD keys = KeyState();
    RunOnWindowThread(top, [this, life = life_, data = data_, pt, allowed, keys, source,
                            target = m.window] {
        const DWORD effect = ForeignDragOver(data, pt, allowed, keys);
        if (life.expired()) return;
        x_->Post([this, life, source, target, effect] {
            if (!life.expired()) Reply(source, target, status_, effect);
        });
    });
}

void X11DropTarget::Drop(const XClientMessageEvent& m, HWND top) {
    const ::Window source = static_cast<::Window>(m.data.l[0]);
    if (source != source_ || !data_) return;
    data_->SetTime(static_cast<Time>(m.data.l[2]));
    const DWORD keys = KeyState();
    RunOnWindowThread(top, [this, life = life_, data = data_, keys, source, target = m.window] {
        const DWORD effect = ForeignDrop(data, keys);
        if (life.expired()) return;
        x_->Post([this, life, source, target, effect] {
            if (!life.expired()) Reply(source, target, finished_, effect);
        });
    });
    data_.reset();
    source_ = None;
}

void X11DropTarget::Reply(::Window source, ::Window target, Atom type, DWORD effect) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = source;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(target);
    const bool accepted = effect != DROPEFFECT_NONE;
    if (type == status_) {
        // Every position wanted: targets answer per item, not per window.
        e.xclient.data.l[1] = (accepted ? 1 : 0) | 2;
        e.xclient.data.l[4] = static_cast<long>(ActionOf(effect));
    } else {
        e.xclient.data.l[1] = accepted ? 1 : 0;
        e.xclient.data.l[2] = static_cast<long>(ActionOf(effect));
    }
    XSendEvent(dpy_, source, False, NoEventMask, &e);
}

DWORD X11DropTarget::EffectOf(Atom action) const {
    if (action == copy_) return DROPEFFECT_COPY;
    if (action == move_) return DROPEFFECT_MOVE;
    if (action == link_) return DROPEFFECT_LINK;
    return DROPEFFECT_NONE;
}

// The action the source suggests is the user's choice there. When it leaves
// the choice to us (ask, or an action of its own), the target chooses among
// what the source lists; a source that lists nothing can surely copy.
DWORD X11DropTarget::Allowed(::Window source, Atom suggested) {
    if (const DWORD effect = EffectOf(suggested)) return effect;
    Atom type;
    int format;
    unsigned long count = 0, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy_, source, actionList_, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) != Success ||
        !data || format != 32 || count == 0) {
        if (data) XFree(data);
        return DROPEFFECT_COPY;
    }
    DWORD listed = DROPEFFECT_NONE;
    for (unsigned long i = 0; i < count; ++i)
        listed |= EffectOf(reinterpret_cast<Atom*>(data)[i]);
    XFree(data);
    return listed;
}

Atom X11DropTarget::ActionOf(DWORD effect) const {
    if (effect & DROPEFFECT_COPY) return copy_;
    if (effect & DROPEFFECT_MOVE) return move_;
    if (effect & DROPEFFECT_LINK) return link_;
    return None;
}

// The source holds the pointer and keyboard: the modifiers are asked of the server.
DWORD X11DropTarget::KeyState() {
    ::Window root, child;
    int rx, ry, wx, wy;
    unsigned int mask = 0;
    XQueryPointer(dpy_, DefaultRootWindow(dpy_), &root, &child, &rx, &ry, &wx, &wy, &mask);
    DWORD k = 0;
    if (mask & Button1Mask) k |= MK_LBUTTON;
    if (mask & Button2Mask) k |= MK_MBUTTON;
    if (mask & Button3Mask) k |= MK_RBUTTON;
    if (mask & ShiftMask) k |= MK_SHIFT;
    if (mask & ControlMask) k |= MK_CONTROL;
    if (mask & Mod1Mask) k |= MK_ALT;
    return k;
}

} // namespace ax::wm
