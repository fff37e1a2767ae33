// The change notifier under a burst, on the system clock (the real 750 ms
// quiet period):
//
//   kernel  10,000 files created in a watched folder as fast as the file
//           system takes them: the control must get one batch holding one
//           "Update Directory" of the folder (goal), and how long after the
//           last creation it came is printed.
//   bus     10,000 "Item Create" announcements of our own file operations,
//           through the shell thread to the dispatch thread: microseconds
//           per event, and the ratio to creating one file.
//   direct  10,000 events queued with the dispatch thread (PostShellEvent):
//           the folding alone, per event and as a ratio to creating a file.
//
// Medians of --reps runs (default 5). The exit status is 1 when a goal is
// missed.
#include "framework/forms.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "platform/window/display.h"
#include "shell/ShellNotifier.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ax;
using Wall = std::chrono::steady_clock;

namespace {

constexpr int kFiles = 10000;

double Ms(Wall::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Batch {
    Wall::time_point arrived;
    std::vector<std::pair<TShellNotifyEvent, std::string>> events;
};

class Listener : public TWinControl {
public:
    explicit Listener(TComponent* owner) : TWinControl(owner) {}
    std::vector<Batch> batches;

protected:
    void WndProc(TMessage& m) override {
        if (m.Msg != WM_SHELLNOTIFY) return TWinControl::WndProc(m);
        auto* list = reinterpret_cast<TShellEventList*>(m.WParam);
        Batch b{Wall::now(), {}};
        for (const auto& e : *list) {
            const auto* p = reinterpret_cast<const char*>(e->PIDL1.get());
            b.events.emplace_back(e->Kind, p ? std::string(p, ILByteSize(e->PIDL1.get())) : "");
        }
        batches.push_back(std::move(b));
        list->Release();
    }
};

// Serves messages for a while (real time).
void PumpFor(int ms) {
    const auto end = Wall::now() + std::chrono::milliseconds(ms);
    MSG m;
    while (Wall::now() < end) {
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(m);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string Parsed(const std::string& path) {
    UniquePIDL p(PathToPIDL(Utf8ToWide(path)));
    return p ? std::string(reinterpret_cast<const char*>(p.get()), ILByteSize(p.get())) : "";
}

void CreateFiles(const std::string& folder, const char* stem) {
    char name[64];
    for (int i = 0; i < kFiles; ++i) {
        std::snprintf(name, sizeof name, "/%s%05d", stem, i);
        const int fd = open((folder + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
    }
}

bool WaitFor(TChangeDispatchThread& d, uint64_t events) {
    const auto end = Wall::now() + std::chrono::seconds(60);
    while (d.EventsReceived() < events)
        if (Wall::now() > end) return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int reps = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--reps")) reps = std::max(1, std::atoi(argv[i + 1]));
    char tmpl[] = "/tmp/axnotifyXXXXXX";
    if (!mkdtemp(tmpl)) return 2;
    const std::string root = tmpl;

    SelectDisplay(DisplayKind::Headless);
    auto app = std::make_unique<TApplication>(nullptr);
    auto* form = app->CreateForm<TForm>();
    auto* listener = TComponent::Create<Listener>(form);
    listener->SetParent(form);
    listener->HandleNeeded();
    auto& notifier = static_cast<TShellChangeNotifier&>(ChangeNotifier());
    notifier.RegisterShellChangeNotify(listener);
    notifier.RegisterKernelChangeNotify(listener, DefaultKernelFilter);

    std::vector<double> createMs, deliveredMs, busUs, directUs;
    bool goalMet = true;
    int worstBatches = 1, worstEvents = 1;
    for (int rep = 0; rep < reps; ++rep) {
        const std::string folder = root + "/run" + std::to_string(rep);
        mkdir(folder.c_str(), 0755);
        const std::string folderBytes = Parsed(folder);
        notifier.NotifyWatchFolder(listener, Utf8ToWide(folder));
        TKernelChangeThread* kernel = notifier.KernelThread();
        const uint64_t asked = kernel->RebuildsAsked();
        while (kernel->RebuildsDone() < asked)
            std::this_thread::yield();
        PumpFor(ShellNotifyQuietMs + 250); // nothing left over from before
        listener->batches.clear();

        // kernel: a burst of creations in the watched folder
        const auto start = Wall::now();
        CreateFiles(folder, "k");
        const auto created = Wall::now();
        createMs.push_back(Ms(created - start));
        PumpFor(3 * ShellNotifyQuietMs);
        const auto& got = listener->batches;
        const bool one = got.size() == 1 && got[0].events.size() == 1 &&
                         got[0].events[0].first == sneUpdateDir &&
                         got[0].events[0].second == folderBytes;
        if (!one) {
            goalMet = false;
            worstBatches = std::max<int>(worstBatches, int(got.size()));
            for (const Batch& b : got)
                worstEvents = std::max<int>(worstEvents, int(b.events.size()));
        }
        if (!got.empty()) deliveredMs.push_back(Ms(got.back().arrived - created));

        // bus: our own operations announcing creations
        TChangeDispatchThread& dispatch = *notifier.DispatchThread();
        std::vector<std::string> paths;
        for (int i = 0; i < kFiles; ++i)
            paths.push_back(folder + "/b" + std::to_string(i));
        uint64_t before = dispatch.EventsReceived();
        auto t0 = Wall::now();
        for (const std::string& p : paths)
            SHChangeNotifyPaths(SHCNE_CREATE, p);
        if (!WaitFor(dispatch, before + kFiles)) goalMet = false;
        busUs.push_back(Ms(Wall::now() - t0) * 1000.0 / kFiles);

        // direct: the folding alone
        std::vector<std::string> pidls;
        for (const std::string& p : paths)
            pidls.push_back(PathToPidlBytes(p));
        before = dispatch.EventsReceived();
        t0 = Wall::now();
        for (const std::string& p : pidls)
            notifier.PostShellEvent(sneCreate, reinterpret_cast<PCItemIDList>(p.data()));
        directUs.push_back(Ms(Wall::now() - t0) * 1000.0 / kFiles);
        PumpFor(ShellNotifyQuietMs + 250);
    }

    notifier.UnRegisterAll();
    ShellNotifierFinalize();
    app.reset();
    ShellUtilitiesFinalize();
    std::error_code error;
    std::filesystem::remove_all(root, error);

    const double perFileUs = Median(createMs) * 1000.0 / kFiles;
    std::printf("change notifier, bursts of %d, median of %d runs\n", kFiles, reps);
    std::printf("| step | figure | ratio to creating one file | goal |\n|---|---|---|---|\n");
    std::printf("| create %d files (open, close) | %.1f ms, %.2f us/file | 1.00 | |\n", kFiles,
                Median(createMs), perFileUs);
    std::printf("| kernel watch: batches for the burst | %s | | one batch, one Update Directory: %s |\n",
                goalMet ? "1 batch, 1 event" : "more", goalMet ? "met" : "MISSED");
    if (!goalMet)
        std::printf("| worst run | %d batches, %d events in one | | |\n", worstBatches, worstEvents);
    if (!deliveredMs.empty())
        std::printf("| batch after the last creation | %.0f ms | | quiet period %u ms |\n",
                    Median(deliveredMs), ShellNotifyQuietMs);
    std::printf("| bus: announcement to dispatch thread | %.2f us/event | %.2f | |\n",
                Median(busUs), Median(busUs) / perFileUs);
    std::printf("| direct: folding one event | %.2f us/event | %.2f | |\n", Median(directUs),
                Median(directUs) / perFileUs);
    return goalMet ? 0 : 1;
}
