#pragma once
// Controls on a real display: a private Xvfb with openbox, the application
// on its own thread as a program runs it, and the test thread as the user
// (XTest input) who waits, bounded, for what the program does. The program
// draws with the real font: its pictures are for people, and every point
// the tests click is asked of the program, never computed from a font.
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

// The application's thread: builds the main form, runs the application
// until it ends, and runs the test's calls.
class X11Program {
public:
    using Bound = Xvfb::Bound;

    // build makes the main form; beforeEnd runs before the application is
    // told to end (it answers a box a failed test left open). Both run on
    // the application's thread.
    X11Program(std::function<TForm*(TApplication&)> build, std::function<void()> beforeEnd)
        : build_(std::move(build)), beforeEnd_(std::move(beforeEnd)) {
        thread_ = std::thread([this] { Main(); });
    }
    ~X11Program() {
        if (!Finished())
            Call([this] {
                beforeEnd_();
                app_->Terminate();
            });
        if (!WaitState([&] { return finished_; }, Xvfb::kBound)) {
            // A thread that cannot be joined would hang the run: end it here.
            std::fprintf(stderr, "the application did not end\n");
            std::abort();
        }
        thread_.join();
    }

    bool WaitReady() { return WaitState([&] { return ready_ || finished_; }, Xvfb::kBound) && ready_; }
    bool Finished() {
        std::lock_guard<std::mutex> g(mutex_);
        return finished_;
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
        Call([&] { value = fn(); });
        return value;
    }
    // Queues fn for the application's thread and returns at once: for what
    // runs a modal loop of its own (a message box).
    void Post(std::function<void()> fn) {
        PostMessage(callWindow_, kPost, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(fn))));
    }

    // Texts the application showed as errors.
    std::vector<std::string> Errors() {
        std::lock_guard<std::mutex> g(mutex_);
        return errors_;
    }

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

    bool WaitState(const std::function<bool()>& done, Bound bound) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, bound, done);
    }

    void Main() {
        // Real glyphs: the screenshots are what a person looks at.
        SetTestFont(false);
        if (SelectDisplay(DisplayKind::X11)) {
            auto app = std::make_unique<TApplication>(nullptr);
            app_ = app.get();
            app->ExceptionDisplay = [this](const AnsiString& text, const AnsiString&) {
                std::lock_guard<std::mutex> g(mutex_);
                errors_.push_back(text);
            };
            WNDCLASS wc;
            wc.lpszClassName = "ControlsX11TestCalls";
            wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
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
            };
            RegisterClass(wc);
            callWindow_ = CreateWindowEx(0, "ControlsX11TestCalls", "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE);
            formWindow_ = build_(*app)->Handle();
            xWindow_ = NativeWindow(formWindow_);
            {
                std::lock_guard<std::mutex> g(mutex_);
                ready_ = true;
            }
            changed_.notify_all();
            app->Run();
            app.reset();
            for (HWND h : EnumThreadTopWindows(GetCurrentThreadId())) DestroyWindow(h);
        }
        std::lock_guard<std::mutex> g(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    std::function<TForm*(TApplication&)> build_;
    std::function<void()> beforeEnd_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false, finished_ = false;
    std::vector<std::string> errors_;
    TApplication* app_ = nullptr;
    HWND callWindow_ = nullptr;
    HWND formWindow_ = nullptr;
    unsigned long xWindow_ = 0;
};

// Starts the server, the window manager and the program built by Build(),
// and waits until the main form is shown where the program thinks it is.
class X11ControlsTest : public ::testing::Test {
protected:
    // The main form, made on the program's thread.
    virtual TForm* Build(TApplication& app) = 0;
    // Runs on the program's thread before it is told to end.
    virtual void BeforeEnd() {}

    void SetUp() override {
        const std::string binary = FindXvfb();
        if (binary.empty() || FindProgram("openbox").empty()) GTEST_SKIP() << "Xvfb or openbox is not installed";
        ASSERT_TRUE(server.Start(binary)) << server.Error();
        ASSERT_TRUE(server.StartWindowManager()) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        SetClock(&clock);
        program = std::make_unique<X11Program>([this](TApplication& app) { return Build(app); },
                                               [this] { BeforeEnd(); });
        ASSERT_TRUE(program->WaitReady()) << "the application did not start";
        window = program->xWindow();
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(server.WaitFor([&] { return server.WmState(window) == 1; })) << "the main form was never mapped";
        ASSERT_TRUE(Shown(program->formWindow())) << "the main form and its X window disagree";
        // The window manager does not always focus a window mapped just
        // after its own start, and its configuration here has no click to
        // focus: the user picks the form from the taskbar, so that keys
        // reach it.
        server.Activate(window);
        ASSERT_TRUE(Shown(program->formWindow(), true)) << "the main form did not get the keyboard";
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
    static std::filesystem::path SnapshotPath(const std::string& name) {
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        const std::filesystem::path folder = dir ? dir : "snapshots";
        std::filesystem::create_directories(folder);
        return folder / (name + ".png");
    }

    Xvfb server;
    ManualClock clock;
    std::unique_ptr<X11Program> program;
    unsigned long window = 0;
};

} // namespace ax::test
