// The exception box's window: its layout, buttons and their commands, the
// countdown to the automatic action, and the scrollable report view with
// its lines wrapped to the width. Runs on the reporter's worker thread.
#include "crash/vorExceptBox.h"

#include "crash/vorBoxGlyphs.h"
#include "crash/vorBugReport.h"
#include "crash/vorExcept.h"
#include "crash/vorHtmlPage.h"
#include "crash/vorMail.h"
#include "crash/vorPrint.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "platform/gdi/image.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"
#include "platform/window/display.h"
#include "platform/window/paintscope.h"
#include "platform/window/sound.h"
#include "platform/window/window.h"
#include "platform/window/windowdc.h"
#include "rtl/clock.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <sstream>
#include <vector>

namespace ax {

namespace {

constexpr char kBoxClass[] = "vorExceptWndClass";
constexpr char kButtonClass[] = "vorExceptButton";
constexpr char kReportClass[] = "vorExceptReport";
constexpr UINT_PTR kTimerId = 777;
constexpr UINT_PTR kFeedbackTimerId = 778;
// Four flashes of a dark and a face-coloured frame, 50 ms each; a button
// whose action runs longer than 200 ms looks pressed.
constexpr std::uint64_t kFlashStep = 50, kFlashSteps = 8, kPressedAfter = 200;
enum : int { lookPressed = 1, lookDarkFrame = 2, lookFaceFrame = 4 };
constexpr int kMargin = 10, kButtonHeight = 22, kRowStep = 26, kGap = 16, kMinReportWidth = 538;
constexpr int kReportHeight = 260;
// The big icon's place, left of the text; a glyph's place inside its button.
constexpr int kIconLeft = 10, kIconTop = 9, kGlyphAt = 3, kGlyphRoom = kGlyphAt + kGlyphSize;
constexpr const char* kGlyphNames[bbCount] = {"mail", "save", "print", "show", "continue", "restart", "close"};

std::atomic<TExceptionBox*> g_current{nullptr};

void WriteOutTo(int fd, const std::string& text) {
    const char* at = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n <= 0) return;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
}

const std::string& Caption(int index) {
    const VorSettings& s = ReporterSettings();
    switch (index) {
    case bbMail: return s.MailButtonCaption.str();
    case bbSave: return s.SaveButtonCaption.str();
    case bbPrint: return s.PrintButtonCaption.str();
    case bbShow: return s.ShowButtonCaption.str();
    case bbContinue: return s.ContinueButtonCaption.str();
    case bbRestart: return s.RestartButtonCaption.str();
    default: return s.CloseButtonCaption.str();
    }
}

// A class registered once for the process, its procedure dispatching to
// the object stored with each window.
template <class F> void RegisterOnce(const char* name, F proc) {
    WNDCLASS existing;
    if (GetClassInfo(name, existing)) return;
    WNDCLASS wc;
    wc.lpszClassName = name;
    wc.lpfnWndProc = proc;
    wc.hCursor = LoadCursor(0, IDC_ARROW);
    wc.hbrBackground = SysColorBrushValue(COLOR_BTNFACE);
    RegisterClass(wc);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    lines.push_back(line);
    return lines;
}

// Appends line as rows no wider than width: broken after the last space that
// fits, inside a word only when it alone is wider; never inside a character.
void WrapLine(HDC dc, std::string_view line, int width, std::vector<std::string>& rows) {
    const auto fits = [&](std::size_t n) {
        SIZE s{};
        GetTextExtentPoint32(dc, line.substr(0, n), &s);
        return s.cx <= width;
    };
    const auto next = [&](std::size_t i) {
        do ++i;
        while (i < line.size() && (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80);
        return i;
    };
    while (!fits(line.size())) {
        std::size_t n = next(0); // a row holds one character at least
        while (n < line.size() && fits(next(n))) n = next(n);
        const std::size_t space = line.rfind(' ', n - 1);
        const std::size_t cut = space != std::string_view::npos && space > 0 ? space + 1 : n;
        rows.emplace_back(line.substr(0, cut));
        line.remove_prefix(cut);
    }
    rows.emplace_back(line);
}

} // namespace

TExceptionBox* CurrentExceptionBox() {
    return g_current.load();
}

TExceptionBox::TExceptionBox(bool canContinue, bool frozen, std::string report, std::string exceptMessage)
    : canContinue_(canContinue), frozen_(frozen), report_(std::move(report)), message_(std::move(exceptMessage)) {
    VorSettings& settings = ReporterSettings();
    if (settings.ShowReportAtOnce) settings.ShowButtonCaption = "";
    if (CheckHistory(settings.AutoCloseSeconds) && !settings.CloseButtonCaption.empty())
        autoAction_ = bbClose;
    else if (CheckHistory(settings.AutoRestartSeconds) && !settings.RestartButtonCaption.empty())
        autoAction_ = bbRestart;
    else if (settings.AutoContinue && !settings.ContinueButtonCaption.empty() && canContinue_)
        autoAction_ = bbContinue;
    ReporterRuntime().AutoAction = static_cast<VorAutoAction>(autoAction_);

    RegisterOnce(kBoxClass, [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        auto* box = reinterpret_cast<TExceptionBox*>(GetWindowLongPtr(h, GWLP_USERDATA));
        return box != nullptr ? box->WindowProc(h, m, w, l) : DefWindowProc(h, m, w, l);
    });
    RegisterOnce(kButtonClass, [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        auto* box = reinterpret_cast<TExceptionBox*>(GetWindowLongPtr(h, GWLP_USERDATA));
        return box != nullptr ? box->ButtonProc(h, m, w, l) : DefWindowProc(h, m, w, l);
    });
    RegisterOnce(kReportClass, [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        auto* box = reinterpret_cast<TExceptionBox*>(GetWindowLongPtr(h, GWLP_USERDATA));
        return box != nullptr ? box->ReportProc(h, m, w, l) : DefWindowProc(h, m, w, l);
    });
    messageFont_.Reset(CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif"));
    reportFont_.Reset(CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Courier New"));

    std::string title = settings.BoxTitle.str();
    title = ExpandPlaceholders(title, message_);
    window_ = CreateWindowEx(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kBoxClass, title, WS_CAPTION | WS_SYSMENU, 0, 0,
                             100, 100, nullptr);
    if (!window_) return;
    SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    for (int i = 0; i < bbCount; ++i) {
        if (Caption(i).empty()) continue;
        buttons_[i] = CreateWindowEx(0, kButtonClass, Caption(i), WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10,
                                     kButtonHeight, window_, static_cast<UINT_PTR>(i));
        SetWindowLongPtr(buttons_[i], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // A program that cannot go on shows the continue button disabled.
    if (buttons_[bbContinue] && !canContinue_ && (buttons_[bbRestart] || buttons_[bbClose]))
        EnableWindow(buttons_[bbContinue], FALSE);
    LoadGlyphs();
    if (settings.ShowReportAtOnce || buttons_[bbShow] || buttons_[bbMail] || buttons_[bbSave] || buttons_[bbPrint]) {
        if (settings.CopyReportToClipboard && OpenClipboard(window_)) {
            EmptyClipboard();
            std::vector<std::uint8_t> data(report_.begin(), report_.end());
            data.push_back(0);
            SetClipboardData(CF_TEXT, std::move(data));
            CloseClipboard();
        }
        reportView_ = CreateWindowEx(0, kReportClass, "", WS_CHILD | WS_VSCROLL, 0, 0, 10, 10, window_, 100);
        SetWindowLongPtr(reportView_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        showing_ = settings.ShowReportAtOnce;
        reportVisible_ = showing_;
    }
    Layout();
    if (showing_) ShowWindow(reportView_, SW_SHOWNOACTIVATE);
    if (autoAction_ != 0 && buttons_[autoAction_]) {
        countdown_ = true;
        countdownStart_ = CurrentClock().Ticks();
        SetTimer(window_, kTimerId, 10);
    }
    MessageBeep(MB_ICONHAND);
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    const int focus = autoAction_ != 0 && buttons_[autoAction_] ? autoAction_ : bbContinue;
    if (buttons_[focus] && IsWindowEnabled(buttons_[focus]))
        SetFocus(buttons_[focus]);
    else
        SetFocus(window_); // keys (Escape) still reach the box
    g_current = this;
}

TExceptionBox::~TExceptionBox() {
    g_current = nullptr;
    if (window_ && IsWindow(window_)) {
        SetWindowLongPtr(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void TExceptionBox::LoadGlyphs() {
    for (int i = 0; i < bbCount; ++i) {
        if (!buttons_[i]) continue;
        const bool cannot = i == bbContinue && !IsWindowEnabled(buttons_[i]);
        const std::string name = std::string("tup") + (cannot ? "cantContinue" : kGlyphNames[i]);
        if (auto icon = BoxResource("ICON", name)) glyphIcons_[i].Reset(LoadIconFromIco(*icon, kGlyphSize, kGlyphSize));
        if (!glyphIcons_[i]) glyphs_[i] = BoxResource("BITMAP", name).value_or("");
    }
    if (auto icon = BoxResource("ICON", "tupBigIcon"))
        bigIcon_.Reset(LoadIconFromIco(*icon, kBigIconSize, kBigIconSize));
}

void TExceptionBox::Layout() {
    const VorSettings& settings = ReporterSettings();
    const std::string text = ExpandPlaceholders(frozen_ ? settings.FrozenText.str() : settings.BoxText.str(), message_);
    RECT measure{0, 0, 600, 0};
    int left = 0, right = 0, leftCount = 0, rightCount = 0;
    {
        const WindowDC windowDc(window_);
        const HDC dc = windowDc.Get();
        const ScopedSelection useFont(dc, messageFont_.Get());
        DrawText(dc, text, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        auto width = [&](int i) {
            SIZE s{};
            GetTextExtentPoint32(dc, Caption(i), &s);
            return s.cx + 24 + (HasGlyph(i) ? kGlyphRoom : 0);
        };
        for (int i : {bbMail, bbSave, bbPrint, bbShow})
            if (buttons_[i]) left = std::max(left, width(i)), ++leftCount;
        for (int i : {bbContinue, bbRestart, bbClose})
            if (buttons_[i]) right = std::max(right, width(i)), ++rightCount;
    }
    const bool oneRow = rightCount <= 1 || leftCount == 0;
    const int textLeft = bigIcon_ ? kIconLeft + kBigIconSize + kMargin : kMargin;
    textRect_ = {textLeft, kMargin, textLeft + measure.right, kMargin + measure.bottom};
    int y = std::max<int>(textRect_.bottom, bigIcon_ ? kIconTop + kBigIconSize : 0) + kMargin;
    int clientWidth = textRect_.right + kMargin;
    int rows = 0;
    if (oneRow) {
        int x = kMargin;
        for (int i = 0; i < bbCount; ++i)
            if (buttons_[i]) {
                MoveWindow(buttons_[i], x, y, std::max(left, right), kButtonHeight, TRUE);
                x += std::max(left, right) + 6;
            }
        clientWidth = std::max(clientWidth, x - 6 + kMargin);
        rows = 1;
    } else {
        const int groups = left + kGap + right + 2 * kMargin;
        clientWidth = std::max(clientWidth, groups);
        if (showing_) clientWidth = std::max(clientWidth, kMinReportWidth);
        int row = 0;
        for (int i : {bbMail, bbSave, bbPrint, bbShow})
            if (buttons_[i]) MoveWindow(buttons_[i], kMargin, y + kRowStep * row++, left, kButtonHeight, TRUE);
        rows = row;
        row = 0;
        for (int i : {bbContinue, bbRestart, bbClose})
            if (buttons_[i])
                MoveWindow(buttons_[i], clientWidth - kMargin - right, y + kRowStep * row++, right, kButtonHeight, TRUE);
        rows = std::max(rows, row);
    }
    y += kRowStep * rows - (kRowStep - kButtonHeight) + kMargin;
    if (showing_) {
        clientWidth = std::max(clientWidth, kMinReportWidth);
        MoveWindow(reportView_, kMargin, y, clientWidth - 2 * kMargin, kReportHeight, TRUE);
        y += kReportHeight + kMargin;
    }
    RECT frame{0, 0, clientWidth, y};
    AdjustWindowRectEx(frame, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME | WS_EX_TOPMOST);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    MoveWindow(window_, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, TRUE);
    InvalidateRect(window_, nullptr, TRUE);
}

void TExceptionBox::Run() {
    MSG msg;
    while (window_ && IsWindow(window_) && GetMessage(msg, nullptr, 0, 0) > 0) {
        if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == VK_ESCAPE) {
            PostMessage(window_, WM_CLOSE, 0, 0);
            continue;
        }
        TranslateMessage(msg);
        DispatchMessage(msg);
    }
}

void TExceptionBox::StopCountdown() {
    if (!countdown_) return;
    countdown_ = false;
    KillTimer(window_, kTimerId);
    countdownDrawn_ = 0;
    if (buttons_[autoAction_]) InvalidateRect(buttons_[autoAction_], nullptr, TRUE);
}

void TExceptionBox::Tick() {
    if (!countdown_ || !buttons_[autoAction_]) return;
    RECT r{};
    GetClientRect(buttons_[autoAction_], r);
    const std::int64_t n = std::max(ReporterSettings().AutoActionCountdown, 1);
    const std::uint64_t elapsed = CurrentClock().Ticks() - countdownStart_;
    const int position = static_cast<int>((static_cast<std::int64_t>(elapsed) * r.right + n * 500) / (n * 1000));
    if (position != countdownDrawn_) {
        countdownDrawn_ = position;
        InvalidateRect(buttons_[autoAction_], nullptr, FALSE);
    }
    if (position > r.right) {
        const int action = autoAction_;
        countdown_ = false;
        KillTimer(window_, kTimerId);
        SendMessage(window_, WM_COMMAND, static_cast<WPARAM>(action), 0);
    }
}

void TExceptionBox::ShowReport() {
    if (DispatchAction(bbShow)) return;
    const VorSettings& settings = ReporterSettings();
    if (settings.CopyReportToClipboard && OpenClipboard(window_)) {
        EmptyClipboard();
        std::vector<std::uint8_t> data(report_.begin(), report_.end());
        data.push_back(0);
        SetClipboardData(CF_TEXT, std::move(data));
        CloseClipboard();
    }
    if (buttons_[bbShow]) {
        HWND show = buttons_[bbShow];
        buttons_[bbShow] = nullptr;
        DestroyWindow(show);
    }
    showing_ = true;
    Layout();
    ShowWindow(reportView_, SW_SHOWNOACTIVATE);
    // Drawn and handed to the display before anyone is told it is shown.
    UpdateWindow(window_);
    PumpDisplay();
    reportVisible_ = true;
}

void TExceptionBox::Command(int id) {
    StopCountdown();
    if (feedback_.Button >= 0) {
        if (feedback_.Flash && (id == bbMail || id == bbSave || id == bbPrint)) return; // its action follows
        EndFeedback();
    }
    if (ReporterSettings().ButtonFeedback && id >= 0 && id < bbCount && buttons_[id]) {
        const bool flash = id == bbMail || id == bbSave || id == bbPrint;
        StartFeedback(id, flash);
        if (flash) return; // the action follows the flash
        feedback_.Busy = true;
        Perform(id);
        EndFeedback();
        return;
    }
    Perform(id);
}

void TExceptionBox::StartFeedback(int id, bool flash) {
    feedback_.Start = CurrentClock().Ticks();
    feedback_.Busy = false;
    feedback_.Drawn = -1;
    feedback_.Flash = flash;
    feedback_.Button = id; // published last: the flash runs from Start
    SetCursor(LoadCursor(0, IDC_WAIT));
    SetTimer(window_, kFeedbackTimerId, 10);
    FeedbackTick();
    UpdateWindow(buttons_[id]);
}

int TExceptionBox::FeedbackLook() const {
    if (feedback_.Button < 0) return 0;
    const std::uint64_t elapsed = CurrentClock().Ticks() - feedback_.Start;
    int look = 0;
    if (feedback_.Flash && elapsed < kFlashStep * kFlashSteps)
        look |= (elapsed / kFlashStep) % 2 == 0 ? lookDarkFrame : lookFaceFrame;
    if (feedback_.Button == bbShow || (feedback_.Busy && elapsed > kPressedAfter)) look |= lookPressed;
    return look;
}

void TExceptionBox::FeedbackTick() {
    const int id = feedback_.Button;
    if (id < 0 || !buttons_[id]) return;
    if (feedback_.Flash && CurrentClock().Ticks() - feedback_.Start >= kFlashStep * kFlashSteps) {
        feedback_.Flash = false;
        feedback_.Busy = true;
        feedback_.Drawn = FeedbackLook();
        InvalidateRect(buttons_[id], nullptr, FALSE);
        UpdateWindow(buttons_[id]); // pressed while the action runs
        Perform(id);
        EndFeedback();
        return;
    }
    if (const int look = FeedbackLook(); look != feedback_.Drawn) {
        feedback_.Drawn = look;
        InvalidateRect(buttons_[id], nullptr, FALSE);
    }
}

void TExceptionBox::EndFeedback() {
    const int id = feedback_.Button;
    if (id < 0) return;
    KillTimer(window_, kFeedbackTimerId);
    feedback_.Button = -1;
    feedback_.Flash = false;
    feedback_.Busy = false;
    SetCursor(LoadCursor(0, IDC_ARROW));
    if (buttons_[id] && IsWindow(buttons_[id])) InvalidateRect(buttons_[id], nullptr, FALSE);
}

void TExceptionBox::RemoveButton(int index) {
    HWND button = buttons_[index];
    if (!button) return;
    buttons_[index] = nullptr;
    if (GetFocus() == button) SetFocus(window_);
    DestroyWindow(button);
    Layout();
}

void TExceptionBox::Save() {
    if (DispatchAction(bbSave)) return;
    std::string savedAs;
    if (!SaveBugReport(report_, false, &savedAs, reinterpret_cast<std::uintptr_t>(window_))) {
        MessageBeep(0);
        return;
    }
    MessageBeep(MB_ICONASTERISK);
    if (savedAs == FallbackReportFileName())
        ShowReporterMessage(reinterpret_cast<std::uintptr_t>(window_), "The bug report was saved as " + savedAs + ".",
                            ReporterSettings().SaveButtonCaption.str());
    // A name the user picks may be saved again; the fixed file is saved
    // once, and the button going away tells the user it worked.
    if (BugReportFileIsAbsolute()) RemoveButton(bbSave);
}

void TExceptionBox::Print() {
    if (DispatchAction(bbPrint)) return;
    std::string error;
    if (PrintBugReport(report_, &error)) {
        MessageBeep(MB_ICONASTERISK);
        return;
    }
    MessageBeep(0);
    ShowReporterMessage(reinterpret_cast<std::uintptr_t>(window_), "The bug report was not printed. " + error,
                        ReporterSettings().PrintButtonCaption.str());
}

void TExceptionBox::Perform(int id) {
    switch (id) {
    case bbShow:
        ShowReport();
        break;
    case bbMail:
        if (!DispatchAction(bbMail)) SendBugReport(report_, reinterpret_cast<std::uintptr_t>(window_), false);
        break;
    case bbSave:
        Save();
        break;
    case bbPrint:
        Print();
        break;
    case bbContinue:
        if (!canContinue_) {
            if (!DispatchAction(bbClose)) CloseApplication();
            break;
        }
        if (!DispatchAction(bbContinue)) DestroyWindow(window_);
        break;
    case bbRestart:
        if (!DispatchAction(bbRestart)) RestartOrClose();
        break;
    case bbClose:
        if (!DispatchAction(bbClose)) CloseApplication();
        break;
    default:
        break;
    }
}

void TExceptionBox::OnClose() {
    if (autoAction_ != 0) {
        Command(autoAction_);
    } else if (canContinue_ && buttons_[bbContinue]) {
        Command(bbContinue);
    } else if (canContinue_ && !buttons_[bbContinue]) {
        if (!DispatchAction(bbContinue)) DestroyWindow(window_);
    } else if (buttons_[bbClose]) {
        Command(bbClose);
    } else if (buttons_[bbRestart]) {
        Command(bbRestart);
    }
}

LRESULT TExceptionBox::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        Command(static_cast<int>(wParam & 0xFFFF));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_TIMER:
        if (wParam == kTimerId) Tick();
        if (wParam == kFeedbackTimerId) FeedbackTick();
        return 0;
    case WM_SETCURSOR:
        if (feedback_.Button < 0) break;
        SetCursor(LoadCursor(0, IDC_WAIT));
        return TRUE;
    case WM_NULL:
        // The watchdog's way to take a box away without any action.
        if (wParam == 777 && lParam == 777) DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        const PaintScope paint(hwnd);
        const HDC dc = paint.DC();
        const ScopedSelection useFont(dc, messageFont_.Get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        if (bigIcon_) DrawIconEx(dc, kIconLeft, kIconTop, bigIcon_.Get(), kBigIconSize, kBigIconSize, 0, HBRUSH{}, DI_NORMAL);
        const VorSettings& s = ReporterSettings();
        RECT r = textRect_;
        DrawText(dc, ExpandPlaceholders(frozen_ ? s.FrozenText.str() : s.BoxText.str(), message_), &r,
                 DT_WORDBREAK | DT_NOPREFIX);
        return 0;
    }
    case WM_DESTROY:
        KillTimer(hwnd, kTimerId);
        KillTimer(hwnd, kFeedbackTimerId);
        break;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

void TExceptionBox::DrawButton(HWND button, HDC dc) {
    RECT r{};
    GetClientRect(button, r);
    const int id = GetDlgCtrlID(button);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (countdown_ && id == autoAction_ && countdownDrawn_ > 0) {
        RECT done{0, 0, std::min<int>(countdownDrawn_.load(), r.right), r.bottom};
        FillRect(dc, &done, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    const int look = feedback_.Button == id ? FeedbackLook() : 0;
    RECT edge = r;
    DrawEdge(dc, &edge, pressed_ == id || (look & lookPressed) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    if (GetFocus() == button) {
        RECT focus{3, 3, r.right - 3, r.bottom - 3};
        DrawFocusRect(dc, &focus);
    }
    if (look & (lookDarkFrame | lookFaceFrame)) {
        HBRUSH frame = GetSysColorBrush(look & lookDarkFrame ? COLOR_3DDKSHADOW : COLOR_BTNFACE);
        for (int inset : {2, 3}) {
            RECT f{inset, inset, r.right - inset, r.bottom - inset};
            FrameRect(dc, &f, frame);
        }
    }
    const ScopedSelection useFont(dc, messageFont_.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(button) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawGlyph(id, dc);
    RECT text{HasGlyph(id) ? kGlyphRoom : 0, 0, r.right, r.bottom};
    DrawText(dc, Caption(id), &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void TExceptionBox::DrawGlyph(int index, HDC dc) const {
    if (glyphIcons_[index]) {
        DrawIconEx(dc, kGlyphAt, kGlyphAt, glyphIcons_[index].Get(), kGlyphSize, kGlyphSize, 0, HBRUSH{}, DI_NORMAL);
        return;
    }
    const auto pixels = BlendGlyph(glyphs_[index], GetSysColor(COLOR_BTNFACE));
    if (pixels.empty()) return;
    const UniqueBitmap image(CreateBitmapFromPixels(kGlyphSize, kGlyphSize, pixels.data(), false));
    const UniqueDC source(CreateCompatibleDC(dc));
    const ScopedSelection useImage(source.Get(), image.Get());
    BitBlt(dc, kGlyphAt, kGlyphAt, kGlyphSize, kGlyphSize, source.Get(), 0, 0, SRCCOPY);
}

LRESULT TExceptionBox::ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const int id = GetDlgCtrlID(hwnd);
    switch (message) {
    case WM_PAINT: {
        const PaintScope paint(hwnd);
        DrawButton(hwnd, paint.DC());
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (!IsWindowEnabled(hwnd)) return 0;
        SetFocus(hwnd);
        SetCapture(hwnd);
        pressed_ = id;
        pressStart_ = CurrentClock().Ticks();
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_LBUTTONUP: {
        if (pressed_ != id) return 0;
        ReleaseCapture();
        pressed_ = -1;
        InvalidateRect(hwnd, nullptr, FALSE);
        RECT r{};
        GetClientRect(hwnd, r);
        const int x = static_cast<short>(lParam & 0xFFFF), y = static_cast<short>((lParam >> 16) & 0xFFFF);
        if (x >= 0 && y >= 0 && x < r.right && y < r.bottom) PostMessage(window_, WM_COMMAND, static_cast<WPARAM>(id), 0);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_SPACE) {
            PostMessage(window_, WM_COMMAND, static_cast<WPARAM>(id), 0);
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        break;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

std::vector<std::string> TExceptionBox::ReportRows(HWND view, HDC dc) const {
    RECT r{};
    GetClientRect(view, r);
    std::vector<std::string> rows;
    for (const auto& line : SplitLines(report_)) WrapLine(dc, line, std::max<int>(r.right - 6, 1), rows);
    return rows;
}

LRESULT TExceptionBox::ReportProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        const PaintScope paint(hwnd);
        const HDC dc = paint.DC();
        RECT r{};
        GetClientRect(hwnd, r);
        FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
        const ScopedSelection useFont(dc, reportFont_.Get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        const auto lines = ReportRows(hwnd, dc);
        SIZE line{};
        GetTextExtentPoint32(dc, "Xg", &line);
        const int step = std::max<int>(line.cy, 1);
        for (int i = reportTop_, y = 2; i < static_cast<int>(lines.size()) && y < r.bottom; ++i, y += step)
            TextOut(dc, 3, y, lines[static_cast<std::size_t>(i)]);
        SCROLLINFO si;
        si.fMask = SIF_ALL;
        si.nMin = 0;
        si.nMax = static_cast<int>(lines.size()) - 1;
        si.nPage = static_cast<UINT>(std::max(r.bottom / step, 1));
        si.nPos = reportTop_;
        // Setting the bar repaints its frame, which paints the view again:
        // only a change may do that, or the view paints for ever and the
        // box's timers never come.
        const std::array<int, 3> scroll{si.nMax, static_cast<int>(si.nPage), si.nPos};
        if (scroll != reportScroll_) {
            reportScroll_ = scroll;
            SetScrollInfo(hwnd, SB_VERT, si, TRUE);
        }
        return 0;
    }
    case WM_VSCROLL: {
        int lines = 0;
        {
            const WindowDC dc(hwnd);
            const ScopedSelection useFont(dc.Get(), reportFont_.Get());
            lines = static_cast<int>(ReportRows(hwnd, dc.Get()).size());
        }
        switch (wParam & 0xFFFF) {
        case SB_LINEUP: --reportTop_; break;
        case SB_LINEDOWN: ++reportTop_; break;
        case SB_PAGEUP: reportTop_ -= 10; break;
        case SB_PAGEDOWN: reportTop_ += 10; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: reportTop_ = static_cast<int>((wParam >> 16) & 0xFFFF); break;
        default: break;
        }
        reportTop_ = std::clamp(reportTop_, 0, std::max(lines - 1, 0));
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case WM_MOUSEWHEEL:
        SendMessage(hwnd, WM_VSCROLL, static_cast<short>((wParam >> 16) & 0xFFFF) > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
        return 0;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

void ShowExceptionDialog(bool canContinue, bool frozen, const std::string& report, const std::string& exceptMessage) {
    const VorSettings& settings = ReporterSettings();
    // Without a screen to show it on, the box would wait for nobody.
    const bool console = ReporterRuntime().ConsoleProgram || ActiveDisplay() != DisplayKind::X11;
    if (console && settings.ConsoleOutput) {
        if (ReporterRuntime().WebModule) {
            WriteOutTo(1, "Content-Type: text/html\r\n\r\n" + BuildHtmlPage(frozen, report, exceptMessage));
            return;
        }
        std::string text = ExpandPlaceholders(frozen ? settings.FrozenText.str() : settings.BoxText.str(), exceptMessage);
        text += "\r\n";
        if (settings.ShowReportAtOnce || !settings.ShowButtonCaption.empty()) text += "\r\n" + report + "\r\n";
        WriteOutTo(1, text);
        return;
    }
    TExceptionBox box(canContinue, frozen, report, exceptMessage);
    box.Run();
}

void ShowReporterMessage(std::uintptr_t owner, const std::string& text, const std::string& caption) {
    if (ReporterRuntime().ConsoleProgram || ActiveDisplay() != DisplayKind::X11) {
        WriteOutTo(2, caption + ": " + text + "\n");
        return;
    }
    static const char kMessageClass[] = "vorExceptMessage";
    struct State {
        std::string Text;
        bool Done = false;
    };
    State state{text};
    WNDCLASS existing;
    if (!GetClassInfo(kMessageClass, existing)) {
        WNDCLASS wc;
        wc.lpszClassName = kMessageClass;
        wc.hCursor = LoadCursor(0, IDC_ARROW);
        wc.hbrBackground = SysColorBrushValue(COLOR_BTNFACE);
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            auto* s = reinterpret_cast<State*>(GetWindowLongPtr(h, GWLP_USERDATA));
            if (s != nullptr && m == WM_PAINT) {
                const PaintScope paint(h);
                SetBkMode(paint.DC(), TRANSPARENT);
                RECT r{kMargin, kMargin, 400, 200};
                DrawText(paint.DC(), s->Text, &r, DT_WORDBREAK | DT_NOPREFIX);
                return 0;
            }
            if (s != nullptr && (m == WM_LBUTTONUP || (m == WM_KEYDOWN && (w == VK_RETURN || w == VK_ESCAPE)) ||
                                 m == WM_CLOSE)) {
                s->Done = true;
                DestroyWindow(h);
                return 0;
            }
            return DefWindowProc(h, m, w, l);
        };
        RegisterClass(wc);
    }
    HWND window = CreateWindowEx(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kMessageClass, caption, WS_CAPTION | WS_SYSMENU,
                                 0, 0, 420, 120, reinterpret_cast<HWND>(owner));
    if (!window) return;
    SetWindowLongPtr(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    ShowWindow(window, SW_SHOWNORMAL);
    MSG msg;
    while (!state.Done && IsWindow(window) && GetMessage(msg, nullptr, 0, 0) > 0) {
        TranslateMessage(msg);
        DispatchMessage(msg);
    }
    if (IsWindow(window)) DestroyWindow(window);
}

} // namespace ax
