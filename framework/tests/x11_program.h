#pragma once
// Forms on a real display: a private Xvfb with openbox, the application on
// its own thread as a program runs it, and the test thread as the user
// (XTest input) who waits, bounded, for what the program does.
//
// X11Program is the application's thread; X11FormTest is a fixture that
// starts the server, the window manager and a program, and waits until the
// main form is shown where the program thinks it is.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/forms.h"
#include "platform/gdi/gdi.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "xvfb.h"

namespace ax::test {

// An input message the application's thread took from its queue.
struct Retrieved {
    HWND hwnd;
    UINT message;
};

// Which messages a program logs: mouse (client and frame), wheel and keys.
inline bool IsInput(UINT m) {
    return (m >= WM_MOUSEMOVE && m <= WM_MBUTTONDBLCLK) || (m >= WM_NCLBUTTONDOWN && m <= WM_NCMBUTTONDBLCLK) ||
           m == WM_MOUSEWHEEL || m == WM_KEYDOWN || m == WM_KEYUP;
}

// The application's thread: builds the main form, runs the application
// until it ends, and runs the test's calls.
class X11Program {
public:
    using Bound = Xvfb::Bound;

    struct Options {
        // Makes the main form (shown, or shown when the application runs).
        std::function<TForm*(TApplication&)> build{};
        // Runs before the application is told to end (it answers a box a
        // failed test left open).
        std::function<void()> beforeEnd{};
        // Runs once the application's loop returned, before it is deleted
        // (it takes back hooks the build set).
        std::function<void()> afterRun{};
        // Which retrieved messages go into the input log; none: no log.
        std::function<bool(UINT)> logged{};
        // The fixed test font; else real glyphs, for pictures people look at.
        bool testFont = false;
    };

    // All of the options' functions run on the application's thread.
    explicit X11Program(Options options) : options_(std::move(options)) {
        static std::atomic<int> programs{0};
        callClass_ = "X11ProgramCalls" + std::to_string(++programs);
        thread_ = std::thread([this] { Main(); });
    }
    X11Program(std::function<TForm*(TApplication&)> build, std::function<void()> beforeEnd)
        : X11Program(Options{.build = std::move(build), .beforeEnd = std::move(beforeEnd)}) {}
    X11Program(const X11Program&) = delete;
    X11Program& operator=(const X11Program&) = delete;
    ~X11Program() {
        if (!Finished())
            Call([this] {
                if (options_.beforeEnd) options_.beforeEnd();
                app_->Terminate();
            });
        if (!WaitFinished(Xvfb::kBound)) {
            // A thread that cannot be joined would hang the run: end it here.
            std::fprintf(stderr, "the application did not end\n");
            std::abort();
        }
        thread_.join();
    }

    bool WaitReady() { return Wait([&] { return ready_ || finished_; }) && ready_; }
    bool Finished() {
        std::lock_guard<std::mutex> g(mutex_);
        return finished_;
    }
    bool WaitFinished(Bound bound) {
        return Wait([&] { return finished_; }, bound);
    }

