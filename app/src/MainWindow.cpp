#include "app/MainWindow.h"

#include "app/ExampleJob.h"
#include "app/MainForm.h"
#include "platform/window/display.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>

namespace ax {
namespace {

constexpr const char* kUsage = "usage: ardentix [JOBFILE] | ardentix demo SCREENSHOT.png | "
                               "ardentix select JOBFILE PATH... | ardentix selection [-0] JOBFILE";

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

} // namespace

int RunMainWindow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const std::function<void(std::exception_ptr)>& reportException) {
    const bool demo = !args.empty() && args[0] == "demo";
    if (demo ? args.size() != 2 : args.size() > 1) {
        err << kUsage << '\n';
        return 2;
    }
    std::string job = args.size() == 1 ? args[0] : std::string();
    std::string root = HomeFolder();
    if (demo) {
        std::string error;
        job = MakeExample(error);
        if (job.empty()) {
            err << "ardentix: " << error << '\n';
            return 1;
        }
        root = kExampleFolder;
    } else if (!job.empty() && !FileExists(job)) {
        err << "ardentix: " << job << ": no such job file\n";
        return 1;
    }

    // A window nobody can see would wait for ever.
    const char* display = std::getenv("DISPLAY");
    const char* forced = std::getenv("AX_DISPLAY");
    if (!demo && !(display && *display) && !(forced && *forced)) {
        err << "ardentix: no display to open the window on (DISPLAY is not set)\n";
        return 1;
    }

    TApplication app(nullptr);
    app.SetTitle(kAppTitle);
    // Whatever a handler lets escape is a fault of the program: reported.
    app.OnException = [&](TObject*, const std::exception&) { reportException(std::current_exception()); };
    auto* form = app.CreateForm<TMainform>();
    const bool person = ActiveDisplay() == DisplayKind::X11 && !demo;
    if (!person) form->ErrorDisplay = [&err](const AnsiString& text) { err << "ardentix: " << text << '\n'; };
    if (!form->SetRootPath(root)) {
        err << "ardentix: " << root << ": the home folder is not a folder\n";
        return 1;
    }
    form->Show();
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
        form->BrowseTo(std::string(kExampleFolder) + "/Pictures");
        Present(app, form);
        const std::string& shot = args[1];
        if (!SnapshotWindow(form->Handle(), shot)) {
            err << "ardentix: " << shot << ": the screenshot cannot be saved\n";
            return 1;
        }
        out << "screenshot: " << shot << '\n' << "job: " << job << '\n' << "selection:\n";
        const TStringList& selection = form->Selection();
        for (int i = 0; i < selection.Count(); ++i) out << selection[i] << '\n';
        out.flush();
        return out ? 0 : 1;
    }
    app.Run();
    return 0;
}

} // namespace ax
