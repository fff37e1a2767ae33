// The host program's window, as a user feels it.
//
//   window_bench startup --ardentix PATH --peer PATH [--reps R]
//     Time from starting the program until its window is on screen with the
//     home folder listed (ardentix with AX_ARDENTIX_SHOWN=1 prints "shown"
//     then), against the start-up of a small GTK3 window (gtk_peer --only
//     startup prints "shown" at its first frame), on the same display, the
//     two taking turns; medians of R runs (default 7). Goal: within 2x GTK3.
//
//   window_bench road [--files N] [--subfolders S] [--dir DIR]
//     The main road on a home folder holding a folder of N files (default
//     100,000), headless: every message the GUI thread serves is timed, and
//     each step's longest block is printed (work called directly, as a
//     button's click would, is one block). Goal: no block over 50 ms;
//     measured and printed, never asserted. With --dir the home is made in
//     DIR, or taken from there when a run made it before, and kept: making
//     100,000 files takes longer than the road. The home also holds two
//     folders of S subfolders each (default 100,000; 0: none): at the road's
//     end one is opened in the tree in one piece (printed apart, for
//     comparison), the other in slices (a step of the road).
#include "app/MainForm.h"
#include "pane_points.h"
#include "controls/ExStatusBar.h"
#include "framework/forms.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "explorer/CheckboxesSynchronizer.h"
#include "explorer/ExplorerViews.h"
#include "shell/NodeStorage.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace ax;
using testing::ButtonPoint;
using testing::CaptionPoint;
using testing::CheckBoxPoint;
using testing::ChildNamed;
namespace fs = std::filesystem;
using Wall = std::chrono::steady_clock;

double Ms(Wall::time_point from, Wall::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

std::string Arg(int argc, char** argv, const char* name, const std::string& fallback) {
    for (int i = 2; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], name)) return argv[i + 1];
    return fallback;
}

// ---- start-up ------------------------------------------------------------------------------

// Starts a program and answers the milliseconds until it printed "shown";
// -1 when it ended without.
double TimeToShown(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    int out[2];
    if (::pipe(out) != 0) return -1;
    const auto start = Wall::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    double shown = -1;
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, size_t(n));
        if (text.find("shown\n") != std::string::npos) {
            shown = Ms(start, Wall::now());
            break;
        }
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return shown;
}

// A home folder as a user's might look: folders and files.
std::string MakeHome(const std::string& base, int folders, int files) {
    const std::string home = base + "/home";
    fs::create_directories(home);
    for (int i = 0; i < folders; ++i) fs::create_directories(home + "/folder" + std::to_string(i));
    for (int i = 0; i < files; ++i) std::ofstream(home + "/file" + std::to_string(i) + ".txt") << "x";
    return home;
}

int Startup(int argc, char** argv) {
    const std::string ardentix = Arg(argc, argv, "--ardentix", "");
    const std::string peer = Arg(argc, argv, "--peer", "");
    const int reps = std::atoi(Arg(argc, argv, "--reps", "7").c_str());
    if (ardentix.empty() || peer.empty()) {
        std::fprintf(stderr, "usage: window_bench startup --ardentix PATH --peer PATH [--reps R]\n");
        return 2;
    }
    char tmpl[] = "/tmp/axwinbenchXXXXXX";
    const std::string base = ::mkdtemp(tmpl);
    const std::string home = MakeHome(base, 30, 200);
    std::vector<double> ours, gtk;
    for (int r = 0; r < reps; ++r) {
        ours.push_back(TimeToShown({ardentix}, {"AX_ARDENTIX_SHOWN=1", "HOME=" + home}));
        gtk.push_back(TimeToShown({peer, "--only", "startup"}, {}));
    }
    fs::remove_all(base);
    if (std::count(ours.begin(), ours.end(), -1.0) || std::count(gtk.begin(), gtk.end(), -1.0)) {
        std::fprintf(stderr, "window_bench: a program did not show its window\n");
        return 1;
    }
    const double a = Median(ours), g = Median(gtk);
    std::printf("%-46s %10s\n", "start-up until shown (median of runs)", "ms");
    std::printf("%-46s %10.1f\n", "ardentix: window shown, home folder listed", a);
    std::printf("%-46s %10.1f\n", "GTK3: small window shown", g);
    std::printf("%-46s %10.2f   goal 2x: %s\n", "ratio ardentix / GTK3", a / g, a <= 2 * g ? "met" : "missed");
    return 0;
}