    // Runs fn on the application's thread (inside its modal loops too) and
    // returns once it ran; false when it did not start within the bound,
    // and then it never runs (it may refer to the caller's locals).
    bool Call(std::function<void()> fn, Bound bound = Xvfb::kBound) {
        auto req = std::make_shared<Request>();
        req->fn = std::move(fn);
        const HWND target = callWindow_;
        // A sender thread of its own keeps the test's wait bounded.
        std::thread([req, target] { SendMessage(target, kCall, 0, reinterpret_cast<LPARAM>(req.get())); }).detach();
        std::unique_lock<std::mutex> lock(req->mutex);
        if (!req->cv.wait_for(lock, bound, [&] { return req->started; })) {
            req->abandoned = true;
            return false;
        }
        req->cv.wait(lock, [&] { return req->ran; }); // started: it ends
        return true;
    }
    template <class T> T Get(std::function<T()> fn) {
        T value{};
        EXPECT_TRUE(Call([&] { value = fn(); })) << "the application did not answer";
        return value;
    }
    // Queues fn for the application's thread and returns at once: for what
    // runs a modal loop of its own (a message box).
    void Post(std::function<void()> fn) {
        PostMessage(callWindow_, kPost, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(fn))));
    }

    // State the application's thread changes and the test waits for (a
    // counter): changed under the program's lock, waited for under it.
    void Change(const std::function<void()>& change) {
        {
            std::lock_guard<std::mutex> g(mutex_);
            change();
        }
        changed_.notify_all();
    }
    bool Wait(const std::function<bool()>& done, Bound bound = Xvfb::kBound) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, bound, done);
    }
    template <class T> T Read(const T& field) {
        std::lock_guard<std::mutex> g(mutex_);
        return field;
    }

    // The input log: the messages the options log, as retrieved.
    size_t InputCount() {
        std::lock_guard<std::mutex> g(mutex_);
        return input_.size();
    }
    std::vector<Retrieved> InputSince(size_t from) {
        std::lock_guard<std::mutex> g(mutex_);
        return from < input_.size() ? std::vector<Retrieved>(input_.begin() + long(from), input_.end())
                                    : std::vector<Retrieved>{};
    }
    // The messages since from, for a failure's text: those for other
    // windows than here are marked.
    std::string InputText(size_t from, HWND here) {
        std::string s;
        for (const Retrieved& r : InputSince(from)) {
            char number[16];
            std::snprintf(number, sizeof number, " 0x%04X", r.message);
            s += number + std::string(r.hwnd == here ? "" : "(elsewhere)");
        }
        return s;
    }
    // Waits until count messages of the kind for the window (any window:
    // nullptr) were retrieved after from.
    bool WaitMessage(size_t from, HWND target, UINT message, int count = 1, Bound bound = Xvfb::kBound) {
        return Wait(
            [&] {
                int seen = 0;
                for (size_t i = from; i < input_.size(); ++i)
                    seen += (!target || input_[i].hwnd == target) && input_[i].message == message;
                return seen >= count;
            },
            bound);
    }
    // Waits until the messages retrieved after from hold a press for the
    // window (client or frame; any window: nullptr) and a release after it.
    bool WaitClick(size_t from, HWND target, Bound bound = Xvfb::kBound) {
        return Wait(
            [&] {
                bool pressed = false;
                for (size_t i = from; i < input_.size(); ++i) {
                    const UINT m = input_[i].message;
                    if (!pressed && (!target || input_[i].hwnd == target) &&
                        (m == WM_LBUTTONDOWN || m == WM_NCLBUTTONDOWN || m == WM_LBUTTONDBLCLK))
                        pressed = true;
                    else if (pressed && (m == WM_LBUTTONUP || m == WM_NCLBUTTONUP))
                        return true;
                }
                return false;
            },
            bound);
    }

    // Texts the application showed as errors.
    std::vector<std::string> Errors() {
        std::lock_guard<std::mutex> g(mutex_);
        return errors_;
    }

    TApplication* app() const { return app_; }
    HWND formWindow() const { return formWindow_; }
    unsigned long xWindow() const { return xWindow_; }

