// The node storage's records written a slice at a time, and the root
// storage's save to a file in slices on them.
#include "NodeRecordWriter.h"

#include "rtl/exceptions.h"
#include "rtl/scopeguard.h"
#include "shell/WideStrings.h"

#include <algorithm>

namespace ax {

NodeRecordWriter::NodeRecordWriter(TNodeStorage& top, int32_t version, bool writeVerToStream)
    : top_(top), version_(version), writeVer_(writeVerToStream) {}

void NodeRecordWriter::Open(TStream& stream, TNodeStorage& node, size_t parentLength) {
    node.WriteHead(stream, version_, writeVer_, path_);
    if (node.children_) {
        node.children_->WriteHead(stream, version_, writeVer_);
        frames_.push_back({&node, 0, parentLength});
        return;
    }
    node.WriteTail(stream, version_, writeVer_);
    path_.resize(parentLength);
}

bool NodeRecordWriter::Write(TStream& stream, size_t records) {
    if (done_) return true;
    size_t left = std::max<size_t>(records, 1);
    if (!begun_) {
        begun_ = true;
        top_.AppendPathBytes(path_);
        Open(stream, top_, 0);
        --left;
    }
    while (!frames_.empty()) {
        const Frame& frame = frames_.back();
        const auto& nodes = frame.node->children_->nodes_;
        if (frame.next < nodes.size()) {
            if (left == 0) return false;
            TNodeStorage& child = *nodes[frames_.back().next++];
            const auto* item = reinterpret_cast<PCItemIDList>(child.item_.Bytes());
            Assert(item != nullptr, "Node storage: a child without an item");
            const size_t length = path_.size();
            path_.append(reinterpret_cast<const char*>(item), item->mkid.cb);
            Open(stream, child, length);
            --left;
            continue;
        }
        TNodeStorage& node = *frame.node;
        const size_t parentLength = frame.parentLength;
        frames_.pop_back();
        node.WriteTail(stream, version_, writeVer_);
        path_.resize(parentLength);
    }
    done_ = true;
    return true;
}

double NodeRecordWriter::Progress() const {
    if (done_) return 1;
    // Each list's share, the child under way counted by the lists below it.
    double progress = 0;
    for (size_t i = frames_.size(); i-- > 0;) {
        const size_t count = frames_[i].node->children_->nodes_.size();
        if (count == 0) continue;
        const bool open = i + 1 < frames_.size();
        progress = (double(frames_[i].next - (open ? 1 : 0)) + (open ? progress : 0)) / double(count);
    }
    return std::clamp(progress, 0.0, 1.0);
}

// ---- The root storage's save in slices ------------------------------------------------------

void TRootNodeStorage::BeginSaveToFile(const WideString& fileName, int32_t version, bool writeVerToStream) {
    FinishSave();
    // A check still spreading belongs to what is saved.
    CompletePending();
    auto save = std::make_unique<SlicedSave>();
    save->file = std::make_unique<TAtomicSave>(WideToUtf8(fileName));
    save->writer = std::make_unique<NodeRecordWriter>(*this, version, writeVerToStream);
    save_ = std::move(save);
}

bool TRootNodeStorage::SaveStep(size_t records) {
    if (!save_) return true;
    if (save_->busy) return false;
    if (save_->file) {
        // A failure ends the save: the temporary file goes with it.
        ScopeGuard failed([this] { save_.reset(); });
        save_->busy = true;
        // The rename waits for a step of its own: it may free the pages of
        // a big file it replaces.
        const bool renamed = !save_->writer;
        if (renamed) {
            save_->file->Commit();
            save_->file.reset();
        } else if (save_->writer->Write(save_->file->Stream(), records)) {
            save_->writer.reset();
        }
        save_->busy = false;
        failed.Dismiss();
        if (!renamed) return false;
    }
    const std::unique_ptr<SlicedSave> over = std::move(save_);
    if (over->failure) std::rethrow_exception(over->failure);
    return true;
}

void TRootNodeStorage::FinishSave() {
    if (save_ && save_->busy) return;
    while (!SaveStep(SIZE_MAX)) {
    }
}

double TRootNodeStorage::SaveProgress() const {
    if (!save_) return 1;
    return save_->writer ? save_->writer->Progress() : 1;
}

void TRootNodeStorage::CompleteSave() {
    if (!save_ || !save_->file || save_->busy) return;
    save_->busy = true;
    try {
        // Perhaps all written, only the rename left.
        if (save_->writer) save_->writer->Write(save_->file->Stream(), SIZE_MAX);
        save_->writer.reset();
        save_->file->Commit();
    } catch (...) {
        // Told by SaveStep or FinishSave: the change that asked goes on.
        save_->failure = std::current_exception();
        save_->writer.reset();
    }
    save_->file.reset();
    save_->busy = false;
}

} // namespace ax
