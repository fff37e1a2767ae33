// The unattended command line: "select" stores paths as a job's selection
// and "selection" prints it; each error is one line naming the file.
#include "app/SelectionCommands.h"

#include "app/ConsoleText.h"
#include "app/JobFile.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"
#include "rtl/lists.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "shell/NodeStorage.h"

namespace ax {
namespace {

// The job file's version and form, as unattended runs read it.
constexpr int32_t kJobVersion = 3;

int Fail(std::ostream& err, const std::string& message) {
    Tell(err, message);
    return 1;
}

// Stores one parsed item checked; why it cannot be, or "".
std::string StoreChecked(TRootNodeStorage& storage, PCItemIDList pidl) {
    TNodeStorage* node = storage.Store(pidl, skCheck);
    if (!node) {
        if (ILItemCount(pidl) > kMaxNodeDepth)
            return "lies deeper than a job file can hold (" + std::to_string(kMaxNodeDepth) +
                   " levels)";
        return "its folder cannot be read";
    }
    node->Storage.CheckState = csCheckedNormal;
    node->Storage.CheckType = ctTriStateCheckBox;
    return {};
}

int Select(const std::string& job, const std::vector<std::string>& given, std::ostream& err) {
    if (DirectoryExists(job)) return Fail(err, job + ": is a folder, not a job file");
    // Relative paths start at the working folder; "." and ".." are the
    // parser's to resolve, on the disk.
    const std::string cwd = GetCurrentDir();
    std::vector<std::string> absolute;
    for (const std::string& path : given)
        absolute.push_back(path.empty() || path[0] == '/' ? path : cwd + "/" + path);
    const std::vector<UniquePIDL> parsed = ParsePaths(absolute);
    // Every path must be stored: a job silently missing a path the user
    // asked for would leave files out of the backup. Each refusal is told,
    // and then nothing is saved.
    TRootNodeStorage storage;
    bool refused = false;
    for (size_t i = 0; i < given.size(); ++i) {
        std::string problem;
        if (given[i].empty()) {
            problem = "an empty path names nothing";
        } else if (!parsed[i]) {
            problem = ItemProblem(absolute[i]);
            if (problem.empty()) problem = "cannot be named in the shell namespace";
        } else {
            problem = StoreChecked(storage, parsed[i].get());
        }
        if (problem.empty()) continue;
        refused = true;
        Fail(err, (given[i].empty() ? std::string("\"\"") : given[i]) + ": " + problem);
    }
    if (refused) return 1;
    // A folder that cannot be read is the user's choice and stays in the
    // job, but nothing in it can be backed up until it can be read: said.
    for (size_t i = 0; i < given.size(); ++i)
        if (const std::string problem = FolderProblem(absolute[i]); !problem.empty())
            Fail(err, given[i] + ": the folder cannot be read (" + problem +
                          "); it is selected, but nothing in it can be backed up until it can be read");
    try {
        storage.SaveToFile(Utf8ToWide(job), kJobVersion, false);
    } catch (const Exception& e) {
        return Fail(err, JobSaveError(job, e));
    }
    return 0;
}

int PrintSelection(const std::string& job, bool nulTerminated, std::ostream& out,
                   std::ostream& err) {
    // Told as the window tells it.
    if (const std::string problem = JobOpenProblem(job); !problem.empty()) return Fail(err, problem);
    TRootNodeStorage storage;
    try {
        storage.LoadFromFile(Utf8ToWide(job), kJobVersion, false);
    } catch (const EFOpenError& e) {
        return Fail(err, e.Message());
    } catch (const EStreamError& e) {
        return Fail(err, job + ": not a valid job file (" + e.Message() + ")");
    } catch (const Exception& e) {
        return Fail(err, job + ": " + e.Message());
    }
    const TStringList& selection = storage.CheckedFileNames();
    const char end = nulTerminated ? '\0' : '\n';
    // A name holding a line break would read as two paths.
    if (!nulTerminated)
        for (int i = 0; i < selection.Count(); ++i)
            if (selection[i].find('\n') != std::string::npos)
                return Fail(err, job + ": a selected name holds a line break; list it with -0");
    // On a terminal each path is shown (with -0 too: the NUL still ends it).
    for (int i = 0; i < selection.Count(); ++i)
        out << Shown{selection[i]} << end;
    out.flush();
    if (!out) return Fail(err, "cannot write the selection");
    // Listed, but not checked against the disk: the user should know.
    for (const ShellProblem& p : storage.CheckedFileNameProblems())
        Tell(err, p.path + ": " + p.reason);
    return 0;
}

} // namespace

bool IsCommandLine(const std::vector<std::string>& args) {
    return !args.empty() &&
           (args[0] == "select" || args[0] == "selection" || args[0].starts_with('-'));
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        out.flush();
        return out ? 0 : 1;
    }
    if (args.size() >= 3 && args[0] == "select")
        return Select(args[1], std::vector<std::string>(args.begin() + 2, args.end()), err);
    if (args.size() == 2 && args[0] == "selection") return PrintSelection(args[1], false, out, err);
    if (args.size() == 3 && args[0] == "selection" && args[1] == "-0")
        return PrintSelection(args[2], true, out, err);
    err << kUsage;
    return 2;
}

} // namespace ax