private:
    static constexpr UINT kCall = WM_APP + 0x61, kPost = WM_APP + 0x62;
    struct Request {
        std::function<void()> fn;
        std::mutex mutex;
        std::condition_variable cv;
        bool started = false, ran = false, abandoned = false;
    };

    static LRESULT CallProc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == kCall) {
            auto* req = reinterpret_cast<Request*>(l);
            {
                std::lock_guard<std::mutex> g(req->mutex);
                if (req->abandoned) return 0;
                req->started = true;
                req->cv.notify_all();
            }
            req->fn();
            std::lock_guard<std::mutex> g(req->mutex);
            req->ran = true;
            req->cv.notify_all();
            return 0;
        }
        if (m == kPost) {
            std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(l));
            (*fn)();
            return 0;
        }
        return DefWindowProc(h, m, w, l);
    }

    void Main() {
        SetTestFont(options_.testFont);
        if (SelectDisplay(DisplayKind::X11)) {
            auto app = std::make_unique<TApplication>(nullptr);
            app_ = app.get();
            app->ExceptionDisplay = [this](const AnsiString& text, const AnsiString&) {
                std::lock_guard<std::mutex> g(mutex_);
                errors_.push_back(text);
            };
            WNDCLASS wc;
            wc.lpszClassName = callClass_.c_str();
            wc.lpfnWndProc = &CallProc;
            RegisterClass(wc);
            callWindow_ = CreateWindowEx(0, callClass_.c_str(), "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE);
            formWindow_ = options_.build(*app)->Handle();
            xWindow_ = NativeWindow(formWindow_);
            HHOOK hook = nullptr;
            if (options_.logged)
                hook = SetWindowsHookEx(
                    WH_GETMESSAGE,
                    [this](int, WPARAM remove, LPARAM lp) -> LRESULT {
                        const MSG& m = *reinterpret_cast<const MSG*>(lp);
                        if (remove == PM_REMOVE && options_.logged(m.message))
                            Change([&] { input_.push_back({m.hwnd, m.message}); });
                        return 0;
                    },
                    GetCurrentThreadId());
            Change([&] { ready_ = true; });
            app->Run();
            if (hook) UnhookWindowsHookEx(hook);
            if (options_.afterRun) options_.afterRun();
            app.reset();
            for (HWND h : EnumThreadTopWindows(GetCurrentThreadId())) DestroyWindow(h);
        }
        Change([&] { finished_ = true; });
    }

    Options options_;
    std::string callClass_; // a class of its own: programs never share a window procedure
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false, finished_ = false;
    std::vector<Retrieved> input_;
    std::vector<std::string> errors_;
    TApplication* app_ = nullptr;
    HWND callWindow_ = nullptr;
    HWND formWindow_ = nullptr;
    unsigned long xWindow_ = 0;
};

// The server under its window manager, the injected clock and, once a test
// starts it, the program; the program must show no error.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string binary = FindXvfb();
        if (binary.empty() || FindProgram("openbox").empty()) GTEST_SKIP() << "Xvfb or openbox is not installed";
        ASSERT_TRUE(server.Start(binary)) << server.Error();
        ASSERT_TRUE(server.StartWindowManager()) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        SetClock(&clock);
    }
    void TearDown() override {
        if (program) {
            const std::vector<std::string> errors = program->Errors();
            EXPECT_TRUE(errors.empty()) << errors.front();
            program.reset();
        }
        SelectDisplay(DisplayKind::Headless);
        SetClock(nullptr);
    }
    // A derived fixture's SetUp goes on only when the server runs.
    bool Started() { return !IsSkipped() && !HasFatalFailure(); }

    // Starts the program and waits until its main form is made.
    void StartProgram(X11Program::Options options) {
        program = std::make_unique<X11Program>(std::move(options));
        ASSERT_TRUE(program->WaitReady()) << "the application did not start";
        window = program->xWindow();
        ASSERT_NE(window, 0u);
    }
    // Waits until the main form is mapped where the program has it, then
    // asks the window manager to activate it, as a taskbar would, so that
    // keys reach it.
    void ActivateMainForm() {
        ASSERT_TRUE(server.WaitFor([&] {
            return server.WmState(window) == 1 && server.WindowGeometry(window).viewable;
        })) << "the form was never mapped";
        ASSERT_TRUE(server.WaitFor([&] { return InStep(); })) << "the form and its X window disagree";
        server.Activate(window);
        ASSERT_TRUE(server.WindowManagerBarrier()) << "the window manager did not answer";
    }
    // The main form's rectangle is its X window's, as the server has it.
    bool InStep() {
        const Xvfb::Geometry g = server.WindowGeometry(window);
        RECT r{};
        if (!program->Call([&] { GetWindowRect(program->formWindow(), r); })) return false;
        return g.exists && r == RECT{g.x, g.y, g.x + g.width, g.y + g.height};
    }

    Xvfb server;
    ManualClock clock;
    std::unique_ptr<X11Program> program;
    unsigned long window = 0; // the main form's
};

