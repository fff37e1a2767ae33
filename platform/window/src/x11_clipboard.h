#pragma once
// The CLIPBOARD selection of an X display: what the program offers, served
// to other programs in every offered target (TARGETS lists them), and what
// other programs offer, read in one target. Data larger than one chunk goes
// both ways in pieces (the INCR protocol), so a list of thousands of files
// fits whatever the server's request limit.
//
// Threading: Offer, Taken and Read come from any thread but the X thread,
// which runs Handle and everything Xlib.
#include "driver.h"
#include "x11_thread.h"

#include <X11/Xlib.h>
#include <map>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ax::wm {

class X11Clipboard {
public:
    // helper: a window of the program's own that owns the selection and
    // receives what other programs send; it must select PropertyChangeMask.
    X11Clipboard(Display* dpy, ::Window helper);
    // The X thread, given before any other call but Handle.
    void Attach(X11Thread* x) { x_ = x; }
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    // Takes the selection with these targets and their data.
    void Offer(ClipboardOffer offer);
    // True once another program took the selection after the last offer,
    // or holds it when nothing was offered yet.
    bool Taken();
    // Another program's data in one target (atom names, one a line, for
    // "TARGETS"); nullopt while the selection is ours, when nobody holds it,
    // or when the owner does not answer in time. Other selections than the
    // clipboard are read the same way (a drag's, at the drop's time).
    std::optional<std::vector<uint8_t>> Read(const std::string& target,
                                             const std::string& selection = "CLIPBOARD",
                                             Time time = CurrentTime);

    // On the X thread: true when the event was the selection's.
    bool Handle(const XEvent& e);
    // On the X thread: takes another selection (a drag's) with these targets.
    void Serve(Atom selection, ClipboardOffer offer);

    // Pieces of an incremental transfer, and the size from which one is used.
    static constexpr size_t kChunk = 64 * 1024;

private:
    struct Served { // a transfer in pieces to one requestor
        ::Window requestor = None;
        Atom property = None;
        Atom type = None;
        std::shared_ptr<const std::vector<uint8_t>> data;
        size_t offset = 0;
    };
    void Answer(const XSelectionRequestEvent& req);
    bool SendNextPiece(const XPropertyEvent& p);
    void Received(const XSelectionEvent& s);
    void ReceivedPiece();
    bool ReadProperty(std::vector<uint8_t>& bytes, Atom& type, int* format = nullptr);
    void Finish(std::optional<std::vector<uint8_t>> result);

    Display* dpy_;
    ::Window helper_;
    X11Thread* x_ = nullptr;
    Atom clipboard_, targets_, incr_, property_;

    // The X thread's alone.
    using Served_ = std::vector<std::pair<Atom, std::shared_ptr<const std::vector<uint8_t>>>>;
    std::map<Atom, Served_> served_; // by selection
    std::vector<std::unique_ptr<Served>> transfers_;
    uint64_t ownedGeneration_ = 0;
    Atom wanted_ = None;  // the target of the read under way
    Atom reading_ = None; // and its selection
    bool receivingPieces_ = false;
    std::vector<uint8_t> pieces_;

    // Shared with calling threads, under mutex_.
    std::mutex mutex_;
    std::condition_variable answered_;
    uint64_t offerGeneration_ = 0;
    uint64_t takenGeneration_ = 0;
    uint64_t request_ = 0, answeredRequest_ = 0, progress_ = 0;
    std::optional<std::vector<uint8_t>> reply_;
    std::mutex readMutex_; // one read at a time
};

} // namespace ax::wm
