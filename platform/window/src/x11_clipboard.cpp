#include "x11_clipboard.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <chrono>
#include <cstring>

namespace ax::wm {

X11Clipboard::X11Clipboard(Display* dpy, ::Window helper) : dpy_(dpy), helper_(helper) {
    clipboard_ = XInternAtom(dpy, "CLIPBOARD", False);
    targets_ = XInternAtom(dpy, "TARGETS", False);
    incr_ = XInternAtom(dpy, "INCR", False);
    property_ = XInternAtom(dpy, "AX_SELECTION", False);
}

void X11Clipboard::Offer(ClipboardOffer offer) {
    uint64_t generation;
    {
        std::lock_guard<std::mutex> g(mutex_);
        generation = ++offerGeneration_;
    }
    x_->Post([this, generation, offer = std::move(offer)]() mutable {
        Serve(clipboard_, std::move(offer));
        ownedGeneration_ = generation;
    });
}

void X11Clipboard::Serve(Atom selection, ClipboardOffer offer) {
    Served_& served = served_[selection];
    served.clear();
    for (auto& [name, bytes] : offer)
        served.emplace_back(XInternAtom(dpy_, name.c_str(), False),
                            std::make_shared<const std::vector<uint8_t>>(std::move(bytes)));
    XSetSelectionOwner(dpy_, selection, helper_, CurrentTime);
}

bool X11Clipboard::Taken() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (offerGeneration_) return takenGeneration_ == offerGeneration_;
    }
    // Nothing offered on this display yet: whoever holds its clipboard
    // holds it instead of what the program had.
    if (x_->OnThread()) return false;
    ::Window owner = None;
    x_->Call([&] { owner = XGetSelectionOwner(dpy_, clipboard_); });
    return owner != None && owner != helper_;
}

bool X11Clipboard::Handle(const XEvent& e) {
    switch (e.type) {
    case SelectionRequest:
        if (e.xselectionrequest.owner != helper_) return false;
        Answer(e.xselectionrequest);
        return true;
    case SelectionClear:
        if (e.xselectionclear.window != helper_ || e.xselectionclear.selection != clipboard_)
            return false;
        // A clear queued before an offer of ours took the selection again is stale.
        if (XGetSelectionOwner(dpy_, clipboard_) != helper_) {
            served_.erase(clipboard_);
            std::lock_guard<std::mutex> g(mutex_);
            takenGeneration_ = ownedGeneration_;
        }
        return true;
    case SelectionNotify:
        if (e.xselection.requestor != helper_) return false;
        Received(e.xselection);
        return true;
    case PropertyNotify:
        if (e.xproperty.window == helper_ && e.xproperty.atom == property_) {
            if (e.xproperty.state == PropertyNewValue && receivingPieces_) ReceivedPiece();
            return true;
        }
        return e.xproperty.state == PropertyDelete && SendNextPiece(e.xproperty);
    default:
        return false;
    }
}

void X11Clipboard::Answer(const XSelectionRequestEvent& req) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = req.requestor;
    reply.xselection.selection = req.selection;
    reply.xselection.target = req.target;
    reply.xselection.time = req.time;
    reply.xselection.property = None;
    const Atom property = req.property != None ? req.property : req.target;
    const auto offered = served_.find(req.selection);
    static const Served_ kNothing;
    const Served_& list = offered != served_.end() ? offered->second : kNothing;
    const auto served = std::find_if(list.begin(), list.end(),
                                     [&](const auto& s) { return s.first == req.target; });
    if (offered == served_.end()) {
        // not ours to answer
    } else if (req.target == targets_) {
        std::vector<Atom> atoms{targets_};
        for (const auto& s : list)
            atoms.push_back(s.first);
        XChangeProperty(dpy_, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(atoms.data()),
                        static_cast<int>(atoms.size()));
        reply.xselection.property = property;
    } else if (served != list.end() && served->second->size() <= kChunk) {
        XChangeProperty(dpy_, req.requestor, property, req.target, 8, PropModeReplace,
                        served->second->data(), static_cast<int>(served->second->size()));
        reply.xselection.property = property;
    } else if (served != list.end()) {
        // In pieces: each piece goes once the requestor deleted the last.
        std::erase_if(transfers_, [&](const auto& t) {
            return t->requestor == req.requestor && t->property == property;
        });
        auto t = std::make_unique<Served>();
        t->requestor = req.requestor;
        t->property = property;
        t->type = req.target;
        t->data = served->second;
        XSelectInput(dpy_, req.requestor, PropertyChangeMask);
        long size = static_cast<long>(t->data->size());
        XChangeProperty(dpy_, req.requestor, property, incr_, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&size), 1);
        transfers_.push_back(std::move(t));
        reply.xselection.property = property;
    }
    XSendEvent(dpy_, req.requestor, False, 0, &reply);
}

