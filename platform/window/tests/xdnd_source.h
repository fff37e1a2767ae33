#pragma once
// Another program's side of a drag, spoken in the XDND protocol by hand so
// that a test chooses what a toolkit would not: the suggested action, the
// list of actions behind XdndActionAsk, the data served at the drop. It
// answers on a thread of its own, as the data is asked for while the
// window's thread waits in the drop.
// No X header here: Xlib's macros would clash with the test framework's.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ax::test {

class XdndSource {
public:
    // actions: the XdndActionList it sets (none when empty); uris: what it
    // serves as text/uri-list.
    XdndSource(const std::string& display, std::vector<std::string> actions, std::string uris);
    ~XdndSource();
    XdndSource(const XdndSource&) = delete;
    XdndSource& operator=(const XdndSource&) = delete;
    bool Ok() const;

    // Messages to the target's top-level window; a point on the screen.
    void Enter(unsigned long target);
    void Position(int x, int y, const std::string& action);
    void Leave();
    void Drop();

    struct Answer {
        int count = 0; // answers so far
        bool accepted = false;
        std::string action; // atom name, "" for None
    };
    Answer LastStatus() const;
    Answer LastFinished() const;
    int Served() const { return served_; }

private:
    struct Impl;
    void Run();
    void Take(); // what arrived, under mutex_

    std::unique_ptr<Impl> impl_;
    mutable std::mutex mutex_; // the connection and the answers
    Answer status_, finished_;
    std::atomic<int> served_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace ax::test
