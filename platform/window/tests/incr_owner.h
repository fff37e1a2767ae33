#pragma once
// Another program holding the clipboard that sends one target only in
// pieces (the INCR protocol), on a connection and thread of its own: each
// piece goes once the reader deleted the last, and an empty piece ends the
// transfer. It can also break off, as a faulty or dying program does.
// No X header here: Xlib's macros would clash with the test framework's.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace ax::test {

class IncrOwner {
public:
    enum class Ending {
        Complete,    // every piece, then the empty one
        Silent,      // stops after some pieces and stays, holding the selection
        Gone,        // closes its connection after some pieces
        WrongFormat, // a piece of 32-bit items where bytes belong
    };
    IncrOwner(const std::string& display, std::string target, std::string data, size_t piece,
              Ending ending = Ending::Complete, int piecesBeforeEnding = 2);
    ~IncrOwner();
    IncrOwner(const IncrOwner&) = delete;
    IncrOwner& operator=(const IncrOwner&) = delete;

    // True once it holds the clipboard.
    bool Owns() const { return owns_; }
    // Transfers started, and pieces sent (the empty one included).
    int Transfers() const { return transfers_; }
    int Pieces() const { return pieces_; }
    bool Ended() const { return ended_; }

private:
    struct Impl;
    void Run();

    std::unique_ptr<Impl> impl_;
    std::atomic<bool> owns_{false}, stop_{false}, ended_{false};
    std::atomic<int> transfers_{0}, pieces_{0};
    std::thread thread_;
};

} // namespace ax::test
