// The unattended command line: "select" stores paths as a job's selection
// and "selection" prints it; each error is one line naming the file.
#include "app/SelectionCommands.h"

#include "app/ConsoleText.h"
#include "app/JobFile.h"
#include "app/NameReader.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/exceptions.h"
#include "rtl/lists.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "shell/NodeStorage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

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

// A job's selection built from paths given in batches (the arguments, or
// standard input a block at a time): each path is stored as it comes, and
// every one that cannot be is told. Every path must be stored: a job
// silently missing a path the user asked for would leave files out of the
// backup, so after any refusal nothing is saved.
class SelectionBuilder {
public:
    explicit SelectionBuilder(std::ostream& err) : err_(err), cwd_(GetCurrentDir()) {}

    // lines: the paths were read as lines, where a NUL byte inside one, or
    // a carriage return ending one, is worth a word.
    void Add(std::span<const std::string> given, bool lines) {
        // Relative paths start at the working folder; "." and ".." are the
        // parser's to resolve, on the disk.
        std::vector<std::string> absolute;
        absolute.reserve(given.size());
        for (const std::string& path : given)
            absolute.push_back(path.empty() || path[0] == '/' ? path : cwd_ + "/" + path);
        std::vector<bool> mayBeFolder;
        const std::vector<UniquePIDL> parsed = ParsePaths(absolute, mayBeFolder);
        for (size_t i = 0; i < given.size(); ++i) {
            std::string problem;
            if (given[i].empty()) {
                problem = "an empty path names nothing";
            } else if (lines && given[i].find('\0') != std::string::npos) {
                problem = "a line holds a NUL byte (for NUL-separated paths, use -0)";
            } else if (!parsed[i]) {
                problem = ItemProblem(absolute[i]);
                if (problem.empty()) problem = "cannot be named in the shell namespace";
                if (lines && given[i].back() == '\r')
                    problem += " (the line ends in a carriage return, which is part of the name)";
            } else {
                problem = StoreChecked(storage_, parsed[i].get());
            }
            ++count_;
            if (problem.empty()) {
                // A folder that cannot be read is the user's choice and stays
                // in the job, but nothing in it can be backed up until it can
                // be read: said once all paths are stored. A plain file, as
                // its folder's listing showed, needs no second look.
                if (const std::string unreadable =
                        mayBeFolder[i] ? FolderProblem(absolute[i]) : std::string();
                    !unreadable.empty())
                    unreadable_.push_back(given[i] + ": the folder cannot be read (" + unreadable +
                                          "); it is selected, but nothing in it can be backed up "
                                          "until it can be read");
                continue;
            }
            refused_ = true;
            Fail(err_, (given[i].empty() ? std::string("\"\"") : given[i]) + ": " + problem);
        }
    }

    size_t Count() const { return count_; }

    // The job saved when no path was refused; the exit status.
    int Save(const std::string& job) {
        if (refused_) return 1;
        for (const std::string& message : unreadable_)
            Fail(err_, message);
        try {
            storage_.SaveToFile(Utf8ToWide(job), kJobVersion, false);
        } catch (const Exception& e) {
            return Fail(err_, JobSaveError(job, e));
        }
        return 0;
    }

private:
    std::ostream& err_;
    const std::string cwd_;
    TRootNodeStorage storage_;
    std::vector<std::string> unreadable_;
    size_t count_ = 0;
    bool refused_ = false;
};

// Paths parsed and stored a batch at a time: a folder holding many of one
// batch is read once, and a long list is never held whole.
constexpr size_t kBatch = 16384;

int Select(const std::string& job, std::span<const std::string> given, std::ostream& err) {
    if (DirectoryExists(job)) return Fail(err, job + ": is a folder, not a job file");
    SelectionBuilder builder(err);
    for (size_t at = 0; at < given.size(); at += kBatch)
        builder.Add(given.subspan(at, std::min(kBatch, given.size() - at)), false);
    return builder.Save(job);
}

// `select [-0] JOBFILE -`: the paths from in, one a line or each ended by a
// NUL. Empty names are skipped (a blank line, a list's last separator
// doubled); an input without any path saves nothing.
int SelectFromInput(const std::string& job, bool nulSeparated, int in, std::ostream& err) {
    if (DirectoryExists(job)) return Fail(err, job + ": is a folder, not a job file");
    SelectionBuilder builder(err);
    NameReader reader(in, nulSeparated ? '\0' : '\n');
    std::vector<std::string> batch;
    for (std::string name; reader.Next(name);) {
        if (name.empty()) continue;
        batch.push_back(std::move(name));
        if (batch.size() == kBatch) {
            builder.Add(batch, !nulSeparated);
            batch.clear();
        }
    }
    builder.Add(batch, !nulSeparated);
    if (reader.Error() != 0)
        return Fail(err, std::string("cannot read the paths from standard input (") +
                             std::strerror(reader.Error()) + "); nothing saved");
    if (builder.Count() == 0) return Fail(err, "no paths on standard input; nothing saved");
    return builder.Save(job);
}

