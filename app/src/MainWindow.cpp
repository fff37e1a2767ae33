// Runs the host program's window: the main window on the display, with its
// job file loaded, and the "demo" mode that waits for the window to come to
// rest, saves a screenshot and prints the selection.
#include "app/MainWindow.h"

#include "app/ConsoleText.h"
#include "app/ExampleJob.h"
#include "app/ReportSaveDialog.h"
#include "app/JobFile.h"
#include "app/MainForm.h"
#include "app/SelectionCommands.h"
#include "platform/shellns/propertysheetservice.h"
#include "controls/ThemeBinding.h"
#include "platform/theme/GtkThemeLibrary.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"
#include "explorer/PropertiesFormService.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "explorer/ExplorerViews.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>

namespace ax {
namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

bool Switch(const char* name, const char* value) {
    const char* set = std::getenv(name);
    return set && std::string(set) == value;
}

// Paints everything pending and waits until the display has it.
void Present(TApplication& app, TForm* form) {
    app.ProcessMessages();
    RedrawWindow(form->Handle(), nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpDisplay();
}

// How long a screenshot waits for the window to come to rest; past it the
// picture is taken as the window is.
constexpr uint32_t kIdleWaitMs = 10000;

} // namespace

// Bounded: a thread that never answers costs the wait, not the picture.
void PresentWhenIdle(TApplication& app, TMainform* form) {
    Clock& clock = CurrentClock();
    const uint64_t deadline = clock.Ticks() + kIdleWaitMs;
    for (;;) {
        Present(app, form);
        const bool iconsDue = form->ExpTree->PendingIconRequests() > 0 || form->ExpList->PendingIconRequests() > 0;
        const bool queued = GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE | QS_PAINT) != 0;
        const uint64_t now = clock.Ticks();
        if ((!iconsDue && !queued) || now >= deadline) return;
        // The icon thread's replies come as posted messages.
        MsgWaitForMultipleObjects({}, uint32_t(deadline - now), QS_ALLINPUT);
    }
}

int RunMainWindow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const std::function<void(std::exception_ptr)>& reportException) {
    const bool demo = !args.empty() && args[0] == "demo";
    if (demo ? args.size() != 2 : args.size() > 1) {
        err << kUsage;
        return 2;
    }
    std::string job = args.size() == 1 ? args[0] : std::string();
    std::string root = HomeFolder();
    if (demo) {
        std::string error;
        job = MakeExample(error);
        if (job.empty()) {
            Tell(err, error);
            return 1;
        }
        root = ExtractFileDir(job);
    } else if (!job.empty()) {
        if (const std::string problem = JobOpenProblem(job); !problem.empty()) {
            Tell(err, problem);
            return 1;
        }
    }

    // A window nobody can see would wait for ever.
    const char* display = std::getenv("DISPLAY");
    const char* forced = std::getenv("AX_DISPLAY");
    if (!demo && !(display && *display) && !(forced && *forced)) {
        Tell(err, "no display to open the window on (DISPLAY is not set)");
        return 1;
    }
    // A display named but not there would leave the window on no screen,
    // waiting for ever.
    const bool x11 = forced && *forced ? std::string(forced) == "x11" : display && *display;
    if (x11 && ActiveDisplay() != DisplayKind::X11) {
        Tell(err, std::string("cannot open display ") + (display ? display : ""));
        return 1;
    }

    TApplication app(nullptr);
    app.SetTitle(kAppTitle);
    // On a real display the controls draw the desktop's GTK theme, unless
    // the user asks for the classic look.
    const bool themed = ActiveDisplay() == DisplayKind::X11 && RegisterGtkThemeLibrary();
    if (themed) BindThemeLibrary();
    const ScopeGuard unbindTheme([themed] {
        if (!themed) return;
        UnbindThemeLibrary();
        UnregisterGtkThemeLibrary();
    });
    // Whatever a handler lets escape is a fault of the program: reported.
    app.OnException = [&](TObject*, const std::exception&) { reportException(std::current_exception()); };
    // Properties of the explorer's items open in windows of their own.
    TPropertiesFormService properties(&app);
    SetPropertySheetService(&properties);
    const ScopeGuard noProperties([] { SetPropertySheetService(nullptr); });
    // The crash reporter's save button asks for a file name in our dialog.
    TReportSaveDialog reportSaveDialog;
    auto* form = app.CreateForm<TMainform>();
    const bool person = ActiveDisplay() == DisplayKind::X11 && !demo;
    if (!person) form->ErrorDisplay = [&err](const AnsiString& text) { Tell(err, text); };
    if (!form->SetRootPath(root)) {
        Tell(err, root + ": the home folder is not a folder");
        return 1;
    }
    form->Show();
    if (themed) FollowDesktopTheme(form->Handle());
    const ScopeGuard unfollowTheme([themed] {
        if (themed) StopFollowingDesktopTheme();
    });
    if (!job.empty() && !form->LoadJob(job)) return 1;
    Present(app, form);
    if (Switch("AX_ARDENTIX_FAULT", "window")) PostMessage(form->Handle(), TMainform::WM_INJECTFAULT, 0, 0);
    if (Switch("AX_ARDENTIX_SHOWN", "1")) {
        // The start-up benchmark's mark: on screen, the home folder listed.
        out << "shown" << std::endl;
        return 0;
    }
    if (demo) {
        // The list shows the pictures, one of them checked.
        form->BrowseTo(root + "/Pictures");
        PresentWhenIdle(app, form);
        const std::string& shot = args[1];
        if (!SnapshotWindow(form->Handle(), shot)) {
            Tell(err, shot + ": the screenshot cannot be saved");
            return 1;
        }
        out << "screenshot: " << Shown{shot} << '\n' << "job: " << Shown{job} << '\n' << "selection:\n";
        const TStringList& selection = form->Selection();
        for (int i = 0; i < selection.Count(); ++i) out << Shown{selection[i]} << '\n';
        out.flush();
        return out ? 0 : 1;
    }
    app.Run();
    return 0;
}

} // namespace ax
