// The X thread's loop: runs posted work, dispatches every queued event after
// it, and waits on the connection and a wake-up eventfd; a lost connection
// ends the reading and runs onLost once.
#include "x11_thread.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace ax::wm {

X11Thread::X11Thread(Display* dpy, std::function<void(XEvent&)> onEvent,
                     std::function<void()> onLost)
    : dpy_(dpy), onEvent_(std::move(onEvent)), onLost_(std::move(onLost)),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    // Xlib's own answer to a lost connection is to end the process; the
    // program's windows are told instead, and it ends as they decide. (The
    // default I/O error handler exits by itself: the process-wide one that
    // replaces it returns, so that the connection's exit handler runs.)
    XSetIOErrorHandler([](Display*) { return 0; });
    XSetIOErrorExitHandler(
        dpy_, [](Display*, void* self) { static_cast<X11Thread*>(self)->lost_ = true; }, this);
    thread_ = std::thread([this] { Run(); });
}

X11Thread::~X11Thread() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        stopping_ = true;
    }
    Wake();
    thread_.join();
    // Closing a lost connection waits for ever on state the call that found
    // it lost left behind: the process is ending, or moves to another
    // display, and the little it holds is left.
    if (!lost_) XCloseDisplay(dpy_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

void X11Thread::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void X11Thread::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> g(mutex_);
        work_.push_back({std::move(fn), nullptr});
    }
    Wake();
}

void X11Thread::Call(const std::function<void()>& fn) {
    if (OnThread()) {
        fn();
        return;
    }
    bool done = false;
    std::unique_lock<std::mutex> lock(mutex_);
    work_.push_back({fn, &done});
    lock.unlock();
    Wake();
    lock.lock();
    finished_.wait(lock, [&] { return done; });
}

void X11Thread::DispatchQueued() {
    // XPending flushes what was written and reads what has arrived; a
    // handler's own round trips may queue more, which the loop takes too.
    while (!lost_ && XPending(dpy_) > 0) {
        XEvent e;
        XNextEvent(dpy_, &e);
        onEvent_(e);
    }
}

void X11Thread::Run() {
    const int fd = ConnectionNumber(dpy_);
    for (;;) {
        std::deque<Work> batch;
        bool stop;
        {
            std::lock_guard<std::mutex> g(mutex_);
            batch.swap(work_);
            stop = stopping_;
        }
        for (Work& w : batch)
            w.fn();
        DispatchQueued();
        bool any = false;
        {
            std::lock_guard<std::mutex> g(mutex_);
            for (Work& w : batch)
                if (w.done) *w.done = any = true;
        }
        if (any) finished_.notify_all();
        if (lost_ && !std::exchange(lostTold_, true) && onLost_) onLost_();
        if (stop) {
            std::lock_guard<std::mutex> g(mutex_);
            if (work_.empty()) return;
            continue;
        }
        {
            std::lock_guard<std::mutex> g(mutex_);
            if (!work_.empty()) continue;
        }
        // A lost connection's socket stays readable: only work wakes us then.
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
        if (poll(fds, lost_ ? 1 : 2, -1) < 0 && errno != EINTR) continue;
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
        }
    }
}

} // namespace ax::wm
