#include "app/SelectionCommands.h"

#include "rtl/exceptions.h"
#include "rtl/lists.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "shell/NodeStorage.h"

namespace ax {
namespace {

// The job file's version and form, as unattended runs read it.
constexpr int32_t kJobVersion = 3;

constexpr const char* kUsage =
    "usage: ardentix select JOBFILE PATH... | ardentix selection JOBFILE";

int Fail(std::ostream& err, const std::string& message) {
    err << "ardentix: " << message << '\n';
    return 1;
}

int Select(const std::string& job, const std::vector<std::string>& given, std::ostream& err) {
    if (DirectoryExists(job)) return Fail(err, job + ": is a folder, not a job file");
    // Every path must name something: a job silently missing a path the
    // user asked for would leave files out of the backup.
    TStringList paths;
    for (const std::string& path : given) {
        const std::string absolute = ExpandFileName(path);
        if (!PathExists(absolute)) return Fail(err, path + ": no such file or folder");
        paths.Add(absolute);
    }
    TRootNodeStorage storage;
    storage.SetCheckedFileNames(paths);
    try {
        storage.SaveToFile(Utf8ToWide(job), kJobVersion, false);
    } catch (const Exception& e) {
        return Fail(err, job + ": cannot save the job: " + e.Message());
    }
    return 0;
}

int PrintSelection(const std::string& job, std::ostream& out, std::ostream& err) {
    if (DirectoryExists(job)) return Fail(err, job + ": is a folder, not a job file");
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
    std::string text;
    for (int i = 0; i < selection.Count(); ++i)
        text += selection[i] + '\n';
    out << text;
    out.flush();
    return out ? 0 : Fail(err, "cannot write the selection");
}

} // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() >= 3 && args[0] == "select")
        return Select(args[1], std::vector<std::string>(args.begin() + 2, args.end()), err);
    if (args.size() == 2 && args[0] == "selection") return PrintSelection(args[1], out, err);
    err << kUsage << '\n';
    return 2;
}

} // namespace ax