// ---- the road ------------------------------------------------------------------------------

// Serves messages waiting until done says so, or every one; answers the
// longest one in milliseconds.
template <class Done> double ServeUntil(TApplication& app, Done&& done) {
    double longest = 0;
    MSG m;
    for (int i = 0; i < 100000 && !done() && PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE); ++i) {
        const auto t0 = Wall::now();
        app.HandleMessage();
        longest = std::max(longest, Ms(t0, Wall::now()));
    }
    return longest;
}

// As ServeUntil, waiting for the next message (a timer's) while done says
// no; answers the longest one.
template <class Done> double ServeWaiting(TApplication& app, Done&& done) {
    double longest = 0;
    MSG m;
    for (int i = 0; i < 100000 && !done(); ++i) {
        if (!PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE)) {
            WaitMessage();
            continue;
        }
        const auto t0 = Wall::now();
        app.HandleMessage();
        longest = std::max(longest, Ms(t0, Wall::now()));
    }
    return longest;
}

double Serve(TApplication& app) {
    return ServeUntil(app, [] { return false; });
}

double Click(TApplication& app, TControl* control, POINT p) {
    const POINT s = control->ClientToScreen(p);
    InjectClick(MouseButton::Left, s.x, s.y);
    const double longest = Serve(app);
    // Never the second click of a double click.
    InjectMouseMove(s.x + 40, s.y + 40);
    return std::max(longest, Serve(app));
}

template <class F> double Timed(F&& work) {
    const auto t0 = Wall::now();
    work();
    return Ms(t0, Wall::now());
}