bool X11Clipboard::SendNextPiece(const XPropertyEvent& p) {
    const auto it = std::find_if(transfers_.begin(), transfers_.end(), [&](const auto& t) {
        return t->requestor == p.window && t->property == p.atom;
    });
    if (it == transfers_.end()) return false;
    Served& t = **it;
    const size_t n = std::min(kChunk, t.data->size() - t.offset);
    XChangeProperty(dpy_, t.requestor, t.property, t.type, 8, PropModeReplace,
                    t.data->data() + t.offset, static_cast<int>(n));
    t.offset += n;
    if (n == 0) { // the empty piece ends the transfer
        const ::Window requestor = t.requestor;
        transfers_.erase(it);
        if (std::none_of(transfers_.begin(), transfers_.end(),
                         [&](const auto& o) { return o->requestor == requestor; }))
            XSelectInput(dpy_, requestor, NoEventMask);
    }
    return true;
}

std::optional<std::vector<uint8_t>> X11Clipboard::Read(const std::string& target,
                                                       const std::string& selection, Time time) {
    if (x_->OnThread()) return std::nullopt; // the answer would need this thread
    std::lock_guard<std::mutex> one(readMutex_);
    ::Window owner = None;
    Atom which = None;
    x_->Call([&] {
        which = XInternAtom(dpy_, selection.c_str(), False);
        owner = XGetSelectionOwner(dpy_, which);
    });
    if (owner == None || owner == helper_) return std::nullopt;
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t ticket = ++request_;
    reply_.reset();
    lock.unlock();
    x_->Post([this, target, which, time] {
        receivingPieces_ = false;
        pieces_.clear();
        wanted_ = XInternAtom(dpy_, target.c_str(), False);
        reading_ = which;
        XDeleteProperty(dpy_, helper_, property_);
        XConvertSelection(dpy_, which, wanted_, property_, helper_, time);
    });
    lock.lock();
    // Another program answers in its own time; a silent one must not hang
    // us, one sending pieces gets that time for each.
    for (;;) {
        const uint64_t seen = progress_;
        answered_.wait_for(lock, std::chrono::seconds(2),
                           [&] { return answeredRequest_ >= ticket || progress_ != seen; });
        if (answeredRequest_ >= ticket) return reply_;
        if (progress_ == seen) break;
    }
    x_->Post([this] {
        receivingPieces_ = false;
        wanted_ = None;
    });
    return std::nullopt;
}

void X11Clipboard::Received(const XSelectionEvent& s) {
    if (s.selection != reading_ || s.target != wanted_ || receivingPieces_) return;
    std::vector<uint8_t> bytes;
    Atom type = None;
    if (s.property == None || !ReadProperty(bytes, type)) return Finish(std::nullopt);
    if (type != incr_) return Finish(std::move(bytes));
    // Reading the size deleted it: the owner sends the first piece now.
    receivingPieces_ = true;
    pieces_.clear();
}

void X11Clipboard::ReceivedPiece() {
    std::vector<uint8_t> piece;
    Atom type = None;
    int format = 0;
    if (!ReadProperty(piece, type, &format)) return;
    if (format != 8) {
        // Not bytes: what came so far is no whole list, so none of it counts.
        receivingPieces_ = false;
        return Finish(std::nullopt);
    }
    if (piece.empty()) {
        receivingPieces_ = false;
        return Finish(std::move(pieces_));
    }
    pieces_.insert(pieces_.end(), piece.begin(), piece.end());
    {
        std::lock_guard<std::mutex> g(mutex_);
        ++progress_;
    }
    answered_.notify_all();
}

bool X11Clipboard::ReadProperty(std::vector<uint8_t>& bytes, Atom& type, int* formatOut) {
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy_, helper_, property_, 0, 1L << 28, True, AnyPropertyType, &type,
                           &format, &count, &after, &data) != Success)
        return false;
    bytes.clear();
    if (type == XA_ATOM && format == 32) {
        // Atom names, one a line: what a caller can use of a target list.
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i)
            if (char* name = XGetAtomName(dpy_, atoms[i])) {
                bytes.insert(bytes.end(), name, name + std::strlen(name));
                bytes.push_back('\n');
                XFree(name);
            }
    } else if (format == 8 && data) {
        bytes.assign(data, data + count);
    }
    if (data) XFree(data);
    if (formatOut) *formatOut = format;
    return type != None;
}

void X11Clipboard::Finish(std::optional<std::vector<uint8_t>> result) {
    wanted_ = None;
    {
        std::lock_guard<std::mutex> g(mutex_);
        reply_ = std::move(result);
        answeredRequest_ = request_;
    }
    answered_.notify_all();
}

} // namespace ax::wm
