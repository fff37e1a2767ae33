#pragma once
// A private X server for tests that run on a real display: Xvfb, optionally
// with a window manager (openbox), and what a test does there as a user or
// a taskbar would: XTest input, window-manager requests, queries of what the
// server shows, screenshots. The server picks its own display number and
// reports it once it accepts connections, and every wait is bounded and ends
// on an event, so nothing depends on how fast a loaded machine is.
//
// One test thread uses an Xvfb object; the program under test connects on
// its own (set DISPLAY to Name()). No X header is included here: Xlib's
// macros would clash with the test framework's names.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ax::test {

// The program's path on PATH, "" when none.
std::string FindProgram(std::string_view name);
inline std::string FindXvfb() {
    return FindProgram("Xvfb");
}

class Xvfb {
public:
    using Bound = std::chrono::milliseconds;
    static constexpr Bound kBound{20000}; // generous: a failure bound, not a pace

    Xvfb();
    ~Xvfb(); // ends the window manager, then the server
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // Starts the server (the binary from FindXvfb) and connects to it.
    bool Start(const std::string& binary, int width = 800, int height = 600);
    // Starts openbox with a configuration of its own and returns once it
    // manages the screen (false, with Error(), when it cannot).
    // focusNew false: the window manager leaves new windows unfocused, as
    // some desktops do, so the program must ask for the focus itself.
    bool StartWindowManager(Bound bound = kBound, bool focusNew = true);
    const std::string& Name() const { return display_; }
    const std::string& Error() const { return error_; }

    // Input through XTest. Each call returns once the server has taken it.
    void MoveTo(int x, int y);
    void Button(int button, bool down);
    void Click(int x, int y, int button = 1);
    // Presses button 1 at the start, moves in steps and releases at the end.
    void Drag(int fromX, int fromY, int toX, int toY, int steps);
    void Key(unsigned long keysym, bool down);
    void KeyStroke(unsigned long keysym);
    // Types printable ASCII text, holding Shift for the characters the
    // keyboard map has on its shifted level (those it lacks are left out).
    void Type(std::string_view text);

    // What a taskbar or pager asks of the window manager.
    void Iconify(unsigned long window);           // WM_CHANGE_STATE
    void Activate(unsigned long window);          // _NET_ACTIVE_WINDOW (restores)
    void Close(unsigned long window);             // _NET_CLOSE_WINDOW
    void Maximize(unsigned long window, bool on); // _NET_WM_STATE
    void MoveResize(unsigned long window, int x, int y, int w, int h); // _NET_MOVERESIZE_WINDOW
    void KeepAbove(unsigned long window, bool on); // _NET_WM_STATE_ABOVE: over the others
    // What another client does directly: maps the window (which brings an
    // iconic one back, as a taskbar may), or asks for a new size.
    void Map(unsigned long window);
    void Resize(unsigned long window, int w, int h);
    // Another client destroys the window.
    void Destroy(unsigned long window);
    // Another client ends the connection of the client that made the
    // window (as xkill does).
    void KillClient(unsigned long window);
    // Asks the window's client to close it, as a window manager does
    // (WM_DELETE_WINDOW), managed or not.
    void DeleteWindow(unsigned long window);
    // Returns once the window manager has handled every request the server
    // took before (a request it answers, sent after them).
    bool WindowManagerBarrier(Bound bound = kBound);

    // What the server holds.
    struct Geometry {
        bool exists = false;
        bool viewable = false;
        int x = 0, y = 0, width = 0, height = 0; // on the screen
    };
    Geometry WindowGeometry(unsigned long window);
    // ICCCM WM_STATE: 1 normal, 3 iconic, 0 withdrawn, -1 none.
    long WmState(unsigned long window);
    // A text property (WM_NAME, _NET_WM_NAME, ...) as stored; "" when none.
    std::string TextProperty(unsigned long window, const std::string& name);
    // The windows anywhere on the screen whose WM_NAME begins with prefix,
    // mapped or not.
    std::vector<unsigned long> WindowsNamed(const std::string& prefix);
    // The atom names of an atom-list property (_NET_WM_STATE, ...).
    std::vector<std::string> AtomProperty(unsigned long window, const std::string& name);
    // The size limits of WM_NORMAL_HINTS (PMinSize, PMaxSize); 0 where
    // the window sets none.
    struct SizeHints {
        int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    };
    SizeHints NormalHints(unsigned long window);
    // The window that has the keyboard focus (0 when none has).
    unsigned long FocusWindow();

    // Counts the window's ConfigureNotify events from now on.
    void WatchConfigure(unsigned long window);
    int ConfigureEvents();

    // Calls done until it holds, waiting for X events in between (and at
    // least every few milliseconds, for state the server does not announce);
    // false once the bound has passed.
    bool WaitFor(const std::function<bool()>& done, Bound bound = kBound);

    // Writes the screen (or one window, frame of the window manager
    // excluded) as PNG.
    bool Screenshot(const std::string& png, unsigned long window = 0);

private:
    struct Impl;
    void Fail(const std::string& what);

    std::unique_ptr<Impl> impl_;
    std::string display_;
    std::string error_;
};

} // namespace ax::test
