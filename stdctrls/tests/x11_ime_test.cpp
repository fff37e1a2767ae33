// Typing through the X input method on a real display: a private Xvfb with
// openbox, an edit that uses the input method and one whose ImeMode turns it
// off, and keys sent with xdotool as another client (XTest). Once with
// Xlib's own compose (no server), once with an ibus server composing
// Russian from Latin keys when the machine has ibus.
#include "platform/window/display.h"
#include "stdctrls/edit.h"
#include "x11_program.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <X11/Xlib.h> // last: its macros would clash with the names above

extern char** environ;

namespace ax {
namespace {

using namespace std::chrono_literals;

// Runs a command to its end; its output, when asked for.
int RunCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[256];
    std::string out;
    while (size_t n = fread(buf, 1, sizeof buf, pipe))
        out.append(buf, n);
    if (output) *output = out;
    return pclose(pipe);
}

// An ibus daemon serving XIM on the test's display, with a home of its own
// and no session bus.
class IbusServer {
public:
    ~IbusServer() { Stop(); }
    bool Start(const std::string& display, std::string& error) {
        home_ = std::filesystem::temp_directory_path() / ("ax-ibus-" + std::to_string(getpid()));
        std::filesystem::remove_all(home_);
        std::filesystem::create_directories(home_ / "run");
        std::filesystem::permissions(home_ / "run", std::filesystem::perms::owner_all);
        const std::string h = home_.string();
        env_ = "env HOME=" + h + " XDG_RUNTIME_DIR=" + h + "/run XDG_CONFIG_HOME=" + h +
               "/config XDG_CACHE_HOME=" + h + "/cache DBUS_SESSION_BUS_ADDRESS=unix:path=" + h +
               "/no-bus LANG=C.UTF-8 DISPLAY=" + display + " ";
        const std::string command = "exec " + env_ +
                                    "ibus-daemon --xim --panel=disable --emoji-extension=disable "
                                    "--config=disable --desktop=none -r >" +
                                    h + "/ibus.log 2>&1";
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            error = "ibus-daemon could not be started";
            return false;
        }
        return true;
    }
    // The engine, once the daemon has its bus (the command fails until then,
    // and its exit status says nothing).
    bool SetEngine(test::Xvfb& server, const std::string& engine) {
        return server.WaitFor([&] {
            std::string now;
            RunCommand(env_ + "ibus engine 2>/dev/null", &now);
            if (now.rfind(engine, 0) == 0) return true;
            RunCommand(env_ + "ibus engine " + engine + " >/dev/null 2>&1");
            return false;
        });
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
        if (!home_.empty()) std::filesystem::remove_all(home_);
    }

private:
    pid_t pid_ = 0;
    std::filesystem::path home_;
    std::string env_;
};

// Puts the characters on spare keys of the server's keyboard map, as a
// keyboard for their script has them: xdotool then presses those keys
// instead of changing the map for every character it types.
bool AddKeys(const std::string& display, const std::u32string& chars) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return false;
    int low = 0, high = 0, per = 0;
    XDisplayKeycodes(dpy, &low, &high);
    KeySym* map = XGetKeyboardMapping(dpy, KeyCode(low), high - low + 1, &per);
    size_t next = 0;
    for (int code = high; code >= low && next < chars.size(); --code) {
        const KeySym* syms = map + (code - low) * per;
        bool spare = true;
        for (int i = 0; i < per; ++i)
            spare = spare && syms[i] == NoSymbol;
        if (!spare) continue;
        KeySym sym = 0x01000000 | KeySym(chars[next++]);
        XChangeKeyboardMapping(dpy, code, 1, &sym, 1);
    }
    XFree(map);
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return next == chars.size();
}

class X11ImeTest : public test::X11Test {
protected:
    // im: the XMODIFIERS server name ("none": Xlib's own compose).
    void StartWith(const std::string& im) {
        setenv("XMODIFIERS", ("@im=" + im).c_str(), 1);
        ASSERT_NO_FATAL_FAILURE(StartProgram({.build = [this](TApplication& app) { return Build(app); }}));
        ASSERT_NO_FATAL_FAILURE(ActivateMainForm());
        ASSERT_TRUE(server.WaitFor([&] { return server.FocusWindow() == window; }))
            << "the form did not get the keyboard";
    }
    void TearDown() override {
        test::X11Test::TearDown();
        ibus.Stop();
        unsetenv("XMODIFIERS");
    }

    TForm* Build(TApplication& app) {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Input method");
        form->SetBounds(40, 40, 0, 0);
        form->SetClientSize(300, 90);
        composing = TComponent::Create<TEdit>(form);
        composing->SetParent(form);
        composing->SetBounds(10, 10, 280, 26);
        plain = TComponent::Create<TEdit>(form);
        plain->SetParent(form);
        plain->SetBounds(10, 50, 280, 26);
        plain->SetImeMode(imDisable);
        return form;
    }