int Road(int argc, char** argv) {
    const int files = std::atoi(Arg(argc, argv, "--files", "100000").c_str());
    const int subfolders = std::atoi(Arg(argc, argv, "--subfolders", "100000").c_str());
    const std::string kept = Arg(argc, argv, "--dir", "");
    char tmpl[] = "/tmp/axroadbenchXXXXXX";
    const std::string base = kept.empty() ? std::string(::mkdtemp(tmpl)) : kept;
    const std::string home = base + "/home";
    const std::string big = home + "/big";
    const std::string marker = base + "/made-" + std::to_string(files);
    const bool made = fs::exists(marker);
    if (!made) {
        MakeHome(base, 10, 20);
        fs::create_directories(big);
    }
    for (int i = 0; i < files && !made; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/file%06d.dat", i);
        const int fd = ::open((big + name).c_str(), O_WRONLY | O_CREAT, 0644);
        // A home cut short (its file system out of inodes) would be kept
        // and measured as if whole.
        if (fd < 0) {
            std::perror((big + name).c_str());
            return 2;
        }
        ::close(fd);
    }
    // Marks the home complete, for the next run.
    if (!made && !kept.empty()) std::ofstream(marker).put('\n');
    // Two folders of many subfolders each: one opened in one piece, one in
    // slices.
    const std::string manyMarker = base + "/made-many-" + std::to_string(subfolders);
    const bool manyMade = subfolders == 0 || fs::exists(manyMarker);
    for (const char* many : {"/many1", "/many2"}) {
        if (manyMade) break;
        fs::create_directories(home + many);
        for (int i = 0; i < subfolders; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/d%06d", i);
            ::mkdir((home + many + name).c_str(), 0755);
        }
    }
    if (!manyMade && !kept.empty()) std::ofstream(manyMarker).put('\n');
    // A user's home is not being filled while they work in it: a folder
    // changed within the last two seconds is read at every question.
    if (!made || !manyMade) std::this_thread::sleep_for(std::chrono::seconds(3));
    ::setenv("HOME", home.c_str(), 1);
    SelectDisplay(DisplayKind::Headless);

    struct Step {
        const char* name;
        double ms;
    };
    std::vector<Step> steps;
    int selected = 0;
    double spread = 0;
    double oneExpansion = 0;
    int slices = 0;
    {
        TApplication app(nullptr);
        TMainform* w = nullptr;
        steps.push_back({"start: window made, home listed, painted", Timed([&] {
                             w = app.CreateForm<TMainform>();
                             w->ErrorDisplay = [](const AnsiString& t) { std::fprintf(stderr, "%s\n", t.c_str()); };
                             w->SetRootPath(home);
                             w->Show();
                             RedrawWindow(w->Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                         })});
        Serve(app);
        PDataNode bigNode = ChildNamed(w->ExpTree, w->ExpTree->GetFirst(), "big");
        // The list lists the folder in slices, each a message of its own:
        // served to the end before the next step.
        double choose = Click(app, w->ExpTree, CaptionPoint(w->ExpTree, bigNode));
        choose = std::max(choose, ServeWaiting(app, [&] { return !w->ExpList->ListingPending(); }));
        steps.push_back({"choose the big folder in the tree (list follows)", choose});
        // The check spreads over the folder in slices, each a message of its
        // own: served to the end before the next step.
        // The calls of the gauge: the click's, one a slice.
        const auto gauge = w->Synchronizer->OnSpreadProgress;
        w->Synchronizer->OnSpreadProgress = [&, gauge](TCheckboxesSynchronizer* s, int done, int total) {
            ++slices;
            gauge(s, done, total);
        };
        const auto checked = Wall::now();
        double check = Click(app, w->ExpTree, CheckBoxPoint(w->ExpTree, bigNode));
        check = std::max(check, ServeWaiting(app, [&] { return !w->Synchronizer->SpreadPending(); }));
        spread = Ms(checked, Wall::now());
        steps.push_back({"check the big folder in the tree", check});
        PDataNode first = w->ExpList->GetFirstChild(nullptr);
        steps.push_back({"uncheck one file in the list",
                         Click(app, w->ExpList, CheckBoxPoint(w->ExpList, first))});
        const std::string job = base + "/road.JOB";
        // The Save command's save: written in slices, each a message of its
        // own, served to the end before the next step.
        double save = Timed([&] { w->BeginSaveJob(job); });
        save = std::max(save, ServeWaiting(app, [&] { return !w->Saving(); }));
        steps.push_back({"save the job", save});
        TMainform* again = nullptr;
        steps.push_back({"a fresh window made and shown", Timed([&] {
                             again = TComponent::Create<TMainform>(w);
                             again->SetRootPath(home);
                             again->Show();
                         })});
        Serve(app);
        steps.push_back({"load the job into it (read and checked)", Timed([&] { again->LoadJob(job); })});
        steps.push_back({"its items checked against the disk (a message)",
                         ServeUntil(app, [&] { return !again->ExpTree->Storage().LoadPending(); })});
        steps.push_back({"the panes made again (messages)", Serve(app)});
        steps.push_back({"show the selection", Timed([&] { again->ShowSelection(); })});
        // A long selection's text is made in slices, each a message of its
        // own: served to the end with the painting.
        double paint = ServeWaiting(app, [&] { return !again->ShowingSelection(); });
        paint = std::max(paint, Serve(app));
        steps.push_back({"paint the selection", paint});
        selected = again->Selection().Count();
        if (subfolders > 0) {
            // Opened by its button: in one piece as before slices, then the
            // other in slices, served to the end.
            TExplorerTreeview* tree = again->ExpTree;
            tree->SetExpandSliceSize(INT_MAX);
            oneExpansion = Click(app, tree, ButtonPoint(tree, ChildNamed(tree, tree->GetFirst(), "many1")));
            tree->SetExpandSliceSize(10000);
            double expand = Click(app, tree, ButtonPoint(tree, ChildNamed(tree, tree->GetFirst(), "many2")));
            expand = std::max(expand, ServeWaiting(app, [&] { return !tree->ExpansionPending(); }));
            steps.push_back({"open a folder of many subfolders in the tree", expand});
        }
    }
    if (kept.empty()) fs::remove_all(base);
    std::printf("the main road on a folder of %d files (headless): longest GUI-thread block per step\n", files);
    double longest = 0;
    for (const Step& s : steps) {
        std::printf("  %-52s %9.1f ms\n", s.name, s.ms);
        longest = std::max(longest, s.ms);
    }
    std::printf("  %-52s %9.1f ms   goal 50 ms: %s\n", "longest block", longest, longest <= 50 ? "met" : "missed");
    std::printf("  (selection after the road: %d paths)\n", selected);
    std::printf("  (checking the big folder, until spread to its last item: %.1f ms, %d slices after the click)\n",
                spread, slices - 1);
    if (subfolders > 0)
        std::printf("  (opening a folder of %d subfolders in one piece, without slices: %.1f ms)\n", subfolders,
                    oneExpansion);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && !std::strcmp(argv[1], "startup")) return Startup(argc, argv);
    if (argc >= 2 && !std::strcmp(argv[1], "road")) return Road(argc, argv);
    std::fprintf(stderr, "usage: window_bench startup ... | window_bench road [--files N]\n");
    return 2;
}
