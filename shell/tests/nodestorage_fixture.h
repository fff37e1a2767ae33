#pragma once
// A world of its own for every node-storage test: HOME, the XDG folders and
// the mount table point into a fresh temporary folder, and the task
// allocator must end with the blocks it began with. Expected stream bytes
// are written out here by hand, item by item.
#include "platform/shellns/pidl.h"
#include "shellns_fixture.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/streams.h"
#include "shell/NodeStorage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ax::testing {

using Bytes = std::vector<uint8_t>;

inline int64_t LiveBlocks() {
    IMalloc* m = nullptr;
    SHGetMalloc(&m);
    return m->LiveBlocks();
}

// ---- hand-built stream pieces ----

inline Bytes U8(uint8_t v) {
    return {v};
}
inline Bytes U32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
// One item: [cb u16][kind][payload].
inline Bytes Item(uint8_t kind, std::string_view payload) {
    const size_t cb = payload.size() + 3;
    Bytes out{uint8_t(cb & 0xFF), uint8_t(cb >> 8), kind};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}
// Items followed by the terminator.
inline Bytes Pidl(std::initializer_list<Bytes> items) {
    Bytes out = Cat(items);
    out.push_back(0);
    out.push_back(0);
    return out;
}
// A PIDL in stream form: size, then the bytes.
inline Bytes StreamedPidl(const Bytes& pidl) {
    return Cat({U32(uint32_t(pidl.size())), pidl});
}
inline Bytes Computer() {
    return Item(0x1F, "/computer");
}
inline Bytes RecycleBin() {
    return Item(0x1F, "/recyclebin");
}
inline Bytes RootVolume() {
    return Item(0x2F, "/");
}
inline Bytes Entry(std::string_view name) {
    return Item(0x31, name);
}
// Items of an absolute path below the volume "/".
inline Bytes PathItems(const std::string& path) {
    Bytes out = Cat({Computer(), RootVolume()});
    size_t at = 1;
    while (at < path.size()) {
        size_t next = path.find('/', at);
        if (next == std::string::npos) next = path.size();
        const Bytes e = Entry(path.substr(at, next - at));
        out.insert(out.end(), e.begin(), e.end());
        at = next + 1;
    }
    return out;
}
inline Bytes PathPidl(const std::string& path) {
    Bytes out = PathItems(path);
    out.push_back(0);
    out.push_back(0);
    return out;
}
// The tail of a record: kinds, check pair, three empty arrays, no object.
inline Bytes Tail(uint8_t kinds, uint8_t state, uint8_t type) {
    return Cat({U8(kinds), U8(state), U8(type), U32(0), U32(0), U32(0), U8(0)});
}

inline Bytes PidlBytes(PCItemIDList pidl) {
    const auto* p = reinterpret_cast<const uint8_t*>(pidl);
    return pidl ? Bytes(p, p + ILByteSize(pidl)) : Bytes{};
}
inline Bytes PidlBytes(const UniquePIDL& pidl) {
    return PidlBytes(pidl.get());
}

inline Bytes Save(TNodeStorage& storage, int32_t version = 3, bool words = false) {
    TMemoryStream s;
    storage.SaveToStream(s, version, words);
    return s.Bytes();
}
inline void Load(TNodeStorage& storage, const Bytes& bytes, int32_t version = 3,
                 bool words = false) {
    TMemoryStream s(bytes);
    storage.LoadFromStream(s, version, words);
}

class NodeStorageTest : public TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        files = root + "/files";
        mkdir(files.c_str(), 0755);
    }

    static Bytes ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    // Creates files (names ending in "/" are folders) below files/.
    std::string Make(const std::string& relative) {
        const std::string path = files + "/" + relative;
        if (!relative.empty() && relative.back() == '/') {
            mkdir(path.substr(0, path.size() - 1).c_str(), 0755);
            return path.substr(0, path.size() - 1);
        }
        Write(path, "x");
        return path;
    }
    // A task-allocator PIDL for a path that exists.
    PItemIDList Parse(const std::string& path) {
        ShellFolderPtr desktop;
        SHGetDesktopFolder(&desktop);
        PItemIDList pidl = nullptr;
        EXPECT_TRUE(SUCCEEDED(desktop->ParseDisplayName(path, &pidl))) << path;
        return pidl;
    }
    static void Free(PItemIDList pidl) {
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        m->Free(pidl);
    }

    std::string files;
};

// A PIDL held for the length of a scope.
class HeldPidl {
public:
    explicit HeldPidl(const Bytes& bytes) {
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        pidl_ = static_cast<PItemIDList>(m->Alloc(bytes.size()));
        std::memcpy(pidl_, bytes.data(), bytes.size());
    }
    ~HeldPidl() {
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        m->Free(pidl_);
    }
    HeldPidl(const HeldPidl&) = delete;
    HeldPidl& operator=(const HeldPidl&) = delete;
    PItemIDList get() const { return pidl_; }
    operator PItemIDList() const { return pidl_; }

private:
    PItemIDList pidl_;
};

inline std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i]);
    return out;
}

} // namespace ax::testing