    void Focus(TEdit* edit) {
        ASSERT_TRUE(program->Call([=] { edit->SetFocus(); }));
        ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
    }
    // Keys from another client, through the server.
    void Xdotool(const std::string& arguments) {
        ASSERT_EQ(RunCommand("DISPLAY=" + server.Name() + " xdotool " + arguments), 0) << arguments;
    }
    // Waits until the edit holds the text (the last text seen, when not).
    std::string WaitText(TEdit* edit, const std::string& wanted) {
        std::string seen;
        server.WaitFor([&] {
            seen = program->Get<std::string>([=] { return edit->Text(); });
            return seen == wanted;
        });
        return seen;
    }
    void Shot(const std::string& name) {
        ASSERT_TRUE(program->Call([this] {
            RedrawWindow(program->formWindow(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            PumpDisplay();
        }));
        const char* dir = std::getenv("AX_CONTROLS_SNAPSHOT_DIR");
        const std::filesystem::path folder = dir ? dir : "snapshots";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(server.Screenshot((folder / (name + ".png")).string(), window)) << name;
    }

    IbusServer ibus;
    TEdit* composing = nullptr;
    TEdit* plain = nullptr;
};

TEST_F(X11ImeTest, ComposeAndNonLatinTextReachTheEditThroughXlibsOwnMethod) {
    if (!Started()) return;
    if (test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(AddKeys(server.Name(), U"Жёлудь𝄞ж")) << "no spare keys";
    ASSERT_NO_FATAL_FAILURE(StartWith("none"));
    ASSERT_NO_FATAL_FAILURE(Focus(composing));
    Xdotool("key Multi_key apostrophe e Multi_key o c Multi_key equal e");
    EXPECT_EQ(WaitText(composing, "é©€"), "é©€");
    Xdotool("type 'Жёлудь 𝄞 ok'");
    EXPECT_EQ(WaitText(composing, "é©€Жёлудь 𝄞 ok"), "é©€Жёлудь 𝄞 ok");
    ASSERT_NO_FATAL_FAILURE(Shot("ime_compose"));

    // Turned off, the compose key composes nothing: what the keys mean
    // alone arrives, and characters of the keyboard map still do.
    ASSERT_NO_FATAL_FAILURE(Focus(plain));
    Xdotool("key Multi_key apostrophe e");
    Xdotool("type 'ж'");
    EXPECT_EQ(WaitText(plain, "'eж"), "'eж");
}

TEST_F(X11ImeTest, AnIbusServerComposesOnlyWhereTheEditLetsIt) {
    if (!Started()) return;
    if (test::FindProgram("xdotool").empty() || test::FindProgram("ibus-daemon").empty())
        GTEST_SKIP() << "xdotool or ibus is not installed";
    std::string error;
    ASSERT_TRUE(ibus.Start(server.Name(), error)) << error;
    if (!ibus.SetEngine(server, "m17n:ru:kbd"))
        GTEST_SKIP() << "ibus has no Russian m17n engine (ibus-m17n, m17n-db)";
    ASSERT_TRUE(server.WaitFor([&] {
        std::string servers;
        RunCommand("DISPLAY=" + server.Name() + " xprop -root XIM_SERVERS 2>/dev/null", &servers);
        return servers.find("@server=ibus") != std::string::npos;
    })) << "ibus did not offer its XIM server";
    ASSERT_NO_FATAL_FAILURE(StartWith("ibus"));

    ASSERT_NO_FATAL_FAILURE(Focus(composing));
    Xdotool("type ghbdtn");
    EXPECT_EQ(WaitText(composing, "привет"), "привет");
    ASSERT_NO_FATAL_FAILURE(Shot("ime_ibus"));

    ASSERT_NO_FATAL_FAILURE(Focus(plain));
    Xdotool("type ghbdtn");
    EXPECT_EQ(WaitText(plain, "ghbdtn"), "ghbdtn");

    // Back in the first edit (which selects its text on entering) the
    // server composes again.
    ASSERT_NO_FATAL_FAILURE(Focus(composing));
    // ibus turns its engine back on for the context a moment after the
    // focus returns, in a process of its own: a key typed before that
    // passes uncomposed. A probe key is typed until one is composed.
    bool composed = false;
    for (int attempt = 0; attempt < 20 && !composed; ++attempt) {
        ASSERT_TRUE(program->Call([=, this] { composing->SetText(""); }));
        Xdotool("type v");
        std::string typed;
        server.WaitFor([&] {
            typed = program->Get<std::string>([=, this] { return composing->Text(); });
            return !typed.empty();
        });
        composed = typed == "м";
    }
    ASSERT_TRUE(composed) << "ibus never composed again after the focus came back";
    Xdotool("type bh");
    EXPECT_EQ(WaitText(composing, "мир"), "мир");
}

} // namespace
} // namespace ax
