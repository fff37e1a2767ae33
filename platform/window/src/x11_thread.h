#pragma once
// The one thread that talks to the X server. Every Xlib call of the display
// driver runs here: other threads hand it work and may wait for it, it never
// waits for another thread. After each batch of work it dispatches every
// event in Xlib's queue, so events that a round trip read from the socket
// are served at once instead of waiting for the next one to arrive.
//
// A lost connection (the server went, or another client killed ours) does
// not end the process: the thread stops reading it, runs onLost once, and
// the Xlib calls of the work still posted do nothing from then on.
#include <X11/Xlib.h>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ax::wm {

class X11Thread {
public:
    // Takes the connection; onEvent runs on the thread for every event,
    // onLost (when given) once when the connection is lost.
    X11Thread(Display* dpy, std::function<void(XEvent&)> onEvent,
              std::function<void()> onLost = {});
    // Runs the work still queued, then closes the connection.
    ~X11Thread();
    X11Thread(const X11Thread&) = delete;
    X11Thread& operator=(const X11Thread&) = delete;

    // Queues work; it runs in the order posted.
    void Post(std::function<void()> fn);
    // Runs fn on the thread and returns once it and the events it brought
    // in were handled (at once when called on the thread itself).
    void Call(const std::function<void()>& fn);
    bool OnThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    // Whether the connection is lost.
    bool Lost() const { return lost_; }

private:
    struct Work {
        std::function<void()> fn;
        bool* done = nullptr; // set under mutex_ once handled (Call)
    };
    void Run();
    void DispatchQueued();
    void Wake();

    Display* dpy_;
    std::function<void(XEvent&)> onEvent_;
    std::function<void()> onLost_;
    std::atomic<bool> lost_{false}; // set by Xlib's I/O error exit handler
    bool lostTold_ = false;         // the thread's own
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Work> work_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace ax::wm