// Whether a path of the job could hold a line break: an item of some record
// holds the byte (its name, or other bytes of it: the answer may be yes for
// nothing). Asks nothing of the disk.
bool MayHoldLineBreak(const TNodeStorage& root) {
    std::vector<const TNodeStorage*> pending{&root};
    while (!pending.empty()) {
        const TNodeStorage& node = *pending.back();
        pending.pop_back();
        const auto* item = reinterpret_cast<const char*>(node.RelativePIDL());
        if (item && node.RelativePIDL()->mkid.cb > 2 &&
            std::memchr(item + 2, '\n', node.RelativePIDL()->mkid.cb - 2u))
            return true;
        if (const TNodeStorageList* children = node.Children())
            for (int i = 0; i < children->Count(); ++i)
                pending.push_back(children->Items(i));
    }
    return false;
}

// The storage `selection` loads. Freeing its records one by one took a
// tenth of the command's time; when the process ends right after, the
// storage is kept to the end instead, held here so that a leak checker
// counts it reachable, and the process's end gives its heap back whole.
class SelectionStorage {
public:
    explicit SelectionStorage(CommandEnd end)
        : end_(end), storage_(std::make_unique<TRootNodeStorage>()) {}
    ~SelectionStorage() {
        static TRootNodeStorage* keptToTheEnd = nullptr;
        if (end_ == CommandEnd::ProcessEnds) delete std::exchange(keptToTheEnd, storage_.release());
    }
    SelectionStorage(const SelectionStorage&) = delete;
    SelectionStorage& operator=(const SelectionStorage&) = delete;
    TRootNodeStorage& operator*() const { return *storage_; }

private:
    CommandEnd end_;
    std::unique_ptr<TRootNodeStorage> storage_;
};

int PrintSelection(const std::string& job, bool nulTerminated, CommandEnd commandEnd,
                   std::ostream& out, std::ostream& err) {
    // Told as the window tells it.
    if (const std::string problem = JobOpenProblem(job); !problem.empty())
        return Fail(err, problem);
    // A name holding a line break would read as two paths: refused before
    // anything is written, so the job is walked once to look when its
    // items may hold one. Each path is written as it is found, none kept.
    // On a terminal each path is shown (with -0 too: the NUL still ends it).
    const std::string broken = job + ": a selected name holds a line break; list it with -0";
    const char end = nulTerminated ? '\0' : '\n';
    bool found = false;
    auto print = [&](std::string&& name) {
        found = found || (!nulTerminated && name.find('\n') != std::string::npos);
        if (!found) out << Shown{name} << end;
    };
    const SelectionStorage kept(commandEnd);
    TRootNodeStorage& storage = *kept;
    try {
        storage.BeginLoadFromFile(Utf8ToWide(job), kJobVersion, false);
        if (!nulTerminated && MayHoldLineBreak(*storage.PendingLoad())) {
            storage.FinishLoad();
            bool holds = false;
            storage.ForEachCheckedFileName(
                [&](std::string&& name) { holds = holds || name.find('\n') != std::string::npos; });
            if (holds) return Fail(err, broken);
            storage.ForEachCheckedFileName(print);
        } else {
            // Each folder is read once, both to drop from the job what is
            // gone and to list what is there.
            storage.FinishLoad(print);
        }
    } catch (const Exception& e) {
        return Fail(err, JobLoadError(job, e));
    }
    // Only where an item's bytes hid the break from the look above.
    if (found) return Fail(err, broken);
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

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   int in, CommandEnd end) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        out.flush();
        return out ? 0 : 1;
    }
    if (args.size() == 3 && args[0] == "select" && args[2] == "-")
        return SelectFromInput(args[1], false, in, err);
    if (args.size() == 4 && args[0] == "select" && args[1] == "-0" && args[3] == "-")
        return SelectFromInput(args[2], true, in, err);
    if (args.size() >= 3 && args[0] == "select" && args[1] != "-0")
        return Select(args[1], std::span(args).subspan(2), err);
    if (args.size() == 2 && args[0] == "selection")
        return PrintSelection(args[1], false, end, out, err);
    if (args.size() == 3 && args[0] == "selection" && args[1] == "-0")
        return PrintSelection(args[2], true, end, out, err);
    err << kUsage;
    return 2;
}

} // namespace ax
