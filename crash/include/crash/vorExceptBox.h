#pragma once
// The exception box: tells the user about an exception (or a frozen main
// thread) and offers continue, restart, close, mail, save, print and show.
// It runs on the reporter's worker thread; console programs get the text on
// standard output instead.
#include "platform/gdi/uniquegdiobject.h"
#include "platform/gdi/uniqueicon.h"
#include "platform/window/types.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ax {

// Button indexes: the action numbers and control ids.
enum TBoxButton : int {
    bbMail = 0,
    bbSave = 1,
    bbPrint = 2,
    bbShow = 3,
    bbContinue = 4,
    bbRestart = 5,
    bbClose = 6,
    bbCount = 7
};

class TExceptionBox {
public:
    TExceptionBox(bool canContinue, bool frozen, std::string report, std::string exceptMessage);
    ~TExceptionBox();
    TExceptionBox(const TExceptionBox&) = delete;
    TExceptionBox& operator=(const TExceptionBox&) = delete;

    HWND Window() const { return window_; }
    HWND Button(int index) const { return index >= 0 && index < bbCount ? buttons_[index] : nullptr; }
    bool ReportVisible() const { return reportVisible_; }
    int AutoAction() const { return autoAction_; }
    // The countdown's position across the automatic button, in pixels.
    int CountdownPosition() const { return countdownDrawn_; }
    // Runs the box's message loop until its window is gone.
    void Run();
    // The button showing press feedback (-1 none) and whether it flashes.
    int FeedbackButton() const { return feedback_.Button; }
    bool Flashing() const { return feedback_.Flash; }

private:
    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ReportProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The report's lines as the view shows them, long ones wrapped (dc
    // measures in the report's font).
    std::vector<std::string> ReportRows(HWND view, HDC dc) const;
    void Command(int id);
    void Perform(int id);
    void Save();
    void Print();
    void RemoveButton(int index);
    // Feedback on the clock: mail, save and print flash first and act
    // after the flash; a button whose action still runs after 200 ms is
    // drawn pressed. The wait cursor shows meanwhile.
    void StartFeedback(int id, bool flash);
    void FeedbackTick();
    void EndFeedback();
    int FeedbackLook() const;
    void OnClose();
    void ShowReport();
    void Layout();
    void DrawButton(HWND button, HDC dc);
    void LoadGlyphs();
    bool HasGlyph(int index) const { return !glyphs_[index].empty() || glyphIcons_[index]; }
    void DrawGlyph(int index, HDC dc) const;
    void StopCountdown();
    void Tick();

    bool canContinue_, frozen_;
    std::string report_, message_;
    HWND window_ = nullptr;
    HWND buttons_[bbCount] = {};
    HWND reportView_ = nullptr;
    UniqueFont messageFont_, reportFont_;
    std::array<std::string, bbCount> glyphs_; // each button's glyph bitmap
    std::array<UniqueIcon, bbCount> glyphIcons_; // or its icon
    UniqueIcon bigIcon_;
    int autoAction_ = 0;
    bool countdown_ = false;
    std::uint64_t countdownStart_ = 0;
    std::atomic<int> countdownDrawn_{0};
    bool showing_ = false; // the box's own thread's view
    std::atomic<bool> reportVisible_{false}; // set once it is on the screen
    int reportTop_ = 0; // first report row shown
    std::array<int, 3> reportScroll_{-1, -1, -1}; // the bar's range end, page and position last set
    RECT textRect_{};
    int pressed_ = -1;
    std::uint64_t pressStart_ = 0;
    struct TFeedback {
        std::atomic<int> Button{-1};
        std::atomic<bool> Flash{false};
        bool Busy = false; // its action runs
        std::uint64_t Start = 0;
        int Drawn = -1; // the look last drawn
    } feedback_;
};

// Chooses box, console text or (for a web module) an HTML page and runs it
// until it is done; the box performs the action chosen (restart and close
// end the process).
void ShowExceptionDialog(bool canContinue, bool frozen, const std::string& report,
                         const std::string& exceptMessage);

// The box on screen now (tests drive it); nullptr when none.
TExceptionBox* CurrentExceptionBox();

// A message (text, caption) owned by the window owner (0 none): a small
// modal window with an OK button; on a console, a line on standard error.
void ShowReporterMessage(std::uintptr_t owner, const std::string& text, const std::string& caption);

} // namespace ax
