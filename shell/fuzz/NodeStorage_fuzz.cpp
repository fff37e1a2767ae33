// Feeds arbitrary bytes to the job-stream reader. The first byte picks the
// form (version words or not, and the version) and how it is read (in one
// piece, or so many records a step); the rest is the stream.
// A load either succeeds or raises a read error and leaves the storage as it
// was; either way no PIDL may be left behind.
#include "platform/shellns/pidl.h"
#include "rtl/streams.h"
#include "shell/NodeStorage.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

int64_t LiveBlocks() {
    ax::IMalloc* m = nullptr;
    ax::SHGetMalloc(&m);
    return m->LiveBlocks();
}

std::vector<uint8_t> Saved(ax::TNodeStorage& storage, bool words) {
    ax::TMemoryStream s;
    storage.SaveToStream(s, 3, words);
    return s.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool words = data[0] & 1;
    const int32_t version = (data[0] >> 1) & 3;
    const size_t step = data[0] >> 3; // 0: in one piece
    const int64_t start = LiveBlocks();
    {
        ax::TRootNodeStorage storage;
        const std::vector<uint8_t> before = Saved(storage, words);
        std::vector<uint8_t> bytes(data + 1, data + size);
        try {
            if (step == 0) {
                ax::TMemoryStream stream(std::move(bytes));
                storage.LoadFromStream(stream, version, words);
            } else {
                storage.BeginLoadFromStream(std::make_unique<ax::TMemoryStream>(std::move(bytes)),
                                            version, words, step);
                while (!storage.BeginLoadStep(step)) {
                }
                storage.FinishLoad();
            }
            storage.CheckedFileNames();
            Saved(storage, words);
        } catch (const ax::EReadError&) {
            if (Saved(storage, words) != before) std::abort(); // loaded half way
        }
    }
    if (LiveBlocks() != start) std::abort(); // a PIDL leaked or was freed twice
    return 0;
}
