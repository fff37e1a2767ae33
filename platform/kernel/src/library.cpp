// The library table: each name (case folded) loaded once and counted, served
// by a registered stand-in or by the dynamic loader, and handed out under a
// handle of its own. Any thread may call.
#include "platform/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <vector>

namespace ax {

namespace {

std::string Folded(std::string_view name) {
    std::string s(name);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

struct Loaded {
    HMODULE handle = 0;
    std::string key;                      // folded name
    void* library = nullptr;              // dlopen handle, or
    std::map<std::string, void*> exports; // a stand-in's table
    int loads = 0;
};

struct Libraries {
    std::mutex mutex;
    std::map<std::string, std::map<std::string, void*>> standIns; // by folded name
    std::vector<Loaded> loaded;
    HMODULE next = 0x10000;
};

// Never destroyed: display drivers and other statics unregister their
// stand-ins while the program's statics are being torn down.
Libraries& L() {
    static Libraries& libraries = *new Libraries;
    return libraries;
}

std::atomic<unsigned> errorMode{0};

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string s(path, size_t(n));
    const size_t slash = s.rfind('/');
    return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

void* OpenReal(const std::string& name) {
    if (name.empty()) return nullptr;
    if (void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    if (name.find('/') != std::string::npos) return nullptr;
    const std::string beside = ProgramFolder() + name;
    return dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

unsigned SetErrorMode(unsigned mode) { return errorMode.exchange(mode); }

HMODULE LoadLibrary(std::string_view name) {
    Libraries& l = L();
    const std::string key = Folded(name);
    std::lock_guard<std::mutex> g(l.mutex);
    for (Loaded& entry : l.loaded)
        if (entry.key == key) {
            ++entry.loads;
            return entry.handle;
        }
    Loaded entry;
    entry.key = key;
    if (auto standIn = l.standIns.find(key); standIn != l.standIns.end()) {
        entry.exports = standIn->second;
    } else {
        entry.library = OpenReal(std::string(name));
        if (!entry.library) return 0;
    }
    entry.handle = l.next;
    l.next += 0x10000;
    entry.loads = 1;
    l.loaded.push_back(std::move(entry));
    return l.loaded.back().handle;
}

bool FreeLibrary(HMODULE module) {
    Libraries& l = L();
    std::lock_guard<std::mutex> g(l.mutex);
    for (auto it = l.loaded.begin(); it != l.loaded.end(); ++it) {
        if (it->handle != module) continue;
        if (--it->loads == 0) {
            if (it->library) dlclose(it->library);
            l.loaded.erase(it);
        }
        return true;
    }
    return false;
}

void* GetProcAddress(HMODULE module, std::string_view name) {
    Libraries& l = L();
    std::lock_guard<std::mutex> g(l.mutex);
    for (const Loaded& entry : l.loaded) {
        if (entry.handle != module) continue;
        if (entry.library) return dlsym(entry.library, std::string(name).c_str());
        auto found = entry.exports.find(std::string(name));
        return found == entry.exports.end() ? nullptr : found->second;
    }
    return nullptr;
}

void RegisterLibraryStandIn(std::string_view name, std::map<std::string, void*> exports) {
    Libraries& l = L();
    std::lock_guard<std::mutex> g(l.mutex);
    l.standIns[Folded(name)] = std::move(exports);
}

void UnregisterLibraryStandIn(std::string_view name) {
    Libraries& l = L();
    std::lock_guard<std::mutex> g(l.mutex);
    l.standIns.erase(Folded(name));
}

int LibraryLoadCount(std::string_view name) {
    Libraries& l = L();
    const std::string key = Folded(name);
    std::lock_guard<std::mutex> g(l.mutex);
    for (const Loaded& entry : l.loaded)
        if (entry.key == key) return entry.loads;
    return 0;
}

} // namespace ax