// Starts the program built by Build(), and waits until the main form is
// shown where the program thinks it is, with the keyboard.
// The program draws with the real font: its pictures are for people, and
// every point the tests click is asked of the program, never computed from
// a font.
class X11FormTest : public X11Test {
protected:
    // The main form, made on the program's thread.
    virtual TForm* Build(TApplication& app) = 0;
    // Runs on the program's thread before it is told to end.
    virtual void BeforeEnd() {}

    void SetUp() override {
        X11Test::SetUp();
        if (!Started()) return;
        ASSERT_NO_FATAL_FAILURE(StartProgram(
            {.build = [this](TApplication& app) { return Build(app); }, .beforeEnd = [this] { BeforeEnd(); }}));
        ASSERT_TRUE(server.WaitFor([&] { return server.WmState(window) == 1; })) << "the main form was never mapped";
        ASSERT_TRUE(Shown(program->formWindow())) << "the main form and its X window disagree";
        // The window manager does not always focus a window mapped just
        // after its own start, and its configuration here has no click to
        // focus: the user picks the form from the taskbar, so that keys
        // reach it.
        server.Activate(window);
        ASSERT_TRUE(Shown(program->formWindow(), true)) << "the main form did not get the keyboard";
    }

    // The X window of a top-level window of the program.
    unsigned long XWindowOf(HWND top) {
        return program->Get<unsigned long>([=] { return NativeWindow(top); });
    }
    // Waits until the window is viewable, painted and where the program
    // has it, so that points the program gives are where the server shows
    // them; with focus, also until it has the keyboard.
    bool Shown(HWND top, bool focus = false) {
        const unsigned long x = XWindowOf(top);
        return x && server.WaitFor([&] {
            const Xvfb::Geometry g = server.WindowGeometry(x);
            if (!g.viewable || (focus && server.FocusWindow() != x)) return false;
            RECT r{};
            if (!program->Call([&] { GetWindowRect(top, r); })) return false;
            return r == RECT{g.x, g.y, g.x + g.width, g.y + g.height};
        });
    }
    // Clicks (button 1: the left one), never as the second click of a
    // double click: the clock moves on before, and the program has taken
    // the click before it moves again (input is stamped when the program
    // reads it from the server).
    void Click(POINT p, int button = 1) {
        clock.Advance(1000);
        server.Click(p.x, p.y, button);
        EXPECT_TRUE(program->Call([] { PumpDisplay(); }));
    }
    void Drag(POINT from, POINT to, int steps) {
        clock.Advance(1000);
        server.Drag(from.x, from.y, to.x, to.y, steps);
        EXPECT_TRUE(program->Call([] { PumpDisplay(); }));
    }
    // Waits until fn, asked on the program's thread, holds.
    bool Until(const std::function<bool()>& fn) {
        return server.WaitFor([&] { return program->Get<bool>(fn); });
    }
    // Writes what the server shows of the window into the snapshot folder,
    // once the program has painted and presented everything pending.
    void Shot(HWND top, const std::string& name) {
        ASSERT_TRUE(program->Call([=] {
            RedrawWindow(top, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            PumpDisplay();
        }));
        EXPECT_TRUE(server.Screenshot(SnapshotPath(name).string(), XWindowOf(top))) << name;
    }
    // What the server shows of control's form is what it shows once the
    // control has painted itself afresh: nothing stale was left by the
    // painting before. Both pictures are kept.
    void ExpectAsRepainted(TWinControl* control, const std::string& name) {
        const HWND top = program->Get<HWND>([=] { return GetAncestor(control->Handle(), GA_ROOT); });
        const std::string before = Picture(top, name);
        ASSERT_TRUE(program->Call([=] { control->Repaint(); }));
        EXPECT_TRUE(Picture(top, name + "_repainted") == before) << name << ": the picture differs from a fresh one";
    }
    // A window as the server shows it, kept as a picture: the PNG's bytes.
    std::string Picture(HWND top, const std::string& name) {
        Shot(top, name);
        std::ifstream in(SnapshotPath(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The snapshot folder: the build tree's, given by the test's
    // environment.
    static std::filesystem::path SnapshotPath(const std::string& name) {
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        const std::filesystem::path folder = dir ? dir : "snapshots";
        std::filesystem::create_directories(folder);
        return folder / (name + ".png");
    }
};

} // namespace ax::test
