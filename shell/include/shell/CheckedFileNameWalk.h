#pragma once
// The backup selection read a piece at a time, for a window that must answer
// between pieces: the same paths, in the same order, as the storage's
// ForEachCheckedFileName gives in one call.
#include "shell/NodeStorage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ax {

class TCheckedFileNameWalk {
public:
    // The storage must outlive the walk.
    explicit TCheckedFileNameWalk(TRootNodeStorage& storage);
    TCheckedFileNameWalk(const TCheckedFileNameWalk&) = delete;
    TCheckedFileNameWalk& operator=(const TCheckedFileNameWalk&) = delete;

    // Looks at up to records more records (at least one) and answers whether
    // the walk is done. Work still spreading over the records completes
    // first; should the records change between two steps, what was found is
    // dropped and the walk starts again, so that the paths at the end are
    // the selection as it was then, never a mix.
    bool Step(size_t records);
    bool Done() const { return done_; }
    // The paths found so far; the whole selection once done.
    const std::vector<std::string>& Paths() const { return paths_; }
    std::vector<std::string> TakePaths() { return std::move(paths_); }
    // The folders that could not be read, as CheckedFileNameProblems.
    const std::vector<ShellProblem>& Problems() const { return problems_; }
    // How far the walk has come, from 0 to 1, by its place in the folders.
    double Progress() const;
    // How many times the walk started again.
    int Restarts() const { return restarts_; }

private:
    struct Frame {
        TNodeStorage* node;
        // Nil below a folder that cannot be read: what is checked there is
        // named through the desktop, unchecked against the disk.
        ShellFolderPtr folder;
        int next = 0;
        // The checked items from next up to there were asked about at once.
        int askedUpTo = 0;
        bool allThere = false;
    };
    void Start();
    // Pushes the frame for node's children, when there is one to walk;
    // readable: whether the folders above could be read.
    void Enter(TNodeStorage& node, bool readable);
    void VisitReadable(Frame& frame, TNodeStorage& child);
    void VisitUnreadable(TNodeStorage& child);
    void AskChunk(Frame& frame);

    TRootNodeStorage& storage_;
    ShellFolderPtr desktop_;
    std::vector<Frame> stack_;
    std::vector<std::string> paths_;
    std::vector<ShellProblem> problems_;
    uint64_t changes_ = 0;
    bool started_ = false;
    bool done_ = false;
    int restarts_ = 0;
};

} // namespace ax
