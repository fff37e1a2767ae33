// The backup selection at scale: 100,000 checked files in 1,000 folders,
// stored, read back as CheckedFileNames, saved and loaded as a ".JOB"; and
// `find` over the same tree, the floor for walking it.
#include "platform/shellns/shellapi.h"
#include "rtl/streams.h"
#include "rtl/text.h"
#include "shell/NodeStorage.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ax {
namespace {

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;

struct Tree {
    std::string root;
    std::vector<std::string> paths;
    std::vector<PItemIDList> pidls;
    std::string job;

    Tree() {
        char pattern[] = "/tmp/axselectionXXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        root = pattern;
        char name[64];
        for (int d = 0; d < kFolders; ++d) {
            std::snprintf(name, sizeof name, "/folder %04d", d);
            const std::string dir = root + name;
            mkdir(dir.c_str(), 0755);
            for (int f = 0; f < kFilesPerFolder; ++f) {
                std::snprintf(name, sizeof name, "/file-%03d.dat", f);
                paths.push_back(dir + name);
                std::ofstream(paths.back()) << "x";
            }
        }
        ShellFolderPtr desktop;
        SHGetDesktopFolder(&desktop);
        for (const std::string& p : paths) {
            PItemIDList pidl = nullptr;
            if (FAILED(desktop->ParseDisplayName(p, &pidl))) std::abort();
            pidls.push_back(pidl);
        }
        job = root + ".JOB";
    }
    ~Tree() {
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        for (PItemIDList p : pidls)
            m->Free(p);
        std::error_code error;
        std::filesystem::remove_all(root, error);
        std::filesystem::remove(job, error);
    }
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

// Bytes the C library's heap holds in use now (the bench runs on it, not on
// the program's memory manager, whose blocks are powers of two).
double HeapInUse() { return double(mallinfo2().uordblks); }

void StoreAll(TRootNodeStorage& storage, size_t count = kFolders * kFilesPerFolder) {
    for (size_t i = 0; i < count; ++i) {
        PItemIDList pidl = TheTree().pidls[i];
        TNodeStorage* node = storage.Store(pidl, skCheck);
        node->Storage.CheckState = csCheckedNormal;
        node->Storage.CheckType = ctTriStateCheckBox;
    }
}

void BM_StoreParsedPIDLs(benchmark::State& state) {
    TheTree();
    for (auto _ : state) {
        TRootNodeStorage storage;
        StoreAll(storage);
        benchmark::DoNotOptimize(storage.Children());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(TheTree().pidls.size()));
}
BENCHMARK(BM_StoreParsedPIDLs)->Unit(benchmark::kMillisecond);

void BM_SetCheckedFileNames(benchmark::State& state) {
    TStringList paths;
    for (const std::string& p : TheTree().paths)
        paths.Add(p);
    for (auto _ : state) {
        TRootNodeStorage storage;
        storage.SetCheckedFileNames(paths);
        benchmark::DoNotOptimize(storage.Children());
    }
    state.SetItemsProcessed(state.iterations() * paths.Count());
}
BENCHMARK(BM_SetCheckedFileNames)->Unit(benchmark::kMillisecond);

// The argument is how many of the files are checked (the first ones, folder
// by folder), to show that reading grows linearly.
void BM_CheckedFileNames(benchmark::State& state) {
    const auto count = size_t(state.range(0));
    TRootNodeStorage storage;
    StoreAll(storage, count);
    // What the list holds of each path (its first fill; later ones reuse it).
    const double before = HeapInUse();
    storage.CheckedFileNames();
    state.counters["list_bytes_per_path"] = (HeapInUse() - before) / double(count);
    for (auto _ : state) {
        const TStringList& names = storage.CheckedFileNames();
        if (size_t(names.Count()) != count) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * int64_t(count));
}
BENCHMARK(BM_CheckedFileNames)->Arg(10000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same selection streamed, as the `selection` command reads it: each
// path handed over as it is found, none kept.
void BM_ForEachCheckedFileName(benchmark::State& state) {
    const auto count = size_t(state.range(0));
    TRootNodeStorage storage;
    StoreAll(storage, count);
    for (auto _ : state) {
        size_t listed = 0;
        storage.ForEachCheckedFileName([&](std::string&& name) { listed += !name.empty(); });
        if (listed != count) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * int64_t(count));
}
BENCHMARK(BM_ForEachCheckedFileName)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SaveJob(benchmark::State& state) {
    TRootNodeStorage storage;
    StoreAll(storage);
    for (auto _ : state)
        storage.SaveToFile(Utf8ToWide(TheTree().job), 3, false);
    struct stat st {};
    stat(TheTree().job.c_str(), &st);
    state.counters["job_bytes"] = double(st.st_size);
}
BENCHMARK(BM_SaveJob)->Unit(benchmark::kMillisecond);

void BM_LoadJob(benchmark::State& state) {
    {
        TRootNodeStorage storage;
        StoreAll(storage);
        storage.SaveToFile(Utf8ToWide(TheTree().job), 3, false);
    }
    double recordBytes = 0;
    const double records = double(kFolders * (kFilesPerFolder + 1));
    for (auto _ : state) {
        const double before = HeapInUse();
        TRootNodeStorage storage;
        storage.LoadFromFile(Utf8ToWide(TheTree().job), 3, false);
        benchmark::DoNotOptimize(storage.Children());
        state.PauseTiming();
        recordBytes = (HeapInUse() - before) / records;
        state.ResumeTiming();
    }
    // What a loaded record holds: the record, its PIDL and its list slot.
    state.counters["bytes_per_record"] = recordBytes;
}
BENCHMARK(BM_LoadJob)->Unit(benchmark::kMillisecond);

// The floor: listing the same tree with find (one process, output thrown
// away).
void BM_FindSameTree(benchmark::State& state) {
    const std::string cmd = "find '" + TheTree().root + "' > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("find failed");
}
BENCHMARK(BM_FindSameTree)->Unit(benchmark::kMillisecond);

// find that also stats every entry, as the selection's existence checks do.
void BM_FindWithStat(benchmark::State& state) {
    const std::string cmd =
        "find '" + TheTree().root + "' -type f -newer /etc/hostname > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("find failed");
}
BENCHMARK(BM_FindWithStat)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace ax

BENCHMARK_MAIN();
