#pragma once
// Writes a tree of node-storage records a slice at a time, with the bytes
// of the one-call save, and the state of the root storage's save in slices.
// Private to the shell library.
#include "rtl/streams.h"
#include "shell/NodeStorage.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace ax {

// The records below top must not change between slices: the root storage
// completes its save before any change.
class NodeRecordWriter {
public:
    NodeRecordWriter(TNodeStorage& top, int32_t version, bool writeVerToStream);

    // Writes up to records more records (at least one); answers whether
    // top's record is complete.
    bool Write(TStream& stream, size_t records);
    // How far the writing has come, 0 to 1, from where it is in each list
    // on the way down.
    double Progress() const;

private:
    // Writes a record's head; a record with children is left open, one
    // without is written whole. parentLength: path_ without its item.
    void Open(TStream& stream, TNodeStorage& node, size_t parentLength);

    // A record whose children are being written.
    struct Frame {
        TNodeStorage* node;
        size_t next;         // its next child to write
        size_t parentLength; // path_ once it is closed
    };

    TNodeStorage& top_;
    const int32_t version_;
    const bool writeVer_;
    bool begun_ = false;
    bool done_ = false;
    std::vector<Frame> frames_;
    // The absolute PIDL of the record last opened, without the terminator.
    std::string path_;
};

struct TRootNodeStorage::SlicedSave {
    // Nil once written and renamed, or failed.
    std::unique_ptr<TAtomicSave> file;
    std::unique_ptr<NodeRecordWriter> writer;
    // A failure met while the save was completed before a change.
    std::exception_ptr failure;
    // Writing now: a change asked meanwhile (by a record's object) waits.
    bool busy = false;
};

} // namespace ax
