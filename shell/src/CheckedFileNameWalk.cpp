// The backup selection a piece at a time: a walk over the records that keeps
// its place in a stack of folders and starts again when the records change.
#include "shell/CheckedFileNameWalk.h"

#include "platform/shellns/shellops.h"

#include <algorithm>

namespace ax {
namespace {

// The items of one folder asked about in one question: a listing of a big
// folder answers it once, so asking in such pieces keeps each step short.
constexpr int kAskedAtOnce = 4096;

bool IsChecked(const TNodeStorage& node) {
    return (node.Storage.Kinds & skCheck) && node.Storage.CheckState == csCheckedNormal;
}

// A file-system item still there: asked of the disk, not of what is known.
bool IsThere(IShellFolder& folder, PCItemIDList relative) {
    uint32_t attributes = SFGAO_FILESYSTEM | SFGAO_VALIDATE;
    return SUCCEEDED(folder.GetAttributesOf(&relative, 1, &attributes)) &&
           (attributes & SFGAO_FILESYSTEM) != 0;
}

bool IsFileSystemItem(IShellFolder& folder, PCItemIDList relative) {
    uint32_t attributes = SFGAO_FILESYSTEM;
    return SUCCEEDED(folder.GetAttributesOf(&relative, 1, &attributes)) &&
           (attributes & SFGAO_FILESYSTEM) != 0;
}

} // namespace

TCheckedFileNameWalk::TCheckedFileNameWalk(TRootNodeStorage& storage) : storage_(storage) {}

void TCheckedFileNameWalk::Start() {
    // The selection is whole only once what spreads over it has spread.
    storage_.CompletePending();
    stack_.clear();
    paths_.clear();
    problems_.clear();
    desktop_.reset();
    SHGetDesktopFolder(&desktop_);
    changes_ = storage_.Changes();
    started_ = true;
    done_ = false;
    Enter(storage_, true);
}

void TCheckedFileNameWalk::Enter(TNodeStorage& node, bool readable) {
    TNodeStorageList* children = node.Children();
    if (!children || children->Count() == 0) return;
    if (!readable) {
        stack_.push_back({&node, nullptr});
        return;
    }
    HRESULT bound;
    ShellFolderPtr folder = node.ShellFolder(bound);
    if (folder) {
        stack_.push_back({&node, std::move(folder)});
    } else if (bound == E_ACCESSDENIED && desktop_) {
        std::string path;
        desktop_->GetDisplayNameOf(node.AbsolutePIDL().get(), SHGDN_FORPARSING, &path);
        problems_.push_back({path, "cannot be read; what is checked in it was listed unchecked"});
        stack_.push_back({&node, nullptr});
    }
    // Otherwise gone: nothing below it is there.
}

bool TCheckedFileNameWalk::Step(size_t records) {
    if (started_ && storage_.Changes() != changes_) {
        ++restarts_;
        started_ = false;
    }
    if (!started_) Start();
    for (size_t looked = 0; !stack_.empty() && (looked < records || looked == 0); ++looked) {
        Frame& frame = stack_.back();
        TNodeStorageList& children = *frame.node->Children();
        if (frame.next >= children.Count()) {
            stack_.pop_back();
            continue;
        }
        TNodeStorage& child = *children.Items(frame.next);
        const bool readable = frame.folder != nullptr;
        if (readable)
            VisitReadable(frame, child);
        else
            VisitUnreadable(child);
        ++frame.next; // frame may move once a child's frame is pushed
        Enter(child, readable);
    }
    done_ = stack_.empty();
    return done_;
}

double TCheckedFileNameWalk::Progress() const {
    if (done_) return 1;
    // Each folder's share is split among its children; the child being
    // walked below is not yet behind.
    double behind = 0, share = 1;
    for (size_t i = 0; i < stack_.size(); ++i) {
        const int count = stack_[i].node->Children()->Count();
        const int passed = stack_[i].next - (i + 1 < stack_.size() ? 1 : 0);
        behind += share * passed / count;
        share /= count;
    }
    return behind;
}

void TCheckedFileNameWalk::VisitReadable(Frame& frame, TNodeStorage& child) {
    if (!IsChecked(child)) return;
    if (frame.next >= frame.askedUpTo) AskChunk(frame);
    IShellFolder& folder = *frame.folder;
    const PCItemIDList relative = child.RelativePIDL();
    std::string name;
    if ((frame.allThere || IsThere(folder, relative)) &&
        SUCCEEDED(folder.GetDisplayNameOf(relative, SHGDN_FORPARSING, &name)))
        paths_.push_back(std::move(name));
}

void TCheckedFileNameWalk::VisitUnreadable(TNodeStorage& child) {
    if (!IsChecked(child) || !desktop_) return;
    const UniquePIDL pidl = child.AbsolutePIDL();
    std::string name;
    if (IsFileSystemItem(*desktop_, pidl.get()) &&
        SUCCEEDED(desktop_->GetDisplayNameOf(pidl.get(), SHGDN_FORPARSING, &name)))
        paths_.push_back(std::move(name));
}

void TCheckedFileNameWalk::AskChunk(Frame& frame) {
    // Most often every checked item is there: one question answers for
    // the piece; when it says no, each is asked alone.
    const TNodeStorageList& children = *frame.node->Children();
    frame.askedUpTo = std::min(children.Count(), frame.next + kAskedAtOnce);
    std::vector<PCItemIDList> checked;
    for (int i = frame.next; i < frame.askedUpTo; ++i)
        if (IsChecked(*children.Items(i))) checked.push_back(children.Items(i)->RelativePIDL());
    uint32_t all = SFGAO_FILESYSTEM | SFGAO_VALIDATE;
    frame.allThere = SUCCEEDED(frame.folder->GetAttributesOf(checked.data(), int(checked.size()), &all)) &&
                     (all & SFGAO_FILESYSTEM) != 0;
}

} // namespace ax
